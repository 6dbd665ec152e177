#include "netsetup/vlan_wpa.hpp"

#include <algorithm>

#include "common/log_line.hpp"
#include "common/shell.hpp"
#include "netsetup/config_queries.hpp"

namespace {

// --- what is read -----------------------------------------------------------------------
constexpr const char* vlan_config_path = "/etc/config/vlan";
constexpr const char* wifi_iface_head = "wireless.@wifi-iface[";
constexpr const char* encryption_option = "].encryption";
constexpr const char* mode_option = "].mode";
/// An encryption holding this is an open interface.
constexpr const char* open_encryption = "none";
constexpr const char* mode_ap = "ap";
constexpr const char* mode_sta = "sta";
constexpr const char* wifi_device = "ath";
/// Run-time files of ath<n>: "/var/run/wifi-ath<n>.pid" and the daemon's configuration.
constexpr const char* pid_head = "/var/run/wifi-ath";
constexpr const char* pid_tail = ".pid";
constexpr const char* hostapd_conf_head = "/var/run/hostapd-ath";
constexpr const char* supplicant_conf_head = "/var/run/wpa_supplicant-ath";
constexpr const char* conf_tail = ".conf";

// --- what is run ------------------------------------------------------------------------
/// "[vlan_wpa] AP mode ath1 for VLAN 10 with encryption[psk2]" and
/// "[vlan_wpa] STA mode, Ethernet trunk vlansw0 at ath0 with encryption[psk2]".
constexpr const char* log_head = "[vlan_wpa] ";
constexpr const char* ap_word = "AP";
constexpr const char* sta_word = "STA";
constexpr const char* for_vlan_head = " mode ";
constexpr const char* for_vlan_text = " for VLAN ";
constexpr const char* trunk_head = " mode, Ethernet trunk ";
constexpr const char* trunk_at_text = " at ";
constexpr const char* encryption_head = " with encryption[";
constexpr const char* encryption_tail = "]";
/// Bridge names: network.vlan<v> is the kernel bridge br-vlan<v>, a trunk S is br-S.
constexpr const char* vlan_bridge_head = "vlan";
/// Access point: 'sed -i "s/bridge=br-lan/bridge=br-<bridge>/g" <conf>;kill `cat <pid>`;
/// hostapd -P <pid> -B <conf>'.
constexpr const char* sed_head = "sed -i \"s/bridge=br-lan/bridge=br-";
constexpr const char* sed_tail = "/g\" ";
constexpr const char* kill_head = "kill `cat ";
constexpr const char* kill_tail = "`";
constexpr const char* command_separator = ";";
constexpr const char* hostapd_head = "hostapd -P ";
constexpr const char* hostapd_conf_option = " -B ";
/// Station: 'kill `cat <pid>`;wpa_supplicant -b br-<bridge> -B -P <pid> -D athr
/// -i ath<n> -c <conf>'.
constexpr const char* supplicant_head = "wpa_supplicant -b br-";
constexpr const char* supplicant_pid_option = " -B -P ";
constexpr const char* supplicant_driver_option = " -D athr -i ";
constexpr const char* supplicant_conf_option = " -c ";

// --- bounds -----------------------------------------------------------------------------
/// At most 33 interfaces that are not open are walked (n = 0 to 32).
constexpr int walk_max = 33;
/// Encryption and mode words are read up to 63 characters.
constexpr size_t value_size = 64;
/// A trunk name is read whole from its line (at most 127 characters).
constexpr size_t trunk_read_size = 128;
/// br-<name> is a kernel interface name of at most 15 characters.
constexpr size_t trunk_name_max = 12;

bool contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

std::string numbered(const char* head, int n, const char* tail) {
    return head + std::to_string(n) + tail;
}

/// A trunk name fit to stand in the sed expression and the bridge name: a uci section
/// name ([A-Za-z0-9_]) short enough for br-<name>.
bool is_trunk_name(const std::string& name) {
    return !name.empty() && name.size() <= trunk_name_max &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_';
           });
}

