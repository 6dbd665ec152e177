// The end of the process on malformed catalogue data and at the end of the typed input:
// the one place where the console ends the process on its own.
#pragma once

#include <string_view>

/// Prints message on standard output exactly as given, flushes every stream and ends the
/// process (all threads) with status. The fuzz build links a body of its own that hands
/// message and status back to the fuzz target instead, so that its inputs run in one
/// process.
[[noreturn]] void end_process(std::string_view message, int status);

/// Every fatal catalogue diagnostic goes through here.
[[noreturn]] inline void catalogue_fatal(std::string_view message, int status) {
    end_process(message, status);
}
