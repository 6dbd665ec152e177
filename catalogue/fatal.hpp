// The end of the process on malformed catalogue data.
#pragma once

#include <string_view>

/// Prints message on standard output exactly as given, flushes it and ends the process
/// (all threads) with status. Every fatal catalogue diagnostic goes through here.
[[noreturn]] void catalogue_fatal(std::string_view message, int status);
