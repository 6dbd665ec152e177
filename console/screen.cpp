#include "console/screen.hpp"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "catalogue/catalogue.hpp"
#include "catalogue/item_code.hpp"
#include "catalogue/menu_tables.hpp"
#include "common/timestamp.hpp"

namespace {

constexpr size_t line_max = 57;           // 55 columns, CR, LF
constexpr size_t content_max = 51;        // longest content shown whole
constexpr uint8_t fill_base = 54;
constexpr size_t row_limit = 58;          // a row of this length or more does not fit
constexpr const char* clear_screen = "\x1b[2J";
constexpr const char* cursor_home = "\x1b[0;0f";
constexpr const char* prompt_head = "Please select item <";

/// Appends piece when the line stays within line_max; else marks the overflow.
void append_piece(std::string& line, const std::string& piece, bool& overflow) {
    if (line.size() + piece.size() < line_max + 1) line += piece;
    else overflow = true;
}

/// A framed line of the rows' style: '|', blank lead, trail and fill.
void draw_row(run_context& ctx, std::string content) {
    draw_framed_line(ctx, "|", " ", content, " ", " ", "|");
}

void draw_border(run_context& ctx) {
    std::string empty;
    draw_framed_line(ctx, "+", "-", empty, "-", "-", "+");
}

/// The row of entry position p of the current menu; W is the width of the longest title.
void draw_entry_row(run_context& ctx, const std::string& prefix, uint8_t p, int16_t width) {
    const menu_entry& entry = ctx.cur_entries[p - 1];
    std::string title_code = "0;" + prefix + std::to_string(p);
    char number[16];
    std::snprintf(number, sizeof number, "%2d.", std::atoi(entry.key.c_str()));
    std::string row = number;
    // A title longer than a row holds (written into the file by hand, say) is shown cut
    // like any row that is too long.
    auto t = static_cast<int16_t>(std::min<int>(value_length(ctx, title_code), title_max));
    std::string title;
    if (get_value_into(ctx, title_code, title)) row += title;
    for (int16_t k = 0; k < width - t - 2; ++k) row += ' ';

    path_push(ctx, p);
    uint16_t number_of_leaf = 0;
    path_number(ctx, number_of_leaf);
    value_node* node = nullptr;
    find_node(ctx, node, number_of_leaf);
    path_pop(ctx);
    if (node && node->number == number_of_leaf) {
        row += ':';
        if (node->text && row.size() + node->text->size() + 2 < row_limit) row += *node->text;
    } else {
        row += '>';
    }
    draw_row(ctx, row);
}

std::string hotkey_line(const run_context& ctx) {
    std::string line;
    for (uint8_t k = 0; k < ctx.hotkey_count; ++k) {
        if (k > 0) line += "; ";
        line += ctx.hotkeys[k].key + ctx.hotkeys[k].label;
    }
    return line;
}

}  // namespace

int path_clear(run_context& ctx) {
    ctx.path_depth = 0;
    ctx.path[0] = 0;
    return 0;
}

int path_push(run_context& ctx, uint8_t level) {
    if (ctx.path_depth + 1u >= ctx.path.size()) return 0;  // the path has six bytes
    ++ctx.path_depth;
    ctx.path[ctx.path_depth] = level;
    return 0;
}

int path_pop(run_context& ctx) {
    if (ctx.path_depth > 0) --ctx.path_depth;
    return 0;
}

int path_code(const run_context& ctx, std::string& out) {
    out = path_item_code(ctx);
    return 0;
}

int path_number(run_context& ctx, uint16_t& out) {
    std::string code;
    path_code(ctx, code);
    return code_number(&ctx, out, code);
}

void upcase_in_place(std::string& text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

int draw_framed_line(run_context& ctx, const std::string& left, const std::string& lead,
                     std::string& content, const std::string& trail, const std::string& fill,
                     const std::string& right) {
    if (!screen_drawn(ctx)) return 0;
    std::string& line = ctx.line_buf;
    if (ctx.frame_lines == 0) line.clear();
    std::string shown = content;
    if (content.size() > content_max) {
        size_t cut = content.size() - content_max;
        if (ctx.frame_lines == 2) {
            shown = content.substr(cut);
        } else {
            content.resize(content_max);
            content.replace(content_max - 3, 3, "...");
            shown = content;
        }
    }
    bool overflow = false;
    append_piece(line, left, overflow);
    append_piece(line, lead, overflow);
    append_piece(line, shown, overflow);
    auto w = static_cast<uint8_t>(left.size() + lead.size() + trail.size());
    long bound = static_cast<long>(fill_base) - static_cast<long>(shown.size()) - w;
    for (uint8_t k = 0; static_cast<long>(k) < bound; ++k) append_piece(line, fill, overflow);
    append_piece(line, trail, overflow);
    append_piece(line, right, overflow);
    append_piece(line, "\r", overflow);
    append_piece(line, "\n", overflow);
    ++ctx.frame_lines;
    if (!overflow) std::fputs(line.c_str(), stdout);
    line.clear();
    return 0;
}

int draw_menu_screen(run_context& ctx) {
    if (screen_drawn(ctx)) {
        std::fputs(clear_screen, stdout);
        std::fputs(cursor_home, stdout);
        std::string code;
        path_code(ctx, code);
        std::string title;
        get_value(ctx, "0;" + code, title);
        ctx.menu_title = title;
        const size_t t = title.size();
        ctx.frame_lines = 0;

        std::string tab(t + 1, '-');
        std::string top = tab + "+";
        draw_framed_line(ctx, "+", "-", top, "-", "-", "+");
        upcase_in_place(*ctx.menu_title);
        draw_row(ctx, *ctx.menu_title + " |");
        std::string stamp;
        make_timestamp(stamp);
        std::string third = tab + "+" + *ctx.menu_title + " [ " + stamp + " ]";
        draw_framed_line(ctx, "+", "-", third, " ", " ", "|");
        draw_row(ctx, "");

        std::string prefix = code + ";";
        int16_t width = 0;
        for (uint8_t p = 1; p <= ctx.cur_entry_count; ++p) {
            auto l = static_cast<int16_t>(
                ctx.cur_entries[p - 1].key.size() +
                std::min<int>(value_length(ctx, "0;" + prefix + std::to_string(p)), title_max));
            if (l > width) width = l;
        }
        for (uint8_t p = 1; p <= ctx.cur_entry_count; ++p) draw_entry_row(ctx, prefix, p, width);

        draw_row(ctx, "");
        draw_border(ctx);
        draw_row(ctx, prompt_head + std::string("1 to ") + std::to_string(ctx.cur_entry_count) + ">:");
        draw_row(ctx, hotkey_line(ctx));
        draw_border(ctx);
        std::fflush(stdout);
    }
    ctx.menu_title.reset();
    return 0;
}
