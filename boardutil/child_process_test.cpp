#include "boardutil/child_process.hpp"

#include <gtest/gtest.h>

#include <cerrno>

TEST(spawn_command, results_of_exit_signal_and_failed_exec) {
    EXPECT_EQ(wait_command(spawn_command({"sh", "-c", "exit 3"})), 3);
    EXPECT_EQ(wait_command(spawn_command({"sh", "-c", "exit 0"})), 0);
    EXPECT_EQ(wait_command(spawn_command({"sh", "-c", "kill -9 $$"})), 9 + 0x180);

    errno = 0;
    EXPECT_EQ(spawn_command({"/nonexistent/boardutil-test-program"}), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(wait_command(-1), -1);
    EXPECT_EQ(wait_command(0), -1);
}
