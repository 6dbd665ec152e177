#include "console/item_keys.hpp"

#include <cstdlib>

#include "catalogue/catalogue.hpp"
#include "catalogue/item_roles.hpp"
#include "catalogue/menu_tables.hpp"
#include "common/text_fields.hpp"
#include "console/prompts.hpp"
#include "console/screen.hpp"
#include "console/service_actions.hpp"

namespace {

constexpr size_t name_max = 3;  // entry numbers

bool is_yes(const std::string& a) { return a == "y" || a == "Y" || a.empty(); }

/// One row of the action table: the first row whose condition holds runs.
struct action_row {
    const char* code;    ///< the entry's item code, or null for any action item
    const char* answer;  ///< the answer word, or null for a yes
    item_action item_action_set::*action;
};

const action_row action_table[] = {
    {item_role::ping_start, nullptr, &item_action_set::ping_arming},
    {nullptr, "m", &item_action_set::ping_start},
    {item_role::http_start, nullptr, &item_action_set::http_start},
    {item_role::ftp_start, nullptr, &item_action_set::ftp_start},
    {item_role::https_start, nullptr, &item_action_set::https_start},
    {item_role::telnet_start, nullptr, &item_action_set::telnet_start},
    {item_role::reboot_start, nullptr, &item_action_set::reboot_start},
    {item_role::lookup, nullptr, nullptr},  // the parameter lookup
    {item_role::arm_file_watch, nullptr, &item_action_set::file_watch_arming},
    {nullptr, "x", &item_action_set::file_watch_check},
    {nullptr, "z", &item_action_set::file_watch_wait},
};

bool row_matches(const action_row& row, const std::string& code, const std::string& answer) {
    if (row.answer) return answer == row.answer;
    return is_yes(answer) && code == row.code;
}

void run_item_action(run_context& ctx, const std::string& code, const std::string& answer) {
    for (const action_row& row : action_table) {
        if (!row_matches(row, code, answer)) continue;
        if (!row.action) {
            lookup_parameter(ctx);
        } else if (item_action act = item_actions().*row.action) {
            act(ctx);
        }
        return;
    }
}

/// Stores the answer as the entry's title (rename) or value (store).
void store_answer(run_context& ctx, int answer_kind, const std::string& name,
                  const std::string& answer) {
    std::string menu;
    path_code(ctx, menu);
    if (answer_kind == answer_rename) {
        // A title the screen cannot show is refused; the entry keeps its title.
        if (answer.size() - 2 <= title_max)
            set_value(&ctx, "0;" + menu + ";" + name, answer.substr(1, answer.size() - 2));
        return;
    }
    std::string code = menu + ";" + name;
    set_value(&ctx, code, answer);
    for (const char* item : item_role::reboot_items)
        if (code == item && item_actions().reboot_follow_up)
            item_actions().reboot_follow_up(ctx, code, answer);
}

}  // namespace

item_action_set& item_actions() {
    static item_action_set actions = built_item_actions();
    return actions;
}

int lookup_parameter(run_context& ctx) {
    std::string oid;
    get_value(ctx, item_role::lookup_oid, oid);
    ctx.result = cut_copy(oid, result_max);
    std::string code = ctx.result;
    replace_char(code, '.', ';');
    std::string value;
    ctx.result_found = get_value(ctx, code, value) == 1;
    if (ctx.result_found) ctx.result = cut_copy(value, result_max);
    set_value(&ctx, item_role::lookup_value, ctx.result);
    return 0;
}

int handle_item_key(run_context& ctx, uint16_t, const arg_vector&) {
    const std::string name = cut_copy(ctx.words[0], name_max);
    auto n = static_cast<uint8_t>(std::atoi(name.c_str()));
    const menu_entry* entries = nullptr;
    if (n == 0) {
        if (ctx.path_depth > 0) {
            path_pop(ctx);
            enter_path_menu(ctx, entries);
        }
        return draw_menu_screen(ctx);
    }
    if (ctx.path_depth >= 4) return draw_menu_screen(ctx);
    path_push(ctx, n);
    enter_path_menu(ctx, entries);
    if (entries) return draw_menu_screen(ctx);

    uint16_t number = 0;
    path_number(ctx, number);
    path_pop(ctx);
    value_node* node = nullptr;
    find_node(ctx, node, number);
    if (!node) {
        // The path stays one level deeper until the user goes back.
        path_push(ctx, n);
        enter_path_menu(ctx, entries);
        return draw_menu_screen(ctx);
    }

    const std::string value = node->text ? *node->text : std::string();
    show_item_prompt(ctx, number, name, value);
    read_item_answer(ctx, number, name, value, ctx.cmd);
    cut_text(ctx.cmd, cmd_max);
    const std::string answer = ctx.cmd;
    int kind = classify_item_answer(ctx, node->text, number, answer);
    if (kind == answer_rename || kind == answer_store) store_answer(ctx, kind, name, answer);
    if (kind == answer_confirm) {
        std::string code;
        path_code(ctx, code);
        run_item_action(ctx, code + ";" + name, answer);
    }
    ctx.cmd.clear();
    return draw_menu_screen(ctx);
}
