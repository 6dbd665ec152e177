#include "console/screen.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

#include "catalogue/item_access.hpp"
#include "catalogue/menu_tables.hpp"
#include "common/timestamp.hpp"
#include "console/hotkeys.hpp"
#include "console/test_console.hpp"

namespace {

class screen : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        set_clock_source([](time_t& secs, long& usec) {
            secs = 1796712775;  // 08-12-2026 06:52:55 UTC
            usec = 123456;
        });
        start_run(ctx, dir, read_text(dir.path + "zelk_title.txt"),
                  read_text(dir.path + "zelk_data.txt"));
        ctx.hotkeys = hotkey_table;
        ctx.hotkey_count = hotkey_table_size;
        ctx.at_last_key = 1;
        ctx.quiet = 0;
    }
    void TearDown() override { set_clock_source(nullptr); }

    std::string framed(const std::string& left, const std::string& lead, std::string content,
                       const std::string& trail, const std::string& fill,
                       const std::string& right) {
        return capture_stdout(
            [&] { draw_framed_line(ctx, left, lead, content, trail, fill, right); });
    }

    default_catalogue_dir dir;
    run_context ctx;
};

std::string row(const std::string& content) {
    return "| " + content + std::string(51 - content.size(), ' ') + " |\r\n";
}

}  // namespace

TEST_F(screen, main_menu_to_the_character) {
    set_value(&ctx, "0;0", "Main menu");
    std::string out = capture_stdout([&] { draw_menu_screen(ctx); });
    const std::string border = "+" + std::string(53, '-') + "+\r\n";
    std::string want = "\x1b[2J\x1b[0;0f";
    want += "+-----------+-----------------------------------------+\r\n";
    want += "| MAIN MENU |                                         |\r\n";
    want += "+-----------+MAIN MENU [ 08-12-2026 06:52:55.123456 ] |\r\n";
    want += row("");
    want += row(" 1.System      >");
    want += row(" 2.Auto-reboot >");
    want += row(" 3.Services    >");
    want += row(" 4.Ping watchdog>");
    want += row(" 5.Identity    >");
    want += row(" 6.Firmware    >");
    want += row("");
    want += border;
    want += row("Please select item <1 to 6>:");
    want += "| 0:prev.menu; !:main menu; r-refresh; e:exit; s:save |\r\n";
    want += border;
    EXPECT_EQ(out, want);
    EXPECT_EQ(ctx.frame_lines, 6 + 9);
    EXPECT_FALSE(ctx.menu_title.has_value());
}

TEST_F(screen, nothing_is_drawn_unless_last_key_and_not_quiet) {
    ctx.frame_lines = 7;
    ctx.quiet = 1;
    EXPECT_EQ(capture_stdout([&] { draw_menu_screen(ctx); }), "");
    ctx.quiet = 0;
    ctx.at_last_key = 0;
    EXPECT_EQ(capture_stdout([&] { draw_menu_screen(ctx); }), "");
    EXPECT_EQ(ctx.frame_lines, 7);
    EXPECT_FALSE(ctx.menu_title.has_value());
}

TEST_F(screen, framed_line_fills_to_55_columns_and_cuts_long_content) {
    ctx.frame_lines = 1;
    EXPECT_EQ(framed("|", " ", "abc", " ", " ", "|"), row("abc"));
    std::string long_text(60, 'x');
    ctx.frame_lines = 5;
    EXPECT_EQ(framed("|", " ", long_text, " ", " ", "|"), row(std::string(48, 'x') + "..."));
    // The third line of a screen shows the tail of a long content instead.
    ctx.frame_lines = 2;
    std::string tail = std::string(9, 'a') + std::string(51, 'b');
    EXPECT_EQ(framed("|", " ", tail, " ", " ", "|"), row(std::string(51, 'b')));
    EXPECT_EQ(ctx.frame_lines, 3);
    // A line whose pieces exceed 57 characters is counted but not printed.
    EXPECT_EQ(framed(std::string(30, '<'), " ", "x", " ", " ", std::string(30, '>')), "");
    EXPECT_EQ(ctx.frame_lines, 4);
}

TEST_F(screen, menu_rows_show_values_markers_and_long_titles) {
    ctx.path_depth = 1;
    ctx.path[1] = 1;
    const menu_entry* entries = nullptr;
    enter_path_menu(ctx, entries);
    ASSERT_NE(entries, nullptr);

    set_value(&ctx, "0;1;4", std::string(40, 'v'));  // too long to fit: left out
    std::string out = capture_stdout([&] { draw_menu_screen(ctx); });
    EXPECT_NE(out.find(row(" 3.Watch interval (s)   :60")), std::string::npos);
    EXPECT_NE(out.find(row(" 4.Watch checks left    :")), std::string::npos);
    EXPECT_NE(out.find(row(" 9.Arm file watch       :")), std::string::npos);
    EXPECT_NE(out.find(row("Please select item <1 to 14>:")), std::string::npos);
    EXPECT_EQ(ctx.frame_lines, 14 + 9);

    // A row over 51 characters is cut with "..."; a title of 10 or more characters shows
    // the tail of line 3.
    set_value(&ctx, "0;0;1;3", std::string(49, 'T'));
    set_value(&ctx, "0;0;1", "Systemwide12");
    out = capture_stdout([&] { draw_menu_screen(ctx); });
    EXPECT_NE(out.find(row(" 3." + std::string(45, 'T') + "...")), std::string::npos);
    EXPECT_NE(out.find("+--------+SYSTEMWIDE12 [ 08-12-2026 06:52:55.123456 ] |\r\n"),
              std::string::npos);
}

TEST_F(screen, title_too_long_for_a_row_is_shown_cut) {
    set_value(&ctx, "0;0;1", std::string(60, 'L'));
    const std::string out = capture_stdout([&] { draw_menu_screen(ctx); });
    EXPECT_NE(out.find(row(" 1." + std::string(45, 'L') + "...")), std::string::npos) << out;
}

TEST(menu_path, push_pop_and_code) {
    run_context ctx;
    path_clear(ctx);
    std::string code;
    path_code(ctx, code);
    EXPECT_EQ(code, "0");
    path_push(ctx, 1);
    path_push(ctx, 6);
    path_code(ctx, code);
    EXPECT_EQ(code, "0;1;6");
    uint16_t number = 0;
    path_number(ctx, number);
    EXPECT_EQ(number, 37);
    for (int k = 0; k < 10; ++k) path_push(ctx, 2);  // held at the six bytes of the path
    EXPECT_EQ(ctx.path_depth, 5);
    for (int k = 0; k < 10; ++k) path_pop(ctx);
    EXPECT_EQ(ctx.path_depth, 0);
    std::string s = "Main menu";
    upcase_in_place(s);
    EXPECT_EQ(s, "MAIN MENU");
}
