#include "console/service_actions.hpp"

#include <cstdio>
#include <cstdlib>

#include "catalogue/catalogue_file.hpp"
#include "catalogue/fatal.hpp"
#include "catalogue/item_access.hpp"
#include "catalogue/item_roles.hpp"
#include "console/interpreter.hpp"
#include "common/shell.hpp"
#include "common/text_fields.hpp"
#include "netsetup/config_queries.hpp"
#include "netsetup/web_settings.hpp"
#include "services/auto_reboot.hpp"
#include "services/ping_watchdog.hpp"
#include "services/service_launchers.hpp"

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

// --- service starts ---------------------------------------------------------------------

constexpr const char* web_mode_key = "dropbear.webname.webmode";
/// Service settings from uci are read into texts of 11 characters; a longer value is not
/// taken, so that no cut text is stored or used.
constexpr size_t service_value_max = 11;

bool uci_setting(const char* key, std::string& value) {
    return uci_get_within(key, value, service_value_max) == 0;
}

/// What tells the HTTP and HTTPS starts apart.
struct web_start {
    int16_t run_context::*enabled;
    uint16_t run_context::*port;
    const char* enabled_item;
    const char* port_item;
    const char* mode_word;
    int default_port;
    const char* port_key;
    const char* listen_head;   ///< followed by the port
    const char* other_delete;  ///< the other protocol's list goes
    int (*launcher)(const run_context&);
};

const web_start http_start = {&run_context::http_enabled, &run_context::http_port,
                              item_role::http_enabled, item_role::http_port, web_mode_http, 80,
                              "dropbear.webname.httpport",
                              "uci set uhttpd.main.listen_http=127.0.0.1:",
                              "uci delete uhttpd.main.listen_https", start_http};
const web_start https_start = {&run_context::https_enabled, &run_context::https_port,
                               item_role::https_enabled, item_role::https_port, web_mode_https,
                               443, "dropbear.webname.httpsport",
                               "uci set uhttpd.main.listen_https=0.0.0.0:",
                               "uci delete uhttpd.main.listen_http", start_https};
constexpr const char* uhttpd_commit = ";uci commit uhttpd";

/// The port text of item code, taken only when it is a port.
bool item_port(const run_context& ctx, const char* code, uint16_t& port) {
    std::string text;
    get_value(ctx, code, text);
    return port_number(text, port);
}

/// The web start: settings from uci (item 0;1;14 = 1) or from the catalogue, then the
/// launcher when the protocol is enabled. A port that is not one (from either source)
/// starts nothing and leaves the running server alone.
int start_web(run_context& ctx, const web_start& w) {
    ctx.use_uci = static_cast<uint8_t>(value_number(ctx, item_role::settings_source));
    if (ctx.use_uci == 1) {
        std::string mode, text;
        const bool mode_read = uci_setting(web_mode_key, mode);
        if (mode_read && mode != w.mode_word) {
            ctx.*w.enabled = 0;
            return 0;
        }
        uint16_t port = static_cast<uint16_t>(w.default_port);
        const bool port_read = uci_setting(w.port_key, text);
        if (port_read && !port_number(text, port)) return 0;
        ctx.*w.enabled = 1;
        ctx.*w.port = port;
        // An unread mode is served as HTTP, on the port that the launcher then reads.
        if (mode_read) {
            if (port_read) set_value(&ctx, w.port_item, text);
            run_command(w.listen_head + std::to_string(port) + ";" + w.other_delete +
                        uhttpd_commit);
        }
    } else {
        const auto enabled = static_cast<int16_t>(value_number(ctx, w.enabled_item));
        auto port = static_cast<uint16_t>(value_number(ctx, w.port_item));
        if (enabled == 1 && !item_port(ctx, w.port_item, port)) return 0;
        ctx.*w.enabled = enabled;
        ctx.*w.port = port;
    }
    if (ctx.*w.enabled == 1) w.launcher(ctx);
    return 0;
}

