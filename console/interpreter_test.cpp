#include "console/interpreter.hpp"

#include <gtest/gtest.h>

#include "console/bridge.hpp"
#include "console/console_run.hpp"
#include "console/test_console.hpp"

namespace {

/// A batch run of script over the catalogue in dir; the script must end the run.
std::string run_script(const default_catalogue_dir& dir, const std::string& script) {
    return capture_stdout([&] {
        oneshot = 1;
        console_run(3, {"AAA", script, "path=" + dir.path.substr(0, dir.path.size() - 1)});
    });
}

bool has_line(const std::string& text, const std::string& line) {
    return text.find("\n" + line + "\n") != std::string::npos || text.rfind(line + "\n", 0) == 0;
}

}  // namespace

TEST(split_words, cuts_cmd_after_its_first_word) {
    run_context ctx;
    ctx.cmd = "12 34\r";
    split_words(ctx);
    EXPECT_EQ(ctx.word_count, 2);
    EXPECT_EQ(ctx.words[0], "12");
    EXPECT_EQ(ctx.cmd, "12");
    // A leading blank stays part of cmd, so such a key matches nothing.
    ctx.cmd = " 1\r";
    split_words(ctx);
    EXPECT_EQ(ctx.words[0], "1");
    EXPECT_EQ(ctx.cmd, " 1");
    ctx.cmd = " \t\r";
    split_words(ctx);
    EXPECT_EQ(ctx.word_count, 0);
}

TEST(push_keys, puts_keys_in_front_and_keeps_the_count_true) {
    run_context ctx;
    push_keys(ctx, "e");
    EXPECT_EQ(ctx.pending, "e");
    EXPECT_EQ(ctx.pending_count, 1);
    push_keys(ctx, "9:x");
    EXPECT_EQ(ctx.pending, "9:x;e");
    EXPECT_EQ(ctx.pending_count, 2);
    EXPECT_EQ(ctx.at_last_key, 0);
    push_keys(ctx, ";;1;");
    EXPECT_EQ(ctx.pending, "1;9:x;e");
    EXPECT_EQ(ctx.pending_count, 3);
    drop_current_key(ctx);
    EXPECT_EQ(ctx.pending, "9:x;e");
    EXPECT_EQ(ctx.pending_count, 2);
    drop_current_key(ctx);
    drop_current_key(ctx);
    EXPECT_EQ(ctx.pending, "");
    EXPECT_EQ(ctx.pending_count, 0);
}

TEST(engine, keys_with_arguments_store_their_answers) {
    default_catalogue_dir dir;
    run_script(dir, "1;3:abc;2:a:b:c;5:x y;0;5;1:'q|r';e");
    std::string data = dir.data();
    EXPECT_TRUE(has_line(data, "v;1;3=abc"));
    EXPECT_TRUE(has_line(data, "v;1;2=a:b:c"));
    EXPECT_TRUE(has_line(data, "v;1;5=x y"));
    EXPECT_TRUE(has_line(data, "v;5;1=q;r"));
}

TEST(engine, empty_and_unmatched_keys_are_skipped) {
    default_catalogue_dir dir;
    run_script(dir, ";;1;;99;3:first;;;4:second;;e;");
    EXPECT_TRUE(has_line(dir.data(), "v;1;3=first"));
    EXPECT_TRUE(has_line(dir.data(), "v;1;4=second"));
}

TEST(engine, last_key_of_a_script_keeps_no_carriage_return) {
    default_catalogue_dir dir;
    run_script(dir, "1;3:abc;e");
    std::string data = dir.data();
    EXPECT_TRUE(has_line(data, "v;1;3=abc"));
    EXPECT_EQ(data.find('\r'), std::string::npos);
}

TEST(engine, parameter_lookup_leaves_the_value_in_result_and_item) {
    default_catalogue_dir dir;
    oneshot = 1;
    capture_stdout([&] {
        console_run(3, {"AAA", oneshot_get_script("0.3.5"),
                        "path=" + dir.path.substr(0, dir.path.size() - 1)});
    });
    EXPECT_EQ(answer_buf, "80");
    EXPECT_TRUE(has_line(dir.data(), "v;1;11=80"));
    // An OID that names no item leaves the OID itself.
    capture_stdout([&] {
        console_run(3, {"AAA", oneshot_get_script("0.5.9"),
                        "path=" + dir.path.substr(0, dir.path.size() - 1)});
    });
    EXPECT_EQ(answer_buf, "0.5.9");
}

TEST(engine, rename_and_stored_value_items) {
    default_catalogue_dir dir;
    run_script(dir, "1;3:[Poll every];0;2;2:[x];e");
    EXPECT_TRUE(has_line(dir.titles(), "n;1;3=Poll every"));
    EXPECT_TRUE(has_line(dir.data(), "v;2;2=[x]"));
}

TEST(engine, path_option_rules) {
    default_catalogue_dir dir;
    // A path option names the catalogue folder; any other option leaves "./".
    capture_stdout([&] {
        oneshot = 1;
        console_run(3, {"AAA", "1;3:zz;e", "path=" + dir.path});
    });
    EXPECT_TRUE(has_line(dir.data(), "v;1;3=zz"));
}
