// The catalogue items with a fixed role in the program, by item code. Every other item is
// a plain value and title, stored and shown only.
#pragma once

namespace item_role {

constexpr const char* debug_display = "0;1;6";     ///< y/n: draw in batch runs
constexpr const char* arm_file_watch = "0;1;9";    ///< action
constexpr const char* lookup_oid = "0;1;10";       ///< OID of the parameter lookup
constexpr const char* lookup_value = "0;1;11";     ///< its value
constexpr const char* lookup = "0;1;12";           ///< action: look the parameter up
constexpr const char* settings_source = "0;1;14";  ///< 1: service settings from uci

constexpr const char* reboot_mode = "0;2;1";       ///< 0 off, 1 by hours, 2 by time of day
constexpr const char* reboot_hours = "0;2;2";
constexpr const char* reboot_time = "0;2;3";       ///< 'HH:MM'
constexpr const char* reboot_remaining = "0;2;4";  ///< 'HH:MM:SS'
constexpr const char* reboot_start = "0;2;5";      ///< action: start or stop the countdown

constexpr const char* telnet_start = "0;3;3";      ///< action
constexpr const char* http_start = "0;3;6";        ///< action
constexpr const char* https_start = "0;3;9";       ///< action
constexpr const char* ftp_start = "0;3;12";        ///< action
constexpr const char* ping_start = "0;4;9";        ///< action

/// The items whose answer selects an action instead of being stored.
constexpr const char* action_items[] = {arm_file_watch, lookup,     reboot_start, telnet_start,
                                        http_start,     https_start, ftp_start,   ping_start};
/// The auto-reboot items, whose answers are always stored.
constexpr const char* reboot_items[] = {reboot_mode, reboot_hours, reboot_time};

}  // namespace item_role
