#include "common/text_fields.hpp"

#include <algorithm>
#include <climits>

int count_fields(std::string_view s, uint8_t& count, char delim) {
    uint8_t n = 1;
    for (char c : s)
        if (c == delim) ++n;
    count = n;
    return 0;
}

int count_code_levels(std::string_view code, uint8_t& count) {
    return count_fields(code, count, ';');
}

int get_field(std::string& dest, std::string_view s, uint16_t index, char delim) {
    uint16_t n = 0;
    size_t pos = 0;
    while (pos < s.size()) {
        if (s[pos] == delim) {
            ++pos;
            continue;
        }
        size_t end = s.find(delim, pos);
        if (end == std::string_view::npos) end = s.size();
        if (n == index) {
            dest.assign(s.substr(pos, end - pos));
            return 0;
        }
        ++n;
        pos = end;
    }
    return 0;
}

int get_code_field(std::string& dest, std::string_view code, uint16_t index) {
    return get_field(dest, code, index, ';');
}

int replace_char(std::string& s, char from, char to) {
    for (char& c : s)
        if (c == from) c = to;
    return 0;
}

int replace_span(std::string& buf, int16_t old_len, const char* text) {
    size_t old = old_len < 0 ? 0 : static_cast<size_t>(old_len);
    if (old > buf.size()) old = buf.size();
    buf.replace(0, old, text ? text : "");
    return 0;
}

namespace {

/// Value of c in the given base, or -1 when c is no digit of it.
int digit_value(char c, unsigned base) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') v = c - 'A' + 10;
    return v >= 0 && static_cast<unsigned>(v) < base ? v : -1;
}

}  // namespace

int parse_number(std::string_view text, uint16_t& out) {
    if (text.size() > 10) return 1;
    unsigned base = 10;
    if (text.size() >= 2 && text[0] == '0' && text[1] == 'x') {
        base = 16;
        text.remove_prefix(2);
    } else if (!text.empty() && text.back() == 'b') {
        base = 2;
        text.remove_suffix(1);
    }
    // Positional weights computed by Horner's rule; 16-bit arithmetic wraps like the
    // sum of digit times weight does.
    uint16_t n = 0;
    for (char c : text) {
        int v = digit_value(c, base);
        if (v < 0) {
            out = 0;
            return 0;
        }
        n = static_cast<uint16_t>(n * base + static_cast<unsigned>(v));
    }
    out = n;
    return 0;
}

int decimal_int(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long n = 0;
    constexpr long long limit = static_cast<long long>(INT_MAX) + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (n < limit) n = n * 10 + (text[i] - '0');
    if (n > limit) n = limit;
    if (negative) return static_cast<int>(-n);
    return static_cast<int>(n > INT_MAX ? INT_MAX : n);
}

namespace {

/// The value of text when it is one to max_digits decimal digits and nothing else.
bool digits_value(std::string_view text, size_t max_digits, long& value) {
    if (text.empty() || text.size() > max_digits) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

constexpr size_t port_digits_max = 5;
constexpr long port_max = 65535;
constexpr size_t octet_digits_max = 3;
constexpr long octet_max = 255;
constexpr int quad_octets = 4;

}  // namespace

bool port_number(std::string_view text, uint16_t& port) {
    long value = 0;
    if (!digits_value(text, port_digits_max, value) || value < 1 || value > port_max)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

bool is_dotted_quad(std::string_view text) {
    for (int k = 0; k < quad_octets; ++k) {
        const size_t dot = text.find('.');
        const bool last = k == quad_octets - 1;
        if (last != (dot == std::string_view::npos)) return false;
        long value = 0;
        if (!digits_value(text.substr(0, dot), octet_digits_max, value) || value > octet_max)
            return false;
        text = last ? std::string_view() : text.substr(dot + 1);
    }
    return true;
}

namespace {

bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

/// One %d field at text[pos...]: blanks skipped, then a sign and digits, at most width
/// characters of them (0: no limit), held to the range of int as decimal_int holds it.
/// False when no digit is there.
bool scan_field(std::string_view text, size_t& pos, size_t width, int& value) {
    while (pos < text.size() && is_blank(text[pos])) ++pos;
    const size_t start = pos;
    const size_t end = width == 0 ? text.size() : std::min(text.size(), start + width);
    if (pos < end && (text[pos] == '-' || text[pos] == '+')) ++pos;
    const size_t digits = pos;
    while (pos < end && text[pos] >= '0' && text[pos] <= '9') ++pos;
    if (pos == digits) return false;
    value = decimal_int(text.substr(start, pos - start));
    return true;
}

}  // namespace

int scan_decimals(std::string_view text, std::string_view format, std::initializer_list<int*> outs) {
    auto out = outs.begin();
    int stored = 0;
    size_t pos = 0;
    for (size_t f = 0; f < format.size(); ++f) {
        const char c = format[f];
        if (is_blank(c)) {
            while (pos < text.size() && is_blank(text[pos])) ++pos;
            continue;
        }
        if (c != '%') {
            if (pos >= text.size() || text[pos] != c) break;
            ++pos;
            continue;
        }
        const bool skip = f + 1 < format.size() && format[f + 1] == '*';
        if (skip) ++f;
        size_t width = 0;
        while (f + 1 < format.size() && format[f + 1] >= '0' && format[f + 1] <= '9')
            width = width * 10 + static_cast<size_t>(format[++f] - '0');
        if (f + 1 >= format.size()) break;
        const char conversion = format[++f];
        if (conversion == 'n') {
            if (!skip && out != outs.end()) **out++ = static_cast<int>(pos);
            continue;
        }
        if (conversion != 'd') break;
        int value = 0;
        if (!scan_field(text, pos, width, value)) break;
        if (!skip && out != outs.end()) {
            **out++ = value;
            ++stored;
        }
    }
    return stored;
}

void cut_text(std::string& s, size_t max) {
    if (s.size() > max) s.resize(max);
}

std::string cut_copy(std::string_view s, size_t max) {
    return std::string(s.substr(0, max));
}
