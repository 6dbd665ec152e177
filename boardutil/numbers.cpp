#include "boardutil/numbers.hpp"

namespace {

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

bool has_hex_prefix(std::string_view text) {
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

bool parse_digits(std::string_view text, unsigned base, uint64_t& out) {
    if (text.empty()) return false;
    uint64_t value = 0;
    for (char c : text) {
        const int d = digit_value(c);
        if (d >= static_cast<int>(base)) return false;
        if (value > (UINT64_MAX - static_cast<uint64_t>(d)) / base) return false;
        value = value * base + static_cast<uint64_t>(d);
    }
    out = value;
    return true;
}

}  // namespace

bool parse_decimal(std::string_view text, uint64_t& out) { return parse_digits(text, 10, out); }

bool parse_hex(std::string_view text, uint64_t& out) {
    if (has_hex_prefix(text)) text.remove_prefix(2);
    return parse_digits(text, 16, out);
}

bool parse_c_number(std::string_view text, uint64_t& out) {
    if (has_hex_prefix(text)) return parse_digits(text.substr(2), 16, out);
    if (text.size() > 1 && text[0] == '0') return parse_digits(text.substr(1), 8, out);
    return parse_digits(text, 10, out);
}
