#include "netsetup/config_queries.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string_view>

#include "common/shell.hpp"
#include "common/text_fields.hpp"

namespace {

/// Line buffer of every query but uci_get: lines of at most 127 characters.
constexpr size_t line_size = 128;
/// Line buffer of uci_get: at most 511 characters.
constexpr size_t uci_get_line_size = 512;

constexpr const char* unknown_text = "unknown";

// Markers looked for in the output lines.
constexpr std::string_view ssid_marker = "ssid=";
constexpr std::string_view bridge_marker = "bridge=";
constexpr std::string_view inet_addr_marker = "inet addr:";
constexpr std::string_view mask_marker = "Mask:";
constexpr std::string_view interface_marker = "=interface";
constexpr std::string_view vlansw_word = "vlansw";
constexpr std::string_view network_vlan_prefix = "network.vlan";
constexpr std::string_view network_prefix = "network.";
constexpr std::string_view cat_word = "cat ";

// --- command texts: each composed here and nowhere else ---------------------------------

std::string uci_show_command(const std::string& key) { return "uci show " + shell_quote(key); }

std::string wifi_ssid_command(int n) {
    return "uci show wireless | grep \"iface\\[" + std::to_string(n) + "\\].ssid=\"";
}

std::string ifconfig_command(const std::string& iface) {
    return "ifconfig br-" + shell_quote(iface) + " | grep \"inet addr\"";
}

std::string grep_n_command(const std::string& command, const std::string& pattern) {
    return command + " | grep -n '" + shell_escape_in_quotes(pattern) + "'";
}

std::string vlan_bridge_command(const std::string& package, int n) {
    return "uci show " + shell_quote(package) + " | grep \"vlan\\[" + std::to_string(n) +
           "\\].bridge=\"";
}

constexpr const char* all_ssids_command = "uci show wireless | grep \"ssid=\"";
constexpr const char* vlan_interfaces_command =
    "uci show network | grep interface | grep vlan";

std::string vlan_ifname_command(const std::string& device) {
    return "uci show network | grep vlan | grep ifname | grep " + shell_quote(device);
}

std::string vlansw_ifname_command(const std::string& device) {
    return "uci show network | grep vlansw | grep ifname | grep " + shell_quote(device);
}

// --- reading and picking -----------------------------------------------------------------

/// The one place where an out-text is held to its caller's buffer.
void fit(std::string& s, size_t capacity) { cut_text(s, capacity == 0 ? 0 : capacity - 1); }

/// Runs command and hands each output line, newline removed, to on_line (which returns
/// false to stop). A line longer than size - 1 characters reaches on_line cut to that
/// length; the rest of it is dropped rather than taken for lines of their own, so a long
/// line can neither be counted twice nor match a marker in its tail. Returns -1 when the
/// command cannot be started.
int read_lines(const std::string& command, size_t size,
               const std::function<bool(const std::string& line)>& on_line) {
    bool in_long_line = false;
    return query_command(command, size, [&](const std::string& chunk) {
        bool ends = !chunk.empty() && chunk.back() == '\n';
        bool skip = in_long_line;
        // A read that filled the buffer without reaching a newline stopped inside a line.
        in_long_line = !ends && chunk.size() == size - 1;
        if (skip) return true;
        return on_line(ends ? chunk.substr(0, chunk.size() - 1) : chunk);
    });
}

/// The first line of command's output, or false when it printed none or did not start.
bool read_first_line(const std::string& command, size_t size, std::string& line) {
    bool got = false;
    read_lines(command, size, [&](const std::string& l) {
        line = l;
        got = true;
        return false;
    });
    return got;
}

bool contains(std::string_view s, std::string_view part) {
    return s.find(part) != std::string_view::npos;
}

/// The text after the first occurrence of marker, or false when it does not occur.
bool text_after(std::string_view line, std::string_view marker, std::string_view& rest) {
    size_t at = line.find(marker);
    if (at == std::string_view::npos) return false;
    rest = line.substr(at + marker.size());
    return true;
}

/// Reads a decimal number of 1 to 9 digits at the start of s into out and drops it from s.
bool take_number(std::string_view& s, int& out) {
    size_t n = 0;
    int value = 0;
    while (n < s.size() && s[n] >= '0' && s[n] <= '9' && n < 9) value = value * 10 + (s[n++] - '0');
    if (n == 0 || (n < s.size() && s[n] >= '0' && s[n] <= '9')) return false;
    s.remove_prefix(n);
    out = value;
    return true;
}

/// Reads a dotted address "a.b.c.d" at the start of s, each octet 0 to 255.
bool take_dotted_address(std::string_view s, uint32_t& addr) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        int octet = 0;
        if (i > 0) {
            if (s.empty() || s[0] != '.') return false;
            s.remove_prefix(1);
        }
        if (!take_number(s, octet) || octet > 255) return false;
        value = (value << 8) | static_cast<uint32_t>(octet);
    }
    addr = value;
    return true;
}

