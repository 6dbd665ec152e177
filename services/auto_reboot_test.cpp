#include "services/auto_reboot.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "catalogue/item_access.hpp"
#include "catalogue/test_catalogue.hpp"
#include "common/shell.hpp"
#include "common/timestamp.hpp"

namespace {

// The five schedule items and a title of the tests' own plus filler: 101 in all.
const std::string title_text = "m=Main menu\n";
const std::string data_text = "v;2;1=0\nv;2;2=24\nv;2;3=03:00\nv;2;4=24:00:00\nv;2;5=\n";

time_t fake_now = 0;
uint64_t fake_log_size = 0;

/// The test clock reads fake_now, set to a time of day on 8 December 2026 (TZ=UTC).
void at(int h, int m, int s) {
    struct tm t {};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 8;
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    fake_now = timegm(&t);
}

struct auto_reboot : ::testing::Test {
    scratch_dir dir;
    run_context ctx;
    std::vector<std::string> commands;

    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        load_texts(ctx, dir, title_text, data_text + filler_values(95));
        set_clock_source([](time_t& secs, long& usec) {
            secs = fake_now;
            usec = 7;
        });
        fake_log_size = 0;
        set_log_size_probe([](const std::string&) { return fake_log_size; });
        set_command_hooks({[this](const std::string& c) { commands.push_back(c); },
                           [](const std::string&) { return 0; }});
        ctx.quiet = 1;  // a scripted run: the screen is not drawn
    }
    void TearDown() override {
        set_clock_source(nullptr);
        set_log_size_probe(nullptr);
        set_command_hooks({});
        current_context = nullptr;
    }
    std::string item(const char* code) {
        std::string out;
        get_value(ctx, code, out);
        return out;
    }
};

}  // namespace

TEST_F(auto_reboot, hours_from_late_evening_wrap_past_midnight) {
    at(23, 30, 15);
    schedule_reboot_in_hours(ctx, 2);
    EXPECT_EQ(item("0;2;1"), "1");
    EXPECT_EQ(item("0;2;3"), "01:30");
    EXPECT_EQ(ctx.autoreboot_seconds, 15);
    EXPECT_EQ(item("0;2;4"), "01:59:59");
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0],
              "echo '[08-12-2026 23:30:15.000007] Auto-reboot at [01:30](HH:MM) in "
              "[01:59:59](HH:MM:SS)' >> /etc/log_zelk.txt");

    // Beyond a day the hours wrap too; hours below zero count back instead of giving a
    // negative hour.
    schedule_reboot_in_hours(ctx, 25);
    EXPECT_EQ(item("0;2;3"), "00:30");
    EXPECT_EQ(item("0;2;4"), "00:59:59");
    schedule_reboot_in_hours(ctx, -1);
    EXPECT_EQ(item("0;2;3"), "22:30");
    EXPECT_EQ(item("0;2;4"), "22:59:59");
}

TEST_F(auto_reboot, time_of_day_already_reached_falls_on_tomorrow) {
    at(10, 0, 0);
    set_value(&ctx, "0;2;3", "10:00");
    schedule_reboot_at(ctx, "10:00");
    EXPECT_EQ(item("0;2;1"), "2");
    EXPECT_EQ(ctx.autoreboot_seconds, 0);
    EXPECT_EQ(item("0;2;4"), "23:59:59");
    EXPECT_EQ(ctx.timer_state, 0);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0],
              "echo '[08-12-2026 10:00:00.000007] Auto-reboot at [10:00](HH:MM) in "
              "[23:59:59]' >> /etc/log_zelk.txt");

    // The countdown runs down to the target in the minute before midnight.
    set_value(&ctx, "0;2;3", "00:00");
    ctx.autoreboot_seconds = 30;
    at(23, 59, 50);
    update_reboot_remaining(ctx);
    EXPECT_EQ(item("0;2;4"), "00:00:39");
}

TEST_F(auto_reboot, apply_mode_shows_a_full_day_when_off_and_recomputes_the_others) {
    set_value(&ctx, "0;2;3", "garbage");
    set_value(&ctx, "0;2;4", "00:00:03");
    ctx.timer_state = 1;
    at(12, 0, 0);
    apply_reboot_mode(ctx, 0);
    EXPECT_EQ(item("0;2;4"), "24:00:00");
    update_reboot_remaining(ctx);
    EXPECT_EQ(item("0;2;4"), "24:00:00");
    EXPECT_EQ(ctx.timer_state, 1);  // nothing is due without a schedule

    // Mode 1 takes its hours from the catalogue; recomputing a mode never logs.
    at(22, 15, 40);
    set_value(&ctx, "0;2;1", "1");
    set_value(&ctx, "0;2;2", "5");
    apply_reboot_mode(ctx, 1);
    EXPECT_EQ(item("0;2;3"), "03:15");
    EXPECT_EQ(item("0;2;4"), "04:59:59");
    EXPECT_TRUE(commands.empty());
}

TEST_F(auto_reboot, malformed_target_stays_within_a_day) {
    set_value(&ctx, "0;2;1", "2");
    ctx.autoreboot_seconds = 1;
    at(23, 0, 0);
    for (const char* target : {"-9:-9", "99:99", ""}) {
        set_value(&ctx, "0;2;3", target);
        update_reboot_remaining(ctx);
        const std::string period = item("0;2;4");
        EXPECT_EQ(period.size(), 8u) << target << " gave " << period;
        EXPECT_LT(period, "24:00:00") << target;
    }
    set_value(&ctx, "0;2;3", "7");  // the minute that is not there counts as 0
    update_reboot_remaining(ctx);
    EXPECT_EQ(item("0;2;4"), "08:00:00");
}

