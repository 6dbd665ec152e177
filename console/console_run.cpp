#include "console/console_run.hpp"

#include "catalogue/catalogue.hpp"
#include "catalogue/menu_tables.hpp"
#include "common/log_line.hpp"
#include "common/shell.hpp"
#include "common/text_fields.hpp"
#include "console/interpreter.hpp"
#include "state/run_context.hpp"

namespace {

constexpr const char* default_dir = "./";
constexpr const char* path_option = "path";
constexpr const char* reboot_message = "Rebooted by Auto-reboot";
constexpr const char* reboot_command = "reboot";

/// "!" and the run's script, with every '~' as '!'.
std::string initial_script(int argc, const arg_vector& argv) {
    std::string script = "!";
    if (argc >= 2 && argv.size() >= 2) script += ";" + argv[1];
    replace_char(script, '~', '!');
    cut_text(script, cmd_max);
    return script;
}

/// "./", or the value of a path=DIR option followed by '/'.
std::string catalogue_dir(int argc, const arg_vector& argv) {
    std::string dir = default_dir;
    if (argc < 3 || argv.size() < 3) return dir;
    std::string name;
    get_field(name, argv[2], 0, '=');
    if (name != path_option) return dir;
    get_field(dir, argv[2], 1, '=');
    return dir + "/";
}

}  // namespace

int console_run(int argc, const arg_vector& argv, save_mode saves) {
    const std::string script = initial_script(argc, argv);
    run_context ctx;
    ctx.saves = saves;
    current_context = &ctx;
    ctx.base_dir = catalogue_dir(argc, argv);
    load_catalogue(ctx);
    count_menus(ctx);

    context_start(ctx, script);

    ctx.menu_sizes.clear();
    ctx.menu_ids.clear();
    answer_buf = cut_copy(ctx.result, answer_max);
    answer_found = ctx.result_found;
    const bool reboot_due = ctx.alive == 0;
    // Only the countdown's end is logged here; whatever else asks for the reboot logs it.
    const bool countdown_ended = ctx.timer_state == 2;
    ctx.items.clear();
    ctx.item_count = 0;
    current_context = nullptr;
    if (reboot_due) {
        if (countdown_ended) log_message(reboot_message);
        run_command(reboot_command);
    }
    return 0;
}
