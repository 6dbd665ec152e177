// The auto-reboot scheduler: the reboot time and the remaining period from the schedule
// items of menu 2, and the countdown that the interpreter loops advance.
#pragma once

#include <string>

#include "console/run_context.hpp"

/// autoreboot_seconds = the current second of the minute.
void capture_reboot_seconds(run_context& ctx);

/// Writes the remaining period into item 0;2;4 ("24:00:00" in mode 0); sets timer_state
/// to 2 when the reboot is due.
void update_reboot_remaining(run_context& ctx);

/// Schedules the reboot at the time of day hhmm (already stored in 0;2;3); logs it when
/// the screen is not drawn.
int schedule_reboot_at(run_context& ctx, const std::string& hhmm);

/// Schedules the reboot hours from now; logs it when the screen is not drawn.
int schedule_reboot_in_hours(run_context& ctx, int hours);

/// Recomputes the schedule of mode 0, 1 or 2 without logging.
int apply_reboot_mode(run_context& ctx, int mode);

/// Starts the countdown of the run in progress, or stops a running one.
void toggle_reboot_countdown();
