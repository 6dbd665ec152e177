// The VLAN setup command (apmenu --test=7): turns the vlansw and vlan configurations into
// bridge interfaces of the network configuration (a trunk per wireless interface, the
// trunk that every wireless interface shares, a bridge per VLAN), keeps the web server's
// listeners on the enabled VLANs' addresses, deletes VLAN interfaces no entry configures
// any more, and logs the enabled VLANs. It edits and commits uci configuration only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "state/catalogue_types.hpp"
#include "netsetup/web_settings.hpp"

/// One vlansw entry: a VLAN carried, tagged on eth0, on the trunk of a wireless interface.
struct trunk_entry {
    int vlan_id = 0;     ///< 0 when unreadable or 0: the entry is ignored
    std::string bridge;  ///< the SSID of the interface, or a text holding "All "
    int iface = 0;       ///< the interface that carries bridge (0 when none does)
};

/// What the trunk bridge network.vlansw<n> of wireless interface n holds now.
struct trunk_iface {
    std::optional<std::string> mode;     ///< wireless.@wifi-iface[n].mode, read for a trunk
    std::optional<std::string> address;  ///< network.vlansw<n>.ipaddr
};

/// One vlan entry, in section order.
struct vlan_entry {
    std::optional<int> vlan_id;          ///< none when unreadable: the entry is skipped
    std::string used = "off";            ///< vlan_used: "on", "off" or anything else
    std::string bridge;                  ///< the SSID of the interface, or a text holding "All "
    int iface = 0;                       ///< the interface that carries bridge (0 when none does)
    std::optional<std::string> tagging;  ///< "ether" (untagged on wireless) or "wifi" (tagged)
    std::optional<std::string> ip;
    std::optional<std::string> netmask;
};

/// What one run reads before it composes anything.
struct vlan_setup_input {
    web_settings web;
    std::string id_list = "0,0";      ///< network.vlan<id> interfaces, as vlan_id_list gives them
    int wifi_count = 0;               ///< wireless interfaces with an SSID
    std::vector<trunk_entry> trunks;  ///< the vlansw entries in section order
    std::vector<trunk_iface> trunk_ifaces;  ///< index n, for n below min(32, wifi_count)
    bool shared_has_address = false;        ///< network.vlansw4all.ipaddr can be read
    bool shared_has_netmask = false;        ///< network.vlansw4all.netmask can be read
    std::vector<std::string> listeners;     ///< the web mode's listener list before the run
    std::vector<vlan_entry> vlans;          ///< the vlan entries in section order
};

/// Reads the web settings, both VLAN configurations and the bridges they build on.
vlan_setup_input read_vlan_setup();

/// The commands of one run, in order: the trunk bridges, the shared trunk, a command per
/// vlan entry, the log line, and the deletion of interfaces no entry configured. An entry
/// whose texts would not fit their bounds is left out whole (and its interface kept).
std::vector<std::string> vlan_setup_commands(const vlan_setup_input& in);

/// apmenu --test=7; reads nothing from its arguments. Returns 0.
int main_vlan(int argc, const arg_vector& argv);
