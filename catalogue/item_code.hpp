// Item numbers: the levels of an item code read as the digits of a base-31 number. The
// same routine validates item codes; a malformed code ends the process.
#pragma once

#include <cstdint>
#include <string_view>

struct run_context;

/// Largest item number; a code whose number is larger is malformed.
constexpr uint16_t item_number_max = 32749;

/// Stores the item number of code in out and returns 0. A malformed code ends the process
/// with a message on standard output: a non-digit in a level followed by ';' (status 1),
/// a header level other than "0" (2), a level above 31 or a code longer than code_max
/// (3), a number above item_number_max (4). ctx is not used.
int code_number(const run_context* ctx, uint16_t& out, std::string_view code);

/// The item number of code (code_number's result).
int item_number(const run_context& ctx, std::string_view code);
