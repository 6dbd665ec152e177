// Fuzzes the configuration queries over arbitrary command output: every query reads the
// input's output text (through the output source, in place of popen), and what it answers
// must stay within its bounds and keep its form.
//
// Input: byte 0 the capacity of the out-texts (0 to 255); byte 1 bit 0 set: no command
// can be started, bits 1-2 the rounds of wifi_ssid_count that see the output (1 to 4),
// bits 3-7 the section index n; then the argument (key, SSID, device, pattern) up to the
// first line feed; the rest is what every command prints.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/shell.hpp"
#include "fuzz/fatal_unwind.hpp"
#include "netsetup/config_queries.hpp"

namespace {

constexpr const char* untouched = "untouched";
constexpr const char* unknown = "unknown";

std::string output;
bool not_started = false;
/// Commands that still see the output; later ones print nothing.
unsigned outputs_left = 0;

FILE* output_stream(const std::string&) {
    if (not_started) return nullptr;
    const size_t n = outputs_left == 0 ? 0 : output.size();
    if (outputs_left != 0) --outputs_left;
    return fmemopen(output.data(), n, "r");
}

bool is_digits(std::string_view s) { return s.find_first_not_of("0123456789") == s.npos; }

void require(bool holds, const char* what) {
    if (!holds) finding(what);
}

/// A text the query kept within its caller's buffer of capacity bytes, on one line.
void require_within(const std::string& s, size_t capacity, const char* what) {
    require(s.size() <= (capacity == 0 ? 0 : capacity - 1) && s.find('\n') == s.npos, what);
}

/// A list of numbers separated by ','; when it filled its buffer (cut) the last number
/// may be a part of one, or missing.
void require_number_list(const std::string& list, size_t capacity, const char* what) {
    const bool cut = capacity != 0 && list.size() == capacity - 1;
    size_t from = 0;
    for (;;) {
        const size_t to = list.find(',', from);
        const std::string_view field = std::string_view(list).substr(from, to - from);
        const bool last = to == list.npos;
        require(is_digits(field) && (!field.empty() || (last && cut)), what);
        if (last) break;
        from = to + 1;
    }
}

void check_uci_get(const std::string& key, size_t capacity) {
    std::string value = untouched;
    const int r = uci_get(key, value, capacity);
    require(r == 0 || r == -1, "uci_get: a result other than 0 or -1");
    require(r == 0 || value.empty(), "uci_get: a value without an answer");
    require(!not_started || r == -1, "uci_get: an answer without a command");
    require_within(value, capacity, "uci_get: a value beyond its capacity");
    require(value.find('=') == value.npos, "uci_get: a value holding '='");
}

void check_static_results(int n) {
    for (const std::string* s : {&wifi_iface_ssid(n), &vlan_bridge_of("vlan", n)}) {
        require_within(*s, static_result_size, "a static result beyond its size");
        require(!not_started || *s == unknown, "a static result without a command");
    }
}

void check_net_addr() {
    for (const char* item : {"ipaddr", "netmask"}) {
        uint32_t addr = 1;
        const int r = net_addr_query("lan", item, addr);
        require((r == 0 || (r == -1 && addr == 0)) && (!not_started || r == -1),
                "net_addr_query: an address without an answer");
    }
}

void check_grep_list(const std::string& pattern, size_t capacity) {
    std::string list;
    const int count = grep_line_numbers("logread", pattern, list, capacity);
    require(count >= 0 && (!not_started || (count == 0 && list.empty())),
            "grep_line_numbers: a count without lines");
    require_within(list, capacity, "grep_line_numbers: a list beyond its capacity");
    if (!list.empty()) require_number_list(list, capacity, "grep_line_numbers: not a list of numbers");
}

void check_vlan_ids(size_t capacity) {
    std::string list = untouched;
    const int count = vlan_id_list(list, capacity);
    require(count >= 0, "vlan_id_list: a negative count");
    if (not_started) {
        require(count == 0 && list == untouched, "vlan_id_list: a list without a command");
        return;
    }
    require_within(list, capacity, "vlan_id_list: a list beyond its capacity");
    if (capacity < 4) return;  // too small for "0,0"
    require(list.compare(0, 2, "0,") == 0, "vlan_id_list: a list not starting with 0");
    require_number_list(list, capacity, "vlan_id_list: not a list of numbers");
    const bool cut = list.size() == capacity - 1;
    require(cut || list.compare(list.size() - 2, 2, ",0") == 0,
            "vlan_id_list: a whole list not ending with 0");
}

void check_ifname_queries(const std::string& device, size_t capacity) {
    require(ssid_iface_index(device) >= -1, "ssid_iface_index: an index below -1");

    int id = -1;
    int r = vlan_of_ifname(device, id);
    require(not_started ? r == -1 && id == -1 : (r == 1 && id >= 0) || (r == 0 && id == -1),
            "vlan_of_ifname: an id that does not match the result");

    std::string section = untouched;
    r = vlansw_of_ifname(device, section, capacity);
    if (not_started) {
        require(r == -1 && section == untouched, "vlansw_of_ifname: a section without a command");
        return;
    }
    require_within(section, capacity, "vlansw_of_ifname: a section beyond its capacity");
    require(r == 1 ? !section.empty() || capacity <= 1
                   : r == 0 && std::string(unknown).compare(0, section.size(), section) == 0,
            "vlansw_of_ifname: a section that does not match the result");
    require(section.find('.') == section.npos, "vlansw_of_ifname: a section holding '.'");
}

void check_ssid_count(unsigned rounds) {
    int count = -1;
    outputs_left = rounds;
    const int r = wifi_ssid_count(count);
    require(not_started ? r == -1 && count == -1 : r == 0 && count >= 0,
            "wifi_ssid_count: a count that does not match the result");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    set_output_source(output_stream);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t capacity = data[0];
    not_started = (data[1] & 1) != 0;
    const unsigned rounds = 1u + ((data[1] >> 1) & 3u);
    const int n = data[1] >> 3;
    const std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    const size_t line_end = rest.find('\n');
    const std::string arg = rest.substr(0, line_end);
    output = line_end == rest.npos ? std::string() : rest.substr(line_end + 1);

    outputs_left = ~0u;
    check_uci_get(arg, capacity);
    check_static_results(n);
    check_net_addr();
    check_grep_list(arg, capacity);
    check_vlan_ids(capacity);
    check_ifname_queries(arg, capacity);
    check_ssid_count(rounds);
    return 0;
}
