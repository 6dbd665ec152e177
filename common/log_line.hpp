// The log file of apmenu's actions: time-stamped lines appended by a shell command.
#pragma once

#include <string>

/// The log file on the device.
constexpr const char* log_path = "/etc/log_zelk.txt";

/// Size from which a capped writer starts the log anew.
constexpr long log_restart_size = 204801;

/// "[" time stamp "] " message: the line that log_message writes.
std::string log_line_text(const std::string& message);

/// Appends the line of message to the log file with "echo '%s' >> %s".
int log_message(const std::string& message);

/// The command that log_write_line runs: "echo '<line>' >> /etc/log_zelk.txt" (or "> "
/// when restart is true), the line escaped so that it is logged as written. For callers
/// that run it joined with further commands.
std::string log_command(const std::string& line, bool restart = false);

/// Writes a composed line to the log file: appended with "echo '%s' >> %s", or, when
/// restart is true, starting the file anew with "echo '%s' > %s". The line is quoted
/// so that it is logged as written, quotes included.
int log_write_line(const std::string& line, bool restart = false);
