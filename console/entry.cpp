#include "console/entry.hpp"

#include <string_view>

#include "common/text_fields.hpp"
#include "console/bridge.hpp"
#include "state/run_context.hpp"

namespace {

// Longest texts the entry accepts; a longer argument is refused, never cut, because a cut
// value would be stored as a wrong value.
constexpr size_t option_name_max = 39;
constexpr size_t mode_max = 79;
constexpr size_t oid_max = 63;
constexpr size_t value_max = 63;

constexpr const char* answer_format = "[%s]=%s\n";
constexpr const char* placeholder = "AAA";

/// One command-line argument split into its name part and its value.
struct option_text {
    std::string name;
    std::string value;
    bool has_value = false;
};

/// Name part (field 0 at '=') and value (field 1 at '='). A missing value field is
/// refused rather than left holding the name part. With whole_value the value is all the
/// text after the first '=', so that a value holding '=' is taken whole.
bool split_option(std::string_view arg, size_t name_max, size_t value_max_len, option_text& out,
                  bool whole_value = false) {
    get_field(out.name, arg, 0, '=');
    size_t eq = arg.find('=');
    if (whole_value) out.value = eq == std::string_view::npos ? "" : std::string(arg.substr(eq + 1));
    else get_field(out.value, arg, 1, '=');
    out.has_value = !out.value.empty();  // fields are never empty: empty means missing
    return out.name.size() <= name_max && out.value.size() <= value_max_len;
}

bool names(const option_text& opt, std::string_view option) {
    return opt.name.find(option) != std::string::npos;
}

/// Argument k of the command line (k = 2 is the first after the mode), or null.
const char* arg_at(int argc, const char* const* argv, int k) {
    return k < argc ? argv[k] : nullptr;
}

/// Fills plan with the get or set of modes 4 and 5; leaves it as none when an argument
/// is missing, unrecognised or refused.
void plan_parameter_access(entry_plan& plan, int argc, const char* const* argv, bool mailbox) {
    const char* a2 = arg_at(argc, argv, 2);
    if (!a2) return;
    option_text verb;
    if (!split_option(a2, oid_max, oid_max, verb)) return;
    bool set = names(verb, "--set");
    if (!set && !names(verb, "--get")) return;

    const char* a3 = arg_at(argc, argv, 3);
    option_text oid;
    if (!a3 || !split_option(a3, oid_max, oid_max, oid) || !names(oid, "--oid") || !oid.has_value)
        return;
    if (!is_key_safe(oid.value, false) || !starts_at_main_menu(oid.value)) return;
    if (!set) {
        plan.action = mailbox ? entry_action::bridge_get : entry_action::oneshot_get;
        plan.oid = oid.value;
        return;
    }
    const char* a4 = arg_at(argc, argv, 4);
    option_text val;
    if (!a4 || !split_option(a4, value_max, value_max, val, true) || !names(val, "--val") ||
        !val.has_value || !is_key_safe(val.value, true))
        return;
    plan.action = mailbox ? entry_action::bridge_set : entry_action::oneshot_set;
    plan.oid = oid.value;
    plan.value = val.value;
}

/// Mode 0 and 1: the console's (argc, argv) from the arguments after the mode.
void plan_console(entry_plan& plan, int argc, const char* const* argv, entry_action action) {
    int further = argc - 2;
    if (further > 2) {
        if (action == entry_action::interactive) plan.action = action;  // argc 0, no script
        return;
    }
    plan.action = action;
    if (action == entry_action::interactive && further == 0) return;  // argc 0, no vector
    plan.argc = further + 1;
    plan.argv.push_back(placeholder);
    for (int k = 2; k < argc; ++k) plan.argv.push_back(argv[k]);
}

void plan_network(entry_plan& plan, int argc, const char* const* argv, entry_action action,
                  const char* name) {
    if (argc != 3) return;
    plan.action = action;
    plan.argc = 2;
    plan.argv = {name, argv[2]};
}

}  // namespace

