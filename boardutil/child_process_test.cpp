#include "boardutil/child_process.hpp"

#include <gtest/gtest.h>

#include <cerrno>

TEST(spawn_command, results_of_exit_signal_and_failed_exec) {
    const char* const exit_3[] = {"sh", "-c", "exit 3", nullptr};
    const char* const exit_0[] = {"sh", "-c", "exit 0", nullptr};
    const char* const killed[] = {"sh", "-c", "kill -9 $$", nullptr};
    EXPECT_EQ(wait_command(spawn_command(exit_3)), 3);
    EXPECT_EQ(wait_command(spawn_command(exit_0)), 0);
    EXPECT_EQ(wait_command(spawn_command(killed)), 9 + 0x180);

    const char* const missing[] = {"/nonexistent/boardutil-test-program", nullptr};
    const char* const empty[] = {nullptr};
    errno = 0;
    EXPECT_EQ(spawn_command(missing), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(spawn_command(empty), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(wait_command(-1), -1);
    EXPECT_EQ(wait_command(0), -1);
}