/// What tells the FTP and Telnet starts apart.
struct daemon_start {
    int16_t run_context::*enabled;
    uint16_t run_context::*port;
    const char* enabled_item;
    const char* port_item;
    const char* enabled_key;
    const char* port_key;
    int (*launcher)(const run_context&);
};

const daemon_start ftp_start = {&run_context::ftp_enabled, &run_context::ftp_port,
                                item_role::ftp_enabled, item_role::ftp_port,
                                "dropbear.fname.fenabled", "dropbear.fname.fport", start_ftp};
const daemon_start telnet_start = {&run_context::telnet_enabled, &run_context::telnet_port,
                                   item_role::telnet_enabled, item_role::telnet_port,
                                   "dropbear.tname.tenabled", "dropbear.tname.tport",
                                   start_telnet};

/// The FTP or Telnet start: settings from uci, copied into the catalogue, or from the
/// catalogue; the launcher runs either way (it stops the server that is off). A server
/// to start whose port is not one (from either source, or never set) is left alone.
int start_daemon(run_context& ctx, const daemon_start& d) {
    ctx.use_uci = static_cast<uint8_t>(value_number(ctx, item_role::settings_source));
    int enabled = ctx.*d.enabled;
    uint16_t port = ctx.*d.port;
    std::string enabled_text, port_text;
    bool enabled_read = false, port_read = false;
    if (ctx.use_uci == 1) {
        enabled_read = uci_setting(d.enabled_key, enabled_text);
        if (enabled_read) enabled = decimal_int(enabled_text);
        port_read = uci_setting(d.port_key, port_text);
    } else {
        enabled = static_cast<int16_t>(value_number(ctx, d.enabled_item));
        get_value(ctx, d.port_item, port_text);
        port_read = true;
    }
    const bool is_port = port_read ? port_number(port_text, port) : port != 0;
    if (static_cast<int16_t>(enabled) == 1 && !is_port) return 0;
    if (ctx.use_uci == 1) {
        if (enabled_read) set_value(&ctx, d.enabled_item, enabled != 0 ? "1" : "0");
        if (port_read) set_value(&ctx, d.port_item, port_text);
    }
    ctx.*d.enabled = static_cast<int16_t>(enabled);
    if (port_read) ctx.*d.port = is_port ? port : static_cast<uint16_t>(decimal_int(port_text));
    d.launcher(ctx);
    return 0;
}

// --- ping watchdog and file watch ----------------------------------------------------------

constexpr const char* ping_keys = "9:m";
constexpr const char* watch_check_keys = "9:x";
constexpr const char* watch_wait_keys = "9:z";
constexpr const char* exit_keys = "e";
constexpr const char* ping_program = "webping";
constexpr const char* watch_program = "xping";
constexpr const char* count_option = "-c";
constexpr uint32_t ping_slots = 4;
constexpr size_t address_slot = 1;
constexpr size_t command_slot = 3;

constexpr const char* ping_enabled_key = "services.ping.enabled";
constexpr const char* ping_delay_key = "services.ping.delay";
constexpr const char* ping_interval_key = "services.ping.interval";
constexpr const char* ping_failcount_key = "services.ping.failcount";
constexpr const char* ping_address_key = "services.ping.ipaddr";
/// The target address is read into a text of 27 characters.
constexpr size_t ping_address_max = 27;

/// A file watch's checks are endless from this count on.
constexpr uint16_t endless_checks = 65535;
/// The line number lists are kept in catalogue items, so each stays within what a
/// catalogue line holds after the longest tag and its '='.
constexpr size_t watch_list_max = catalogue_line_max - tag_max - 1;
/// Matching lines taken from one check: enough for every line number of a long log.
constexpr size_t grep_list_capacity = 65536;
constexpr unsigned wait_margin_ms = 50;

/// The interactive console's keyboard goes on reading while the action runs.
void hold_console() {
    if (interactive_console) long_action_running = true;
}

