// The menu path and the screen: the current menu drawn as a 55-column ANSI box.
#pragma once

#include <cstdint>
#include <string>

#include "state/run_context.hpp"

/// Empties the menu path: the main menu.
int path_clear(run_context& ctx);
/// One level deeper, at entry position level. Callers keep the depth at most 5.
int path_push(run_context& ctx, uint8_t level);
/// One level up, unless at the main menu.
int path_pop(run_context& ctx);
/// The item code of the path: "0" and ";level" for each level.
int path_code(const run_context& ctx, std::string& out);
/// The item number of the path's item code.
int path_number(run_context& ctx, uint16_t& out);

/// The longest entry title a row shows (cut with "..." after its number); a rename to a
/// longer one is refused.
constexpr size_t title_max = 52;

/// Upper-cases every byte with toupper.
void upcase_in_place(std::string& text);

/// Composes one framed line and prints it while the screen is drawn: left, lead, content,
/// fill up to the width, trail, right, CR LF. A content over 51 characters is cut with
/// "..." in place (the third line of a screen shows its tail instead).
int draw_framed_line(run_context& ctx, const std::string& left, const std::string& lead,
                     std::string& content, const std::string& trail, const std::string& fill,
                     const std::string& right);

/// Draws the whole screen of the current menu, while at_last_key is 1 and quiet is 0.
int draw_menu_screen(run_context& ctx);
