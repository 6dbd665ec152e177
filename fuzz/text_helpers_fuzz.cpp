// Fuzzes the text helpers of common/: field counting and cutting, span replacement,
// number parsing, date reformatting, month names, time stamps and shell quoting. The first
// bytes of the input choose a delimiter, an index and a length; the rest is the text.
// Besides surviving every text, each helper keeps the promise its header makes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "common/shell.hpp"
#include "common/text_fields.hpp"
#include "common/timestamp.hpp"

namespace {

constexpr size_t options_size = 5;

[[noreturn]] void finding(const char* what, const std::string& text) {
    std::fprintf(stderr, "text_helpers_fuzz: %s (text of %zu bytes)\n", what, text.size());
    std::abort();
}

/// Reads back one shell word built only of plain characters, single-quoted stretches and
/// \' escapes: what the quoting helpers may produce. Nothing when the word holds anything
/// else the shell would treat as its own.
std::optional<std::string> unquote_word(const std::string& word) {
    std::string out;
    size_t k = 0;
    while (k < word.size()) {
        const char c = word[k];
        if (c == '\'') {
            const size_t close = word.find('\'', k + 1);
            if (close == std::string::npos) return std::nullopt;
            out.append(word, k + 1, close - k - 1);
            k = close + 1;
        } else if (c == '\\') {
            if (k + 1 >= word.size() || word[k + 1] != '\'') return std::nullopt;
            out += '\'';
            k += 2;
        } else {
            const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                               (c >= '0' && c <= '9') || std::string("_-.,:/@%+=").find(c) != std::string::npos;
            if (!plain) return std::nullopt;
            out += c;
            ++k;
        }
    }
    return out;
}

void check_fields(const std::string& text, char delim, uint16_t index) {
    uint8_t count = 0;
    count_fields(text, count, delim);
    size_t delims = 0;
    for (char c : text) delims += c == delim;
    if (count != static_cast<uint8_t>(delims + 1)) finding("count_fields miscounted", text);

    const std::string untouched = "\x01untouched";
    std::string field = untouched;
    get_field(field, text, index, delim);
    if (field != untouched &&
        (field.empty() || field.find(delim) != std::string::npos || text.find(field) == std::string::npos))
        finding("get_field gave no field of the text", text);
}

void check_spans(const std::string& text, int16_t old_len, uint16_t max) {
    const std::string head = text.substr(0, text.size() / 2);
    std::string buf = text.substr(text.size() / 2);
    const std::string before = buf;
    replace_span(buf, old_len, head.c_str());
    const size_t kept = old_len < 0 ? 0 : std::min<size_t>(static_cast<size_t>(old_len), before.size());
    if (buf != std::string(head.c_str()) + before.substr(kept)) finding("replace_span", text);
    std::string none = before;
    replace_span(none, old_len, nullptr);
    if (none != before.substr(kept)) finding("replace_span with no text", text);

    std::string cut = text;
    cut_text(cut, max);
    if (cut.size() > max || text.compare(0, cut.size(), cut) != 0) finding("cut_text", text);
    if (cut_copy(text, max) != cut) finding("cut_copy differs from cut_text", text);
}

void check_numbers(const std::string& text) {
    const std::string number = text.substr(0, 12);
    uint16_t out = 0xBEEF;
    const int r = parse_number(number, out);
    if (number.size() > 10 && (r != 1 || out != 0xBEEF)) finding("parse_number took a long text", text);
    if (number.size() <= 10 && r != 0) finding("parse_number refused a short text", text);
}

void check_dates(const std::string& text, uint16_t index, int16_t old_len) {
    std::string date = text;
    reformat_date(date);
    uint8_t month = 0;
    month_number(text.substr(0, 3), month);
    if (month < 1 || month > 13) finding("month_number out of range", text);
    // Time stamps of any calendar time, far past and future ones too.
    time_t secs = 0;
    for (size_t k = 0; k < sizeof secs && k < text.size(); ++k)
        secs = static_cast<time_t>(static_cast<uint64_t>(secs) << 8 | static_cast<uint8_t>(text[k]));
    std::string stamp;
    format_timestamp(stamp, secs, static_cast<long>(old_len) * index);
}

void check_quoting(const std::string& text) {
    const std::string quoted = shell_quote(text);
    const std::optional<std::string> back = unquote_word(quoted);
    if (!back || *back != text) finding("shell_quote does not read back as the text", text);
    const std::optional<std::string> inner = unquote_word("'" + shell_escape_in_quotes(text) + "'");
    if (!inner || *inner != text) finding("shell_escape_in_quotes does not read back", text);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "UTC0", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < options_size) return 0;
    const char delim = static_cast<char>(data[0]);
    const auto index = static_cast<uint16_t>(data[1] | data[2] << 8);
    const auto old_len = static_cast<int16_t>(static_cast<uint16_t>(data[3] | data[4] << 8));
    const std::string text(reinterpret_cast<const char*>(data + options_size), size - options_size);

    check_fields(text, delim, index);
    check_spans(text, old_len, index);
    check_numbers(text);
    check_dates(text, index, old_len);
    check_quoting(text);
    return 0;
}
