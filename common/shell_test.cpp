#include "common/shell.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "common/log_line.hpp"

TEST(shell_quote, plain_words_stay_bare) {
    EXPECT_EQ(shell_quote("network.lan.ipaddr"), "network.lan.ipaddr");
    EXPECT_EQ(shell_quote("br-lan"), "br-lan");
    EXPECT_EQ(shell_quote("192.168.1.1/24"), "192.168.1.1/24");
}

TEST(shell_quote, anything_else_is_single_quoted) {
    EXPECT_EQ(shell_quote(""), "''");
    EXPECT_EQ(shell_quote("a b"), "'a b'");
    EXPECT_EQ(shell_quote("$(reboot)"), "'$(reboot)'");
    EXPECT_EQ(shell_quote("a;b"), "'a;b'");
    EXPECT_EQ(shell_quote("it's"), "'it'\\''s'");
    EXPECT_EQ(shell_escape_in_quotes("it's"), "it'\\''s");
}

TEST(shell_quote, quoted_text_reaches_the_shell_unchanged) {
    // The shell must hand the program exactly the value, whatever it holds.
    for (std::string v : {"plain", "a b", "x'y", "''", "$(echo hi)", "`id`;|&", "a\\nb", "*"}) {
        std::vector<std::string> out;
        query_command("printf '%s' " + shell_quote(v), 256, [&](const std::string& chunk) {
            out.push_back(chunk);
            return true;
        });
        std::string got;
        for (auto& c : out) got += c;
        EXPECT_EQ(got, v);
    }
}

TEST(run_command, hooks_see_each_command) {
    std::vector<std::string> seen;
    set_command_hooks({[&](const std::string& c) { seen.push_back(c); },
                       [](const std::string&) { return 7; }});
    EXPECT_EQ(run_command("reboot"), 7);
    set_command_hooks({});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "reboot");
}

TEST(query_command, reads_in_pieces_of_the_buffer_size) {
    std::vector<std::string> chunks;
    int status = query_command("printf 'abcdef\\nxy\\n'", 4, [&](const std::string& c) {
        chunks.push_back(c);
        return true;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(chunks, (std::vector<std::string>{"abc", "def", "\n", "xy\n"}));
}

TEST(query_command, stops_when_asked) {
    int calls = 0;
    query_command("printf 'a\\nb\\nc\\n'", 128, [&](const std::string&) { return ++calls < 2; });
    EXPECT_EQ(calls, 2);
}

TEST(query_command, an_output_source_stands_in_for_the_command) {
    static char text[] = "ab\ncd";
    std::vector<std::string> asked;
    set_output_source([&](const std::string& c) {
        asked.push_back(c);
        return c == "none" ? nullptr : fmemopen(text, sizeof text - 1, "r");
    });
    std::vector<std::string> chunks;
    const int status = query_command("exit 3", 128, [&](const std::string& c) {
        chunks.push_back(c);
        return true;
    });
    const int none = query_command("none", 128, [](const std::string&) { return true; });
    set_output_source({});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(none, -1);
    EXPECT_EQ(chunks, (std::vector<std::string>{"ab\n", "cd"}));
    EXPECT_EQ(asked, (std::vector<std::string>{"exit 3", "none"}));
}

TEST(log_line, keeps_the_command_text_and_quotes_safely) {
    std::vector<std::string> seen;
    set_command_hooks({[&](const std::string& c) { seen.push_back(c); },
                       [](const std::string&) { return 0; }});
    log_write_line("[08-12-2026 06:52:55.000123] Rebooted by Auto-reboot");
    log_write_line("it's $(x)", true);
    log_message("Start FTP");
    set_command_hooks({});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "echo '[08-12-2026 06:52:55.000123] Rebooted by Auto-reboot' >> /etc/log_zelk.txt");
    EXPECT_EQ(seen[1], "echo 'it'\\''s $(x)' > /etc/log_zelk.txt");
    ASSERT_EQ(seen[2].size(), std::string("echo '[] Start FTP' >> /etc/log_zelk.txt").size() + 26);
    EXPECT_EQ(seen[2].substr(0, 7), "echo '[");
    EXPECT_EQ(seen[2].substr(33), "] Start FTP' >> /etc/log_zelk.txt");
}
