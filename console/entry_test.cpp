#include "console/entry.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

/// Every call the entry made, as text, and the answers the fake gets return.
std::vector<std::string> calls;

std::string join(int argc, const arg_vector& argv) {
    std::string s = std::to_string(argc);
    for (auto& a : argv) s += " " + a;
    return s;
}

int fake_interactive(int argc, const arg_vector& argv) { calls.push_back("interactive " + join(argc, argv)); return 0; }
int fake_batch(int argc, const arg_vector& argv) { calls.push_back("batch " + join(argc, argv)); return 0; }
int fake_ssid(int argc, const arg_vector& argv) { calls.push_back("ssid " + join(argc, argv)); return 0; }
int fake_vlan(int argc, const arg_vector& argv) { calls.push_back("vlan " + join(argc, argv)); return 0; }
int fake_prio(int argc, const arg_vector& argv) { calls.push_back("prio " + join(argc, argv)); return 0; }
int fake_wpa(int argc, const arg_vector& argv) { calls.push_back("wpa " + join(argc, argv)); return 0; }
/// Finds every parameter but those of menu 7.
int fake_oneshot_get(const std::string& oid, std::string& out) {
    calls.push_back("oneshot_get " + oid);
    out = "v(" + oid + ")";
    return oid.compare(0, 3, "0.7") == 0 ? -1 : 0;
}
int fake_oneshot_set(const std::string& oid, const std::string& v) { calls.push_back("oneshot_set " + oid + " " + v); return 0; }
int fake_bridge_get(const std::string& oid, std::string& out) {
    calls.push_back("bridge_get " + oid);
    out = std::string(200, 'x');
    return 0;
}
int fake_bridge_set(const std::string& oid, const std::string& v) { calls.push_back("bridge_set " + oid + " " + v); return 0; }

entry_operations fakes() {
    entry_operations ops;
    ops.run_interactive = fake_interactive;
    ops.run_batch = fake_batch;
    ops.oneshot_get = fake_oneshot_get;
    ops.oneshot_set = fake_oneshot_set;
    ops.bridge_get = fake_bridge_get;
    ops.bridge_set = fake_bridge_set;
    ops.get_ssid_list = fake_ssid;
    ops.main_vlan = fake_vlan;
    ops.main_vlan_priority = fake_prio;
    ops.main_vlan_wpa = fake_wpa;
    return ops;
}

/// Runs the entry on the arguments after the program name; returns what it printed.
std::string run(std::vector<std::string> args) {
    calls.clear();
    std::vector<const char*> argv{"apmenu"};
    for (auto& a : args) argv.push_back(a.c_str());
    char* buf = nullptr;
    size_t len = 0;
    FILE* out = open_memstream(&buf, &len);
    run_entry(plan_entry(static_cast<int>(argv.size()), argv.data()), fakes(), out);
    std::fclose(out);
    std::string printed(buf, len);
    std::free(buf);
    return printed;
}

using list = std::vector<std::string>;

}  // namespace

TEST(entry, no_arguments_store_the_identity_texts) {
    EXPECT_EQ(run({}), "");
    EXPECT_EQ(calls, (list{"oneshot_set 0.3.1 AP_ZTQ_OPENWRT", "oneshot_set 0.3.2 AP_ADMIN"}));
}

TEST(entry, mode_is_a_whole_digit_after_a_test_option) {
    for (auto bad : {"--test=10", "--test=", "--test", "--test=00", "--test=4 ", "--tst=4", "-test=4"}) {
        run({bad, "--get", "--oid=0.3.1"});
        EXPECT_TRUE(calls.empty()) << bad;
    }
    // Recognised by containment in the name part; the value is field 1 at '='.
    run({"x--testy=3"});
    EXPECT_EQ(calls.size(), 2u);
    run({"--test=3=x"});
    EXPECT_EQ(calls.size(), 2u);
}

TEST(entry, interactive_and_batch_argument_vectors) {
    run({"--test=0"});
    EXPECT_EQ(calls, list{"interactive 0"});
    run({"--test=0", "1;2"});
    EXPECT_EQ(calls, list{"interactive 2 AAA 1;2"});
    run({"--test=0", "1;2", "path=/tmp"});
    EXPECT_EQ(calls, list{"interactive 3 AAA 1;2 path=/tmp"});
    run({"--test=0", "a", "b", "c"});
    EXPECT_EQ(calls, list{"interactive 0"});

    run({"--test=1"});
    EXPECT_EQ(calls, list{"batch 1 AAA"});
    run({"--test=1", "~;1"});
    EXPECT_EQ(calls, list{"batch 2 AAA ~;1"});
    run({"--test=1", "~;1", "path=/x"});
    EXPECT_EQ(calls, list{"batch 3 AAA ~;1 path=/x"});
    run({"--test=1", "a", "b", "c"});
    EXPECT_TRUE(calls.empty());
}

