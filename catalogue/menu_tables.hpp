// The menu tree of a console run: the census of menus and entries, the per-menu entry
// tables and descriptors, the value nodes of the leaves, and the lookups of navigation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "state/catalogue_types.hpp"

/// Longest menu line ("code;number=title").
constexpr size_t menu_line_max = 37;

/// The handler every menu entry gets. The console sets it to its entry-key handler before
/// the tables are built; the catalogue library itself knows no console code.
extern item_handler entry_handler;

/// True when code is an entry of the menu menu_code: it begins with menu_code and ';',
/// and has exactly one level more.
bool is_menu_entry(std::string_view code, std::string_view menu_code);

/// The census of the loaded catalogue: menu_count, menu_ids (item code of each menu, in
/// catalogue order), menu_sizes (entries of each), max_entries, tree_count (menus plus
/// entries) and leaf_count (all entries). Returns 0. Counts beyond 255 are held at 255.
int count_menus(run_context& ctx);

/// The menu lines: per menu, "M;n=title" for its n-th entry and the closing "M;0=-".
/// Each line is cut to menu_line_max. Returns 0.
int make_menu_lines(const run_context& ctx, std::vector<std::string>& lines, uint16_t& count);

/// Sizes and fills the per-menu tables (menu_descs, menu_codes, menu_entry_tables,
/// menu_entry_refs, menu_entry_counts, menu_entry_store) from the census. Entries get
/// their number as key, entry_handler, and their title cut to label_max. Returns 0.
int build_menu_tables(run_context& ctx);

/// Fills ctx.nodes (sized by the caller) with one node per leaf, in menu and entry order,
/// linked; first = the first node or null. Leaves beyond the size of nodes get none.
int build_node_list(run_context& ctx, value_node*& first);

/// Sets node_list and the initial values of a run's settings; quiet from item 0;1;6.
int reset_run_state(run_context& ctx, value_node* first);

/// Everything a run builds from its census before the first key: the menu tables, the
/// value nodes (leaf_count becomes their number), the run state, the main menu as the
/// current menu, and the node texts. Returns 0.
int build_run_model(run_context& ctx);

/// Copies every leaf's current value into its node text.
int refresh_node_texts(run_context& ctx);

/// Releases every leaf's node text.
int release_node_texts(run_context& ctx);

/// The descriptor whose code equals code, or null.
int find_menu(run_context& ctx, std::string_view code, menu_desc*& out);

/// 1 and the menu number plus 1 when a menu code equals code; 0 and 0 otherwise.
int find_menu_index(const run_context& ctx, std::string_view code, uint16_t& index);

/// 1 and that menu's entry array, or 0 and null.
int find_menu_entries(const run_context& ctx, std::string_view code, menu_entry*& out);

/// The item code of the current menu path: "0" and ";level" for each level.
std::string path_item_code(const run_context& ctx);

/// The entries and count of the first menu whose item number is the current path's;
/// null and 255 when there is none.
int find_path_menu(run_context& ctx, const menu_entry*& entries, uint8_t& count);

/// Makes the current path's menu current and gives its entries; when the path names no
/// menu, gives null and the current menu stays.
int enter_path_menu(run_context& ctx, const menu_entry*& entries);

