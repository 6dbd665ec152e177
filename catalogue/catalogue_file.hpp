// The catalogue files zelk_title.txt and zelk_data.txt: loading them into the sorted item
// table, the tag syntax, and writing them back.
#pragma once

#include <string>
#include <string_view>

struct run_context;

/// File names, under the run's catalogue directory.
constexpr const char* title_file_name = "zelk_title.txt";
constexpr const char* data_file_name = "zelk_data.txt";

/// Longest catalogue line before its line feed.
constexpr size_t catalogue_line_max = 254;

/// True when the flag field of tag (its text before the first ';': kind letters 'm', 'n',
/// 'v') holds letter.
bool has_flag(std::string_view tag, char letter);

/// The item code of a tag: "0" followed by the tag from its first ';' on.
std::string tag_item_code(std::string_view tag);

/// The sort code of a tag: "0;0" (first letter 'm' or 'n') or "0;1" ('v'), followed by
/// the tag from its first ';' on. Any other first character ends the process.
std::string tag_sort_code(std::string_view tag);

/// Reads both files into ctx.items (title file first), sorted by item number; sets
/// item_count and file_texts. Returns 0. A file that cannot be read or a malformed line
/// ends the process.
int load_catalogue(run_context& ctx);

/// A tag's place in the table: the item number of its sort code, and its class (the
/// title class first) among equal numbers. Malformed tags end the process as
/// tag_sort_code and code_number do.
uint32_t tag_order_key(std::string_view tag);

/// Orders two tags by the item numbers of their sort codes: -1, 0 or 1. Equal numbers of
/// the two classes put the title class first, so a lookup never lands on an item of the
/// other class.
int compare_tags(std::string_view a, std::string_view b);

/// Writes zelk_data.txt (every item whose flag field holds 'v') when the run's values
/// differ from what the file holds, however they were changed (a key's answer, an action,
/// a follow-up); a run that changed nothing leaves the file untouched, not even rewritten.
/// The file is read again under an exclusive lock on the catalogue folder and only this
/// run's own edits (see run_context::file_texts) are written over what it holds then, so
/// that another run's saved changes stay; for a single run this is the run's table.
/// Temporary files left by a save that was killed are removed first. Returns 0, or -1 when
/// the file cannot be written ("Can not open file.: path"): when the run's saves report
/// failures the message is shown and save_failed set, under end_on_failure the process
/// ends. A
/// file read again that cannot be loaded ends it as load_catalogue does. Either way the
/// file keeps what it held. Under save_mode::never nothing is written.
int save_data_file(run_context& ctx);

/// As save_data_file, for zelk_title.txt with every item whose flag field holds 'n' or no
/// 'v' (menus and titles). Returns 0 or -1 as save_data_file does.
int save_title_file(run_context& ctx);

/// save_data_file, then (when it could write) save_title_file. Returns 0, or -1 when a
/// file could not be written.
int save_catalogue(run_context& ctx);