std::string vlan_log_message(const wpa_iface& i, const std::string& device) {
    return log_head + std::string(i.station ? sta_word : ap_word) + for_vlan_head + device +
           for_vlan_text + std::to_string(*i.vlan_id) + encryption_head + i.encryption +
           encryption_tail;
}

std::string trunk_log_message(const wpa_iface& i, const std::string& device) {
    return log_head + std::string(i.station ? sta_word : ap_word) + trunk_head + *i.trunk +
           trunk_at_text + device + encryption_head + i.encryption + encryption_tail;
}

/// The restart of ath<n>'s daemon on br-<bridge>.
std::string restart_command(const wpa_iface& i, const std::string& bridge) {
    const int n = i.index;
    const std::string pid = numbered(pid_head, n, pid_tail);
    const std::string kill = kill_head + pid + kill_tail;
    if (i.station) {
        return kill + command_separator + supplicant_head + bridge + supplicant_pid_option + pid +
               supplicant_driver_option + wifi_device + std::to_string(n) + supplicant_conf_option +
               numbered(supplicant_conf_head, n, conf_tail);
    }
    const std::string conf = numbered(hostapd_conf_head, n, conf_tail);
    return sed_head + bridge + sed_tail + conf + command_separator + kill + command_separator +
           hostapd_head + pid + hostapd_conf_option + conf;
}

std::string iface_key(int n, const char* option) { return numbered(wifi_iface_head, n, option); }

/// The interface ath<n> with its encryption, or none when its mode is neither access
/// point nor station or its run-time files are missing.
std::optional<wpa_iface> read_iface(int n, const std::string& encryption) {
    std::string mode;
    if (uci_get(iface_key(n, mode_option), mode, value_size) != 0) return std::nullopt;
    wpa_iface i;
    i.index = n;
    i.encryption = encryption;
    if (contains(mode, mode_ap))
        i.station = false;
    else if (contains(mode, mode_sta))
        i.station = true;
    else
        return std::nullopt;
    const char* conf_head = i.station ? supplicant_conf_head : hostapd_conf_head;
    if (file_check(numbered(pid_head, n, pid_tail)) != 0 ||
        file_check(numbered(conf_head, n, conf_tail)) != 0)
        return std::nullopt;
    const std::string device = wifi_device + std::to_string(n);
    int vid = 0;
    if (vlan_of_ifname(device, vid) == 1) i.vlan_id = vid;
    std::string trunk;
    if (vlansw_of_ifname(device, trunk, trunk_read_size) == 1) i.trunk = trunk;
    return i;
}

}  // namespace

std::vector<wpa_iface> read_wpa_ifaces() {
    std::vector<wpa_iface> found;
    for (int n = 0;;) {
        std::string encryption;
        if (uci_get(iface_key(n, encryption_option), encryption, value_size) != 0) break;
        // An open interface does not count toward the walk's end.
        if (contains(encryption, open_encryption)) {
            ++n;
            continue;
        }
        if (std::optional<wpa_iface> i = read_iface(n, encryption)) found.push_back(*i);
        if (++n >= walk_max) break;
    }
    return found;
}

std::vector<std::string> vlan_wpa_commands(const std::vector<wpa_iface>& ifaces) {
    std::vector<std::string> out;
    for (const wpa_iface& i : ifaces) {
        const std::string device = wifi_device + std::to_string(i.index);
        if (i.vlan_id) {
            out.push_back(log_command(log_line_text(vlan_log_message(i, device))));
            out.push_back(restart_command(i, vlan_bridge_head + std::to_string(*i.vlan_id)));
        }
        if (i.trunk && is_trunk_name(*i.trunk)) {
            out.push_back(log_command(log_line_text(trunk_log_message(i, device))));
            out.push_back(restart_command(i, *i.trunk));
        }
    }
    return out;
}

int main_vlan_wpa(int, const arg_vector&) {
    if (file_check(vlan_config_path) != 0) return 0;
    for (const std::string& command : vlan_wpa_commands(read_wpa_ifaces())) run_command(command);
    return 0;
}
