#include "common/shell.hpp"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

command_hooks& hooks() {
    static command_hooks h;
    return h;
}

output_source& source() {
    static output_source s;
    return s;
}

bool is_plain(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
    case '_': case '-': case '.': case ',': case ':': case '/': case '@': case '%': case '+':
    case '=':
        return true;
    default:
        return false;
    }
}

}  // namespace

std::string shell_escape_in_quotes(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out;
}

std::string shell_quote(std::string_view value) {
    bool plain = !value.empty();
    for (char c : value) plain = plain && is_plain(c);
    if (plain) return std::string(value);
    return "'" + shell_escape_in_quotes(value) + "'";
}

void set_command_hooks(command_hooks h) { hooks() = std::move(h); }

void set_output_source(output_source s) { source() = std::move(s); }

int run_command(const std::string& command) {
    if (hooks().observer) hooks().observer(command);
    if (hooks().runner) return hooks().runner(command);
    return std::system(command.c_str());
}

int query_command(const std::string& command, size_t buf_size,
                  const std::function<bool(const std::string& chunk)>& on_chunk) {
    if (hooks().observer) hooks().observer(command);
    const bool from_source = static_cast<bool>(source());
    FILE* pipe = from_source ? source()(command) : popen(command.c_str(), "r");
    if (!pipe) return -1;
    std::vector<char> buf(buf_size < 2 ? 2 : buf_size);
    while (std::fgets(buf.data(), static_cast<int>(buf.size()), pipe)) {
        if (!on_chunk(std::string(buf.data()))) break;
    }
    if (!from_source) return pclose(pipe);
    std::fclose(pipe);
    return 0;
}
