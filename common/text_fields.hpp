// Delimited-text operations on item codes, catalogue lines, key scripts and command output.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

/// Counts the delimiters of s plus one, modulo 256: empty fields count ("a;;b" has 3).
int count_fields(std::string_view s, uint8_t& count, char delim);

/// count_fields with ';': the number of levels of an item code.
int count_code_levels(std::string_view code, uint8_t& count);

/// Copies non-empty field number index of s into dest (runs of delimiters separate one
/// field from the next, leading and trailing ones are ignored). A missing field leaves
/// dest exactly as it was.
int get_field(std::string& dest, std::string_view s, uint16_t index, char delim);

/// get_field with ';': level number index of an item code.
int get_code_field(std::string& dest, std::string_view code, uint16_t index);

/// Replaces every from by to.
int replace_char(std::string& s, char from, char to);

/// Replaces the first old_len characters of buf by text (null counts as empty). An old_len
/// outside 0..size is held to that range.
int replace_span(std::string& buf, int16_t old_len, const char* text);

/// Reads "0x"-hexadecimal, "b"-suffixed binary or decimal text into a 16-bit number
/// (wrapping). A character outside the digit set gives 0. Returns 1, out untouched, for a
/// text longer than 10 characters; else 0.
int parse_number(std::string_view text, uint16_t& out);

/// The text read as a decimal number the way atoi reads it (leading blanks and a sign,
/// digits up to the first other character; 0 when there are none), held to the range of
/// int instead of overflowing.
int decimal_int(std::string_view text);

/// True when text is a network port: a whole decimal number from 1 to 65535, digits
/// only; port is then that number, else it is left as it was.
bool port_number(std::string_view text, uint16_t& port);

/// True when text is an IPv4 address in dotted form: four decimal numbers of 0 to 255,
/// each of one to three digits, separated by single dots, and nothing else.
bool is_dotted_quad(std::string_view text);

/// Reads decimal numbers out of text as sscanf reads them with a format made of %d
/// conversions (with an optional field width, and '*' to read one without storing it),
/// %n (the characters read so far), blanks (any run of white space, none included) and
/// characters that must match. Stores the numbers read into outs, in order, and stops at
/// the first field that does not match. Returns the number of values stored (%n does not
/// count), or -1 when the text ends before the first conversion. Nothing else of scanf's
/// formats is understood: another conversion ends the scan there.
int scan_decimals(std::string_view text, std::string_view format, std::initializer_list<int*> outs);

/// Cuts s to at most max characters; the one place where a text limit is enforced by cutting.
void cut_text(std::string& s, size_t max);

/// The first max characters of s.
std::string cut_copy(std::string_view s, size_t max);