TEST(entry, self_test_and_show_two) {
    EXPECT_EQ(run({"--test=2", "ignored"}), "");
    EXPECT_EQ(calls, (list{"oneshot_set 0.3.1 KORVA_TEST", "oneshot_set 0.3.19 1",
                           "oneshot_set 0.3.20 --by-time=11:12", "oneshot_set 0.3.18 --by-time=10:12",
                           "oneshot_get 0.3.1", "oneshot_get 0.3.2"}));
    EXPECT_EQ(run({"--test=3"}), "[0.3.1]=v(0.3.1)\n[0.3.2]=v(0.3.2)\n");
}

TEST(entry, parameter_get_and_set) {
    EXPECT_EQ(run({"--test=4", "--get", "--oid=0.3.1"}), "[0.3.1]=v(0.3.1)\n");
    EXPECT_EQ(run({"--test=4", "--set", "--oid=0.3.1", "--val=abc"}), "");
    EXPECT_EQ(calls, list{"oneshot_set 0.3.1 abc"});
    run({"--test=4", "--set", "--oid=0.3.1", "--val=http://x/?a=b"});  // all after the first '='
    EXPECT_EQ(calls, list{"oneshot_set 0.3.1 http://x/?a=b"});
    EXPECT_EQ(run({"--test=4", "--get", "--oid=0.7.1"}), "");  // no such parameter
    run({"--test=5", "--set", "--oid=0.1.2", "--val=x"});
    EXPECT_EQ(calls, list{"bridge_set 0.1.2 x"});
}

TEST(entry, get_answer_is_printed_whole_up_to_the_answer_buffer) {
    std::string line = run({"--test=5", "--get", "--oid=0.3.1"});
    EXPECT_EQ(line, "[0.3.1]=" + std::string(127, 'x') + "\n");
}

TEST(entry, incomplete_or_refused_parameter_arguments_do_nothing) {
    const std::vector<list> cases = {
        {"--test=4"},
        {"--test=4", "--get"},
        {"--test=4", "--get", "--id=0.3.1"},
        {"--test=4", "--fetch", "--oid=0.3.1"},
        {"--test=4", "--get", "--oid="},
        {"--test=4", "--get", "--oid"},
        {"--test=4", "--set", "--oid=0.3.1"},
        {"--test=4", "--set", "--oid=0.3.1", "--val="},
        {"--test=4", "--set", "--oid=0.3.1", "--value"},
        {"--test=4", "--get", "--oid=" + std::string(64, '1')},
        {"--test=4", "--set", "--oid=0.3.1", "--val=" + std::string(64, 'v')},
        {"--test=4" + std::string(80, '4')},
        {std::string(40, '-') + "--test=4", "--get", "--oid=0.3.1"},
        {"--test=4", "--get", "--oid=1.3.1"},
        {"--test=5", "--get", "--oid=x.5.1"},
        {"--test=4", "--get", "--oid=03.1"},
        {"--test=4", "--set", "--oid=1.3.1", "--val=v"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(run(c), "");
        EXPECT_TRUE(calls.empty()) << c.back();
    }
    // The longest texts that fit are taken.
    run({"--test=4", "--set", "--oid=0." + std::string(61, '1'), "--val=" + std::string(63, 'v')});
    EXPECT_EQ(calls.size(), 1u);
}

TEST(entry, set_wins_over_get_in_one_name) {
    run({"--test=4", "--get--set", "--oid=0.3.1", "--val=z"});
    EXPECT_EQ(calls, list{"oneshot_set 0.3.1 z"});
}

TEST(entry, network_modes_take_exactly_one_argument) {
    run({"--test=6", "x"});
    EXPECT_EQ(calls, list{"ssid 2 get_ssid_list x"});
    run({"--test=7", "y"});
    EXPECT_EQ(calls, list{"vlan 2 main_vlan y"});
    run({"--test=8", "z"});
    EXPECT_EQ(calls, list{"prio 2 main_vlan_priority z"});
    run({"--test=9", "w"});
    EXPECT_EQ(calls, list{"wpa 2 main_vlan_wpa w"});
    run({"--test=6"});
    EXPECT_TRUE(calls.empty());
    run({"--test=6", "a", "b"});
    EXPECT_TRUE(calls.empty());
}

TEST(entry, operations_not_built_are_skipped) {
    entry_operations none;
    std::vector<const char*> argv{"apmenu", "--test=4", "--get", "--oid=0.3.1"};
    EXPECT_EQ(run_entry(plan_entry(4, argv.data()), none, stdout), 0);
}
