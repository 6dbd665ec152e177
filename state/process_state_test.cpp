#include <gtest/gtest.h>

#include <chrono>

#include "state/run_context.hpp"

TEST(run_context, starts_with_the_initial_values) {
    run_context ctx;
    EXPECT_EQ(ctx.ping_interval, 5);
    EXPECT_EQ(ctx.ping_delay, 60);
    EXPECT_EQ(ctx.ping_failcount, 5);
    EXPECT_EQ(ctx.alive, 1u);
    EXPECT_EQ(ctx.timer_state, 0);
    EXPECT_FALSE(ctx.menu_title.has_value());
    EXPECT_EQ(current_context, nullptr);
}

TEST(run_context, counters_wrap_at_their_widths) {
    run_context ctx;
    ctx.pending_count = 255;
    ++ctx.pending_count;
    EXPECT_EQ(ctx.pending_count, 0);
    ctx.tree_count = 0xFFFF;
    ++ctx.tree_count;
    EXPECT_EQ(ctx.tree_count, 0);
}

TEST(sleep_ms, sleeps_at_least_the_time_asked) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sleep_ms(1020), 1);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 1020);
}
