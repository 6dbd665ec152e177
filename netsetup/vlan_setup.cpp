#include "netsetup/vlan_setup.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "common/log_line.hpp"
#include "common/shell.hpp"
#include "common/text_fields.hpp"
#include "netsetup/config_queries.hpp"

namespace {

// --- what is read -----------------------------------------------------------------------
constexpr const char* vlan_config_path = "/etc/config/vlan";
constexpr const char* vlansw_package = "vlansw";
constexpr const char* vlan_package = "vlan";
constexpr const char* entry_head = ".@vlan[";
constexpr const char* vlanid_option = "].vlanid";
constexpr const char* bridge_option = "].bridge";
constexpr const char* used_option = "].vlan_used";
constexpr const char* tagging_option = "].tagging";
constexpr const char* ip_option = "].ip";
constexpr const char* netmask_option = "].netmask";
constexpr const char* wifi_iface_head = "wireless.@wifi-iface[";
constexpr const char* wifi_mode_option = "].mode";
constexpr const char* network_head = "network.";
constexpr const char* ipaddr_option = ".ipaddr";
constexpr const char* mask_option = ".netmask";
/// What vlan_bridge_of gives past the last section.
constexpr const char* no_section = "unknown";
/// A bridge text holding this is the All Others entry: every wireless interface.
constexpr const char* all_marker = "All ";
constexpr const char* used_on = "on";
constexpr const char* used_off = "off";
constexpr const char* tagging_ether = "ether";
constexpr const char* tagging_wifi = "wifi";
constexpr const char* mode_ap = "ap";
constexpr const char* mode_sta = "sta";

// --- what is run ------------------------------------------------------------------------
// Phases 2 and 3, a trunk: "uci set network.vlansw<n>=interface", then ";uci set
// network.vlansw<n>" with ".ipaddr=<address>", ".netmask=255.255.255.0", ".type=bridge",
// ".proto=static" and ".ifname='ath<n> eth0.<vid> ...'", then ";uci commit network".
// A trunk without VLANs: "uci delete network.vlansw<n>;uci commit network".
constexpr const char* first_set_head = "uci set network.";
constexpr const char* next_set_head = ";uci set network.";
constexpr const char* delete_head = "uci delete network.";
constexpr const char* trunk_name = "vlansw";
constexpr const char* shared_trunk = "4all";
constexpr const char* interface_type = "=interface";
constexpr const char* ipaddr_set = ".ipaddr=";
/// Trunk addresses without one of their own: 192.168.<100 + n>.<host by mode>.
constexpr const char* default_net_head = "192.168.";
constexpr int default_net_base = 100;
constexpr const char* ap_host = ".1";
constexpr const char* sta_host = ".2";
constexpr const char* other_host = ".222";
constexpr const char* shared_address = "192.168.111.1";
constexpr const char* netmask_set = ".netmask=";
constexpr const char* trunk_netmask = "255.255.255.0";
constexpr const char* type_bridge = ".type=bridge";
constexpr const char* proto_static = ".proto=static";
constexpr const char* ifname_set = ".ifname='";
constexpr const char* wifi_device = "ath";
constexpr const char* wired_device = "eth0.";
constexpr const char* member_separator = " ";
constexpr const char* tag_separator = ".";
constexpr const char* ifname_end = "'";
constexpr const char* commit_network = ";uci commit network";
// Phase 4, a VLAN: "uci set network.vlan<vid>=interface" and its options as above, then
// its listener and ";uci commit uhttpd". The LAN entry: ";uci delete <list>", the
// loopback's and the LAN's listeners, ";uci commit uhttpd".
constexpr const char* bridge_name = "vlan";
constexpr const char* command_separator = ";";
constexpr const char* loopback = "127.0.0.1";
constexpr const char* commit_uhttpd = ";uci commit uhttpd";
// Phase 5, the log text: "[<time stamp>] [vlan] Setup vlan ... id=10[ip=a],id=20[ip=b]".
constexpr const char* setup_message = "[vlan] Setup vlan ...";
constexpr const char* first_id_head = " id=";
constexpr const char* next_id_head = ",id=";
constexpr const char* id_ip_head = "[ip=";
constexpr const char* id_ip_tail = "]";
// Phase 6: "uci delete network.vlan<id>;uci delete network.vlan<id>...;uci commit network".
constexpr const char* next_delete_head = ";uci delete network.";
/// The list of ids ends in this, so that each id stands between two commas.
constexpr const char* id_list_end = ",0";
constexpr const char* empty_id_list = "0,0";
constexpr const char* id_separator = ",";

// --- bounds -----------------------------------------------------------------------------
/// Trunk rows 0-31 are the wireless interfaces'; row 32 is the shared trunk's.
constexpr int wifi_trunk_rows = 32;
constexpr int shared_row = 32;
constexpr size_t trunk_ids_max = 32;
/// A member list (" eth0.10 eth0.20", " ath0 ath1") holds at most 383 characters.
constexpr size_t member_list_max = 383;
constexpr size_t command_max = 1399;
constexpr size_t log_text_max = 1151;
/// The id list holds at most 191 characters.
constexpr size_t id_list_size = 192;
/// Addresses and masks are held in 28-byte texts, as everywhere on the device.
constexpr size_t address_max = 27;
/// Values are read whole (a uci_get line is at most 511 characters), so that a value past
/// its bound is seen and refused rather than cut.
constexpr size_t read_size = 512;
constexpr size_t uci_line_max = 511;

bool contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

/// The trunk table: VLAN ids per row, in the order found.
struct trunk_table {
    std::array<std::vector<int>, wifi_trunk_rows + 1> rows;
    std::string wifi_members;  ///< " ath0 ath1 ...": the shared trunk's wireless side
};

/// " eth0.<vid>" for each id.
std::string wired_members(const std::vector<int>& ids) {
    std::string list;
    for (int id : ids) list += member_separator + std::string(wired_device) + std::to_string(id);
    return list;
}

/// " ath<n><suffix>" for every wireless interface; the building stops once past the bound.
std::string wifi_members(int wifi_count, const std::string& suffix) {
    std::string list;
    for (int n = 0; n < wifi_count && list.size() <= member_list_max; ++n)
        list += member_separator + std::string(wifi_device) + std::to_string(n) + suffix;
    return list;
}

/// Phase 1: the trunk rows of the vlansw entries. An entry past a row's bounds, or of an
/// interface beyond row 31, is left out.
trunk_table collect_trunks(const std::vector<trunk_entry>& trunks, int wifi_count) {
    trunk_table table;
    const std::string all_members = wifi_members(wifi_count, "");
    for (const trunk_entry& e : trunks) {
        if (e.vlan_id == 0) continue;
        int row = e.iface;
        if (contains(e.bridge, all_marker)) {
            if (all_members.size() > member_list_max) continue;
            row = shared_row;
            table.wifi_members = all_members;
        } else if (row < 0 || row >= wifi_trunk_rows) {
            continue;
        }
        std::vector<int>& ids = table.rows[static_cast<size_t>(row)];
        if (ids.size() == trunk_ids_max ||
            wired_members(ids).size() + wired_members({e.vlan_id}).size() > member_list_max)
            continue;
        ids.push_back(e.vlan_id);
    }
    return table;
}

/// Runs a composed text: a leading ';' is dropped. A text past the bound is refused whole.
bool emit(std::vector<std::string>& out, std::string text) {
    if (text.compare(0, 1, command_separator) == 0) text.erase(0, 1);
    if (text.size() > command_max) return false;
    out.push_back(std::move(text));
    return true;
}

std::string set_piece(const std::string& section, const std::string& rest) {
    return next_set_head + section + rest;
}

std::string default_trunk_address(const std::optional<std::string>& mode, int n) {
    const std::string m = mode.value_or(mode_ap);
    const char* host = contains(m, mode_ap)    ? ap_host
                       : contains(m, mode_sta) ? sta_host
                                               : other_host;
    return default_net_head + std::to_string(default_net_base + n) + host;
}

/// Phase 2: a trunk bridge per wireless interface with VLANs; a left-over one is deleted.
void compose_trunks(const vlan_setup_input& in, const trunk_table& table,
                    std::vector<std::string>& out) {
    const int rows = std::min(wifi_trunk_rows, in.wifi_count);
    for (int n = 0; n < rows; ++n) {
        const trunk_iface none;
        const size_t row = static_cast<size_t>(n);
        const trunk_iface& iface = row < in.trunk_ifaces.size() ? in.trunk_ifaces[row] : none;
        const std::string section = trunk_name + std::to_string(n);
        if (table.rows[row].empty()) {
            if (iface.address) emit(out, delete_head + section + commit_network);
            continue;
        }
        std::string text = first_set_head + section + interface_type;
        // The existing address stays; one too long to be an address is left as it stands.
        if (!iface.address)
            text += set_piece(section, ipaddr_set + default_trunk_address(iface.mode, n));
        else if (iface.address->size() <= address_max)
            text += set_piece(section, ipaddr_set + shell_quote(*iface.address));
        text += set_piece(section, netmask_set + std::string(trunk_netmask));
        text += set_piece(section, type_bridge);
        text += set_piece(section, proto_static);
        text += set_piece(section, ifname_set + std::string(wifi_device) + std::to_string(n) +
                                       wired_members(table.rows[row]) + ifname_end);
        emit(out, text + commit_network);
    }
}

/// Phase 3: the trunk of the All Others entries, or its deletion.
void compose_shared_trunk(const vlan_setup_input& in, const trunk_table& table,
                          std::vector<std::string>& out) {
    const std::string section = std::string(trunk_name) + shared_trunk;
    const std::vector<int>& ids = table.rows[shared_row];
    if (ids.empty()) {
        if (in.shared_has_address) emit(out, delete_head + section + commit_network);
        return;
    }
    std::string text = first_set_head + section + interface_type;
    if (!in.shared_has_address)
        text += set_piece(section, ipaddr_set + std::string(shared_address));
    if (!in.shared_has_netmask)
        text += set_piece(section, netmask_set + std::string(trunk_netmask));
    text += set_piece(section, type_bridge);
    text += set_piece(section, proto_static);
    // Wired members, then the wireless ones: 'eth0.30 eth0.40 ath0 ath1'.
    text += set_piece(section,
                      ifname_set + wired_members(ids).substr(1) + table.wifi_members + ifname_end);
    emit(out, text + commit_network);
}

/// The listener list of the run's web mode, as the run leaves it.
struct listener_state {
    const char* key = nullptr;  ///< null: the mode keeps every list as it is
    int port = 0;
    std::vector<std::string> held;            ///< "<address>:<port>" entries of the list
    std::vector<std::string> vlan_addresses;  ///< the enabled VLANs' addresses so far

