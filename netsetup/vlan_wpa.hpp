// The VLAN wireless security command (apmenu --test=9): an encrypted wireless interface
// that the VLAN setup put into a VLAN bridge or a trunk gets its authenticator (hostapd,
// access point) or supplicant (wpa_supplicant, station) restarted on that bridge instead
// of br-lan, with a log line before each restart.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "state/catalogue_types.hpp"

/// An encrypted interface ath<index> whose run-time files are there.
struct wpa_iface {
    int index = 0;
    bool station = false;              ///< wpa_supplicant rather than hostapd
    std::string encryption;            ///< for the log
    std::optional<int> vlan_id;        ///< the VLAN bridge network.vlan<id> holds it untagged
    std::optional<std::string> trunk;  ///< the trunk bridge (vlansw<k>, vlansw4all) holds it
};

/// Walks the wireless sections (at most 33 that are not open; the first without an
/// encryption ends the walk) and returns the interfaces to treat, in order.
std::vector<wpa_iface> read_wpa_ifaces();

/// The commands in order: for each interface in a VLAN bridge, then for each in a trunk,
/// the log line's command and then the restart. A trunk name that is not a uci section
/// name fit for a bridge is refused (nothing is run for it).
std::vector<std::string> vlan_wpa_commands(const std::vector<wpa_iface>& ifaces);

/// apmenu --test=9; reads nothing from its arguments. Returns 0.
int main_vlan_wpa(int argc, const arg_vector& argv);
