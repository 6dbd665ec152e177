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

int log_write_line(const std::string& line, bool restart) {
    std::string command = append_template_head + shell_escape_in_quotes(line) +
                          (restart ? restart_tail : append_tail) + log_path;
    run_command(command);
    return 0;
}

int log_message(const std::string& message) { return log_write_line(log_line_text(message)); }
