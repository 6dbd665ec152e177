#include "common/timestamp.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdio>

namespace {

/// Seconds since the epoch of a UTC calendar time (the tests run with TZ=UTC).
time_t utc(int year, int mon, int day, int h, int m, int s) {
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = mon - 1;
    t.tm_mday = day;
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    return timegm(&t);
}

class timestamp : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

}  // namespace

TEST_F(timestamp, single_digit_day_gets_its_zero) {
    std::string out;
    format_timestamp(out, utc(2026, 12, 8, 6, 52, 55), 123);
    EXPECT_EQ(out, "08-12-2026 06:52:55.000123");
    EXPECT_EQ(out.size(), timestamp_len);
}

TEST_F(timestamp, two_digit_day_stays) {
    std::string out;
    format_timestamp(out, utc(2026, 12, 25, 23, 59, 59), 999999);
    EXPECT_EQ(out, "25-12-2026 23:59:59.999999");
    format_timestamp(out, utc(2027, 1, 1, 0, 0, 0), 0);
    EXPECT_EQ(out, "01-01-2027 00:00:00.000000");
}

TEST_F(timestamp, time_of_day_scans_back) {
    std::string out;
    format_timestamp(out, utc(2026, 3, 4, 17, 5, 9), 42);
    int h = -1, m = -1, s = -1;
    ASSERT_EQ(std::sscanf(out.c_str(), timestamp_time_scan, &h, &m, &s), 3);
    EXPECT_EQ(h, 17);
    EXPECT_EQ(m, 5);
    EXPECT_EQ(s, 9);
}

TEST_F(timestamp, current_time_has_the_fixed_form) {
    std::string out = "untouched";
    EXPECT_EQ(make_timestamp(out), 0);
    ASSERT_EQ(out.size(), timestamp_len);
    EXPECT_EQ(out[2], '-');
    EXPECT_EQ(out[5], '-');
    EXPECT_EQ(out[10], ' ');
    EXPECT_EQ(out[19], '.');
    std::string cal;
    EXPECT_EQ(clock_text(cal), 0);
    EXPECT_EQ(cal.back(), '\n');
}

TEST(reformat_date, turns_calendar_text_around) {
    std::string s = "Tue Dec 08 06:52:55 2026";
    reformat_date(s);
    EXPECT_EQ(s, "08-12-2026 06:52:55");
    s = "Mon Jan 31 00:00:01 2028";
    reformat_date(s);
    EXPECT_EQ(s, "31-01-2028 00:00:01");
}

TEST(month_number, exact_names_only) {
    uint8_t m = 0;
    month_number("Jan", m);
    EXPECT_EQ(m, 1);
    month_number("Dec", m);
    EXPECT_EQ(m, 12);
    month_number("jan", m);
    EXPECT_EQ(m, 13);
    month_number("", m);
    EXPECT_EQ(m, 13);
}

TEST_F(timestamp, test_clock_replaces_the_system_clock) {
    set_clock_source([](time_t& secs, long& usec) {
        secs = utc(2026, 12, 8, 23, 30, 15);
        usec = 7;
    });
    std::string out;
    make_timestamp(out);
    set_clock_source(nullptr);
    EXPECT_EQ(out, "08-12-2026 23:30:15.000007");
}
