#include "common/text_fields.hpp"

#include <gtest/gtest.h>
#include <algorithm>
#include <climits>
#include <cstdio>

#include "common/timestamp.hpp"

namespace {

uint8_t fields(const std::string& s, char d) {
    uint8_t n = 0;
    count_fields(s, n, d);
    return n;
}

std::string field(const std::string& s, uint16_t index, char d, std::string dest = "unchanged") {
    get_field(dest, s, index, d);
    return dest;
}

}  // namespace

TEST(count_fields, counts_every_delimiter_plus_one) {
    EXPECT_EQ(fields("", ';'), 1);
    EXPECT_EQ(fields(";", ';'), 2);
    EXPECT_EQ(fields("0;1;6", ';'), 3);
    EXPECT_EQ(fields("a;;b", ';'), 3);
    uint8_t levels = 0;
    count_code_levels("0;1;10", levels);
    EXPECT_EQ(levels, 3);
}

TEST(count_fields, wraps_at_256) {
    EXPECT_EQ(fields(std::string(255, ';'), ';'), 0);
    EXPECT_EQ(fields(std::string(256, ';'), ';'), 1);
}

TEST(get_field, numbers_only_non_empty_fields) {
    EXPECT_EQ(field("0;1;6", 2, ';'), "6");
    EXPECT_EQ(field("a;;b", 1, ';'), "b");
    EXPECT_EQ(field(";x", 0, ';'), "x");
    EXPECT_EQ(field("tag=value", 1, '='), "value");
    EXPECT_EQ(field("a=b=c", 1, '='), "b");
    std::string code;
    get_code_field(code, "0;3;19", 1);
    EXPECT_EQ(code, "3");
}

TEST(get_field, missing_field_leaves_destination_as_it_was) {
    EXPECT_EQ(field("0;1;6", 3, ';'), "unchanged");
    EXPECT_EQ(field("tag=", 1, '='), "unchanged");
    EXPECT_EQ(field("", 0, ';'), "unchanged");
    EXPECT_EQ(field(";;;", 0, ';'), "unchanged");
}

TEST(get_field, source_is_not_changed) {
    const std::string src = "a;b;c";
    std::string copy = src;
    std::string dest;
    get_field(dest, copy, 1, ';');
    EXPECT_EQ(copy, src);
}

TEST(replace_char, replaces_every_occurrence) {
    std::string s = "10.20.30";
    replace_char(s, '.', ';');
    EXPECT_EQ(s, "10;20;30");
}

TEST(replace_span, replaces_inserts_and_deletes) {
    std::string s = "abcdef";
    replace_span(s, 2, "XYZ");
    EXPECT_EQ(s, "XYZcdef");
    s = "1;e";
    replace_span(s, 0, "!;");
    EXPECT_EQ(s, "!;1;e");
    s = "12;e";
    replace_span(s, 3, nullptr);
    EXPECT_EQ(s, "e");
}

TEST(replace_span, holds_old_length_to_the_text) {
    std::string s = "ab";
    replace_span(s, 40, "x");
    EXPECT_EQ(s, "x");
    s = "ab";
    replace_span(s, -3, "x");
    EXPECT_EQ(s, "xab");
}

TEST(parse_number, reads_hex_binary_and_decimal) {
    uint16_t n = 7;
    EXPECT_EQ(parse_number("0x1F", n), 0);
    EXPECT_EQ(n, 31);
    parse_number("0xff", n);
    EXPECT_EQ(n, 255);
    parse_number("101b", n);
    EXPECT_EQ(n, 5);
    parse_number("300", n);
    EXPECT_EQ(n, 300);
    parse_number("0x", n);
    EXPECT_EQ(n, 0);
    n = 9;
    parse_number("", n);
    EXPECT_EQ(n, 0);
}

TEST(parse_number, foreign_digit_gives_zero) {
    uint16_t n = 7;
    EXPECT_EQ(parse_number("12x", n), 0);
    EXPECT_EQ(n, 0);
    n = 7;
    parse_number("102b", n);
    EXPECT_EQ(n, 0);
    n = 7;
    parse_number("0X10", n);  // only a lower-case x marks hexadecimal
    EXPECT_EQ(n, 0);
}