/// At a check of a file watch or after the watchdog: the end of the typed input ends the
/// process (unsaved edits discarded, as at the menu); a typed exit key stops the action
/// (the keyboard hands the key itself on once the engine is free, after the lines typed
/// before it, and the run leaves, saving). True when the action is to stop.
bool stopped_by_console() {
    const console_interrupt asked = interrupt_request;
    if (asked == console_interrupt::end_of_input) end_process({}, 0);
    if (asked != console_interrupt::stop) return false;
    interrupt_request = console_interrupt::none;
    long_action_running = false;
    return true;
}

uint16_t parsed_item(const run_context& ctx, const char* code, uint16_t previous) {
    std::string text;
    get_value(ctx, code, text);
    uint16_t n = previous;
    parse_number(text, n);
    return n;
}

/// What the watchdog start and the watch check share: ping_argv (built by whichever comes
/// first in the run), the settings source, and slots 1 and 3 filled from two items, the
/// first also as ping_address, the second also read as ping_delay.
void take_ping_slots(run_context& ctx, const char* program, const char* address_item,
                     const char* command_item) {
    if (ctx.ping_argc == 0) {
        ctx.ping_argc = ping_slots;
        ctx.ping_argv = {program, "", count_option, ""};
    }
    ctx.use_uci = static_cast<uint8_t>(value_number(ctx, item_role::settings_source));
    get_value(ctx, address_item, ctx.ping_argv[address_slot]);
    ctx.ping_address = ctx.ping_argv[address_slot];
    get_value(ctx, command_item, ctx.ping_argv[command_slot]);
    ctx.ping_delay = static_cast<uint16_t>(decimal_int(ctx.ping_argv[command_slot]));
}

int ping_arming(run_context& ctx) {
    ctx.ping_interval = parsed_item(ctx, item_role::ping_interval, ctx.ping_interval);
    ctx.ping_remaining = static_cast<uint16_t>(value_number(ctx, item_role::ping_failcount));
    ctx.ping_failcount = parsed_item(ctx, item_role::ping_failcount, ctx.ping_failcount);
    ctx.ping_enabled = static_cast<int16_t>(
        parsed_item(ctx, item_role::ping_enable, static_cast<uint16_t>(ctx.ping_enabled)));
    push_keys(ctx, ping_keys);
    return 0;
}

/// The watchdog's settings that uci holds, over those of the catalogue.
void ping_settings_from_uci(run_context& ctx) {
    std::string text;
    if (uci_setting(ping_enabled_key, text)) ctx.ping_enabled = static_cast<int16_t>(decimal_int(text));
    if (uci_setting(ping_delay_key, text)) ctx.ping_delay = static_cast<uint16_t>(decimal_int(text));
    if (uci_setting(ping_interval_key, text))
        ctx.ping_interval = static_cast<uint16_t>(decimal_int(text));
    if (uci_setting(ping_failcount_key, text))
        ctx.ping_failcount = static_cast<uint16_t>(decimal_int(text));
    if (uci_get_within(ping_address_key, text, ping_address_max) == 0) {
        ctx.ping_argv[address_slot] = text;
        ctx.ping_address = text;
    }
}

int ping_start(run_context& ctx) {
    take_ping_slots(ctx, ping_program, item_role::ping_target, item_role::ping_delay);
    if (ctx.use_uci == 1) ping_settings_from_uci(ctx);
    if (ctx.ping_enabled == 1) {
        hold_console();
        run_ping_watchdog();
        long_action_running = false;
        // A watchdog that could not start leaves the run to the keys after it.
        if (ctx.alive == 1) {
            stopped_by_console();
            return 0;
        }
    }
    push_keys(ctx, exit_keys);  // off, or the reboot is due: the run ends
    return 0;
}

int file_watch_arming(run_context& ctx) {
    ctx.ping_interval = parsed_item(ctx, item_role::watch_interval, ctx.ping_interval);
    ctx.ping_enabled = static_cast<int16_t>(
        parsed_item(ctx, item_role::watch_enable, static_cast<uint16_t>(ctx.ping_enabled)));
    hold_console();
    push_keys(ctx, watch_check_keys);
    return 0;
}

