#include "netsetup/ssid_list.hpp"

#include <gtest/gtest.h>

namespace {

using texts = std::vector<std::string>;

const std::string first = "\"' >/etc/config/vlan_ssid";
const std::string next = "\"' >>/etc/config/vlan_ssid";

address_sync copy(const char* source, const char* stored, bool always = false) {
    address_sync a;
    if (source) a.source = source;
    if (stored) a.stored = stored;
    a.always = always;
    return a;
}

TEST(ssid_list, list_and_lan_entry_make_one_command) {
    ssid_list_input in;
    in.ssids = {{"Office", 0}, {"Bob's; $(x) \\n", 1}, {"Lab", 3}};
    in.lan_ip = copy("192.168.1.20", "192.168.1.1");
    in.lan_netmask = copy("255.255.255.0", "255.255.255.0");
    // The first run writes the placeholder and nothing else.
    EXPECT_EQ(ssid_list_commands(in), texts{"echo '\"NO NAME\" \"ath0" + first});

    in.list_exists = true;
    EXPECT_EQ(ssid_list_commands(in), texts{
        "echo '\"Office\" \"ath0" + first + ";echo '\"Bob'\\''s; $(x) \\n\" \"ath1" + next +
        ";echo '\"Lab\" \"ath3" + next + ";echo '\"All Others\" \"all" + next +
        ";uci set vlan.cfg029c96.ip=192.168.1.20;uci commit vlan"});

    // One SSID, no All Others line; a live DHCP address is written even when equal, a
    // quote in it cannot end its quoting, and what cannot be read is not written.
    in.ssids = {{"Guest", 1}};
    in.lan_ip = copy("1.2.3.4'; x '", "1.2.3.4'; x '", true);
    in.lan_netmask = copy(nullptr, "255.0.0.0", true);
    EXPECT_EQ(ssid_list_commands(in), texts{
        "echo '\"Guest\" \"ath1" + first +
        ";uci set vlan.cfg029c96.ip='1.2.3.4'\\''; x '\\''';uci commit vlan"});

    in.ssids.clear();
    in.lan_ip = {};
    EXPECT_TRUE(ssid_list_commands(in).empty());
}

TEST(ssid_list, each_changed_vlan_gets_its_own_command_and_commit) {
    ssid_list_input in;
    in.list_exists = true;
    in.vlans = {{2, copy("10.0.10.1", "10.0.10.9"), copy("255.255.255.0", "255.0.0.0")},
                {3, copy("10.0.20.1", "10.0.20.1"), copy("255.255.255.0", "255.255.255.0")},
                {4, copy("10.0.30.1", nullptr), copy("255.255.0.0", "")}};
    EXPECT_EQ(ssid_list_commands(in), (texts{
        "uci set vlan.@vlan[2].ip=10.0.10.1;uci set vlan.@vlan[2].netmask=255.255.255.0;"
        "uci commit vlan",
        "uci set vlan.@vlan[4].netmask=255.255.0.0;uci commit vlan"}));
}

}  // namespace
