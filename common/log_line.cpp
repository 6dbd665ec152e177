#include "common/log_line.hpp"

#include "common/shell.hpp"
#include "common/timestamp.hpp"

namespace {

constexpr const char* append_template_head = "echo '";
constexpr const char* append_tail = "' >> ";
constexpr const char* restart_tail = "' > ";

}  // namespace

std::string log_line_text(const std::string& message) {
    std::string stamp;
    make_timestamp(stamp);
    return "[" + stamp + "] " + message;
}

std::string log_command(const std::string& line, bool restart) {
    return append_template_head + shell_escape_in_quotes(line) +
           (restart ? restart_tail : append_tail) + log_path;
}

int log_write_line(const std::string& line, bool restart) {
    run_command(log_command(line, restart));
    return 0;
}

int log_message(const std::string& message) { return log_write_line(log_line_text(message)); }
