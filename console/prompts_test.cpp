#include "console/prompts.hpp"

#include <gtest/gtest.h>

#include "catalogue/item_code.hpp"
#include "console/test_console.hpp"

namespace {

class prompts : public ::testing::Test {
protected:
    void SetUp() override {
        start_run(ctx, dir, read_text(dir.path + "zelk_title.txt"),
                  read_text(dir.path + "zelk_data.txt"));
        ctx.at_last_key = 1;
        ctx.quiet = 0;
    }
    std::string scripted(const std::string& arg) {
        ctx.key_arg = arg;
        std::string answer;
        read_item_answer(ctx, 0, "1", "", answer);
        return answer;
    }
    int classify(const std::string& code, const std::string& answer) {
        std::unique_ptr<std::string> slot;
        int kind = classify_item_answer(ctx, slot, static_cast<uint16_t>(item_number(ctx, code)),
                                        answer);
        stored = slot ? *slot : "<none>";
        return kind;
    }
    default_catalogue_dir dir;
    run_context ctx;
    std::string stored;
};

}  // namespace

TEST_F(prompts, scripted_answers_drop_quotes_and_turn_bars_into_semicolons) {
    EXPECT_EQ(scripted("'a|b'"), "a;b");
    EXPECT_EQ(scripted("a|b"), "a;b");
    EXPECT_EQ(scripted("'abc"), "ab");
    EXPECT_EQ(scripted("'"), "");
    EXPECT_EQ(scripted("x y"), "x y");
}

TEST_F(prompts, questions_by_item) {
    auto shown = [&](const std::string& code, const std::string& value) {
        return capture_stdout([&] {
            show_item_prompt(ctx, static_cast<uint16_t>(item_number(ctx, code)), "3", value);
        });
    };
    EXPECT_EQ(shown("0;2;3", "18:52"), "[3.]=[18:52]. Please input new value: >");
    EXPECT_EQ(shown("0;1;12", ""), "[3.]=[]. Are you sure(Y/n)? ]");
    EXPECT_EQ(shown("0;1;6", "y"), "[3.]=[y]. Run in debugging mode(Y/n)? ]");
    // The prompt is one screen line: a long value is cut, never overrun.
    EXPECT_EQ(shown("0;1;3", std::string(100, 'v')).size(), 63u);
    ctx.key_arg = "x";
    EXPECT_EQ(shown("0;1;3", "v"), "");
}

TEST_F(prompts, answer_classes) {
    EXPECT_EQ(classify("0;3;6", "[x]"), answer_rename);
    EXPECT_EQ(classify("0;3;6", "y"), answer_confirm);
    EXPECT_EQ(stored, "<none>");
    EXPECT_EQ(classify("0;2;2", "[x]"), answer_store);
    EXPECT_EQ(stored, "[x]");
    EXPECT_EQ(classify("0;2;2", "y"), answer_store);
    EXPECT_EQ(classify("0;1;3", "[Title]"), answer_rename);
    EXPECT_EQ(classify("0;1;3", "[]"), answer_rename);
    EXPECT_EQ(classify("0;1;3", "["), answer_store);
    EXPECT_EQ(classify("0;1;3", "42"), answer_store);
    EXPECT_EQ(stored, "42");
}

TEST_F(prompts, debug_item_sets_quiet) {
    EXPECT_EQ(classify("0;1;6", "N"), answer_store);
    EXPECT_EQ(ctx.quiet, 1);
    classify("0;1;6", "no");
    EXPECT_EQ(ctx.quiet, 0);
    EXPECT_EQ(stored, "no");
    ctx.quiet = 1;
    classify("0;1;6", "");
    EXPECT_EQ(ctx.quiet, 0);
}