/// The number after "<prefix>" at the start of s ("network.vlan10.ifname=..." gives 10).
bool number_after_prefix(std::string_view s, std::string_view prefix, int& out) {
    if (s.substr(0, prefix.size()) != prefix) return false;
    s.remove_prefix(prefix.size());
    return take_number(s, out);
}

/// Static result text: set to "unknown", then to the text after marker on the first line
/// of command's output when that line holds the marker.
const std::string& first_line_after(std::string& result, const std::string& command,
                                    std::string_view marker) {
    result = unknown_text;
    std::string line;
    std::string_view rest;
    if (read_first_line(command, line_size, line) && text_after(line, marker, rest)) {
        result.assign(rest);
        cut_text(result, static_result_size - 1);
    }
    return result;
}

}  // namespace

int uci_get(const std::string& key, std::string& value, size_t capacity) {
    value.clear();
    // A key names an option from its last '.' on; one without a '.' names none.
    size_t dot = key.rfind('.');
    if (dot == std::string::npos) return -1;
    std::string match = key.substr(dot) + "=";
    std::string line;
    if (!read_first_line(uci_show_command(key), uci_get_line_size, line)) return -1;
    if (!contains(line, match)) return -1;
    get_field(value, line, 1, '=');
    fit(value, capacity);
    return 0;
}

int uci_get_within(const std::string& key, std::string& value, size_t max) {
    // Read with room for one character more, so that a longer value shows itself.
    if (uci_get(key, value, max + 2) == 0 && value.size() <= max) return 0;
    value.clear();
    return -1;
}

const std::string& wifi_iface_ssid(int n) {
    static std::string ssid;
    return first_line_after(ssid, wifi_ssid_command(n), ssid_marker);
}

int net_addr_query(const std::string& iface, const std::string& item, uint32_t& addr) {
    addr = 0;
    std::string_view marker;
    if (iface == "lan" && item == "ipaddr") marker = inet_addr_marker;
    else if (iface == "lan" && item == "netmask") marker = mask_marker;
    else return -1;
    bool found = false;
    read_lines(ifconfig_command(iface), line_size, [&](const std::string& line) {
        std::string_view rest;
        uint32_t value = 0;
        // A line whose address does not read as four octets tells nothing.
        if (text_after(line, marker, rest) && take_dotted_address(rest, value)) {
            addr = value;
            found = true;
        }
        return true;
    });
    return found ? 0 : -1;
}

