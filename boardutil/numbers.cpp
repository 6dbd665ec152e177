#include "boardutil/numbers.hpp"

namespace {

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

bool has_hex_prefix(const char* text) {
    return text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

bool parse_digits(const char* text, unsigned base, uint64_t& out) {
    if (*text == '\0') return false;
    uint64_t value = 0;
    for (; *text != '\0'; ++text) {
        const int d = digit_value(*text);
        if (d >= static_cast<int>(base)) return false;
        // Checked without a 64-bit division, which the 32-bit board has only as a library call.
        if (__builtin_mul_overflow(value, uint64_t{base}, &value) ||
            __builtin_add_overflow(value, static_cast<uint64_t>(d), &value)) {
            return false;
        }
    }
    out = value;
    return true;
}

}  // namespace

bool parse_decimal(const char* text, uint64_t& out) { return parse_digits(text, 10, out); }

bool parse_hex(const char* text, uint64_t& out) {
    return parse_digits(has_hex_prefix(text) ? text + 2 : text, 16, out);
}

bool parse_c_number(const char* text, uint64_t& out) {
    if (has_hex_prefix(text)) return parse_digits(text + 2, 16, out);
    if (text[0] == '0' && text[1] != '\0') return parse_digits(text + 1, 8, out);
    return parse_digits(text, 10, out);
}
