#include "console/hotkeys.hpp"

#include "catalogue/catalogue.hpp"
#include "catalogue/menu_tables.hpp"
#include "console/item_keys.hpp"
#include "console/screen.hpp"

const menu_entry hotkey_table[hotkey_table_size] = {
    {"0", handle_item_key, ":prev.menu"},
    {"!", hotkey_main_menu, ":main menu"},
    {"r", hotkey_refresh, "-refresh"},
    {"e", hotkey_exit, ":exit"},
    {"s", hotkey_save, ":save"},
};

int hotkey_main_menu(run_context& ctx, uint16_t, const arg_vector&) {
    path_clear(ctx);
    if (!ctx.menu_descs.empty()) {
        ctx.cur_entries = ctx.menu_descs[0].entries;
        ctx.cur_entry_count = ctx.menu_descs[0].count;
    }
    return draw_menu_screen(ctx);
}

int hotkey_refresh(run_context& ctx, uint16_t, const arg_vector&) { return draw_menu_screen(ctx); }

int hotkey_save(run_context& ctx, uint16_t, const arg_vector&) {
    save_data_file(ctx);
    return draw_menu_screen(ctx);
}

int hotkey_exit(run_context& ctx, uint16_t, const arg_vector&) {
    // A save that could not be written keeps the run, with its edits, for another try;
    // a run whose reboot is due leaves all the same.
    if (save_catalogue(ctx) != 0 && ctx.alive != 0) return draw_menu_screen(ctx);
    release_node_texts(ctx);
    // The released tables are cleared so that nothing can reach them after the exit key.
    ctx.cur_entries = nullptr;
    ctx.cur_entry_count = 0;
    ctx.node_list = nullptr;
    ctx.menu_entry_refs.clear();
    ctx.menu_entry_tables.clear();
    ctx.menu_entry_counts.clear();
    ctx.menu_entry_store.clear();
    ctx.menu_descs.clear();
    ctx.menu_codes.clear();
    ctx.nodes.clear();
    if (ctx.ping_argc != 0) {
        ctx.ping_argv.clear();
        ctx.ping_argc = 0;
    }
    ctx.cmd.clear();
    ctx.key_arg.clear();
    ctx.pending.clear();
    ctx.pending_count = 0;
    ctx.exited = 1;
    return 0;
}
