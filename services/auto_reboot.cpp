#include "services/auto_reboot.hpp"

#include <cstdio>
#include <cstdlib>

#include "catalogue/item_access.hpp"
#include "catalogue/item_roles.hpp"
#include "common/log_line.hpp"
#include "common/text_fields.hpp"
#include "common/timestamp.hpp"
#include "netsetup/config_queries.hpp"

namespace {

constexpr const char* mode_item = item_role::reboot_mode;
constexpr const char* hours_item = item_role::reboot_hours;
constexpr const char* time_item = item_role::reboot_time;
constexpr const char* remaining_item = item_role::reboot_remaining;

constexpr const char* mode_by_hours = "1";
constexpr const char* mode_by_time = "2";

/// Shown as the remaining period while no reboot is scheduled.
constexpr const char* period_off = "24:00:00";
constexpr const char* period_format = "%02d:%02d:%02d";
constexpr const char* time_of_day_format = "%02d:%02d";
constexpr const char* target_scan = "%02d:%02d";
constexpr const char* period_scan = "%3d:%2d:%2d%n";

constexpr const char* at_message_head = "Auto-reboot at [";
constexpr const char* at_message_tail = "](HH:MM) in [";
constexpr const char* at_message_end = "]";
constexpr const char* in_hours_message_end = "](HH:MM:SS)";

constexpr const char* refresh_key = "r\n";

constexpr int day_seconds = 86400;
/// A running countdown whose period was this short and then grew has passed its due second.
constexpr int passed_due_window = 10;

constexpr int timer_idle = 0;
constexpr int timer_running = 1;
constexpr int timer_due = 2;

log_size_probe size_probe = nullptr;

/// The time of day of the current time stamp.
struct clock_time {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

/// False, t untouched, when the clock gives no time stamp to read.
bool read_clock(clock_time& t) { return clock_time_of_day(t.hour, t.minute, t.second); }

/// n reduced into 0 .. m - 1, also for negative n.
long wrap(long n, long m) { return ((n % m) + m) % m; }

std::string format_period(int total) {
    char buf[16];
    std::snprintf(buf, sizeof buf, period_format, total / 3600, total % 3600 / 60, total % 60);
    return buf;
}

/// Seconds of a period text 'HH:MM:SS'; false for any other text.
bool period_seconds(const std::string& text, long& out) {
    int h = 0, m = 0, s = 0, used = 0;
    if (scan_decimals(text, period_scan, {&h, &m, &s, &used}) != 3 ||
        static_cast<size_t>(used) != text.size() || h < 0 || m < 0 || s < 0)
        return false;
    out = h * 3600L + m * 60L + s;
    return true;
}

/// Writes the remaining period; passage says whether the call marks time passing (the
/// countdown's update) rather than a new schedule, which alone may find a due second
/// that went by unseen.
void refresh_remaining(run_context& ctx, bool passage) {
    if (value_number(ctx, mode_item) == 0) {
        set_value(&ctx, remaining_item, period_off);
        return;
    }
    std::string target_text;
    get_value(ctx, time_item, target_text);
    int th = 0, tm = 0;
    scan_decimals(target_text, target_scan, {&th, &tm});
    clock_time now;
    if (!read_clock(now)) return;  // no time to count from: keep the last period shown

    const long now_s = now.hour * 3600L + now.minute * 60L + now.second;
    const long target_s = th * 3600L + tm * 60L + ctx.autoreboot_seconds - 1;
    // The period always falls within one day, whatever the target text held.
    const int d = static_cast<int>(wrap(target_s - now_s, day_seconds));

    std::string old_text;
    get_value(ctx, remaining_item, old_text);

    long old_s = 0;
    const bool passed = passage && ctx.timer_state == timer_running &&
                        period_seconds(old_text, old_s) && old_s <= passed_due_window &&
                        d > old_s;
    // A due second that went by unseen (a busy device) still shows, and saves, as due,
    // not as the next day's full period.
    set_value(&ctx, remaining_item, format_period(passed ? 0 : d));
    if (d == 0 || passed) ctx.timer_state = timer_due;
}

/// Writes a schedule line to the log, starting the log anew once it has grown too large.
void log_schedule(const std::string& message) {
    const uint64_t size = size_probe ? size_probe(log_path) : file_size(log_path);
    log_write_line(log_line_text(message), size >= static_cast<uint64_t>(log_restart_size));
}

std::string remaining_text(const run_context& ctx) {
    std::string text;
    get_value(ctx, remaining_item, text);
    return text;
}

/// Stores the reboot time hours from now, mode 1's schedule.
void set_time_after_hours(run_context& ctx, long hours) {
    std::string hhmm;
    if (reboot_time_after_hours(static_cast<int>(wrap(hours, 24)), hhmm))
        set_value(&ctx, time_item, hhmm);
}

}  // namespace

void set_log_size_probe(log_size_probe probe) { size_probe = probe; }

bool clock_time_of_day(int& hour, int& minute, int& second) {
    std::string stamp;
    make_timestamp(stamp);
    int h = 0, m = 0, s = 0;
    if (scan_decimals(stamp, timestamp_time_scan, {&h, &m, &s}) != 3) return false;
    hour = h;
    minute = m;
    second = s;
    return true;
}

bool reboot_time_after_hours(int hours, std::string& out) {
    clock_time now;
    if (!read_clock(now)) return false;
    char buf[16];
    std::snprintf(buf, sizeof buf, time_of_day_format,
                  static_cast<int>(wrap(now.hour + wrap(hours, 24), 24)), now.minute);
    out = buf;
    return true;
}

void capture_reboot_seconds(run_context& ctx) {
    clock_time now;
    if (read_clock(now)) ctx.autoreboot_seconds = static_cast<uint8_t>(now.second);
}

void update_reboot_remaining(run_context& ctx) { refresh_remaining(ctx, true); }

int schedule_reboot_at(run_context& ctx, const std::string& hhmm) {
    set_value(&ctx, mode_item, mode_by_time);
    capture_reboot_seconds(ctx);
    refresh_remaining(ctx, false);
    if (screen_drawn(ctx)) return 0;
    log_schedule(at_message_head + hhmm + at_message_tail + remaining_text(ctx) +
                 at_message_end);
    return 0;
}

int schedule_reboot_in_hours(run_context& ctx, int hours) {
    set_time_after_hours(ctx, hours);
    capture_reboot_seconds(ctx);
    set_value(&ctx, mode_item, mode_by_hours);
    refresh_remaining(ctx, false);
    if (screen_drawn(ctx)) return 0;
    std::string hhmm;
    get_value(ctx, time_item, hhmm);
    log_schedule(at_message_head + hhmm + at_message_tail + remaining_text(ctx) +
                 in_hours_message_end);
    return 0;
}

int apply_reboot_mode(run_context& ctx, int mode) {
    switch (mode) {
    case 1:
        set_time_after_hours(ctx, value_number(ctx, hours_item));
        capture_reboot_seconds(ctx);
        refresh_remaining(ctx, false);
        break;
    case 2:
        capture_reboot_seconds(ctx);
        refresh_remaining(ctx, false);
        break;
    case 0:
        refresh_remaining(ctx, false);
        break;
    default:
        break;
    }
    return 0;
}

void toggle_reboot_countdown() {
    run_context* ctx = current_context;
    if (!ctx) return;
    if (ctx->timer_state == timer_idle) {
        ctx->cmd = refresh_key;
        ctx->timer_state = timer_running;
    } else if (ctx->timer_state == timer_running) {
        ctx->timer_state = timer_idle;
    }
}
