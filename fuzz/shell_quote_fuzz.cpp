// Fuzzes the quoting of values inserted into commands, with a property check: for any
// bytes, the text of shell_quote, and that of shell_escape_in_quotes between a template's
// single quotes, read back by the rules of POSIX shell quoting, is one word that gives
// exactly the original bytes, and no byte of it outside quotes is one the shell would
// interpret (every unquoted byte is a plain word character or an escaped one).
//
// A value holding a NUL byte reaches the shell cut there (a command is a C text): the
// text before the NUL must then end inside quotes, so that the shell refuses the cut
// command instead of running it short.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "common/shell.hpp"
#include "fuzz/fatal_unwind.hpp"

namespace {

/// Bytes that stand for themselves outside quotes in an argument (no expansion, no
/// pattern, no operator, no word split, no tilde, no comment).
bool is_plain(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("_-.,:/@%+=").find(c) != std::string_view::npos;
}

/// How a text reads as shell words.
enum class reading { words, unquoted_special, open_quote, trailing_backslash };

/// Splits text into words by the quoting rules that the quoting helpers rely on: blanks
/// outside quotes separate words, '...' keeps every byte as it is, a backslash outside
/// quotes keeps the next byte (a backslash and a line feed vanish). Double quotes and any
/// other byte outside quotes count as interpreted.
reading read_words(std::string_view text, std::vector<std::string>& words) {
    words.clear();
    bool in_word = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ') {
            in_word = false;
            continue;
        }
        if (!in_word) words.emplace_back();
        in_word = true;
        std::string& word = words.back();
        if (c == '\'') {
            const size_t close = text.find('\'', i + 1);
            if (close == text.npos) return reading::open_quote;
            word.append(text.substr(i + 1, close - i - 1));
            i = close;
        } else if (c == '\\') {
            if (i + 1 == text.size()) return reading::trailing_backslash;
            if (text[++i] != '\n') word += text[i];
        } else if (is_plain(c)) {
            word += c;
        } else {
            return reading::unquoted_special;
        }
    }
    return reading::words;
}

/// The command "x <inserted> y" must read as the words x, value, y.
void check_inserted(const std::string& inserted, const std::string& value, const char* helper) {
    std::vector<std::string> words;
    const reading r = read_words("x " + inserted + " y", words);
    if (r != reading::words) {
        std::fprintf(stderr, "fuzz: %s: reading failed (%d)\n", helper, static_cast<int>(r));
        finding("a quoted value leaves a byte to the shell");
    }
    if (words != std::vector<std::string>{"x", value, "y"})
        finding("a quoted value does not read back as itself");

    const size_t nul = inserted.find('\0');
    if (nul != inserted.npos && read_words(std::string_view(inserted).substr(0, nul), words) !=
                                    reading::open_quote)
        finding("a quoted value cut at its NUL byte is a complete command");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string value(reinterpret_cast<const char*>(data), size);
    check_inserted(shell_quote(value), value, "shell_quote");
    check_inserted("'" + shell_escape_in_quotes(value) + "'", value, "shell_escape_in_quotes");
    return 0;
}
