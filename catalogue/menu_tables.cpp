#include "catalogue/menu_tables.hpp"

#include <algorithm>
#include <memory>

#include "catalogue/catalogue_file.hpp"
#include "catalogue/item_access.hpp"
#include "catalogue/item_roles.hpp"
#include "catalogue/item_code.hpp"
#include "common/text_fields.hpp"
#include "state/run_context.hpp"

item_handler entry_handler = nullptr;

namespace {

constexpr const char* closing_level = "0";
constexpr const char* closing_title = "-";
constexpr const char* debug_item = item_role::debug_display;
constexpr size_t count_limit = 255;  // menu and entry counts are 8-bit

/// The initial values of a run's settings.
constexpr uint16_t initial_ping_interval = 5;
constexpr uint16_t initial_ping_delay = 60;
constexpr uint16_t initial_ping_failcount = 5;

uint8_t levels_of(std::string_view code) {
    uint8_t n = 0;
    count_code_levels(code, n);
    return n;
}

/// The levels of a code, empty ones included.
std::vector<std::string_view> split_levels(std::string_view code) {
    std::vector<std::string_view> levels;
    size_t pos = 0;
    for (;;) {
        size_t semi = code.find(';', pos);
        levels.push_back(code.substr(pos, semi == std::string_view::npos ? semi : semi - pos));
        if (semi == std::string_view::npos) break;
        pos = semi + 1;
    }
    return levels;
}

/// "0" followed by ';' and each level from the second up to the next-to-last.
std::string parent_code(const std::vector<std::string_view>& levels) {
    std::string parent = "0";
    for (size_t i = 1; i + 1 < levels.size(); ++i) {
        parent += ';';
        parent.append(levels[i]);
    }
    return parent;
}

/// Calls f with the positional code of every leaf: entry j of menu k is "code;j", a leaf
/// unless that code is a menu's.
template <class F>
void for_each_leaf(run_context& ctx, F&& f) {
    for (const menu_desc& desc : ctx.menu_descs) {
        for (unsigned j = 1; j <= desc.count; ++j) {
            const std::string code = desc.code + ";" + std::to_string(j);
            menu_desc* sub = nullptr;
            find_menu(ctx, code, sub);
            if (!sub) f(code);
        }
    }
}

/// The entry items of menu k, in catalogue order (at most count_limit).
std::vector<const catalogue_item*> menu_entry_items(const run_context& ctx, size_t k) {
    std::vector<const catalogue_item*> entries;
    const std::string& menu = ctx.menu_ids[k];
    for (const catalogue_item& item : ctx.items) {
        if (entries.size() == count_limit) break;
        if (has_flag(item.tag, 'n') && is_menu_entry(tag_item_code(item.tag), menu))
            entries.push_back(&item);
    }
    return entries;
}

void size_menu_tables(run_context& ctx) {
    const uint8_t m = ctx.menu_count;
    ctx.menu_descs.assign(m, menu_desc{});
    ctx.menu_desc_ref = &ctx.menu_descs;
    ctx.menu_codes.assign(m, std::string());
    ctx.menu_entry_tables.assign(m, nullptr);
    ctx.menu_entry_refs.assign(m, nullptr);
    ctx.menu_entry_counts.assign(m, 0);
    ctx.menu_entry_store.assign(m, {});
    for (uint8_t k = 0; k < m; ++k) {
        size_t size = k < ctx.menu_sizes.size() ? ctx.menu_sizes[k] : 0;
        // At least one slot, so that an empty menu still has an entry table to enter.
        ctx.menu_entry_store[k].assign(std::max<size_t>(size, 1), menu_entry{});
    }
}

}  // namespace

bool is_menu_entry(std::string_view code, std::string_view menu_code) {
    return code.size() > menu_code.size() && code.substr(0, menu_code.size()) == menu_code &&
           code[menu_code.size()] == ';' && levels_of(code) == levels_of(menu_code) + 1;
}