entry_plan plan_entry(int argc, const char* const* argv) {
    entry_plan plan;
    if (argc < 2) {
        plan.action = entry_action::set_defaults;
        return plan;
    }
    option_text test;
    if (!split_option(argv[1], option_name_max, mode_max, test) || !names(test, "--test") ||
        !test.has_value)
        return plan;
    const std::string& mode = test.value;
    if (mode.size() != 1 || mode[0] < '0' || mode[0] > '9') return plan;

    switch (mode[0]) {
    case '0': plan_console(plan, argc, argv, entry_action::interactive); break;
    case '1': plan_console(plan, argc, argv, entry_action::batch); break;
    case '2': plan.action = entry_action::self_test; break;
    case '3': plan.action = entry_action::show_two; break;
    case '4': plan_parameter_access(plan, argc, argv, false); break;
    case '5': plan_parameter_access(plan, argc, argv, true); break;
    case '6': plan_network(plan, argc, argv, entry_action::ssid_list, "get_ssid_list"); break;
    case '7': plan_network(plan, argc, argv, entry_action::vlan, "main_vlan"); break;
    case '8': plan_network(plan, argc, argv, entry_action::vlan_priority, "main_vlan_priority"); break;
    case '9': plan_network(plan, argc, argv, entry_action::vlan_wpa, "main_vlan_wpa"); break;
    }
    return plan;
}

namespace {

void print_answer(FILE* out, const std::string& oid, const std::string& answer) {
    std::fprintf(out, answer_format, oid.c_str(), answer.c_str());
    std::fflush(out);
}

/// Prints the answer of a get. A get that found no parameter prints nothing, unless
/// always is set (the two fixed lines of mode 3).
void get_and_print(FILE* out, const std::string& oid,
                   int (*get)(const std::string&, std::string&), bool always = false) {
    if (!get) return;
    std::string answer;
    if (get(oid, answer) != 0 && !always) return;
    print_answer(out, oid, cut_copy(answer, answer_max));
}

void call_set(int (*set)(const std::string&, const std::string&), const char* oid,
              const char* value) {
    if (set) set(oid, value);
}

void call_vector(int (*op)(int, const arg_vector&), const entry_plan& plan) {
    if (op) op(plan.argc, plan.argv);
}

}  // namespace

int run_entry(const entry_plan& plan, const entry_operations& ops, FILE* out) {
    switch (plan.action) {
    case entry_action::none: break;
    case entry_action::set_defaults:
        call_set(ops.oneshot_set, "0.3.1", "AP_ZTQ_OPENWRT");
        call_set(ops.oneshot_set, "0.3.2", "AP_ADMIN");
        break;
    case entry_action::interactive: call_vector(ops.run_interactive, plan); break;
    case entry_action::batch: call_vector(ops.run_batch, plan); break;
    case entry_action::self_test: {
        call_set(ops.oneshot_set, "0.3.1", "KORVA_TEST");
        call_set(ops.oneshot_set, "0.3.19", "1");
        call_set(ops.oneshot_set, "0.3.20", "--by-time=11:12");
        call_set(ops.oneshot_set, "0.3.18", "--by-time=10:12");
        std::string unused;
        if (ops.oneshot_get) {
            ops.oneshot_get("0.3.1", unused);
            ops.oneshot_get("0.3.2", unused);
        }
        break;
    }
    case entry_action::show_two:
        get_and_print(out, "0.3.1", ops.oneshot_get, true);
        get_and_print(out, "0.3.2", ops.oneshot_get, true);
        break;
    case entry_action::oneshot_get: get_and_print(out, plan.oid, ops.oneshot_get); break;
    case entry_action::oneshot_set: call_set(ops.oneshot_set, plan.oid.c_str(), plan.value.c_str()); break;
    case entry_action::bridge_get: get_and_print(out, plan.oid, ops.bridge_get); break;
    case entry_action::bridge_set: call_set(ops.bridge_set, plan.oid.c_str(), plan.value.c_str()); break;
    case entry_action::ssid_list: call_vector(ops.get_ssid_list, plan); break;
    case entry_action::vlan: call_vector(ops.main_vlan, plan); break;
    case entry_action::vlan_priority: call_vector(ops.main_vlan_priority, plan); break;
    case entry_action::vlan_wpa: call_vector(ops.main_vlan_wpa, plan); break;
    }
    return 0;
}
