#include "netsetup/vlan_priority.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "common/timestamp.hpp"

namespace {

const std::string log_head = "echo '[08-12-2026 06:52:55.000123] ";
const std::string log_tail = "' >> /etc/log_zelk.txt";

struct vlan_priority : ::testing::Test {
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        set_clock_source([](time_t& secs, long& usec) {
            secs = 1796712775;  // 8 December 2026, 06:52:55 UTC
            usec = 123;
        });
    }
    void TearDown() override { set_clock_source(nullptr); }
};

TEST(vlan_subinterface, only_the_exact_vlan_suffix_matches) {
    EXPECT_TRUE(is_vlan_subinterface("eth0.10", 10));
    EXPECT_TRUE(is_vlan_subinterface("ath1.10", 10));
    for (const char* device : {"eth0.100", "eth0.1", "ath1", "eth0.10.20", ""})
        EXPECT_FALSE(is_vlan_subinterface(device, 10)) << device;
}

TEST_F(vlan_priority, log_line_and_the_sixteen_maps_of_a_device_the_kernel_has) {
    std::string maps;
    for (int q = 0; q < 8; ++q) maps += ";vconfig set_ingress_map eth0.10 5 " + std::to_string(q);
    for (int q = 0; q < 8; ++q) maps += ";vconfig set_egress_map eth0.10 " + std::to_string(q) + " 5";
    EXPECT_EQ(priority_commands({{"vlan", "eth0.10", 5, true}, {"vlansw", "eth0.20", 0, false}}),
              (std::vector<std::string>{
                  log_head + "[vlan] Set VLAN priority...[eth0.10]=5" + log_tail + maps,
                  log_head + "[vlansw] Set VLAN priority...[eth0.20]=0" + log_tail}));
}

TEST_F(vlan_priority, devices_whose_texts_exceed_their_bounds_are_left_alone) {
    std::vector<std::string> commands =
        priority_commands({{"vlan", std::string(35, 'e') + ".10", 1, true},
                           {"vlan", std::string(36, 'e') + ".10", 1, true},
                           {"vlan", std::string(448, 'e') + ".10", 1, false},
                           {"vlan", std::string(449, 'e') + ".10", 1, false}});
    // The longest device whose command fits 1,203 characters, and the longest whose log
    // text fits 511; one character more and the device gets no command at all.
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].size(), 1190u);
    EXPECT_EQ(commands[1].size(), std::string("echo '").size() + 511 + log_tail.size());
}

}  // namespace
