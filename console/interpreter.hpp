// The command interpreter: lines of keys split into keys, each run by the handler of the
// matching menu entry or hotkey.
#pragma once

#include <cstdint>
#include <string>

#include "state/run_context.hpp"

/// Initialises ctx's tables for the run and interprets script, then whatever input the
/// mode provides, until the exit key. Returns when the run has ended.
int context_start(run_context& ctx, const std::string& script);

/// Builds the menu tables and value nodes of ctx, then runs engine_loop (ctx, argc, argv).
int context_init(run_context& ctx, uint16_t argc, const arg_vector& argv);

/// The silent loop: keys of argv[1] (mode 2), then lines from the mailbox (threaded) or
/// standard input (oneshot). Returns when the exit key has been handled.
int engine_loop(run_context& ctx, uint16_t mode, const arg_vector& argv);

/// The visible loop: keys of argv[1] (mode 2), then lines typed at the terminal.
int keyboard_loop(run_context& ctx, uint16_t mode, const arg_vector& argv);

/// Puts keys in front of the pending ones.
int push_keys(run_context& ctx, const std::string& keys);

/// Removes the current key from the front of pending.
int drop_current_key(run_context& ctx);

/// Finds the words of cmd: words[0] is the first, word_count their number, and cmd is
/// cut after the first word.
int split_words(run_context& ctx);

/// Reads one line of at most cmd_max characters from standard input (a longer line is
/// read in pieces). At the end of input the process ends at once: with status 1 for a
/// batch run whose last save could not be written, else 0.
void read_input_line(std::string& out);

/// As read_input_line, but returns false at the end of input instead of ending.
bool read_input_line_until_end(std::string& out);
