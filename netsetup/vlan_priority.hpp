// The VLAN priority command (apmenu --test=8): forces the 802.1p priority of every VLAN
// entry of the vlan and vlansw configurations on the VLAN's tagged sub-interfaces, in
// both directions, with vconfig, and logs each sub-interface it treats.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "state/catalogue_types.hpp"

/// One tagged sub-interface whose priority maps are set.
struct priority_target {
    std::string package;     ///< "vlan" or "vlansw": the configuration of the entry
    std::string device;      ///< the sub-interface, such as "eth0.10"
    int priority = 0;        ///< 0 to 7
    bool in_kernel = false;  ///< /proc/net/vlan/<device> exists: the maps are set
};

/// Whether device is a sub-interface of VLAN vid: its part from the first '.' is '.'
/// and vid in decimal ("eth0.10" for 10; not "eth0.100", not "ath1").
bool is_vlan_subinterface(std::string_view device, int vid);

/// The sub-interfaces to treat, in order: the vlan entries', then the vlansw entries'.
std::vector<priority_target> read_priority_targets();

/// One command per target: its log line, then, for a device the kernel has, the sixteen
/// vconfig maps. A target whose texts would not fit their bounds gets no command.
std::vector<std::string> priority_commands(const std::vector<priority_target>& targets);

/// apmenu --test=8; reads nothing from its arguments. Returns 0.
int main_vlan_priority(int argc, const arg_vector& argv);
