// Numbers on the command line. Each form is strict: digits of its base only, no sign, no
// blanks, no value past 64 bits; anything else is rejected and the caller decides what an
// unusable number means.
#pragma once

#include <cstdint>

/// Decimal digits.
bool parse_decimal(const char* text, uint64_t& out);

/// Hexadecimal digits, with or without a leading "0x" or "0X".
bool parse_hex(const char* text, uint64_t& out);

/// The C forms: "0x"-prefixed hexadecimal, "0"-prefixed octal, else decimal.
bool parse_c_number(const char* text, uint64_t& out);
