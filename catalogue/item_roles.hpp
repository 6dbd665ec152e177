// The catalogue items with a fixed role in the program, by item code. Every other item is
// a plain value and title, stored and shown only.
#pragma once

namespace item_role {

constexpr const char* watch_pattern = "0;1;1";     ///< file watch: pattern searched for
constexpr const char* watch_command = "0;1;2";     ///< file watch: run on new matches
constexpr const char* watch_interval = "0;1;3";    ///< file watch: seconds between checks
constexpr const char* watch_checks_left = "0;1;4"; ///< file watch: checks left ("%d")
constexpr const char* watch_enable = "0;1;5";      ///< file watch: 1 = on
constexpr const char* debug_display = "0;1;6";     ///< y/n: draw in batch runs
constexpr const char* watch_latest = "0;1;7";      ///< file watch: latest matching lines
constexpr const char* watch_seen = "0;1;8";        ///< file watch: every line matched so far
constexpr const char* arm_file_watch = "0;1;9";    ///< action
constexpr const char* lookup_oid = "0;1;10";       ///< OID of the parameter lookup
constexpr const char* lookup_value = "0;1;11";     ///< its value
constexpr const char* lookup = "0;1;12";           ///< action: look the parameter up
constexpr const char* watched_command = "0;1;13";  ///< file watch: its output is searched
constexpr const char* settings_source = "0;1;14";  ///< 1: service settings from uci

constexpr const char* reboot_mode = "0;2;1";       ///< 0 off, 1 by hours, 2 by time of day
constexpr const char* reboot_hours = "0;2;2";
constexpr const char* reboot_time = "0;2;3";       ///< 'HH:MM'
constexpr const char* reboot_remaining = "0;2;4";  ///< 'HH:MM:SS'
constexpr const char* reboot_start = "0;2;5";      ///< action: start or stop the countdown

constexpr const char* telnet_enabled = "0;3;1";    ///< 0/1
constexpr const char* telnet_port = "0;3;2";
constexpr const char* telnet_start = "0;3;3";      ///< action
constexpr const char* http_enabled = "0;3;4";
constexpr const char* http_port = "0;3;5";
constexpr const char* http_start = "0;3;6";        ///< action
constexpr const char* https_enabled = "0;3;7";
constexpr const char* https_port = "0;3;8";
constexpr const char* https_start = "0;3;9";       ///< action
constexpr const char* ftp_enabled = "0;3;10";      ///< 0/1
constexpr const char* ftp_port = "0;3;11";
constexpr const char* ftp_start = "0;3;12";        ///< action

constexpr const char* ping_target = "0;4;1";       ///< ping watchdog: address
constexpr const char* ping_delay = "0;4;2";        ///< ping watchdog: startup delay
constexpr const char* ping_interval = "0;4;3";
constexpr const char* ping_failcount = "0;4;4";    ///< also the file watch's checks
constexpr const char* ping_enable = "0;4;5";
constexpr const char* ping_start = "0;4;9";        ///< action

/// The items whose answer selects an action instead of being stored.
constexpr const char* action_items[] = {arm_file_watch, lookup,     reboot_start, telnet_start,
                                        http_start,     https_start, ftp_start,   ping_start};
/// The auto-reboot items, whose answers are always stored.
constexpr const char* reboot_items[] = {reboot_mode, reboot_hours, reboot_time};

}  // namespace item_role