int count_menus(run_context& ctx) {
    ctx.menu_ids.clear();
    for (const catalogue_item& item : ctx.items)
        if (has_flag(item.tag, 'm') && ctx.menu_ids.size() < count_limit)
            ctx.menu_ids.push_back(tag_item_code(item.tag));
    ctx.menu_count = static_cast<uint8_t>(ctx.menu_ids.size());

    ctx.menu_sizes.assign(ctx.menu_count, 0);
    for (size_t k = 0; k < ctx.menu_count; ++k)
        ctx.menu_sizes[k] = static_cast<uint8_t>(menu_entry_items(ctx, k).size());
    ctx.tree_count = ctx.menu_count;
    ctx.leaf_count = 0;
    ctx.max_entries = 0;
    for (uint8_t j : ctx.menu_sizes) {
        ctx.max_entries = std::max(ctx.max_entries, j);
        ctx.tree_count = static_cast<uint16_t>(ctx.tree_count + j);
        ctx.leaf_count = static_cast<uint16_t>(ctx.leaf_count + j);
    }
    return 0;
}

int make_menu_lines(const run_context& ctx, std::vector<std::string>& lines, uint16_t& count) {
    lines.clear();
    for (size_t k = 0; k < ctx.menu_ids.size(); ++k) {
        const std::string& menu = ctx.menu_ids[k];
        unsigned n = 0;
        for (const catalogue_item* item : menu_entry_items(ctx, k))
            lines.push_back(cut_copy(menu + ";" + std::to_string(++n) + "=" + item->value,
                                     menu_line_max));
        lines.push_back(cut_copy(menu + ";" + closing_level + "=" + closing_title, menu_line_max));
    }
    count = static_cast<uint16_t>(lines.size());
    return 0;
}

int build_menu_tables(run_context& ctx) {
    size_menu_tables(ctx);
    std::vector<std::string> lines;
    uint16_t line_count = 0;
    make_menu_lines(ctx, lines, line_count);

    // Descriptor pass: a closing line ends its menu's descriptor.
    uint8_t m = 0;
    uint8_t c = 0;
    for (const std::string& line : lines) {
        const auto levels = split_levels(std::string_view(line).substr(0, line.find('=')));
        ++c;
        if (levels.back() != closing_level) continue;
        --c;
        if (m < ctx.menu_count) {
            const std::string parent = parent_code(levels);
            ctx.menu_entry_tables[m] = ctx.menu_entry_store[m].data();
            ctx.menu_entry_counts[m] = c;
            ctx.menu_entry_refs[m] = &ctx.menu_entry_tables[m];
            ctx.menu_codes[m] = parent;
            ctx.menu_descs[m] = menu_desc{parent, ctx.menu_entry_tables[m], c};
            ++m;
        }
        c = 0;
    }

    // Entry pass: each line becomes the next entry of its parent menu.
    std::vector<uint16_t> fill(ctx.menu_count, 0);
    for (const std::string& line : lines) {
        std::string code_part;
        std::string title;
        get_field(code_part, line, 0, '=');
        get_field(title, line, 1, '=');  // a title is cut at its own first '='
        const auto levels = split_levels(code_part);
        const std::string parent = parent_code(levels);
        uint16_t index = 0;
        menu_entry* entries = nullptr;
        if (!find_menu_index(ctx, parent, index)) continue;
        find_menu_entries(ctx, parent, entries);
        const size_t i = index - 1u;
        if (levels.back() != closing_level && entries &&
            fill[i] < ctx.menu_entry_store[i].size()) {
            entries[fill[i]] = menu_entry{cut_copy(levels.back(), code_max), entry_handler,
                                          cut_copy(title, label_max)};
        }
        ++fill[i];
    }
    return 0;
}

int build_node_list(run_context& ctx, value_node*& first) {
    first = nullptr;
    size_t used = 0;
    value_node* last = nullptr;
    for_each_leaf(ctx, [&](const std::string& code) {
        if (used == ctx.nodes.size()) return;
        value_node& node = ctx.nodes[used++];
        code_number(&ctx, node.number, code);
        node.text = std::make_unique<std::string>();
        get_value(ctx, code, *node.text);
        node.next = nullptr;
        if (last) last->next = &node;
        else first = &node;
        last = &node;
    });
    return 0;
}

