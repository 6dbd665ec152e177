#include "netsetup/vlan_setup.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "common/timestamp.hpp"

namespace {

/// 8 December 2026, 06:52:55.000123 UTC.
void setup_clock(time_t& secs, long& usec) {
    secs = 1796712775;
    usec = 123;
}

const std::string stamp = "[08-12-2026 06:52:55.000123] ";
const std::string empty_log = "echo '' >> /etc/log_zelk.txt";

struct vlan_setup : ::testing::Test {
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        set_clock_source(setup_clock);
    }
    void TearDown() override { set_clock_source(nullptr); }
};

vlan_entry lan(const std::string& used, const std::string& ip) {
    vlan_entry e;
    e.vlan_id = 0;
    e.used = used;
    e.ip = ip;
    return e;
}

vlan_entry vlan(int vid, const std::string& used, const std::string& ip, int iface = 1,
                const std::string& tagging = "ether", const std::string& bridge = "Guest") {
    vlan_entry e;
    e.vlan_id = vid;
    e.used = used;
    e.ip = ip;
    e.netmask = "255.255.255.0";
    e.iface = iface;
    e.tagging = tagging;
    e.bridge = bridge;
    return e;
}

/// The text between "ifname='" and the next quote of command index, or "(none)".
std::string members_of(const std::vector<std::string>& commands, size_t index) {
    const std::string& c = commands.at(index);
    size_t from = c.find("ifname='");
    if (from == std::string::npos) return "(none)";
    from += 8;
    return c.substr(from, c.find('\'', from) - from);
}

TEST_F(vlan_setup, lan_and_one_enabled_vlan_give_the_listener_reset_the_bridge_and_the_log) {
    vlan_setup_input in;
    in.wifi_count = 2;
    in.id_list = "0,10,30,0";
    in.vlans = {lan("on", "192.168.1.1"), vlan(10, "on", "192.168.10.1")};
    EXPECT_EQ(vlan_setup_commands(in),
              (std::vector<std::string>{
                  "uci delete uhttpd.main.listen_http;"
                  "uci add_list uhttpd.main.listen_http='127.0.0.1:80';"
                  "uci add_list uhttpd.main.listen_http='192.168.1.1:80';uci commit uhttpd",
                  "uci set network.vlan10=interface;uci set network.vlan10.ifname='eth0.10 ath1';"
                  "uci set network.vlan10.type=bridge;uci set network.vlan10.proto=static;"
                  "uci set network.vlan10.ipaddr=192.168.10.1;"
                  "uci set network.vlan10.netmask=255.255.255.0;uci commit network;"
                  "uci add_list uhttpd.main.listen_http='192.168.10.1:80';uci commit uhttpd",
                  "echo '" + stamp +
                      "[vlan] Setup vlan ... id=10[ip=192.168.10.1]' >> "
                      "/etc/log_zelk.txt",
                  "uci delete network.vlan30;uci commit network"}));
}

TEST_F(vlan_setup, trunks_take_addresses_by_mode_keep_their_own_and_leave_when_empty) {
    vlan_setup_input in;
    in.wifi_count = 4;
    in.trunks = {{10, "Guest", 1}, {0, "Guest", 1},       {20, "Guest", 1}, {30, "All Others", 0},
                 {50, "Lab", 2},   {40, "All Others", 0}, {60, "Cam", 3}};
    in.trunk_ifaces.resize(4);
    in.trunk_ifaces[0].address = "192.168.100.1";  // no VLANs any more
    in.trunk_ifaces[2].mode = "sta";
    in.trunk_ifaces[2].address = "10.9.9.9";  // kept
    in.trunk_ifaces[3].mode = "monitor";
    in.shared_has_address = true;
    EXPECT_EQ(
        vlan_setup_commands(in),
        (std::vector<std::string>{
            "uci delete network.vlansw0;uci commit network",
            "uci set network.vlansw1=interface;uci set network.vlansw1.ipaddr=192.168.101.1;"
            "uci set network.vlansw1.netmask=255.255.255.0;"
            "uci set network.vlansw1.type=bridge;uci set network.vlansw1.proto=static;"
            "uci set network.vlansw1.ifname='ath1 eth0.10 eth0.20';uci commit network",
            "uci set network.vlansw2=interface;uci set network.vlansw2.ipaddr=10.9.9.9;"
            "uci set network.vlansw2.netmask=255.255.255.0;"
            "uci set network.vlansw2.type=bridge;uci set network.vlansw2.proto=static;"
            "uci set network.vlansw2.ifname='ath2 eth0.50';uci commit network",
            "uci set network.vlansw3=interface;uci set network.vlansw3.ipaddr=192.168.103.222;"
            "uci set network.vlansw3.netmask=255.255.255.0;"
            "uci set network.vlansw3.type=bridge;uci set network.vlansw3.proto=static;"
            "uci set network.vlansw3.ifname='ath3 eth0.60';uci commit network",
            "uci set network.vlansw4all=interface;"
            "uci set network.vlansw4all.netmask=255.255.255.0;"
            "uci set network.vlansw4all.type=bridge;uci set network.vlansw4all.proto=static;"
            "uci set network.vlansw4all.ifname='eth0.30 eth0.40 ath0 ath1 ath2 ath3';"
            "uci commit network",
            empty_log}));

    // No trunk entries: only the trunks whose address reads are deleted.
    in.trunks.clear();
    in.trunk_ifaces[2].address.reset();
    EXPECT_EQ(
        vlan_setup_commands(in),
        (std::vector<std::string>{"uci delete network.vlansw0;uci commit network",
                                  "uci delete network.vlansw4all;uci commit network", empty_log}));

    // A new shared trunk gets its address and mask; no wireless interface leaves it wired only.
    in.wifi_count = 0;
    in.shared_has_address = false;
    in.trunks = {{30, "All Others", 0}};
    in.vlans = {vlan(40, "off", "10.0.40.1", 0, "wifi", "All Others")};
    std::vector<std::string> c = vlan_setup_commands(in);
    EXPECT_EQ(members_of(c, 1), "eth0.40");
    EXPECT_EQ(c.at(0),
              "uci set network.vlansw4all=interface;"
              "uci set network.vlansw4all.ipaddr=192.168.111.1;"
              "uci set network.vlansw4all.netmask=255.255.255.0;"
              "uci set network.vlansw4all.type=bridge;uci set network.vlansw4all.proto=static;"
              "uci set network.vlansw4all.ifname='eth0.30';uci commit network");
}

