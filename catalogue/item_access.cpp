#include "catalogue/item_access.hpp"

#include <cstdlib>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "catalogue/catalogue_file.hpp"
#include "catalogue/fatal.hpp"
#include "catalogue/item_code.hpp"
#include "state/run_context.hpp"

namespace {

constexpr const char* msg_item_total = "num=[%d]\n";
constexpr const char* msg_null_context = "exit due to ztq_ztqParams=NULL\n";
constexpr const char* msg_no_item = "pItem=NULL\n";

constexpr const char* title_prefix = "0;0";
constexpr size_t title_prefix_len = 3;
constexpr size_t no_item = static_cast<size_t>(-1);

void require_item_total(const run_context& ctx) {
    if (ctx.item_count == catalogue_item_total) return;
    char message[32];
    std::snprintf(message, sizeof message, msg_item_total, static_cast<int>(ctx.item_count));
    catalogue_fatal(message, 1);
}

/// Index of the item that tag finds by binary search of the sorted table, or no_item.
size_t find_item(const std::vector<catalogue_item>& items, std::string_view tag) {
    if (tag.empty() || items.empty()) return no_item;
    const uint32_t key = tag_order_key(tag);
    auto it = std::lower_bound(items.begin(), items.end(), key,
                               [](const catalogue_item& item, uint32_t k) {
                                   return item.order_key < k;
                               });
    if (it == items.end() || it->order_key != key) return no_item;
    return static_cast<size_t>(it - items.begin());
}

}  // namespace

bool is_title_code(std::string_view code) {
    return code.substr(0, title_prefix_len) == title_prefix &&
           (code.size() == title_prefix_len || code[title_prefix_len] == ';');
}

std::string tag_of_code(std::string_view code) {
    if (is_title_code(code)) return "n" + std::string(code.substr(title_prefix_len));
    std::string tag(code);
    if (!tag.empty()) tag[0] = 'v';
    return tag;
}

int get_value(const run_context& ctx, std::string_view code, std::string& out) {
    const std::string tag = tag_of_code(code);
    require_item_total(ctx);
    size_t i = find_item(ctx.items, tag);
    if (i == no_item) {
        out.clear();
        return 0;
    }
    out = ctx.items[i].value;
    return 1;
}

int get_value_into(const run_context& ctx, std::string_view code, std::string& out) {
    std::string text;
    int found = get_value(ctx, code, text);
    if (found) out = std::move(text);
    return found;
}

int value_length(const run_context& ctx, std::string_view code) {
    std::string text;
    return get_value(ctx, code, text) ? static_cast<int>(text.size()) : -1;
}

void set_value(run_context* ctx, std::string_view code, const std::string& text) {
    const std::string tag = tag_of_code(code);
    if (!ctx) catalogue_fatal(msg_null_context, 1);
    // Copied first: text may be the very item value or node text being replaced.
    const std::string copy = text;
    size_t i = find_item(ctx->items, tag);
    if (i != no_item) {
        ctx->items[i].value = copy;
        // A text set here is this run's edit even when it equals what the file held, so
        // that it is written over whatever another run saved meanwhile: the later wins.
        for (auto& texts : ctx->file_texts) texts.drop(ctx->items[i]);
    } else {
        std::fputs(msg_no_item, stdout);
    }
    if (is_title_code(code)) return;
    uint16_t number = 0;
    code_number(ctx, number, code);
    value_node* node = nullptr;
    find_node(*ctx, node, number);
    if (node) node->text = std::make_unique<std::string>(copy);
}

int find_node(run_context& ctx, value_node*& out, uint16_t number) {
    out = nullptr;
    for (value_node* node = ctx.node_list; node; node = node->next) {
        if (node->number == number) {
            out = node;
            break;
        }
    }
    return 0;
}

std::string* node_text(run_context& ctx, std::string_view code) {
    value_node* node = nullptr;
    find_node(ctx, node, static_cast<uint16_t>(item_number(ctx, code)));
    return node ? node->text.get() : nullptr;
}

long value_number(const run_context& ctx, std::string_view code) {
    std::string text;
    get_value(ctx, code, text);
    return std::strtol(text.c_str(), nullptr, 10);
}