/// list cut after its last whole field that fits max characters.
std::string fields_within(const std::string& list, size_t max) {
    if (list.size() <= max) return list;
    size_t comma = list.rfind(',', max);
    return comma == std::string::npos ? std::string() : list.substr(0, comma);
}

/// One check: the lines of the watched command's output that hold the pattern; the
/// watch command runs when some of them were not matched before.
void check_for_new_matches(run_context& ctx) {
    std::string command, pattern;
    get_value(ctx, item_role::watched_command, command);
    get_value(ctx, item_role::watch_pattern, pattern);
    // A command that result cannot hold is not run cut short.
    if (command.size() > result_max) return;
    ctx.result = command;
    std::string list;
    grep_line_numbers(ctx.result, pattern, list, grep_list_capacity);
    // A list cut at the capacity may end in a part of a number.
    if (list.size() >= grep_list_capacity - 1) list = fields_within(list, list.rfind(','));
    if (list.empty()) return;

    set_value(&ctx, item_role::watch_latest, fields_within(list, watch_list_max));
    std::string seen;
    get_value(ctx, item_role::watch_seen, seen);
    const std::string seen_fields = "," + seen + ",";
    std::string acc = seen;
    bool found_new = false;
    for (size_t from = 0; from < list.size();) {
        size_t to = list.find(',', from);
        if (to == std::string::npos) to = list.size();
        const std::string field = list.substr(from, to - from);
        from = to + 1;
        if (field.empty() || seen_fields.find("," + field + ",") != std::string::npos) continue;
        found_new = true;
        const std::string grown = acc.empty() ? field : acc + "," + field;
        if (grown.size() <= watch_list_max) acc = grown;
    }
    if (!found_new) return;
    set_value(&ctx, item_role::watch_seen, acc);
    run_command(ctx.ping_argv[command_slot]);  // the operator's command, as configured
}

int file_watch_check(run_context& ctx) {
    hold_console();
    if (stopped_by_console()) return 0;
    take_ping_slots(ctx, watch_program, item_role::watch_pattern, item_role::watch_command);
    if (ctx.ping_enabled == 1) check_for_new_matches(ctx);
    if (ctx.ping_remaining != endless_checks) --ctx.ping_remaining;  // 0 wraps to endless
    if (ctx.ping_remaining != 0) {
        push_keys(ctx, watch_wait_keys);
        ctx.at_last_key = 1;  // this check's screen is drawn
        set_value(&ctx, item_role::watch_checks_left, std::to_string(ctx.ping_remaining));
    } else {
        long_action_running = false;  // the last check
    }
    return 0;
}

int file_watch_wait(run_context& ctx) {
    const unsigned interval_ms = ctx.ping_interval * 1000u;
    // An interval of 0 waits not at all.
    // A stop asked meanwhile is taken at once by the check that follows.
    if (interval_ms > wait_margin_ms) sleep_unless_interrupted(interval_ms - wait_margin_ms);
    push_keys(ctx, watch_check_keys);
    return 0;
}

}  // namespace

int http_start_action(run_context& ctx) { return start_web(ctx, http_start); }
int https_start_action(run_context& ctx) { return start_web(ctx, https_start); }
int ftp_start_action(run_context& ctx) { return start_daemon(ctx, ftp_start); }
int telnet_start_action(run_context& ctx) { return start_daemon(ctx, telnet_start); }

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
    actions.http_start = http_start_action;
    actions.https_start = https_start_action;
    actions.ftp_start = ftp_start_action;
    actions.telnet_start = telnet_start_action;
    actions.ping_arming = ping_arming;
    actions.ping_start = ping_start;
    actions.file_watch_arming = file_watch_arming;
    actions.file_watch_check = file_watch_check;
    actions.file_watch_wait = file_watch_wait;
    actions.reboot_follow_up = reboot_follow_up;
    return actions;
}
