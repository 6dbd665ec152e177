#include "netsetup/vlan_wpa.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "common/timestamp.hpp"

namespace {

/// 8 December 2026, 06:52:55.000123 UTC.
void wpa_clock(time_t& secs, long& usec) {
    secs = 1796712775;
    usec = 123;
}

const std::string log_head = "echo '[08-12-2026 06:52:55.000123] [vlan_wpa] ";
const std::string log_tail = "' >> /etc/log_zelk.txt";

struct vlan_wpa : ::testing::Test {
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        set_clock_source(wpa_clock);
    }
    void TearDown() override { set_clock_source(nullptr); }
};

wpa_iface iface(int n, bool station, std::optional<int> vid, std::optional<std::string> trunk,
                const std::string& encryption = "psk2") {
    wpa_iface i;
    i.index = n;
    i.station = station;
    i.encryption = encryption;
    i.vlan_id = vid;
    i.trunk = trunk;
    return i;
}

TEST_F(vlan_wpa, each_membership_gets_its_log_line_then_its_restart) {
    EXPECT_EQ(
        vlan_wpa_commands(
            {iface(1, false, 10, "vlansw4all"), iface(0, true, std::nullopt, "vlansw0"),
             iface(2, true, 20, std::nullopt, "wpa2"), iface(3, false, std::nullopt, std::nullopt),
             // Not a name for a bridge br-<name>: refused.
             iface(4, false, std::nullopt, "vlansw0/g;w"),
             iface(5, false, std::nullopt, "vlansw_123456")}),
        (std::vector<std::string>{
            log_head + "AP mode ath1 for VLAN 10 with encryption[psk2]" + log_tail,
            "sed -i \"s/bridge=br-lan/bridge=br-vlan10/g\" /var/run/hostapd-ath1.conf;"
            "kill `cat /var/run/wifi-ath1.pid`;"
            "hostapd -P /var/run/wifi-ath1.pid -B /var/run/hostapd-ath1.conf",
            log_head + "AP mode, Ethernet trunk vlansw4all at ath1 with encryption[psk2]" +
                log_tail,
            "sed -i \"s/bridge=br-lan/bridge=br-vlansw4all/g\" /var/run/hostapd-ath1.conf;"
            "kill `cat /var/run/wifi-ath1.pid`;"
            "hostapd -P /var/run/wifi-ath1.pid -B /var/run/hostapd-ath1.conf",
            log_head + "STA mode, Ethernet trunk vlansw0 at ath0 with encryption[psk2]" + log_tail,
            "kill `cat /var/run/wifi-ath0.pid`;wpa_supplicant -b br-vlansw0 -B -P "
            "/var/run/wifi-ath0.pid -D athr -i ath0 -c /var/run/wpa_supplicant-ath0.conf",
            log_head + "STA mode ath2 for VLAN 20 with encryption[wpa2]" + log_tail,
            "kill `cat /var/run/wifi-ath2.pid`;wpa_supplicant -b br-vlan20 -B -P "
            "/var/run/wifi-ath2.pid -D athr -i ath2 -c /var/run/wpa_supplicant-ath2.conf"}));
}

}  // namespace