    /// Appends the add of address's listener to text unless address is empty (a listener
    /// on every interface), the list holds it already, or text would pass room.
    void add(std::string& text, const std::string& address, size_t room) {
        const std::string entry = address + ":" + std::to_string(port);
        if (address.empty() || std::find(held.begin(), held.end(), entry) != held.end()) return;
        const std::string piece = command_separator + listen_add_command(key, address, port);
        if (text.size() + piece.size() > room) return;
        text += piece;
        held.push_back(entry);
    }
};

listener_state start_listeners(const vlan_setup_input& in) {
    listener_state l;
    if (in.web.mode == web_mode_https) {
        l.key = https_listen_key;
        l.port = in.web.https_port;
    } else if (in.web.mode == web_mode_http) {
        l.key = http_listen_key;
        l.port = in.web.http_port;
    }
    if (l.key) l.held = in.listeners;
    return l;
}

/// Room for a listener's add in a text that still gets ";uci commit uhttpd" and loses its
/// leading ';' when run.
const size_t listener_room = command_max + 1 - std::strlen(commit_uhttpd);

/// Phase 4, the LAN entry: the listener list starts anew with the loopback and the LAN;
/// the enabled VLANs before it get theirs back, so section order does not matter.
void compose_lan(const vlan_entry& e, listener_state& l, std::vector<std::string>& out) {
    if (!e.ip || e.ip->size() > address_max) return;
    std::string text;
    if (l.key) {
        text = command_separator + listen_delete_command(l.key);
        l.held.clear();
        l.add(text, loopback, listener_room);
        if (e.used == used_on) l.add(text, *e.ip, listener_room);
        for (const std::string& address : l.vlan_addresses) l.add(text, address, listener_room);
    }
    emit(out, text + commit_uhttpd);
}

/// The ifname piece of bridge section (empty for a tagging that sets no member list);
/// false when the wireless side would pass its bound.
bool bridge_members(const vlan_entry& e, int vid, int wifi_count, const std::string& section,
                    std::string& piece) {
    piece.clear();
    if (!e.tagging || (*e.tagging != tagging_ether && *e.tagging != tagging_wifi)) return true;
    const std::string suffix =
        *e.tagging == tagging_wifi ? tag_separator + std::to_string(vid) : "";
    std::string wifi;
    if (contains(e.bridge, all_marker)) {
        // No wireless interface leaves eth0.<vid> alone.
        wifi = wifi_members(wifi_count, suffix);
        if (wifi.size() > member_list_max) return false;
    } else {
        wifi = member_separator + std::string(wifi_device) + std::to_string(e.iface) + suffix;
    }
    piece = set_piece(
        section, ifname_set + std::string(wired_device) + std::to_string(vid) + wifi + ifname_end);
    return true;
}

/// Adds an enabled VLAN to the log text; an item that would not fit is left out whole.
void log_vlan(std::string& log, int vid, const std::string& address) {
    std::string item = log.empty() ? log_line_text(setup_message) + first_id_head : next_id_head;
    item += std::to_string(vid) + id_ip_head + address + id_ip_tail;
    if (log.size() + item.size() <= log_text_max) log += item;
}

/// Removes ",<id>," from the list, keeping the first comma ('0,10,20,0' without 10 is
/// '0,20,0'); false when the id does not stand between two commas.
bool remove_id(std::string& list, const std::string& id) {
    const size_t at = list.find(id_separator + id + id_separator);
    if (at == std::string::npos) return false;
    list.erase(at + 1, id.size() + 1);
    return true;
}

/// Phase 4, a VLAN entry that is "on" or "off": its bridge, and for "on" its listener and
/// its log item. An entry past a bound is left out whole and keeps its interface.
void compose_bridge(const vlan_entry& e, int wifi_count, listener_state& l, std::string& log,
                    std::string& ids, std::vector<std::string>& out) {
    if (e.used != used_on && e.used != used_off) return;
    const int vid = *e.vlan_id;
    const std::string section = bridge_name + std::to_string(vid);
    std::string members;
    const bool fits = (!e.ip || e.ip->size() <= address_max) &&
                      (!e.netmask || e.netmask->size() <= address_max) &&
                      bridge_members(e, vid, wifi_count, section, members);
    if (fits) {
        std::string text = first_set_head + section + interface_type + members;
        text += set_piece(section, type_bridge);
        text += set_piece(section, proto_static);
        if (e.ip) text += set_piece(section, ipaddr_set + shell_quote(*e.ip));
        if (e.netmask) text += set_piece(section, netmask_set + shell_quote(*e.netmask));
        text += commit_network;
        listener_state next = l;
        const bool on = e.used == used_on;
        const std::string address = e.ip.value_or("");
        if (on) {
            // The whole text is checked when it is run: the entry goes whole or not at all.
            if (next.key) next.add(text, address, std::string::npos);
            if (!address.empty()) next.vlan_addresses.push_back(address);
            text += commit_uhttpd;
        }
        if (emit(out, text)) {
            l = next;
            if (on) log_vlan(log, vid, address);
        }
    }
    remove_id(ids, std::to_string(vid));
}

/// The id list with whole ids only: a list cut to its bound can end in a piece of an id
/// that names another interface, which must not be deleted. The piece is dropped.
std::string whole_ids(std::string list) {
    const size_t end_size = std::strlen(id_list_end);
    if (list.size() >= end_size && list.compare(list.size() - end_size, end_size, id_list_end) == 0)
        return list;
    const size_t comma = list.rfind(id_separator);
    if (comma == std::string::npos) return empty_id_list;
    list.erase(comma);
    return list + id_list_end;
}

bool all_digits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

/// Phase 6: deletes the interfaces left in the list. The walk ends when the list is
/// exhausted, an id cannot be taken from it, or the command is full (the rest are left).
void compose_deletions(std::string ids, std::vector<std::string>& out) {
    std::string text;
    const size_t room = command_max + 1 - std::strlen(commit_network);
    while (ids != empty_id_list) {
        std::string id;
        get_field(id, ids, 1, *id_separator);
        if (!all_digits(id)) break;
        const std::string piece = next_delete_head + std::string(bridge_name) + id;
        if (text.size() + piece.size() > room || !remove_id(ids, id)) break;
        text += piece;
    }
    if (!text.empty()) emit(out, text + commit_network);
}

// --- reading ----------------------------------------------------------------------------

std::string entry_key(const char* package, int index, const char* option) {
    return package + std::string(entry_head) + std::to_string(index) + option;
}

std::optional<std::string> read_value(const std::string& key) {
    std::string value;
    if (uci_get(key, value, read_size) != 0) return std::nullopt;
    return value;
}

/// The wireless interface that carries the SSID; 0 when none does.
int iface_of(const std::string& ssid) { return std::max(0, ssid_iface_index(ssid)); }

/// The entries of a listener list; a line of the full length may have been cut, so its
/// last word, perhaps a piece of an entry, is not taken.
std::vector<std::string> read_listeners(const std::string& key) {
    std::vector<std::string> entries;
    std::string text;
    if (uci_get(key, text, read_size) != 0) return entries;
    for (uint16_t i = 0;; ++i) {
        std::string word;
        get_field(word, text, i, ' ');
        if (word.empty()) break;
        entries.push_back(word);
    }
    if (key.size() + 1 + text.size() >= uci_line_max && !entries.empty()) entries.pop_back();
    return entries;
}

void read_trunk_entries(vlan_setup_input& in) {
    for (int i = 0; vlan_bridge_of(vlansw_package, i) != no_section; ++i) {
        trunk_entry e;
        if (std::optional<std::string> id = read_value(entry_key(vlansw_package, i, vlanid_option)))
            e.vlan_id = decimal_int(*id);
        if (e.vlan_id != 0) {
            e.bridge = read_value(entry_key(vlansw_package, i, bridge_option)).value_or("");
            e.iface = iface_of(e.bridge);
        }
        in.trunks.push_back(e);
    }
}

void read_trunk_bridges(vlan_setup_input& in) {
    const trunk_table table = collect_trunks(in.trunks, in.wifi_count);
    const std::string trunk_head = network_head + std::string(trunk_name);
    for (int n = 0; n < std::min(wifi_trunk_rows, in.wifi_count); ++n) {
        trunk_iface t;
        if (!table.rows[static_cast<size_t>(n)].empty())
            t.mode = read_value(wifi_iface_head + std::to_string(n) + wifi_mode_option);
        t.address = read_value(trunk_head + std::to_string(n) + ipaddr_option);
        in.trunk_ifaces.push_back(t);
    }
    in.shared_has_address = read_value(trunk_head + shared_trunk + ipaddr_option).has_value();
    in.shared_has_netmask = read_value(trunk_head + shared_trunk + mask_option).has_value();
}

void read_vlan_entries(vlan_setup_input& in) {
    for (int i = 0; vlan_bridge_of(vlan_package, i) != no_section; ++i) {
        vlan_entry e;
        std::optional<std::string> id = read_value(entry_key(vlan_package, i, vlanid_option));
        if (id) {
            e.vlan_id = decimal_int(*id);
            e.used = read_value(entry_key(vlan_package, i, used_option)).value_or(used_off);
            if (*e.vlan_id == 0) {
                e.ip = read_value(entry_key(vlan_package, i, ip_option));
            } else if (e.used == used_on || e.used == used_off) {
                e.bridge = read_value(entry_key(vlan_package, i, bridge_option)).value_or("");
                e.iface = iface_of(e.bridge);
                e.tagging = read_value(entry_key(vlan_package, i, tagging_option));
                e.ip = read_value(entry_key(vlan_package, i, ip_option));
                e.netmask = read_value(entry_key(vlan_package, i, netmask_option));
            }
        }
        in.vlans.push_back(e);
    }
}

}  // namespace

