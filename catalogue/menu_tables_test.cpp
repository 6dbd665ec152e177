#include "catalogue/menu_tables.hpp"

#include "catalogue/item_access.hpp"
#include "catalogue/test_catalogue.hpp"

namespace {

int test_handler(run_context&, uint16_t, const arg_vector&) { return 0; }

// Menus '0' and '0;1'; '0' has the entries '0;1' (the submenu) and '0;2', '0;1' has three.
const std::string tree_titles =
    "m=Main\nmn;1=Sub\nn;2=Two\nn;1;1=One\nn;1;2=a=b\nn;1;3=Three\n";
const std::string tree_values = "v;2=two\nv;1;1=one\nv;1;2=\nv;1;3=three\n";

struct menu_tables : ::testing::Test {
    scratch_dir dir;
    run_context ctx;
    void SetUp() override { entry_handler = test_handler; }
    void TearDown() override { entry_handler = nullptr; }
    void start(const std::string& titles, const std::string& values) {
        int lines = 0;
        for (char c : titles + values) lines += c == '\n';
        start_run(ctx, dir, titles, values + filler_values(101 - lines));
        ASSERT_EQ(ctx.item_count, 101);
    }
    std::string leaves() {
        std::string out;
        for (value_node* n = ctx.node_list; n; n = n->next)
            out += std::to_string(n->number) + "=" + (n->text ? *n->text : "null") + "|";
        return out;
    }
};

}  // namespace

TEST_F(menu_tables, counts_menus_and_entries) {
    start(tree_titles, tree_values);
    EXPECT_EQ(ctx.menu_count, 2);
    EXPECT_EQ(ctx.menu_ids, (std::vector<std::string>{"0", "0;1"}));
    EXPECT_EQ(ctx.menu_sizes, (std::vector<uint8_t>{2, 3}));
    EXPECT_EQ(ctx.max_entries, 3);
    EXPECT_EQ(ctx.tree_count, 7);
    EXPECT_EQ(ctx.leaf_count, 4);  // 5 entries - 2 menus + 1, after the run's adjustment

    // A menu whose only titled items are two levels deeper has no entries.
    run_context deep;
    scratch_dir other;
    load_texts(deep, other, "m;1=Menu\nn;1;2;3=Deep\n", "");
    count_menus(deep);
    EXPECT_EQ(deep.menu_sizes, (std::vector<uint8_t>{0}));
    run_context none;
    load_texts(none, other, "n;1=Entry\n", "v;1=x\n");
    count_menus(none);
    EXPECT_EQ(none.menu_count, 0);
    EXPECT_EQ(none.max_entries, 0);
    EXPECT_EQ(none.tree_count, 0);
}

TEST_F(menu_tables, builds_lines_descriptors_entries_and_leaves) {
    start(tree_titles, tree_values);
    std::vector<std::string> lines;
    uint16_t count = 0;
    make_menu_lines(ctx, lines, count);
    EXPECT_EQ(lines, (std::vector<std::string>{"0;1=Sub", "0;2=Two", "0;0=-", "0;1;1=One",
                                               "0;1;2=a=b", "0;1;3=Three", "0;1;0=-"}));
    EXPECT_EQ(count, ctx.tree_count);

    ASSERT_EQ(ctx.menu_descs.size(), 2u);
    EXPECT_EQ(ctx.menu_descs[0].code, "0");
    EXPECT_EQ(ctx.menu_descs[0].count, 2);
    EXPECT_EQ(ctx.menu_descs[1].code, "0;1");
    EXPECT_EQ(ctx.menu_descs[1].count, 3);
    EXPECT_EQ(ctx.menu_codes, (std::vector<std::string>{"0", "0;1"}));
    EXPECT_EQ(ctx.menu_entry_counts, (std::vector<uint8_t>{2, 3}));
    EXPECT_EQ(*ctx.menu_entry_refs[1], ctx.menu_descs[1].entries);

    const menu_entry* sub = ctx.menu_descs[1].entries;
    EXPECT_EQ(ctx.menu_descs[0].entries[1].label, "Two");
    EXPECT_EQ(sub[0].key, "1");
    EXPECT_EQ(sub[1].label, "a");  // a title is cut at its own '='
    EXPECT_EQ(sub[2].key, "3");
    EXPECT_EQ(sub[2].label, "Three");
    for (const menu_desc& d : ctx.menu_descs)
        for (uint8_t k = 0; k < d.count; ++k) EXPECT_EQ(d.entries[k].handler, test_handler);

    // Leaves '0;2', '0;1;1', '0;1;2', '0;1;3' in menu and entry order.
    EXPECT_EQ(leaves(), "2=two|32=one|33=|34=three|");
    EXPECT_EQ(ctx.cur_entries, ctx.menu_descs[0].entries);
}

