// What the console targets share: a console run that starts no command and opens no
// socket, on a simulated clock, with its typed lines in standard input and its
// configuration queries answered by the input. The link wraps the product's socket,
// sleep_ms and push_keys (as the actions call it) with the harness's own.
//
// A run that goes on repeating its own work (a countdown still waiting for its reboot
// time after its budget of sleeps, a watch that has queued its keys twice as many times,
// even one that never sleeps) ends as at the end of the input: it would go on on a
// device too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

/// A console input: the key script up to the first line feed; after it the typed lines
/// that standard input holds once the script's keys have run out (prompts are answered
/// from them too, and their end ends the run); after the first NUL byte, the output that
/// every configuration query prints (none: the query finds nothing).
struct console_input {
    std::string script;
    std::string typed;
    std::string query_output;
};

console_input split_console_input(const uint8_t* data, size_t size);

/// Sets up the process once: the clock, the command and query stand-ins, standard output
/// discarded, standard input an empty memory file, and the sleeps a run may take (each
/// countdown refresh is one, about 0.9 s of simulated time). Sleeps of at most
/// uncounted_ms do not count: the engine's pause after each typed line is one, and the
/// input's length bounds those. Aborts when it cannot.
void start_console_harness(unsigned sleep_budget, unsigned uncounted_ms = 0);

/// Before each run: the input's typed lines (a stream that stdin reads until
/// finish_console_run) and query output in place, the clock and the budgets back at their
/// start.
void prepare_console_run(const console_input& input);

/// After each run: what a run leaves of the process-wide state must not reach the next
/// input. A run that ended early (unwound) left the run's context and never handed its
/// answer on. A run that left a lock held is a finding.
void finish_console_run();
