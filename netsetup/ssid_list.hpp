// The SSID list command (apmenu --test=6): rewrites /etc/config/vlan_ssid, which pairs
// every SSID with the wireless device that carries it, and copies the addresses the LAN
// and the static VLANs really use into their entries of the vlan configuration.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "state/catalogue_types.hpp"

/// One SSID of the list and the wireless section (device ath<section>) that carries it.
struct listed_ssid {
    std::string ssid;
    int section = 0;
};

/// One address option of a vlan entry: the value it should hold and the one it holds.
struct address_sync {
    std::optional<std::string> source;  ///< none when it cannot be read or is refused
    std::optional<std::string> stored;  ///< none when the entry's option cannot be read
    bool always = false;                ///< written without comparing (a live DHCP address)
};

/// The address options of the vlan entry vlan.@vlan[index] of a static VLAN.
struct vlan_address_entry {
    int index = 0;
    address_sync ip;
    address_sync netmask;
};

/// What the SSID list command reads before it composes anything.
struct ssid_list_input {
    bool list_exists = false;              ///< false: the first run, which writes the placeholder
    std::vector<listed_ssid> ssids;        ///< in section order
    address_sync lan_ip;                   ///< vlan.cfg029c96.ip
    address_sync lan_netmask;              ///< vlan.cfg029c96.netmask
    std::vector<vlan_address_entry> vlans; ///< the entries of static VLANs with an id
};

/// Reads the list file's presence, the wireless SSIDs and the addresses to copy.
ssid_list_input read_ssid_list_input();

/// The commands of one run in order: the placeholder alone on the first run; else the
/// list with the LAN entry's changes in one command, then one command per changed VLAN.
std::vector<std::string> ssid_list_commands(const ssid_list_input& in);

/// apmenu --test=6; reads nothing from its arguments. Returns 0.
int get_ssid_list(int argc, const arg_vector& argv);
