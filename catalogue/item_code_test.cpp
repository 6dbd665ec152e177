#include "catalogue/item_code.hpp"

#include "catalogue/test_catalogue.hpp"

namespace {

int number_of(const char* code) {
    uint16_t n = 0xFFFF;
    EXPECT_EQ(code_number(nullptr, n, code), 0);
    return n;
}

}  // namespace

TEST(code_number, reads_levels_as_base_31_digits) {
    EXPECT_EQ(number_of("0"), 0);
    EXPECT_EQ(number_of("0;"), 0);
    EXPECT_EQ(number_of("0;1;6"), 37);
    EXPECT_EQ(number_of("0;0;1;6"), 37);  // a leading zero level adds nothing
    EXPECT_EQ(number_of("0;1;14"), 45);
    EXPECT_EQ(number_of("0;4;9"), 133);
    EXPECT_EQ(number_of("0;1;1;6"), 998);
    EXPECT_EQ(number_of("0;1;31"), 62);
    EXPECT_EQ(number_of("0;2;0"), 62);
    EXPECT_EQ(number_of("0;;5"), 5);
    EXPECT_EQ(number_of("0;1;a"), 31);           // the last level is not digit-checked
    EXPECT_EQ(number_of("0;1;2;3;4;5"), 31810);  // text after a fifth ';' joins the last level
    EXPECT_EQ(number_of("0;1;3;2;13"), 32749);   // the largest number
    run_context ctx;
    EXPECT_EQ(item_number(ctx, "0;1;12"), 43);
}

TEST(code_number_death, prints_the_message_of_the_first_failing_check) {
    EXPECT_FATAL(number_of("0;a;1"), 1, "^hash problem, not a number$");
    EXPECT_FATAL(number_of("1;2"), 2, "^hash problem with wrong header\\.1\r\n$");
    EXPECT_FATAL(number_of("00;1"), 2, "^hash problem with wrong header\\.00\r\n$");
    EXPECT_FATAL(number_of(""), 2, "^hash problem with wrong header\\.\r\n$");
    EXPECT_FATAL(number_of("0;32"), 3, "^hash problem$");
    EXPECT_FATAL(number_of("0;40;x"), 3, "^hash problem$");
    EXPECT_FATAL(number_of("0;1;3;3;0"), 4, "^Please check hash function again\r\n$");
    EXPECT_FATAL(number_of("0;1;3;2;14"), 4, "^Please check hash function again");
    // Digits are checked while splitting, before the header; the header before the levels.
    EXPECT_FATAL(number_of("a;40"), 1, "^hash problem, not a number$");
    EXPECT_FATAL(number_of("1;40"), 2, "wrong header");
}

TEST(code_number_death, refuses_codes_longer_than_eleven_characters) {
    EXPECT_FATAL(number_of("0;1;1;1;1;11"), 3, "^hash problem$");
    EXPECT_FATAL(number_of("0;0000000000000000001"), 3, "^hash problem$");
}
