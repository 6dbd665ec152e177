// Saves of runs that share one catalogue folder: each writes its own edits over what the
// files hold at the time, under the folder lock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <algorithm>

#include "catalogue/catalogue.hpp"
#include "catalogue/test_catalogue.hpp"

namespace {

const std::string title_text = "m=Main\nmn;1=Sub\nn;1;1=One\nn;1;2=Two\n";
const std::string data_text = "v;1;1=a\nv;1;2=b\nv;1;3=c\n";

/// Two runs that loaded the same catalogue.
struct two_runs : ::testing::Test {
    scratch_dir dir;
    run_context first;
    run_context second;
    void SetUp() override {
        load_texts(first, dir, title_text, data_text);
        second.base_dir = dir.path;
        load_catalogue(second);
    }
    std::string data() const { return read_text(dir.path + data_file_name); }
    std::string title() const { return read_text(dir.path + title_file_name); }
};

void edit(run_context& ctx, const char* code, const char* text) { set_value(&ctx, code, text); }

}  // namespace

TEST_F(two_runs, each_keeps_its_own_edits_of_different_items) {
    edit(first, "0;1;1", "first");
    edit(first, "0;0;1;1", "First title");
    edit(second, "0;1;3", "second");
    edit(second, "0;0;1;2", "Second title");
    save_catalogue(first);
    save_catalogue(second);
    EXPECT_EQ(data(), "v;1;1=first\nv;1;2=b\nv;1;3=second\n");
    EXPECT_EQ(title(), "m=Main\nmn;1=Sub\nn;1;1=First title\nn;1;2=Second title\n");
}

TEST_F(two_runs, the_later_save_of_one_item_wins) {
    edit(first, "0;1;2", "first");
    edit(second, "0;1;2", "second");
    save_data_file(second);
    save_data_file(first);
    EXPECT_EQ(data(), "v;1;1=a\nv;1;2=first\nv;1;3=c\n");

    // Setting the text the run loaded is an edit too: it puts that text back.
    edit(second, "0;1;2", "b");
    save_data_file(second);
    EXPECT_EQ(data(), data_text);
}

TEST_F(two_runs, a_saved_edit_is_not_written_again_by_the_next_save) {
    edit(first, "0;1;1", "first");
    save_data_file(first);
    edit(second, "0;1;1", "second");
    save_data_file(second);
    edit(first, "0;1;3", "again");  // the first run's next save brings only this
    save_data_file(first);
    EXPECT_EQ(data(), "v;1;1=second\nv;1;2=b\nv;1;3=again\n");
}

TEST_F(two_runs, items_the_run_does_not_know_stay_in_the_file) {
    write_text(dir.path + data_file_name, "v;1;3=c\nv;1;2=b\nv;1;4=new\nv;1;1=a\n");
    edit(first, "0;1;2", "x");
    save_data_file(first);
    EXPECT_EQ(data(), "v;1;1=a\nv;1;2=x\nv;1;3=c\nv;1;4=new\n");  // sorted, as always
}

TEST_F(two_runs, a_missing_file_is_written_anew_from_the_run) {
    unlink((dir.path + data_file_name).c_str());
    edit(first, "0;1;2", "x");
    save_data_file(first);
    EXPECT_EQ(data(), "v;1;1=a\nv;1;2=x\nv;1;3=c\n");
}

TEST_F(two_runs, stale_temporary_files_go_and_nothing_else) {
    for (const char* name : {"zelk_data.txt.Ab12Cd", "zelk_title.txt.zzzzzz",
                             "zelk_data.txt.keep", "zelk_data.txt~", "other.Ab12Cd"})
        write_text(dir.path + name, "half");
    edit(first, "0;1;2", "x");
    save_data_file(first);
    std::vector<std::string> names = dir_files(dir.path);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"other.Ab12Cd", "zelk_data.txt",
                                               "zelk_data.txt.keep", "zelk_data.txt~",
                                               "zelk_title.txt"}));
}

TEST_F(two_runs, a_save_waits_for_the_folder_lock) {
    int held = open(dir.path.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    std::fflush(nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(held);
        edit(first, "0;1;2", "child");
        save_data_file(first);
        _exit(0);
    }
    usleep(200 * 1000);
    EXPECT_EQ(data(), data_text);  // blocked while the lock is held elsewhere
    // A save that got past the lock meanwhile would be overwritten here, not merged.
    write_text(dir.path + data_file_name, "v;1;1=locked\nv;1;2=b\nv;1;3=c\n");
    close(held);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(data(), "v;1;1=locked\nv;1;2=child\nv;1;3=c\n");
}

TEST_F(two_runs, a_file_that_no_longer_loads_is_left_as_it_is) {
    const std::string path = dir.path + data_file_name;
    struct bad_file {
        std::string text;
        int status;
        const char* message;
    };
    const bad_file cases[] = {
        {"v;1;1=a\nx;1;2=b\n", 1, "^Should not run here\n$"},
        {"v;1;1=" + std::string(260, 'a') + "\n", 1, "zelk_data\\.txt: line 1: malformed"},
        {"v;1;40=a\n", 3, "^hash problem$"},
    };
    for (const bad_file& c : cases) {
        SCOPED_TRACE(c.message);
        write_text(path, c.text);
        edit(first, "0;1;2", "x");
        EXPECT_FATAL(save_data_file(first), c.status, c.message);
        EXPECT_EQ(read_text(path), c.text);
    }
    EXPECT_EQ(dir_files(dir.path).size(), 2u);
}
