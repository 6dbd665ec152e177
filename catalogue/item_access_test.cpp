#include "catalogue/item_access.hpp"

#include "catalogue/menu_tables.hpp"
#include "catalogue/test_catalogue.hpp"

namespace {

// Four items of the tests' own plus filler: 101 in all.
const std::string title_text = "m=Main menu\nn;1;6=Title A\nn;1;5=Entry five\n";
const std::string data_text = "v;1;6=y\nv;1;3=\nv;5=menu value\n";

struct item_access : ::testing::Test {
    scratch_dir dir;
    run_context ctx;
    void SetUp() override { load_texts(ctx, dir, title_text, data_text + filler_values(95)); }
};

}  // namespace

TEST(tag_of_code, maps_value_and_title_codes_to_search_tags) {
    EXPECT_EQ(tag_of_code("0;1;6"), "v;1;6");
    EXPECT_EQ(tag_of_code("0;0;1;6"), "n;1;6");
    EXPECT_EQ(tag_of_code("0;0"), "n");
    EXPECT_EQ(tag_of_code("0"), "v");
    EXPECT_EQ(tag_of_code("0;05"), "v;05");  // "0;0" begins a title code only as a level
    EXPECT_EQ(tag_of_code(""), "");
}

TEST_F(item_access, reads_values_and_titles) {
    ASSERT_EQ(ctx.item_count, 101);
    std::string out = "old";
    EXPECT_EQ(get_value(ctx, "0;1;6", out), 1);
    EXPECT_EQ(out, "y");
    EXPECT_EQ(get_value(ctx, "0;1;7", out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(get_value(ctx, "0;0;1;6", out), 1);
    EXPECT_EQ(out, "Title A");
    EXPECT_EQ(get_value(ctx, "0;0", out), 1);
    EXPECT_EQ(out, "Main menu");
    EXPECT_EQ(get_value(ctx, "", out), 0);

    // 'n;1;5' and 'v;5' share the number 36: each code still finds its own item.
    EXPECT_EQ(get_value(ctx, "0;0;1;5", out), 1);
    EXPECT_EQ(out, "Entry five");
    EXPECT_EQ(get_value(ctx, "0;5", out), 1);
    EXPECT_EQ(out, "menu value");

    std::string buf = "untouched";
    EXPECT_EQ(get_value_into(ctx, "0;1;9", buf), 0);
    EXPECT_EQ(buf, "untouched");
    EXPECT_EQ(get_value_into(ctx, "0;1;6", buf), 1);
    EXPECT_EQ(buf, "y");

    EXPECT_EQ(value_length(ctx, "0;1;9"), -1);
    EXPECT_EQ(value_length(ctx, "0;1;3"), 0);
    EXPECT_EQ(value_length(ctx, "0;0;1;6"), 7);
}

TEST_F(item_access, set_value_changes_the_item_without_a_node_to_update) {
    set_value(&ctx, "0;1;3", "new");
    set_value(&ctx, "0;0;1;6", "Title B");
    std::string out;
    get_value(ctx, "0;1;3", out);
    EXPECT_EQ(out, "new");
    get_value(ctx, "0;0;1;6", out);
    EXPECT_EQ(out, "Title B");
    EXPECT_EQ(node_text(ctx, "0;1;3"), nullptr);

    ::testing::internal::CaptureStdout();
    set_value(&ctx, "0;1;8", "nowhere");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "pItem=NULL\n");
    EXPECT_EQ(get_value(ctx, "0;1;8", out), 0);
}

TEST_F(item_access, reads_end_the_process_unless_there_are_101_items) {
    ctx.items.pop_back();
    ctx.item_count = 100;
    std::string out;
    EXPECT_FATAL(get_value(ctx, "0;1;6", out), 1, "^num=\\[100\\]\n$");
    EXPECT_FATAL(value_length(ctx, "0;0"), 1, "^num=\\[100\\]\n$");
    set_value(&ctx, "0;1;6", "n");  // writes take no count
    EXPECT_FATAL(set_value(nullptr, "0;1;6", "n"), 1, "^exit due to ztq_ztqParams=NULL\n$");
    ctx.item_count = 101;
    get_value(ctx, "0;1;6", out);
    EXPECT_EQ(out, "n");
    // A malformed code met through a lookup: the sort code '0;1;3;40' has a level of 40.
    EXPECT_FATAL(get_value(ctx, "0;3;40", out), 3, "^hash problem$");
}