TEST_F(menu_tables, numbers_entries_by_position) {
    start("m=Main\nmn;1=Sub\nn;1;1=A\nn;1;2=B\nn;1;5=" + std::string(40, 'T') + "\n",
          "v;1;1=a\nv;1;2=b\nv;1;3=c\nv;1;5=e\n");
    const menu_entry* sub = ctx.menu_descs[1].entries;
    ASSERT_EQ(ctx.menu_descs[1].count, 3);
    EXPECT_EQ(sub[2].key, "3");
    EXPECT_EQ(sub[2].label, std::string(27, 'T'));
    // The third leaf is '0;1;3' and shows that item's value, not the value of '0;1;5'.
    EXPECT_EQ(leaves(), "32=a|33=b|34=c|");
}

TEST_F(menu_tables, navigation_lookups) {
    start(tree_titles + "mn;3=Empty\n", tree_values);
    menu_desc* desc = nullptr;
    find_menu(ctx, "0;1", desc);
    EXPECT_EQ(desc, &ctx.menu_descs[1]);
    find_menu(ctx, "0;1;1", desc);
    EXPECT_EQ(desc, nullptr);
    uint16_t index = 9;
    EXPECT_EQ(find_menu_index(ctx, "0;1", index), 1);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(find_menu_index(ctx, "0;7", index), 0);
    EXPECT_EQ(index, 0);
    menu_entry* entries = nullptr;
    EXPECT_EQ(find_menu_entries(ctx, "0;7", entries), 0);
    EXPECT_EQ(entries, nullptr);

    // The path 0, 1 finds the menu '0;1' by number.
    ctx.path_depth = 2;
    ctx.path = {0, 0, 1};
    EXPECT_EQ(path_item_code(ctx), "0;0;1");
    const menu_entry* found = nullptr;
    enter_path_menu(ctx, found);
    EXPECT_EQ(found, ctx.menu_descs[1].entries);
    EXPECT_EQ(ctx.cur_entry_count, 3);

    // A path that names no menu: null and 255, and the current menu stays.
    ctx.path_depth = 2;
    ctx.path = {0, 1, 1};
    uint8_t count = 0;
    find_path_menu(ctx, found, count);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(count, 255);
    enter_path_menu(ctx, found);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(ctx.cur_entries, ctx.menu_descs[1].entries);
    EXPECT_EQ(ctx.cur_entry_count, 3);

    // A menu without entries can still be entered.
    ctx.path_depth = 1;
    ctx.path = {0, 3};
    enter_path_menu(ctx, found);
    EXPECT_NE(found, nullptr);
    EXPECT_EQ(ctx.cur_entry_count, 0);

    value_node* node = nullptr;
    find_node(ctx, node, 34);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(*node->text, "three");
    find_node(ctx, node, 35);
    EXPECT_EQ(node, nullptr);
}

TEST_F(menu_tables, set_value_keeps_the_leaf_node_in_step) {
    start(tree_titles + "n;1;4=Four\n", tree_values);  // leaf '0;1;4' has no value item
    set_value(&ctx, "0;1;3", "edited");
    std::string out;
    get_value(ctx, "0;1;3", out);
    EXPECT_EQ(out, "edited");
    ASSERT_NE(node_text(ctx, "0;1;3"), nullptr);
    EXPECT_EQ(*node_text(ctx, "0;1;3"), "edited");

    set_value(&ctx, "0;0;1;3", "Retitled");  // the title only
    EXPECT_EQ(*node_text(ctx, "0;1;3"), "edited");
    get_value(ctx, "0;0;1;3", out);
    EXPECT_EQ(out, "Retitled");

    ::testing::internal::CaptureStdout();
    set_value(&ctx, "0;1;4", "shown");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "pItem=NULL\n");
    EXPECT_EQ(*node_text(ctx, "0;1;4"), "shown");

    release_node_texts(ctx);
    for (const value_node& n : ctx.nodes) EXPECT_EQ(n.text, nullptr);
    refresh_node_texts(ctx);
    EXPECT_EQ(*node_text(ctx, "0;1;3"), "edited");
    EXPECT_EQ(*node_text(ctx, "0;1;4"), "");
}

TEST_F(menu_tables, reset_run_state_takes_quiet_from_the_debug_item) {
    start(tree_titles, tree_values + "v;1;6=N\n");
    EXPECT_EQ(ctx.quiet, 1);
    EXPECT_EQ(ctx.ping_delay, 60);
    set_value(&ctx, "0;1;6", "yes");
    reset_run_state(ctx, ctx.node_list);
    EXPECT_EQ(ctx.quiet, 0);
}
