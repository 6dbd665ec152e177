#include "console/service_actions.hpp"

#include <cstdio>
#include <cstdlib>

#include "catalogue/catalogue_file.hpp"
#include "catalogue/item_access.hpp"
#include "catalogue/item_roles.hpp"
#include "console/interpreter.hpp"
#include "netsetup/config_queries.hpp"
#include "services/auto_reboot.hpp"

namespace {


constexpr const char* uci_enabled = "services.autoreboot.enabled";
constexpr const char* uci_mode = "services.autoreboot.mode";
constexpr const char* uci_hours = "services.autoreboot.numofhours";
constexpr const char* uci_time = "services.autoreboot.time";
constexpr const char* mode_word_hours = "Hour";
constexpr const char* mode_word_time = "By Time";
constexpr size_t uci_value_size = 128;

constexpr const char* schedule_format =
    "Current time = [%02d:%02d:%02d]\n.Auto-reboot at [%s](HH:MM).\n-->Remaining period = [%s].\n";

/// Prints the schedule when the screen does not show it.
void print_schedule(run_context& ctx, const std::string& reboot_time) {
    if (screen_drawn(ctx)) return;
    int h = 0, m = 0, s = 0;
    clock_time_of_day(h, m, s);
    std::string remaining;
    get_value(ctx, item_role::reboot_remaining, remaining);
    std::printf(schedule_format, h, m, s, reboot_time.c_str(), remaining.c_str());
    std::fflush(stdout);
}

bool uci_value(const char* key, std::string& value) {
    return uci_get(key, value, uci_value_size) == 0;
}

/// The schedule that uci holds, taken into the catalogue. Returns the mode it names.
int schedule_from_uci(run_context& ctx) {
    int mode = 0;
    std::string text;
    if (!uci_value(uci_enabled, text)) return mode;
    mode = std::atoi(text.c_str());
    if (mode == 0) set_value(&ctx, item_role::reboot_mode, "0");
    if (mode != 1 || !uci_value(uci_mode, text)) return mode;
    if (text.find(mode_word_hours) != std::string::npos) {
        mode = 1;
        std::string hours;
        if (uci_value(uci_hours, hours)) {
            // Stored too, so that the mode's recomputation below keeps this schedule.
            set_value(&ctx, item_role::reboot_hours, hours);
            schedule_reboot_in_hours(ctx, std::atoi(hours.c_str()));
        }
    } else if (text.find(mode_word_time) != std::string::npos) {
        mode = 2;
        std::string hhmm;
        if (uci_value(uci_time, hhmm) && hhmm.find(':') != std::string::npos) {
            set_value(&ctx, item_role::reboot_time, hhmm);
            schedule_reboot_at(ctx, hhmm);
        }
    }
    return mode;
}

}  // namespace

int reboot_follow_up(run_context& ctx, const std::string& code, const std::string& text) {
    if (code == item_role::reboot_hours) {
        std::string hhmm;
        if (reboot_time_after_hours(std::atoi(text.c_str()), hhmm)) set_value(&ctx, item_role::reboot_time, hhmm);
        capture_reboot_seconds(ctx);
        set_value(&ctx, item_role::reboot_mode, "1");
        update_reboot_remaining(ctx);
        print_schedule(ctx, hhmm);
    } else if (code == item_role::reboot_time) {
        set_value(&ctx, item_role::reboot_mode, "2");
        capture_reboot_seconds(ctx);
        update_reboot_remaining(ctx);
        print_schedule(ctx, text);
    } else if (code == item_role::reboot_mode) {
        apply_reboot_mode(ctx, std::atoi(text.c_str()));
    }
    return 0;
}

int reboot_start(run_context& ctx) {
    ctx.use_uci = static_cast<uint8_t>(value_number(ctx, item_role::settings_source));
    if (ctx.use_uci == 1) {
        int mode = schedule_from_uci(ctx);
        apply_reboot_mode(ctx, mode);
        if (mode == 1) set_value(&ctx, item_role::reboot_mode, "2");
        save_data_file(ctx);
    }
    long m = value_number(ctx, item_role::reboot_mode);
    if (m == 1) set_value(&ctx, item_role::reboot_mode, "2");  // an hours schedule goes on by time of day
    if (m != 0) {
        capture_reboot_seconds(ctx);
        toggle_reboot_countdown();
    } else {
        push_keys(ctx, "e");
    }
    return 0;
}

item_action_set built_item_actions() {
    item_action_set actions;
    actions.reboot_start = reboot_start;
    actions.reboot_follow_up = reboot_follow_up;
    return actions;
}
