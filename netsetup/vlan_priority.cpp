#include "netsetup/vlan_priority.hpp"

#include <cstdint>

#include "common/log_line.hpp"
#include "common/shell.hpp"
#include "common/text_fields.hpp"
#include "netsetup/config_queries.hpp"

namespace {

// --- what is read -----------------------------------------------------------------------
constexpr const char* vlan_config_path = "/etc/config/vlan";
/// The two passes, in order: the VLAN bridges' entries, then the trunks' entries.
constexpr const char* vlan_package = "vlan";
constexpr const char* vlansw_package = "vlansw";
constexpr const char* entry_head = ".@vlan[";
constexpr const char* vlanid_option = "].vlanid";
constexpr const char* priority_option = "].priority";
constexpr const char* network_head = "network.";
constexpr const char* ifname_option = ".ifname";
/// The trunk that every wireless interface shares, after the trunks vlansw0, vlansw1, ...
constexpr const char* shared_trunk = "4all";
/// The kernel lists each VLAN device it has as a file of this folder.
constexpr const char* kernel_vlan_dir = "/proc/net/vlan/";
/// What vlan_bridge_of gives past the last section.
constexpr const char* no_section = "unknown";

// --- what is run ------------------------------------------------------------------------
/// Log message "[<package>] Set VLAN priority...[<device>]=<priority>".
constexpr const char* package_head = "[";
constexpr const char* package_tail = "] ";
constexpr const char* priority_message = "Set VLAN priority...";
constexpr const char* device_head = "[";
constexpr const char* device_tail = "]=";
/// Received frames of every 802.1p value q get the priority p: "... <device> <p> <q>".
constexpr const char* ingress_head = ";vconfig set_ingress_map ";
/// Frames of every priority q leave tagged with p: "... <device> <q> <p>".
constexpr const char* egress_head = ";vconfig set_egress_map ";

// --- bounds -----------------------------------------------------------------------------
constexpr int priority_max = 7;
/// 802.1p values mapped in each direction.
constexpr int map_values = 8;
/// A member list holds at most 127 words; a longer one is not treated.
constexpr size_t member_words_max = 127;
/// uci_get reads one line of at most 511 characters: a list whose line reaches that
/// length may have been cut, and a cut word could name another device.
constexpr size_t uci_line_max = 511;
constexpr size_t read_size = 512;
/// The log text and the command of one device; a device whose texts would not fit is
/// left alone rather than logged or mapped in part.
constexpr size_t log_text_max = 511;
constexpr size_t command_max = 1203;

std::string entry_key(const char* package, int index, const char* option) {
    return package + std::string(entry_head) + std::to_string(index) + option;
}

/// Whether text reads as a decimal number (blanks, a sign, then a digit); the number is
/// read as atoi reads it.
bool read_number(const std::string& text, int& out) {
    size_t at = text.find_first_not_of(" \t\n\v\f\r");
    if (at != std::string::npos && (text[at] == '-' || text[at] == '+')) ++at;
    if (at == std::string::npos || at >= text.size() || text[at] < '0' || text[at] > '9')
        return false;
    out = decimal_int(text);
    return true;
}

/// Appends the words of the member list at key; false, words untouched, when the list
/// cannot be read or exceeds its bounds.
bool read_members(const std::string& key, std::vector<std::string>& words) {
    std::string text;
    if (uci_get(key, text, read_size) != 0) return false;
    // The line is "<key>=<list>" (the sections read here are named ones).
    if (key.size() + 1 + text.size() >= uci_line_max) return false;
    std::vector<std::string> found;
    for (uint16_t i = 0;; ++i) {
        std::string word;
        get_field(word, text, i, ' ');
        if (word.empty()) break;
        if (found.size() == member_words_max) return false;
        found.push_back(word);
    }
    words.insert(words.end(), found.begin(), found.end());
    return true;
}

/// The members of every trunk: vlansw0 to vlansw<count - 1>, then vlansw4all. False
/// when none of their lists can be read.
bool read_trunk_members(int wifi_count, std::vector<std::string>& words) {
    bool any = false;
    for (int k = 0; k <= wifi_count; ++k) {
        std::string trunk = k < wifi_count ? std::to_string(k) : shared_trunk;
        any = read_members(network_head + std::string(vlansw_package) + trunk + ifname_option,
                           words) || any;
    }
    return any;
}

/// The targets of one pass. trunk holds the trunks' members in the vlansw pass (null when
/// none could be read); the vlan pass reads each entry's own bridge.
void read_pass(const char* package, bool trunk_pass, const std::vector<std::string>* trunk,
               std::vector<priority_target>& targets) {
    for (int i = 0; vlan_bridge_of(package, i) != no_section; ++i) {
        std::string text;
        int vid = 0;
        int priority = 0;
        if (uci_get(entry_key(package, i, vlanid_option), text, read_size) != 0 ||
            !read_number(text, vid) || vid <= 0)
            continue;
        if (uci_get(entry_key(package, i, priority_option), text, read_size) != 0 ||
            !read_number(text, priority) || priority < 0 || priority > priority_max)
            continue;
        std::vector<std::string> own;
        const std::vector<std::string>* members = trunk;
        if (!trunk_pass) {
            std::string key = network_head + std::string(vlan_package) + std::to_string(vid) +
                              ifname_option;
            if (!read_members(key, own)) continue;
            members = &own;
        }
        if (!members) continue;
        for (const std::string& device : *members) {
            if (!is_vlan_subinterface(device, vid)) continue;
            bool in_kernel = file_check(kernel_vlan_dir + device) == 0;
            targets.push_back({package, device, priority, in_kernel});
            // A trunk entry treats its first sub-interface only.
            if (trunk_pass) break;
        }
    }
}

/// The command of one target, or the empty text when its texts exceed their bounds.
std::string target_command(const priority_target& t) {
    std::string p = std::to_string(t.priority);
    std::string line = log_line_text(package_head + t.package + package_tail +
                                     priority_message + device_head + t.device +
                                     device_tail + p);
    if (line.size() > log_text_max) return {};
    std::string command = log_command(line);
    if (t.in_kernel) {
        std::string device = shell_quote(t.device);
        for (int q = 0; q < map_values; ++q)
            command += ingress_head + device + " " + p + " " + std::to_string(q);
        for (int q = 0; q < map_values; ++q)
            command += egress_head + device + " " + std::to_string(q) + " " + p;
    }
    if (command.size() > command_max) return {};
    return command;
}

}  // namespace

bool is_vlan_subinterface(std::string_view device, int vid) {
    size_t dot = device.find('.');
    return dot != std::string_view::npos && device.substr(dot) == "." + std::to_string(vid);
}

std::vector<priority_target> read_priority_targets() {
    std::vector<priority_target> targets;
    if (file_check(vlan_config_path) != 0) return targets;
    int wifi_count = 0;  // stays 0 when the count cannot be read
    wifi_ssid_count(wifi_count);
    read_pass(vlan_package, false, nullptr, targets);
    std::vector<std::string> trunk;
    bool has_trunk = read_trunk_members(wifi_count, trunk);
    read_pass(vlansw_package, true, has_trunk ? &trunk : nullptr, targets);
    return targets;
}

std::vector<std::string> priority_commands(const std::vector<priority_target>& targets) {
    std::vector<std::string> commands;
    for (const priority_target& t : targets) {
        std::string command = target_command(t);
        if (!command.empty()) commands.push_back(command);
    }
    return commands;
}

int main_vlan_priority(int, const arg_vector&) {
    for (const std::string& command : priority_commands(read_priority_targets()))
        run_command(command);
    return 0;
}
