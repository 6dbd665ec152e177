#include "boardutil/numbers.hpp"

#include <gtest/gtest.h>

namespace {

bool dec(const char* t, uint64_t& v) { return parse_decimal(t, v); }
bool hex(const char* t, uint64_t& v) { return parse_hex(t, v); }
bool cnum(const char* t, uint64_t& v) { return parse_c_number(t, v); }

}  // namespace

TEST(numbers, each_form_reads_its_digits) {
    uint64_t v = 0;
    EXPECT_TRUE(dec("0", v) && v == 0);
    EXPECT_TRUE(dec("0100", v) && v == 100);
    EXPECT_TRUE(hex("fffffffc", v) && v == 0xfffffffcu);
    EXPECT_TRUE(hex("0xDeadBeef", v) && v == 0xdeadbeefu);
    EXPECT_TRUE(hex("0", v) && v == 0);
    EXPECT_TRUE(cnum("0x1000000", v) && v == 0x1000000u);
    EXPECT_TRUE(cnum("0100", v) && v == 64);
    EXPECT_TRUE(cnum("100", v) && v == 100);
    EXPECT_TRUE(cnum("0", v) && v == 0);
    EXPECT_TRUE(dec("18446744073709551615", v) && v == UINT64_MAX);
}

TEST(numbers, malformed_text_is_refused_and_leaves_the_value) {
    uint64_t v = 7;
    for (const char* bad : {"", "-1", "+1", " 1", "1 ", "12a", "0x"}) {
        EXPECT_FALSE(dec(bad, v)) << bad;
    }
    for (const char* bad : {"", "0x", "-5", "g", "0xx1", "12345678901234567"}) {
        EXPECT_FALSE(hex(bad, v)) << bad;
    }
    for (const char* bad : {"08", "0x", "-0x10", "1e3"}) {
        EXPECT_FALSE(cnum(bad, v)) << bad;
    }
    EXPECT_FALSE(dec("18446744073709551616", v));
    EXPECT_EQ(v, 7u);
}
