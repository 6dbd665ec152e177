#include "netsetup/ssid_list.hpp"

#include <cstdint>

#include "common/shell.hpp"
#include "common/text_fields.hpp"
#include "netsetup/config_queries.hpp"
#include "netsetup/web_settings.hpp"

namespace {

// --- the list file ----------------------------------------------------------------------
constexpr const char* list_path = "/etc/config/vlan_ssid";
/// The one line of the first run, paired with ath0.
constexpr const char* placeholder_ssid = "NO NAME";
/// A list line: echo '"<ssid>" "ath<n>"' >/etc/config/vlan_ssid (">>" after the first).
constexpr const char* line_head = "echo '\"";
constexpr const char* line_device = "\" \"ath";
constexpr const char* first_line_tail = "\"' >";
constexpr const char* next_line_tail = "\"' >>";
/// The last line, written only when two or more SSIDs are listed.
constexpr const char* all_others_line = "echo '\"All Others\" \"all\"' >>";
constexpr size_t all_others_min_ssids = 2;

// --- the vlan entries -------------------------------------------------------------------
/// The LAN's entry: the unnamed vlan section in the second place of the vlan file.
constexpr const char* lan_entry = "vlan.cfg029c96";
constexpr const char* vlan_entry_head = "vlan.@vlan[";
constexpr const char* vlan_entry_tail = "]";
constexpr const char* ip_option = ".ip";
constexpr const char* netmask_option = ".netmask";
constexpr const char* vlanid_option = ".vlanid";
constexpr const char* set_head = "uci set ";
constexpr const char* commit_command = "uci commit vlan";
constexpr const char* separator = ";";

// --- what is read -----------------------------------------------------------------------
constexpr const char* lan_proto_key = "network.lan.proto";
constexpr const char* lan_ipaddr_key = "network.lan.ipaddr";
constexpr const char* lan_netmask_key = "network.lan.netmask";
constexpr const char* lan_iface = "lan";
constexpr const char* ipaddr_item = "ipaddr";
constexpr const char* netmask_item = "netmask";
constexpr const char* network_vlan_head = "network.vlan";
constexpr const char* proto_option = ".proto";
constexpr const char* ipaddr_option = ".ipaddr";
constexpr const char* static_word = "static";
constexpr const char* dhcp_word = "dhcp";
constexpr const char* vlan_package = "vlan";
/// What wifi_iface_ssid and vlan_bridge_of give past the last section.
constexpr const char* no_section = "unknown";

// --- bounds -----------------------------------------------------------------------------
/// Wireless sections listed: 0 to 32.
constexpr int max_ssid_sections = 33;
/// The longest SSID a radio carries; a longer one (or one cut by the query) is not listed.
constexpr size_t ssid_max = 32;
/// Addresses, masks and VLAN ids are held in texts of 28 bytes: a longer value is not
/// copied rather than cut into another address.
constexpr size_t address_max = 27;
/// Values are read whole (as long as uci_get's line allows), so that a long one is seen.
constexpr size_t read_size = 512;

std::string list_line(const std::string& ssid, int section, bool first) {
    return line_head + shell_escape_in_quotes(ssid) + line_device + std::to_string(section) +
           (first ? first_line_tail : next_line_tail) + list_path;
}

std::string vlan_entry(int index) {
    return vlan_entry_head + std::to_string(index) + vlan_entry_tail;
}

/// Appends "uci set <key>=<value>" when the option must change; true when it did.
bool add_set(std::vector<std::string>& parts, const std::string& key, const address_sync& a) {
    if (!a.source) return false;
    if (!a.always && (!a.stored || *a.stored == *a.source)) return false;
    parts.push_back(set_head + key + "=" + shell_quote(*a.source));
    return true;
}

/// Appends the changes of one vlan entry and, when there are any, its commit.
void add_entry_changes(std::vector<std::string>& parts, const std::string& entry,
                       const address_sync& ip, const address_sync& netmask) {
    bool changed = add_set(parts, entry + ip_option, ip);
    changed = add_set(parts, entry + netmask_option, netmask) || changed;
    if (changed) parts.push_back(commit_command);
}

std::string join(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : separator) + p;
    return out;
}

