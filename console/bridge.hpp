// The ways a console run starts: batch, one-shot get and set (and the key scripts they
// build from an OID), and the thread body of the engine.
#pragma once

#include <string>

#include "state/catalogue_types.hpp"
#include "state/run_context.hpp"

/// The arguments of a run's thread: (argc, argv) of console_run.
struct run_block {
    int argc = 0;
    arg_vector argv;
    save_mode saves = save_mode::end_on_failure;
};

/// Thread body of the engine: takes the locks in threaded mode and runs the console.
int engine_thread(run_block block);

/// Thread body of the keyboard: waits for the engine's first idle moment, then reads the
/// terminal and draws.
int keyboard_thread(run_block block);

/// Mode 0: the engine thread interprets, the keyboard thread reads the terminal and draws.
int run_interactive(int argc, const arg_vector& argv);

/// Mode 5: reads or writes a parameter through the mailbox of a running engine thread.
/// A get of an OID that names no parameter returns -1, out empty.
int bridge_get(const std::string& oid, std::string& out);
int bridge_set(const std::string& oid, const std::string& value);

/// Writes one line into the mailbox and waits for the engine's acknowledgement.
int post_keys(const std::string& line);
/// post_keys of the exit key.
int post_exit();

/// The mailbox lines of a get and of a set.
std::string mailbox_get_line(const std::string& oid);
std::string mailbox_set_line(const std::string& oid, const std::string& value);

/// Mode 1: a run on the calling thread, keys from argv[1] and then standard input.
int run_batch(int argc, const arg_vector& argv);

/// A self-contained run that reads the parameter oid; out receives its value. An OID that
/// names no parameter returns -1, out empty.
int oneshot_get(const std::string& oid, std::string& out);

/// A self-contained run that stores value in the parameter oid.
int oneshot_set(const std::string& oid, const std::string& value);

/// Replaces each ';' between a pair of single quotes by '|'. An unmatched quote prints
/// "Invalid command" and leaves the rest unchanged.
int protect_quoted(std::string& script);

/// The key script of a one-shot get and of a one-shot set.
std::string oneshot_get_script(const std::string& oid);
std::string oneshot_set_script(const std::string& oid, const std::string& value);

/// True when the OID's first level is the main menu's "0": the only header an item code
/// has. Any other first level would be taken as "0" by the lookup and read another item.
bool starts_at_main_menu(const std::string& oid);

/// True when oid names a parameter of the catalogue in dir: it starts at the main menu
/// ("0"), each level before the last opens a menu, and the last holds a value. A set of
/// any other OID would walk the menus elsewhere and store into another item.
bool names_parameter(const std::string& oid, const std::string& dir);

/// False when text holds a character that the key language takes as its own (';', '|',
/// '~', a line end) or, for a value, begins with a quote (single or double) or is
/// bracketed: such a text could add keys, lose its quotes or rename the entry.
bool is_key_safe(const std::string& text, bool is_value);
