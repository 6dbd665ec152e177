// Reading and writing catalogue items by item code ('0;1;6', a value) or title code
// ('0;0;1;6', the title of that item).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct run_context;
struct value_node;

/// A working console's catalogue holds exactly this many items; every read checks it.
constexpr int32_t catalogue_item_total = 101;

/// True for a title code: "0;0" alone or followed by ';'.
bool is_title_code(std::string_view code);

/// The search tag of a code: 'n' and the code from its fourth character on for a title
/// code ('0;0;1;6' gives 'n;1;6', '0;0' gives 'n'); otherwise the code with its first
/// character replaced by 'v' ('0;1;6' gives 'v;1;6'). The empty code gives the empty tag,
/// which names no item.
std::string tag_of_code(std::string_view code);

/// out = a copy of the item's text and 1 when the item exists; out = "" and 0 otherwise.
/// Ends the process with "num=[%d]\n" when the catalogue does not hold 101 items.
int get_value(const run_context& ctx, std::string_view code, std::string& out);

/// 1 and the item's text in out when the item exists; 0 and out untouched otherwise.
/// The item's text read as a decimal number the way atoi reads it (leading blanks and
/// sign, digits up to the first other character; 0 for a missing item), held to the
/// range of long instead of overflowing.
long value_number(const run_context& ctx, std::string_view code);

int get_value_into(const run_context& ctx, std::string_view code, std::string& out);

/// The length of the item's text, or -1 when the item does not exist.
int value_length(const run_context& ctx, std::string_view code);

/// Replaces the item's text ("pItem=NULL" is printed when there is no such item) and, for
/// a value code, the text of the leaf's value node when it has one.
void set_value(run_context* ctx, std::string_view code, const std::string& text);

/// The first value node in list order with this item number, or null. The one lookup of
/// the value nodes: the menu tables and the value access both use it.
int find_node(run_context& ctx, value_node*& out, uint16_t number);

/// The node text of the leaf with this item code, or null when no leaf has its number.
std::string* node_text(run_context& ctx, std::string_view code);
