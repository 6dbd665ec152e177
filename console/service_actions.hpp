// The item actions of the service items: the auto-reboot schedule and its countdown, and
// the starts of the web, FTP and Telnet servers.
#pragma once

#include <string>

#include "console/item_keys.hpp"

/// After a store of 0;2;1, 0;2;2 or 0;2;3 with the text: recomputes the schedule, and
/// prints it when the screen is not drawn.
int reboot_follow_up(run_context& ctx, const std::string& code, const std::string& text);

/// The start item 0;2;5: takes the schedule (from uci when item 0;1;14 says so) and starts
/// or stops the countdown; with the auto-reboot off the run ends.
int reboot_start(run_context& ctx);

/// The start items of menu 3: each takes its service's settings from uci (item 0;1;14 = 1;
/// ports and FTP and Telnet flags are copied into the catalogue) or from the catalogue, and
/// calls the service's launcher.
int http_start_action(run_context& ctx);
int https_start_action(run_context& ctx);
int ftp_start_action(run_context& ctx);
int telnet_start_action(run_context& ctx);

/// The actions this build has.
item_action_set built_item_actions();