TEST_F(auto_reboot, due_on_the_exact_second_or_when_a_short_countdown_jumps_up) {
    set_value(&ctx, "0;2;1", "2");
    set_value(&ctx, "0;2;3", "10:00");
    ctx.autoreboot_seconds = 5;
    ctx.timer_state = 1;

    at(9, 59, 58);
    update_reboot_remaining(ctx);
    EXPECT_EQ(item("0;2;4"), "00:00:06");
    EXPECT_EQ(ctx.timer_state, 1);
    at(10, 0, 4);
    update_reboot_remaining(ctx);
    EXPECT_EQ(item("0;2;4"), "00:00:00");
    EXPECT_EQ(ctx.timer_state, 2);

    // The interpreter was blocked across the due second: the period would wrap to almost
    // a day; the reboot is due all the same, and the period shows it due.
    ctx.timer_state = 0;
    at(9, 59, 58);
    update_reboot_remaining(ctx);
    EXPECT_EQ(item("0;2;4"), "00:00:06");
    ctx.timer_state = 1;
    at(10, 0, 9);
    update_reboot_remaining(ctx);
    EXPECT_EQ(item("0;2;4"), "00:00:00");
    EXPECT_EQ(ctx.timer_state, 2);
}

TEST_F(auto_reboot, only_a_passed_due_second_of_a_running_countdown_counts) {
    set_value(&ctx, "0;2;1", "2");
    set_value(&ctx, "0;2;3", "10:00");
    ctx.autoreboot_seconds = 5;

    // Eleven seconds short is not yet the window.
    ctx.timer_state = 1;
    set_value(&ctx, "0;2;4", "00:00:11");
    at(10, 0, 9);
    update_reboot_remaining(ctx);
    EXPECT_EQ(ctx.timer_state, 1);

    // Without a running countdown the jump means nothing.
    ctx.timer_state = 0;
    set_value(&ctx, "0;2;4", "00:00:03");
    update_reboot_remaining(ctx);
    EXPECT_EQ(ctx.timer_state, 0);

    // A period text of another form is not a short period.
    ctx.timer_state = 1;
    for (const char* old_text : {"", "00:00:03 "}) {
        set_value(&ctx, "0;2;4", old_text);
        update_reboot_remaining(ctx);
        EXPECT_EQ(ctx.timer_state, 1) << '"' << old_text << '"';
    }

    // A new schedule set seconds before the old one was due is not a passed due second.
    set_value(&ctx, "0;2;4", "00:00:03");
    at(10, 0, 1);
    schedule_reboot_at(ctx, "10:30");
    set_value(&ctx, "0;2;4", "00:00:03");
    apply_reboot_mode(ctx, 2);
    EXPECT_EQ(ctx.timer_state, 1);
}

TEST_F(auto_reboot, log_lines_follow_the_screen_and_the_size_limit) {
    at(8, 0, 0);
    set_value(&ctx, "0;2;3", "09:00");

    ctx.at_last_key = 1;
    ctx.quiet = 0;  // the screen shows the schedule: no log line
    schedule_reboot_at(ctx, "09:00");
    schedule_reboot_in_hours(ctx, 1);
    EXPECT_TRUE(commands.empty());

    ctx.quiet = 1;
    fake_log_size = 204800;
    schedule_reboot_at(ctx, "09:00");
    fake_log_size = 204801;
    schedule_reboot_at(ctx, "09:00");
    schedule_reboot_in_hours(ctx, 1);
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_NE(commands[0].find("' >> /etc/log_zelk.txt"), std::string::npos);
    EXPECT_NE(commands[1].find("' > /etc/log_zelk.txt"), std::string::npos);
    EXPECT_NE(commands[2].find("' > /etc/log_zelk.txt"), std::string::npos);
}

TEST_F(auto_reboot, toggle_starts_and_stops_the_countdown_of_the_current_run) {
    toggle_reboot_countdown();  // no run in progress: nothing happens

    current_context = &ctx;
    ctx.cmd = "5\n";
    toggle_reboot_countdown();
    EXPECT_EQ(ctx.timer_state, 1);
    EXPECT_EQ(ctx.cmd, "r\n");
    ctx.cmd = "5\n";
    toggle_reboot_countdown();
    EXPECT_EQ(ctx.timer_state, 0);
    EXPECT_EQ(ctx.cmd, "5\n");
    ctx.timer_state = 2;  // a due reboot cannot be stopped
    toggle_reboot_countdown();
    EXPECT_EQ(ctx.timer_state, 2);
}

TEST_F(auto_reboot, unreadable_clock_leaves_the_schedule_as_it_was) {
    if (sizeof(time_t) < 8) GTEST_SKIP() << "no calendar time beyond the C library's range";
    set_value(&ctx, "0;2;1", "1");
    set_value(&ctx, "0;2;3", "00:00");
    set_value(&ctx, "0;2;4", "05:00:00");
    ctx.autoreboot_seconds = 1;
    ctx.timer_state = 1;
    fake_now = static_cast<time_t>(INT64_MAX / 2);  // no local time for this
    apply_reboot_mode(ctx, 1);
    update_reboot_remaining(ctx);
    EXPECT_EQ(item("0;2;3"), "00:00");  // not a reboot time made from a clock of 00:00:00
    EXPECT_EQ(item("0;2;4"), "05:00:00");
    EXPECT_EQ(ctx.autoreboot_seconds, 1);
    EXPECT_EQ(ctx.timer_state, 1);  // and no reboot due at a midnight that was never read
}