TEST_F(vlan_setup, hostile_values_are_quoted_and_entries_past_a_bound_left_out_whole) {
    vlan_setup_input in;
    in.wifi_count = 45;
    // 33 ids for interface 1 (32 are kept), one for interface 32 (no trunk row).
    for (int vid = 101; vid <= 133; ++vid) in.trunks.push_back({vid, "Guest", 1});
    in.trunks.push_back({200, "Far", 32});
    in.trunk_ifaces.resize(32);
    in.trunk_ifaces[1].address = "1.2.3.4';reboot;'";
    vlan_entry long_ip = vlan(60, "on", std::string(28, '1'));
    vlan_entry long_mask = vlan(61, "off", "10.0.61.1");
    long_mask.netmask = std::string(28, '2');
    in.vlans = {vlan(10, "on", "it's;$(reboot)"), long_ip, long_mask,
                vlan(27, "off", "x", 0, "wifi", "All ")};
    in.vlans[3].netmask.reset();
    // A list cut to its bound ends in a piece of an id ("1" of 130) that must not be deleted.
    in.id_list = "0,10,60,61,70,1";
    std::vector<std::string> c = vlan_setup_commands(in);
    ASSERT_EQ(c.size(), 4u);
    std::string ids;
    for (int vid = 101; vid <= 132; ++vid) ids += " eth0." + std::to_string(vid);
    EXPECT_EQ(members_of(c, 0), "ath1" + ids);
    EXPECT_NE(c[0].find(";uci set network.vlansw1.ipaddr='1.2.3.4'\\'';reboot;'\\''';"),
              std::string::npos);
    EXPECT_EQ(c[1].find("vlansw32"), std::string::npos);
    EXPECT_NE(c[1].find(";uci set network.vlan10.ipaddr='it'\\''s;$(reboot)';"), std::string::npos);
    EXPECT_NE(c[1].find(";uci add_list uhttpd.main.listen_http='it'\\''s;$(reboot):80';"),
              std::string::npos);
    // 45 interfaces tagged with 27 pass the member list's 383 characters.
    EXPECT_EQ(c[2], "echo '" + stamp +
                        "[vlan] Setup vlan ... id=10[ip=it'\\''s;$(reboot)]' >> "
                        "/etc/log_zelk.txt");
    // Entries 60, 61 and 27 were left out, not deleted; 70 is; "1" is not.
    EXPECT_EQ(c[3], "uci delete network.vlan70;uci commit network");

    // The deletions end: one command of at most 1,399 characters, the rest left.
    vlan_setup_input deletions;
    deletions.id_list = "0";
    for (int id = 10; id <= 99; ++id) deletions.id_list += "," + std::to_string(id);
    deletions.id_list += ",0";
    c = vlan_setup_commands(deletions);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_LE(c[1].size(), 1399u);
    EXPECT_GT(c[1].size(), 1399u - 26u);
    EXPECT_EQ(c[1].rfind("uci delete network.vlan10;uci delete network.vlan11;", 0), 0u);
    EXPECT_EQ(c[1].substr(c[1].size() - 19), ";uci commit network");
    deletions.id_list = "0,x,0";
    EXPECT_EQ(vlan_setup_commands(deletions).size(), 1u);

    // Many enabled VLANs: the log text keeps whole items within 1,151 characters.
    vlan_setup_input many;
    for (int vid = 1; vid <= 60; ++vid)
        many.vlans.push_back(vlan(vid, "on", "10.0.0." + std::to_string(vid)));
    c = vlan_setup_commands(many);
    const std::string& log = c.back();
    const std::string line =
        log.substr(6, log.size() - 6 - std::string("' >> /etc/log_zelk.txt").size());
    EXPECT_LE(line.size(), 1151u);
    EXPECT_GT(line.size(), 1151u - 24u);
    EXPECT_EQ(line.back(), ']');
}

}  // namespace