int grep_line_numbers(const std::string& command, const std::string& pattern,
                      std::string& list, size_t capacity) {
    // A command reading a file ("cat <path> ...") runs only when the file is there.
    if (command.compare(0, cat_word.size(), cat_word) == 0) {
        size_t from = command.find_first_not_of(" \t\n", cat_word.size());
        size_t to = from == std::string::npos ? from : command.find_first_of(" \t\n", from);
        std::string path = from == std::string::npos ? "" : command.substr(from, to - from);
        if (file_check(path) != 0) return -1;
    }
    int count = 0;
    int status = read_lines(grep_n_command(command, pattern), line_size,
                            [&](const std::string& line) {
        // grep -n reports a line as its number and ':'; anything else it prints (such as
        // a notice that a binary file matches) names no line.
        const size_t digits = line.find_first_not_of("0123456789");
        if (digits == 0 || digits == std::string::npos || line[digits] != ':') return true;
        if (!list.empty()) list += ",";
        list.append(line, 0, digits);
        fit(list, capacity);
        ++count;
        return true;
    });
    if (status == -1) list.clear();
    return count;
}

int file_check(const std::string& path) {
    // O_NONBLOCK: a FIFO at the path must not hold the caller until a writer comes.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    ::close(fd);
    return 0;
}

uint64_t file_size(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

const std::string& vlan_bridge_of(const std::string& package, int n) {
    static std::string bridge;
    return first_line_after(bridge, vlan_bridge_command(package, n), bridge_marker);
}

int ssid_iface_index(const std::string& ssid) {
    int index = -1;
    read_lines(all_ssids_command, line_size, [&](const std::string& line) {
        std::string_view rest;
        if (!text_after(line, ssid_marker, rest) || rest != ssid) return true;
        // The index stands between the line's first '[' and the following ']'.
        size_t open = line.find('[');
        if (open != std::string::npos && open > 0) {
            std::string_view digits = std::string_view(line).substr(open + 1);
            take_number(digits, index);
        }
        return false;
    });
    return index;
}

int vlan_id_list(std::string& list, size_t capacity) {
    int count = 0;
    std::string ids = "0";
    int status = read_lines(vlan_interfaces_command, line_size, [&](const std::string& line) {
        if (!contains(line, interface_marker) || contains(line, vlansw_word)) return true;
        std::string name;
        get_field(name, line, 0, '=');
        int id = 0;
        if (!number_after_prefix(name, network_vlan_prefix, id)) return true;
        if (ids.size() < capacity) ids += "," + std::to_string(id);
        ++count;
        return true;
    });
    if (status == -1) return 0;
    list = ids + ",0";
    fit(list, capacity);
    return count;
}

int wifi_ssid_count(int& count) {
    int total = 0;
    for (int n = 0;; ++n) {
        bool any = false;
        int status = read_lines(wifi_ssid_command(n), line_size, [&](const std::string& line) {
            if (contains(line, ssid_marker)) {
                ++total;
                any = true;
            }
            return true;
        });
        if (status == -1) return -1;
        if (!any) break;
    }
    count = total;
    return 0;
}

int vlan_of_ifname(const std::string& device, int& vlan_id) {
    std::string tagged = device + ".";
    int result = 0;
    int status = read_lines(vlan_ifname_command(device), line_size, [&](const std::string& line) {
        if (!contains(line, device) || contains(line, tagged) || contains(line, vlansw_word))
            return true;
        // A line that names no network.vlan<id> section is not a VLAN bridge: look on.
        int id = 0;
        if (!number_after_prefix(line, network_vlan_prefix, id)) return true;
        vlan_id = id;
        result = 1;
        return false;
    });
    return status == -1 ? -1 : result;
}

int vlansw_of_ifname(const std::string& device, std::string& section, size_t capacity) {
    std::string tagged = device + ".";
    std::string found = unknown_text;
    int result = 0;
    int status = read_lines(vlansw_ifname_command(device), line_size, [&](const std::string& line) {
        if (!contains(line, device) || contains(line, tagged)) return true;
        std::string_view name = line;
        if (name.substr(0, network_prefix.size()) != network_prefix) return true;
        name.remove_prefix(network_prefix.size());
        name = name.substr(0, name.find('.'));
        if (name.empty()) return true;
        found.assign(name);
        result = 1;
        return false;
    });
    if (status == -1) return -1;
    section = found;
    fit(section, capacity);
    return result;
}
