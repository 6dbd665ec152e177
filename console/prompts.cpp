#include "console/prompts.hpp"

#include <cstdio>
#include <cstdlib>

#include "catalogue/item_code.hpp"
#include "catalogue/item_roles.hpp"
#include "common/text_fields.hpp"
#include "console/interpreter.hpp"

namespace {

constexpr const char* question_confirm = "Are you sure(Y/n)? ]";
constexpr const char* question_debug = "Run in debugging mode(Y/n)? ]";
constexpr const char* question_value = "Please input new value: >";
constexpr const char* prompt_format = "[%d.]=[%s]. %s";
constexpr size_t prompt_max = 63;  // one screen line

constexpr const char* question_items[] = {item_role::arm_file_watch, item_role::lookup,
                                          item_role::ping_start};

template <size_t N>
bool in_group(run_context& ctx, uint16_t number, const char* const (&codes)[N]) {
    for (const char* code : codes)
        if (item_number(ctx, code) == number) return true;
    return false;
}

}  // namespace

bool bracketed(const std::string& s) {
    return s.size() >= 2 && s.front() == '[' && s.back() == ']';
}

int show_item_prompt(run_context& ctx, uint16_t number, const std::string& name,
                     const std::string& value) {
    // The interactive console shows every question it reads from the terminal, whichever
    // thread interprets the key.
    if (!(screen_drawn(ctx) || interactive_console) || !ctx.key_arg.empty()) return 0;
    const char* question = question_value;
    if (in_group(ctx, number, question_items)) question = question_confirm;
    else if (number == item_number(ctx, item_role::debug_display)) question = question_debug;
    char buf[prompt_max + 1];
    std::snprintf(buf, sizeof buf, prompt_format, std::atoi(name.c_str()), value.c_str(), question);
    std::fputs(buf, stdout);
    std::fflush(stdout);
    return 0;
}

int read_item_answer(run_context& ctx, uint16_t, const std::string&, const std::string&,
                     std::string& dest) {
    if (!ctx.key_arg.empty()) {
        replace_char(ctx.key_arg, '|', ';');
        if (ctx.key_arg[0] == '\'') {
            ctx.key_arg.pop_back();
            dest = ctx.key_arg.substr(ctx.key_arg.empty() ? 0 : 1);
        } else {
            dest = ctx.key_arg;
        }
        return 0;
    }
    if (screen_drawn(ctx) || interactive_console) {
        std::fputc('>', stdout);
        std::fflush(stdout);
    }
    dest.clear();
    read_input_line(dest);
    if (!dest.empty() && dest.back() == '\n') dest.pop_back();
    return 0;
}

int classify_item_answer(run_context& ctx, std::unique_ptr<std::string>& slot, uint16_t number,
                         const std::string& answer) {
    auto store = [&] {
        slot = std::make_unique<std::string>(answer);
        return answer_store;
    };
    if (in_group(ctx, number, item_role::action_items)) return bracketed(answer) ? answer_rename : answer_confirm;
    if (in_group(ctx, number, item_role::reboot_items)) return store();
    if (number == item_number(ctx, item_role::debug_display)) {
        // The interactive console draws every screen once, after each line; drawing
        // while the engine interprets would show it twice.
        if (!interactive_console) ctx.quiet = (answer == "n" || answer == "N") ? 1 : 0;
        return store();
    }
    if (bracketed(answer)) return answer_rename;
    return store();
}
