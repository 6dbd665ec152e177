// query_probe: runs one configuration query for the end-to-end tests and prints its
// outcome. Test tooling only; never installed.
//
// Usage: query_probe [-c CAPACITY] QUERY [ARG]...
//   uci_get KEY | wifi_iface_ssid N | net_addr_query IFACE ITEM |
//   grep_line_numbers COMMAND PATTERN | file_check PATH | file_size PATH |
//   vlan_bridge_of PACKAGE N | ssid_iface_index SSID | vlan_id_list | wifi_ssid_count |
//   vlan_of_ifname DEVICE | vlansw_of_ifname DEVICE
// Prints "result=<number>" where the query returns one, then "value=<text>" for what it
// handed out. In the text a backslash is written "\\" and every byte outside printable
// ASCII "\xNN", so the line shows the value exactly. Out-values the query leaves
// untouched keep their start: -1 for numbers, "untouched" for texts.
// CAPACITY is the out-buffer size handed to the query (default 512).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "netsetup/config_queries.hpp"

namespace {

constexpr const char* usage_text = "usage: query_probe [-c CAPACITY] QUERY [ARG]...\n";
constexpr const char* untouched_text = "untouched";

void print_result(long long result) { std::printf("result=%lld\n", result); }

void print_value(const std::string& value) {
    std::string out;
    for (unsigned char c : value) {
        char hex[8];
        if (c == '\\') out += "\\\\";
        else if (c >= 0x20 && c < 0x7f) out += static_cast<char>(c);
        else {
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    std::printf("value=%s\n", out.c_str());
}

int usage() {
    std::fputs(usage_text, stderr);
    return 2;
}

int run_query(const std::string& name, const std::vector<std::string>& args, size_t capacity) {
    auto has = [&](size_t n) { return args.size() == n; };
    std::string text = untouched_text;
    int number = -1;
    if (name == "uci_get" && has(1)) {
        print_result(uci_get(args[0], text, capacity));
        print_value(text);
    } else if (name == "wifi_iface_ssid" && has(1)) {
        print_value(wifi_iface_ssid(std::atoi(args[0].c_str())));
    } else if (name == "net_addr_query" && has(2)) {
        uint32_t addr = 0xdeadbeef;
        print_result(net_addr_query(args[0], args[1], addr));
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08lx", static_cast<unsigned long>(addr));
        print_value(hex);
    } else if (name == "grep_line_numbers" && has(2)) {
        std::string list;
        print_result(grep_line_numbers(args[0], args[1], list, capacity));
        print_value(list);
    } else if (name == "file_check" && has(1)) {
        print_result(file_check(args[0]));
    } else if (name == "file_size" && has(1)) {
        print_result(static_cast<long long>(file_size(args[0])));
    } else if (name == "vlan_bridge_of" && has(2)) {
        print_value(vlan_bridge_of(args[0], std::atoi(args[1].c_str())));
    } else if (name == "ssid_iface_index" && has(1)) {
        print_result(ssid_iface_index(args[0]));
    } else if (name == "vlan_id_list" && has(0)) {
        print_result(vlan_id_list(text, capacity));
        print_value(text);
    } else if (name == "wifi_ssid_count" && has(0)) {
        print_result(wifi_ssid_count(number));
        print_value(std::to_string(number));
    } else if (name == "vlan_of_ifname" && has(1)) {
        print_result(vlan_of_ifname(args[0], number));
        print_value(std::to_string(number));
    } else if (name == "vlansw_of_ifname" && has(1)) {
        print_result(vlansw_of_ifname(args[0], text, capacity));
        print_value(text);
    } else {
        return usage();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    size_t capacity = 512;
    if (args.size() >= 2 && args[0] == "-c") {
        capacity = std::strtoul(args[1].c_str(), nullptr, 10);
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) return usage();
    std::string name = args[0];
    args.erase(args.begin());
    return run_query(name, args, capacity);
}