int reset_run_state(run_context& ctx, value_node* first) {
    ctx.node_list = first;
    ctx.at_last_key = 0;
    ctx.frame_lines = 0;
    ctx.ping_argc = 0;
    ctx.ping_argv.clear();
    ctx.cmd.clear();
    ctx.ping_remaining = 0;
    ctx.alive = 1;
    ctx.use_uci = 0;
    ctx.ping_address.clear();
    ctx.ping_interval = initial_ping_interval;
    ctx.ping_delay = initial_ping_delay;
    ctx.ping_failcount = initial_ping_failcount;
    ctx.ping_enabled = 0;
    ctx.autoreboot_seconds = 0;
    ctx.timer_state = 0;
    ctx.line_buf.clear();
    ctx.result.clear();
    ctx.result_found = false;
    std::string debug;
    get_value(ctx, debug_item, debug);
    ctx.quiet = debug == "n" || debug == "N" ? 1 : 0;
    return 0;
}

int refresh_node_texts(run_context& ctx) {
    for_each_leaf(ctx, [&](const std::string& code) {
        value_node* node = nullptr;
        find_node(ctx, node, static_cast<uint16_t>(item_number(ctx, code)));
        if (!node) return;
        if (!node->text) node->text = std::make_unique<std::string>();
        get_value(ctx, code, *node->text);
    });
    return 0;
}

int release_node_texts(run_context& ctx) {
    size_t used = 0;
    for_each_leaf(ctx, [&](const std::string&) {
        if (used < ctx.nodes.size()) ctx.nodes[used++].text.reset();
    });
    return 0;
}

int find_menu(run_context& ctx, std::string_view code, menu_desc*& out) {
    out = nullptr;
    for (menu_desc& desc : ctx.menu_descs) {
        if (desc.code == code) {
            out = &desc;
            break;
        }
    }
    return 0;
}

int find_menu_index(const run_context& ctx, std::string_view code, uint16_t& index) {
    index = 0;
    for (size_t k = 0; k < ctx.menu_codes.size(); ++k) {
        if (ctx.menu_codes[k] == code) {
            index = static_cast<uint16_t>(k + 1);
            return 1;
        }
    }
    return 0;
}

int find_menu_entries(const run_context& ctx, std::string_view code, menu_entry*& out) {
    out = nullptr;
    uint16_t index = 0;
    if (!find_menu_index(ctx, code, index)) return 0;
    menu_entry** ref = index - 1u < ctx.menu_entry_refs.size() ? ctx.menu_entry_refs[index - 1u]
                                                               : nullptr;
    if (!ref) return 0;
    out = *ref;
    return 1;
}

std::string path_item_code(const run_context& ctx) {
    std::string code = "0";
    const size_t depth = std::min<size_t>(ctx.path_depth, ctx.path.size() - 1);
    for (size_t k = 1; k <= depth; ++k) code += ";" + std::to_string(ctx.path[k]);
    return code;
}

int find_path_menu(run_context& ctx, const menu_entry*& entries, uint8_t& count) {
    uint16_t wanted = 0;
    code_number(&ctx, wanted, path_item_code(ctx));
    entries = nullptr;
    count = 255;
    for (menu_desc& desc : ctx.menu_descs) {
        // A menu's code never changes: its number is worked out at the first step that
        // meets it (where it would end the process if it could not be), then kept.
        if (!desc.numbered) {
            code_number(&ctx, desc.number, desc.code);
            desc.numbered = true;
        }
        if (desc.number == wanted) {
            entries = desc.entries;
            count = desc.count;
            break;
        }
    }
    return 0;
}

int enter_path_menu(run_context& ctx, const menu_entry*& entries) {
    const menu_entry* saved_entries = ctx.cur_entries;
    const uint8_t saved_count = ctx.cur_entry_count;
    find_path_menu(ctx, ctx.cur_entries, ctx.cur_entry_count);
    if (!ctx.cur_entries) {
        ctx.cur_entries = saved_entries;
        ctx.cur_entry_count = saved_count;
        entries = nullptr;
        return 0;
    }
    entries = ctx.cur_entries;
    return 0;
}

int build_run_model(run_context& ctx) {
    build_menu_tables(ctx);
    ctx.leaf_count = static_cast<uint16_t>(ctx.leaf_count - ctx.menu_count + 1);
    ctx.nodes.clear();
    ctx.nodes.resize(ctx.leaf_count);
    value_node* first = nullptr;
    build_node_list(ctx, first);
    reset_run_state(ctx, first);
    if (!ctx.menu_descs.empty()) {
        ctx.cur_entries = ctx.menu_descs[0].entries;
        ctx.cur_entry_count = ctx.menu_descs[0].count;
    }
    refresh_node_texts(ctx);
    return 0;
}
