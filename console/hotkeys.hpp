// The five keys understood on every screen: back, main menu, refresh, exit, save.
#pragma once

#include <cstdint>

#include "state/run_context.hpp"

/// The hotkey table, in the order of the hotkey line and of matching.
extern const menu_entry hotkey_table[];
constexpr uint8_t hotkey_table_size = 5;

/// "!": back to the main menu.
int hotkey_main_menu(run_context& ctx, uint16_t mode, const arg_vector& argv);
/// "r": redraw.
int hotkey_refresh(run_context& ctx, uint16_t mode, const arg_vector& argv);
/// "e": save what changed and release the run's tables; the run ends.
int hotkey_exit(run_context& ctx, uint16_t mode, const arg_vector& argv);
/// "s": save the data file and redraw.
int hotkey_save(run_context& ctx, uint16_t mode, const arg_vector& argv);
