// apmenu's command line: which mode runs, with which arguments.
#pragma once

#include <cstdio>
#include <string>

#include "state/catalogue_types.hpp"

/// What the command line asks for.
enum class entry_action {
    none,          ///< nothing: malformed, unrecognised or incomplete arguments
    set_defaults,  ///< no arguments: store the two fixed texts at 0.3.1 and 0.3.2
    interactive,   ///< mode 0
    batch,         ///< mode 1
    self_test,     ///< mode 2
    show_two,      ///< mode 3
    oneshot_get,   ///< mode 4, get
    oneshot_set,   ///< mode 4, set
    bridge_get,    ///< mode 5, get
    bridge_set,    ///< mode 5, set
    ssid_list,     ///< mode 6
    vlan,          ///< mode 7
    vlan_priority, ///< mode 8
    vlan_wpa,      ///< mode 9
};

/// The decision of the command line: the action and the arguments it is called with.
struct entry_plan {
    entry_action action = entry_action::none;
    int argc = 0;       ///< argc of the console or network operation
    arg_vector argv;    ///< its argument vector ("AAA" or the command name in slot 0)
    std::string oid;    ///< the OID of a get or set, as typed
    std::string value;  ///< the value of a set
};

/// Decides what argv asks for; runs nothing.
entry_plan plan_entry(int argc, const char* const* argv);

/// The operations the entry calls; a null operation is not built into this program.
struct entry_operations {
    int (*run_interactive)(int argc, const arg_vector& argv) = nullptr;
    int (*run_batch)(int argc, const arg_vector& argv) = nullptr;
    int (*oneshot_get)(const std::string& oid, std::string& out) = nullptr;
    int (*oneshot_set)(const std::string& oid, const std::string& value) = nullptr;
    int (*bridge_get)(const std::string& oid, std::string& out) = nullptr;
    int (*bridge_set)(const std::string& oid, const std::string& value) = nullptr;
    int (*get_ssid_list)(int argc, const arg_vector& argv) = nullptr;
    int (*main_vlan)(int argc, const arg_vector& argv) = nullptr;
    int (*main_vlan_priority)(int argc, const arg_vector& argv) = nullptr;
    int (*main_vlan_wpa)(int argc, const arg_vector& argv) = nullptr;
};

/// Carries out a plan with the given operations, printing answers to out. Returns 0.
int run_entry(const entry_plan& plan, const entry_operations& ops, FILE* out);

/// The operations this build of apmenu has.
entry_operations built_operations();
