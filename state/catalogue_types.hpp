// The records of the item catalogue and of the menu model built from it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct run_context;

/// The argument vector handed to console operations and handlers; slot 0 is a placeholder.
using arg_vector = std::vector<std::string>;

/// Every menu entry and hotkey runs one of these: (run context, mode, argument vector).
using item_handler = int (*)(run_context& ctx, uint16_t mode, const arg_vector& argv);

/// Longest texts of the catalogue's fixed fields.
constexpr size_t tag_max = 27;        ///< an item tag
constexpr size_t code_max = 11;       ///< an item code, menu code or entry key
constexpr size_t label_max = 27;      ///< a menu entry's label

/// One catalogue line: tag=value.
struct catalogue_item {
    std::string tag;    ///< text before the first '=', at most tag_max characters
    std::string value;  ///< text after the first '=', line feed removed
    /// The tag's place in the table (tag_order_key), worked out once when it is read.
    uint32_t order_key = 0;
};

/// A row of a menu's entry table or of the hotkey table.
struct menu_entry {
    std::string key;               ///< entry number as text, or the hotkey character
    item_handler handler = nullptr;
    std::string label;             ///< entry title, at most label_max characters
};

/// One menu: its code and its entries.
struct menu_desc {
    std::string code;               ///< the menu's item code
    menu_entry* entries = nullptr;  ///< the menu's slot of menu_entry_store
    uint8_t count = 0;              ///< number of entries
    bool numbered = false;          ///< number holds code's item number (worked out once)
    uint16_t number = 0;
};

/// The shown and edited text of one leaf entry.
struct value_node {
    uint16_t number = 0;                ///< item number of the leaf's positional code
    std::unique_ptr<std::string> text;  ///< copy of the item's value; null once released
    value_node* next = nullptr;         ///< list order: menus in order, entries in order
};
