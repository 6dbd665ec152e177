// Configuration queries: settings read back from uci, ifconfig and plain files by running
// a command and picking the answer out of its output. None of them changes anything.
//
// Out-texts take the capacity of the caller's buffer in bytes, terminator included, as the
// callers size them (28 for an address, 192 for the VLAN list): the text kept holds at
// most capacity - 1 characters, so an unexpectedly long value is cut, never overflows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

/// Size of the static results of wifi_iface_ssid and vlan_bridge_of: 63 characters.
constexpr size_t static_result_size = 64;

/// Value of the option key ("<package>.<section>.<option>"): 0 and the value, or -1 and
/// an empty value. Only the first line of "uci show" counts; a value holding '=' is kept
/// up to that '='.
int uci_get(const std::string& key, std::string& value, size_t capacity);

/// uci_get of a value its caller holds in at most max characters: 0 and the value, or -1
/// and an empty value when the key cannot be read or its value is longer. A longer value
/// is refused, never cut, so that no cut text is stored or reaches a command.
int uci_get_within(const std::string& key, std::string& value, size_t max);

/// SSID of wireless interface section n, or "unknown". The text is overwritten by the
/// next call.
const std::string& wifi_iface_ssid(int n);

/// Address (item "ipaddr") or mask (item "netmask") of interface "lan"'s bridge, most
/// significant octet first: 0 and the address, or -1 and 0.
int net_addr_query(const std::string& iface, const std::string& item, uint32_t& addr);

/// Line numbers of the lines of command's output that hold pattern, appended to list as
/// "3,7"; returns how many. A command "cat <path>" whose file is missing runs nothing
/// and gives -1 with the list untouched. The command runs as given.
int grep_line_numbers(const std::string& command, const std::string& pattern,
                      std::string& list, size_t capacity);

/// 0 when the file can be opened for reading, else -1.
int file_check(const std::string& path);

/// Size of the file in bytes; 0 when it cannot be examined.
uint64_t file_size(const std::string& path);

/// Bridge option of the n-th anonymous vlan section of package ("vlan" or "vlansw"), or
/// "unknown" when there is none. The text is overwritten by the next call.
const std::string& vlan_bridge_of(const std::string& package, int n);

/// Index n of the wireless interface section whose SSID equals ssid exactly, or -1.
int ssid_iface_index(const std::string& ssid);

/// Ids of the network.vlan<id> interfaces as "0,10,20,0" (no VLAN: "0,0"), so that each
/// id stands between two commas; returns how many. vlansw sections are never listed.
int vlan_id_list(std::string& list, size_t capacity);

/// Number of wireless interface sections with an SSID: 0, or -1 (count untouched) when
/// a command cannot be started.
int wifi_ssid_count(int& count);

/// Id of the network.vlan<id> bridge whose ifname holds device untagged: 1 found, 0 not
/// found, -1 command not started. "device." (a tagged sub-interface) and vlansw sections
/// never match; otherwise the device name is a plain substring test.
int vlan_of_ifname(const std::string& device, int& vlan_id);

/// Name of the network.vlansw... bridge whose ifname holds device: 1 found, 0 not found
/// (section "unknown"), -1 command not started (section untouched).
int vlansw_of_ifname(const std::string& device, std::string& section, size_t capacity);
