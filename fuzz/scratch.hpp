// Files of the fuzz targets: a scratch folder of their own, whole-file reads and writes,
// and standard output sent nowhere.
#pragma once

#include <string>

/// A new folder under $TMPDIR (else /tmp) named after prefix, with a trailing '/'.
/// Aborts when it cannot be made.
std::string make_scratch_folder(const char* prefix);

/// The file's bytes; aborts when it cannot be read.
std::string read_whole_file(const std::string& path);

/// Replaces the file's bytes with text; aborts when it cannot be written.
void write_whole_file(const std::string& path, const std::string& text);

/// Sends standard output to /dev/null: what the product prints for the screen is not
/// looked at, and the fuzzer reports on standard error. Aborts when it cannot.
void discard_standard_output();
