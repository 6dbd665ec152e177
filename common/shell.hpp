// Running shell commands: the one place where commands reach system() and popen(), and
// the quoting of every value inserted into a command.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

/// A value inserted into a command: bare when it holds only plain word characters, else
/// single-quoted with its own quotes written as '\''. The empty value becomes ''.
std::string shell_quote(std::string_view value);

/// A value inserted between single quotes that the command template already holds:
/// each single quote is written as '\''.
std::string shell_escape_in_quotes(std::string_view value);

/// Runs a command through the shell; returns system()'s status.
int run_command(const std::string& command);

/// Runs a command and hands its output to on_chunk, one fgets() read of at most
/// buf_size - 1 bytes at a time (a line, or a piece of a longer one). on_chunk returns
/// false to stop reading. Returns -1 when the pipe cannot be opened, else pclose()'s status.
int query_command(const std::string& command, size_t buf_size,
                  const std::function<bool(const std::string& chunk)>& on_chunk);

/// Seam for tests: every command that run_command or query_command is given is passed
/// to the observer first. A runner, when set, replaces system() for run_command.
struct command_hooks {
    std::function<void(const std::string&)> observer;
    std::function<int(const std::string&)> runner;
};
void set_command_hooks(command_hooks hooks);

/// Seam for tests and fuzz targets: when set, query_command reads a command's output from
/// the stream that the source opens for it (null: the command cannot be started) instead
/// of running it, and closes it with fclose(); the status is then 0. Empty: popen().
using output_source = std::function<FILE*(const std::string& command)>;
void set_output_source(output_source source);
