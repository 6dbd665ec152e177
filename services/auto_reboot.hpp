// The auto-reboot scheduler: the reboot time and the remaining period from the schedule
// items of menu 2, and the countdown that the interpreter loops advance.
#pragma once

#include <cstdint>
#include <string>

#include "state/run_context.hpp"

/// autoreboot_seconds = the current second of the minute.
void capture_reboot_seconds(run_context& ctx);

/// Writes the remaining period into item 0;2;4 ("24:00:00" in mode 0); sets timer_state
/// to 2 when the reboot is due: the period is 00:00:00, or a running countdown's period
/// jumped up from 10 seconds or less because its due second passed unseen.
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

/// Hour, minute and second of the current time stamp; false, the outputs untouched, when
/// the clock gives no time stamp to read.
bool clock_time_of_day(int& hour, int& minute, int& second);

/// The time of day 'HH:MM' hours from now (the current minute, the hour wrapped into a
/// day, hours below 0 counting back). Leaves out untouched and returns false when the
/// clock cannot be read.
bool reboot_time_after_hours(int hours, std::string& out);

/// Seam for tests: the size of the log file, read instead of the file itself to decide
/// whether a schedule line starts the log anew. Null restores the real file size.
using log_size_probe = uint64_t (*)(const std::string& path);
void set_log_size_probe(log_size_probe probe);