std::optional<std::string> read_value(const std::string& key) {
    std::string value;
    if (uci_get(key, value, read_size) != 0) return std::nullopt;
    return value;
}

/// A value that goes into an address text; refused when it does not fit one.
std::optional<std::string> read_address(const std::string& key) {
    std::optional<std::string> value = read_value(key);
    if (value && value->size() > address_max) return std::nullopt;
    return value;
}

bool contains(const std::string& s, const char* word) { return s.find(word) != std::string::npos; }

/// The live address or mask of the LAN bridge, written whatever the entry holds.
address_sync live_lan_value(const char* item) {
    address_sync a;
    a.always = true;
    uint32_t addr = 0;
    if (net_addr_query(lan_iface, item, addr) == 0) a.source = dotted_text(addr);
    return a;
}

void read_ssids(ssid_list_input& in) {
    for (int n = 0; n < max_ssid_sections; ++n) {
        std::string ssid = wifi_iface_ssid(n);
        if (ssid == no_section) break;
        if (ssid.size() > ssid_max) continue;
        in.ssids.push_back({ssid, n});
    }
}

void read_lan(ssid_list_input& in) {
    std::optional<std::string> proto = read_value(lan_proto_key);
    if (!proto) return;
    if (contains(*proto, static_word)) {
        in.lan_ip = {read_address(lan_ipaddr_key), read_value(std::string(lan_entry) + ip_option)};
        in.lan_netmask = {read_address(lan_netmask_key),
                          read_value(std::string(lan_entry) + netmask_option)};
    } else if (contains(*proto, dhcp_word)) {
        in.lan_ip = live_lan_value(ipaddr_item);
        in.lan_netmask = live_lan_value(netmask_item);
    }
}

void read_vlans(ssid_list_input& in) {
    for (int i = 0; vlan_bridge_of(vlan_package, i) != no_section; ++i) {
        std::optional<std::string> id = read_value(vlan_entry(i) + vlanid_option);
        if (!id || id->size() > address_max || decimal_int(*id) == 0) continue;
        std::string network = network_vlan_head + *id;
        std::optional<std::string> proto = read_value(network + proto_option);
        if (!proto || !contains(*proto, static_word)) continue;
        vlan_address_entry e;
        e.index = i;
        e.ip = {read_address(network + ipaddr_option), read_value(vlan_entry(i) + ip_option)};
        e.netmask = {read_address(network + netmask_option),
                     read_value(vlan_entry(i) + netmask_option)};
        in.vlans.push_back(e);
    }
}

}  // namespace

ssid_list_input read_ssid_list_input() {
    ssid_list_input in;
    in.list_exists = file_check(list_path) == 0;
    if (!in.list_exists) return in;
    read_ssids(in);
    read_lan(in);
    read_vlans(in);
    return in;
}

std::vector<std::string> ssid_list_commands(const ssid_list_input& in) {
    if (!in.list_exists) return {list_line(placeholder_ssid, 0, true)};
    std::vector<std::string> commands;
    std::vector<std::string> parts;
    for (const listed_ssid& s : in.ssids) parts.push_back(list_line(s.ssid, s.section, parts.empty()));
    if (in.ssids.size() >= all_others_min_ssids)
        parts.push_back(std::string(all_others_line) + list_path);
    add_entry_changes(parts, lan_entry, in.lan_ip, in.lan_netmask);
    if (!parts.empty()) commands.push_back(join(parts));
    for (const vlan_address_entry& e : in.vlans) {
        parts.clear();
        add_entry_changes(parts, vlan_entry(e.index), e.ip, e.netmask);
        if (!parts.empty()) commands.push_back(join(parts));
    }
    return commands;
}

int get_ssid_list(int, const arg_vector&) {
    for (const std::string& command : ssid_list_commands(read_ssid_list_input()))
        run_command(command);
    return 0;
}