TEST(parse_number, wraps_at_16_bits_and_refuses_long_text) {
    uint16_t n = 0;
    parse_number("65537", n);
    EXPECT_EQ(n, 1);
    parse_number("0x12345", n);
    EXPECT_EQ(n, 0x2345);
    n = 42;
    EXPECT_EQ(parse_number("12345678901", n), 1);
    EXPECT_EQ(n, 42);
    EXPECT_EQ(parse_number("1234567890", n), 0);
}

TEST(cut_text, cuts_only_longer_texts) {
    std::string s = "abcdef";
    cut_text(s, 10);
    EXPECT_EQ(s, "abcdef");
    cut_text(s, 3);
    EXPECT_EQ(s, "abc");
    EXPECT_EQ(cut_copy("abcdef", 2), "ab");
}

TEST(decimal_int, reads_like_atoi_without_overflow) {
    EXPECT_EQ(decimal_int(" 8080x"), 8080);
    EXPECT_EQ(decimal_int("-12"), -12);
    EXPECT_EQ(decimal_int("+7"), 7);
    EXPECT_EQ(decimal_int("abc"), 0);
    EXPECT_EQ(decimal_int(""), 0);
    EXPECT_EQ(decimal_int("99999999999999999999"), INT_MAX);
    EXPECT_EQ(decimal_int("-99999999999999999999"), INT_MIN);
}

// The C library's sscanf is the reference: every text gives the same values and count.
TEST(scan_decimals, reads_the_formats_of_the_times_as_sscanf_does) {
    const char* const texts[] = {
        "12:34:56", "1:2:3", " 7: 8: 9", "123:45:67", "1234:5:6", "-1:02:03", "+12:3:45",
        "12:34", "12:34:", "12:3a:56", "12:34:56x", "", " ", "ab", ":12", "12::34",
        "09-12-2026 23:30:15.123456", "09-12-2026 7:05:09.000001", "9-12-2026 23:30",
        "09-12-2026 23:30:15", "99-99-99999 1:2:3.4", "23:59", "5", "05:7", "007:00"};
    const char* const formats[] = {"%3d:%2d:%2d%n", "%02d:%02d", timestamp_time_scan};
    for (const char* format : formats) {
        for (const char* text : texts) {
            int a[4] = {-7, -7, -7, -7}, b[4] = {-7, -7, -7, -7};
            const int theirs = std::sscanf(text, format, &a[0], &a[1], &a[2], &a[3]);
            const int ours = scan_decimals(text, format, {&b[0], &b[1], &b[2], &b[3]});
            SCOPED_TRACE(std::string(format) + " on '" + text + "'");
            EXPECT_EQ(ours, std::max(theirs, 0));
            for (int k = 0; k < std::max(theirs, 0); ++k) EXPECT_EQ(b[k], a[k]);
            if (theirs == 3 && std::string(format).find("%n") != std::string::npos) {
                EXPECT_EQ(b[3], a[3]);
            }
        }
    }
}

TEST(port_and_address_checks, take_only_whole_ports_and_dotted_quads) {
    uint16_t port = 7;
    EXPECT_TRUE(port_number("1", port) && port == 1);
    EXPECT_TRUE(port_number("65535", port) && port == 65535);
    for (const char* bad : {"", "0", "65536", "70000", "-1", "+80", " 80", "80 ", "2121 x",
                            "80;evil", "0x50", "123456"}) {
        port = 7;
        EXPECT_FALSE(port_number(bad, port)) << bad;
        EXPECT_EQ(port, 7) << bad;
    }
    EXPECT_TRUE(is_dotted_quad("10.0.20.1"));
    EXPECT_TRUE(is_dotted_quad("0.0.0.0"));
    EXPECT_TRUE(is_dotted_quad("255.255.255.255"));
    for (const char* bad : {"", "10.0.20.1 10.9.9.9", "10.0.20", "10.0.20.1.", ".10.0.20.1",
                            "10..0.1", "256.0.0.1", "10.0.0.1000", "1.2.3.-4", "a.b.c.d",
                            "$(evil)`evil`|evil", "10.0.10.1';evil;'x"})
        EXPECT_FALSE(is_dotted_quad(bad)) << bad;
}
