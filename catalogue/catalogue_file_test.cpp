#include "catalogue/catalogue_file.hpp"

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "catalogue/item_access.hpp"
#include "catalogue/test_catalogue.hpp"

namespace {

ino_t inode_of(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::string tags_of(const run_context& ctx) {
    std::string out;
    for (const catalogue_item& item : ctx.items) out += item.tag + "=" + item.value + "|";
    return out;
}

/// Saves the data file with files limited to limit bytes.
void save_with_size_limit(run_context& ctx, rlim_t limit) {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit size_limit;
    size_limit.rlim_cur = limit;
    size_limit.rlim_max = limit;
    setrlimit(RLIMIT_FSIZE, &size_limit);
    save_data_file(ctx);
}

}  // namespace

TEST(load_catalogue, reads_both_files_into_one_sorted_table) {
    scratch_dir dir;
    run_context ctx;
    load_texts(ctx, dir, "n;1;6=SSID\nx\n\nm=Main\n", "v;1;3=a=b\nv;1;6=y\n");
    EXPECT_EQ(ctx.item_count, 4);
    // 'n;1;6' (37) before 'v;1;3' (995) before 'v;1;6' (998), whatever file each came from.
    EXPECT_EQ(tags_of(ctx), "m=Main|n;1;6=SSID|v;1;3=a=b|v;1;6=y|");
}

TEST(load_catalogue, takes_only_a_line_feed_off_a_line) {
    scratch_dir dir;
    run_context ctx;
    load_texts(ctx, dir, "n;1;6=SSID", "v;1;6=\nv;1;7=a\r\n");
    EXPECT_EQ(tags_of(ctx), "n;1;6=SSID|v;1;6=|v;1;7=a\r|");
}

TEST(load_catalogue_death, ends_the_process_on_malformed_data) {
    scratch_dir dir;
    run_context ctx;
    ctx.base_dir = dir.path;
    EXPECT_FATAL(load_catalogue(ctx), 1, "^Can not open " + dir.path + "zelk_title.txt file$");
    write_text(dir.path + title_file_name, "m=Main\n");
    EXPECT_FATAL(load_catalogue(ctx), 1, "^Can not open " + dir.path + "zelk_data.txt file$");

    EXPECT_FATAL(load_texts(ctx, dir, "m=Main\n", "v;1=a\nx;1=b\n"), 1, "^Should not run here\n$");
    const std::string long_tag = "n;1;1" + std::string(23, ';');  // 28 characters
    EXPECT_FATAL(load_texts(ctx, dir, "m=Main\n" + long_tag + "=t\n", ""), 1,
                 "zelk_title\\.txt: line 2: malformed");
    EXPECT_FATAL(load_texts(ctx, dir, "m=Main\n", "v;1=a\nv;1;2;3;4;5=b\n"), 1,
                 "zelk_data\\.txt: line 2: malformed");
    EXPECT_FATAL(load_texts(ctx, dir, "m=Main\n", "v;1=" + std::string(251, 'a') + "\n"), 1,
                 "zelk_data\\.txt: line 1: malformed");
    // A malformed tag is refused at load even where no comparison would meet it.
    EXPECT_FATAL(load_texts(ctx, dir, "", "vn;11;;1=b\n"), 4, "^Please check hash function again");
    EXPECT_FATAL(load_texts(ctx, dir, "n;40=x\n", ""), 3, "^hash problem$");
    load_texts(ctx, dir, "m=Main\n", "v;1=" + std::string(250, 'a') + "\n");  // 254: fits
    EXPECT_EQ(ctx.items[1].value.size(), 250u);
}

TEST(save_catalogue, writes_a_file_sorted_and_only_when_its_texts_changed) {
    scratch_dir dir;
    run_context ctx;
    // Out of order, with two tags of one number ('n;1' and 'mn;1'): they keep file order.
    const std::string title = "n;2;1=B\nn;1=Two\nm=Main\nmn;1=Sub\n";
    const std::string data = "v;2;1=2\nv;1;1=1\n";
    load_texts(ctx, dir, title, data);
    const ino_t data_inode = inode_of(dir.path + data_file_name);
    set_value(&ctx, "0;1;1", "1");  // set, but to the text the file holds
    save_catalogue(ctx);
    EXPECT_EQ(read_text(dir.path + data_file_name), data);
    EXPECT_EQ(inode_of(dir.path + data_file_name), data_inode);  // not even rewritten

    // A change however made (here straight into the table, as no key does) is saved.
    ctx.items[4].value = "one";
    set_value(&ctx, "0;0;2;1", "B2");
    save_catalogue(ctx);
    EXPECT_EQ(read_text(dir.path + title_file_name), "m=Main\nn;1=Two\nmn;1=Sub\nn;2;1=B2\n");
    EXPECT_EQ(read_text(dir.path + data_file_name), "v;1;1=one\nv;2;1=2\n");

    unlink((dir.path + data_file_name).c_str());
    save_data_file(ctx);  // no edit since the last save
    EXPECT_FALSE(file_exists(dir.path + data_file_name));
}

TEST(save_catalogue, moves_items_to_the_files_their_letters_name) {
    scratch_dir dir;
    run_context ctx;
    load_texts(ctx, dir, "m=Main\nm;1=Lonely\nnv;1;2=both\nv;1;1=stray\n", "");
    save_catalogue(ctx);
    // A menu without 'n' stays in the title file; a 'v' item goes to the data file.
    EXPECT_EQ(read_text(dir.path + title_file_name), "m=Main\nm;1=Lonely\nnv;1;2=both\n");
    EXPECT_EQ(read_text(dir.path + data_file_name), "nv;1;2=both\nv;1;1=stray\n");
}

TEST(save_catalogue, replaces_the_file_atomically_and_keeps_its_mode) {
    scratch_dir dir;
    run_context ctx;
    load_texts(ctx, dir, "m=Main\n", "v;1;1=one\n");
    chmod((dir.path + data_file_name).c_str(), 0640);
    ctx.items[1].value = "two";
    save_data_file(ctx);
    EXPECT_EQ(read_text(dir.path + data_file_name), "v;1;1=two\n");
    struct stat st;
    ASSERT_EQ(stat((dir.path + data_file_name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(dir_files(dir.path).size(), 2u);  // no temporary file is left behind
}

TEST(save_catalogue_death, a_failed_write_ends_the_process_and_keeps_the_old_file) {
    scratch_dir dir;
    run_context ctx;
    load_texts(ctx, dir, "m=Main\n", "v;1;1=one\n");
    ctx.items[1].value = std::string(1000, 'x');
    const std::string path = dir.path + data_file_name;
    // The file size limit makes the write of the new file fail part-way; the message
    // (written to a captured file too) still fits.
    EXPECT_FATAL(save_with_size_limit(ctx, 256), 1, "^Can not open file\\.: " + path + "$");
    EXPECT_EQ(read_text(path), "v;1;1=one\n");
    EXPECT_EQ(dir_files(dir.path).size(), 2u);

    ctx.base_dir = dir.path + "missing/";
    EXPECT_FATAL(save_data_file(ctx), 1, "^Can not open file\\.: " + ctx.base_dir);
}

TEST(compare_tags, orders_by_item_number_then_title_class_first) {
    EXPECT_EQ(compare_tags("n;1;6", "v;1;6"), -1);  // 37 against 998
    EXPECT_EQ(compare_tags("v;1;6", "n;1;6"), 1);
    EXPECT_EQ(compare_tags("mn;1", "n;1"), 0);
    EXPECT_EQ(compare_tags("n;1;5", "v;5"), -1);  // both 36: the title class first
    EXPECT_EQ(compare_tags("v;5", "n;1;5"), 1);
    EXPECT_FATAL(compare_tags("x;1", "n;1"), 1, "^Should not run here\n$");
}

TEST(save_catalogue, a_tag_the_file_repeats_is_saved_without_a_crash) {
    scratch_dir dir;
    run_context ctx;
    load_texts(ctx, dir, "m=Main\nn;1;1=a\nn;1;1=b\n", "v;1;1=x\n");
    mark_all_edited(ctx);
    ctx.items[1].value = "c";
    save_catalogue(ctx);
    run_context again;
    again.base_dir = dir.path;
    load_catalogue(again);
    EXPECT_EQ(tags_of(again), tags_of(ctx));
}
