// The catalogue installed on the device: its shape, and a load and save that changes
// no byte of it.
#include "catalogue/catalogue.hpp"
#include "catalogue/menu_tables.hpp"
#include "catalogue/test_catalogue.hpp"

namespace {

const std::string source_dir = DEFAULT_CATALOGUE_DIR;

// The items with a fixed role in the console, all leaves of menus 1 to 4.
const char* const fixed_role_items[] = {
    "0;1;1", "0;1;2", "0;1;3", "0;1;4", "0;1;5", "0;1;6",  "0;1;7",  "0;1;8",
    "0;1;9", "0;1;10", "0;1;11", "0;1;12", "0;1;13", "0;1;14", "0;2;1", "0;2;2",
    "0;2;3", "0;2;4", "0;2;5", "0;3;1", "0;3;2", "0;3;3", "0;3;4",  "0;3;5",
    "0;3;6", "0;3;7", "0;3;8", "0;3;9", "0;3;10", "0;3;11", "0;3;12", "0;4;1",
    "0;4;2", "0;4;3", "0;4;4", "0;4;5", "0;4;9"};

}  // namespace

TEST(default_catalogue, loads_and_saves_byte_for_byte) {
    scratch_dir dir;
    run_context ctx;
    const std::string title = read_text(source_dir + title_file_name);
    const std::string data = read_text(source_dir + data_file_name);
    ASSERT_FALSE(title.empty());
    start_run(ctx, dir, title, data);
    EXPECT_EQ(ctx.item_count, 101);

    // Written anew from the table: each line as the files had it, in their order.
    mark_all_edited(ctx);
    unlink((dir.path + title_file_name).c_str());
    unlink((dir.path + data_file_name).c_str());
    save_catalogue(ctx);
    EXPECT_EQ(read_text(dir.path + title_file_name), title);
    EXPECT_EQ(read_text(dir.path + data_file_name), data);
}

TEST(default_catalogue, holds_every_fixed_role_item_in_its_menu) {
    scratch_dir dir;
    run_context ctx;
    entry_handler = nullptr;
    start_run(ctx, dir, read_text(source_dir + title_file_name),
              read_text(source_dir + data_file_name));
    ASSERT_GE(ctx.menu_count, 5);
    for (uint8_t k = 1; k <= 4; ++k) EXPECT_EQ(ctx.menu_ids[k], "0;" + std::to_string(k));
    for (const char* code : fixed_role_items) {
        SCOPED_TRACE(code);
        EXPECT_NE(node_text(ctx, code), nullptr);  // a leaf
        EXPECT_GE(value_length(ctx, code), 0);     // with a value item
        EXPECT_GT(value_length(ctx, std::string("0;") + code), 0);  // and a title
    }
    // Every title fits a label whole, and the leaves add up.
    for (const catalogue_item& item : ctx.items) {
        if (has_flag(item.tag, 'n')) {
            EXPECT_LE(item.value.size(), label_max) << item.tag;
        }
    }
    EXPECT_EQ(ctx.nodes.size(), ctx.leaf_count);
    size_t leaves = 0;
    for (value_node* n = ctx.node_list; n; n = n->next) ++leaves;
    EXPECT_EQ(leaves, ctx.nodes.size());

    std::string value;
    get_value(ctx, "0;1;6", value);
    EXPECT_EQ(ctx.quiet, 0);
    get_value(ctx, "0;2;1", value);
    EXPECT_EQ(value, "0");  // no automatic reboot until one is set
    get_value(ctx, "0;4;5", value);
    EXPECT_EQ(value, "0");  // nor a ping watchdog
}