vlan_setup_input read_vlan_setup() {
    vlan_setup_input in;
    in.web = read_web_settings();
    vlan_id_list(in.id_list, id_list_size);
    wifi_ssid_count(in.wifi_count);  // stays 0 when it cannot be read
    read_trunk_entries(in);
    read_trunk_bridges(in);
    if (in.web.mode == web_mode_https)
        in.listeners = read_listeners(https_listen_key);
    else if (in.web.mode == web_mode_http)
        in.listeners = read_listeners(http_listen_key);
    read_vlan_entries(in);
    return in;
}

std::vector<std::string> vlan_setup_commands(const vlan_setup_input& in) {
    std::vector<std::string> out;
    const trunk_table table = collect_trunks(in.trunks, in.wifi_count);
    compose_trunks(in, table, out);
    compose_shared_trunk(in, table, out);
    std::string ids = whole_ids(in.id_list);
    listener_state listeners = start_listeners(in);
    std::string log;
    for (const vlan_entry& e : in.vlans) {
        if (!e.vlan_id) continue;
        if (*e.vlan_id == 0)
            compose_lan(e, listeners, out);
        else
            compose_bridge(e, in.wifi_count, listeners, log, ids, out);
    }
    // Always written: with no enabled VLAN an empty line is appended.
    out.push_back(log_command(log));
    compose_deletions(ids, out);
    return out;
}

int main_vlan(int, const arg_vector&) {
    if (file_check(vlan_config_path) != 0) return 0;
    for (const std::string& command : vlan_setup_commands(read_vlan_setup())) run_command(command);
    return 0;
}
