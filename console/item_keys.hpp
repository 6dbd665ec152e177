// The handler of every menu entry key and of the back key: navigation, prompts, rename and
// store, and the item actions.
#pragma once

#include <cstdint>

#include "state/run_context.hpp"

/// Moves through the menus or, on a leaf, asks for its value and acts on the answer; then
/// redraws.
int handle_item_key(run_context& ctx, uint16_t mode, const arg_vector& argv);

/// The get of the command-line bridge: the value of the item whose OID is item 0;1;10,
/// into result and item 0;1;11.
int lookup_parameter(run_context& ctx);

/// An item action, run by the answer of an action item.
using item_action = int (*)(run_context& ctx);

/// Actions that the device services provide; null until they are built in.
struct item_action_set {
    item_action ping_arming = nullptr;
    item_action ping_start = nullptr;
    item_action http_start = nullptr;
    item_action ftp_start = nullptr;
    item_action https_start = nullptr;
    item_action telnet_start = nullptr;
    item_action reboot_start = nullptr;
    item_action file_watch_arming = nullptr;
    item_action file_watch_check = nullptr;
    item_action file_watch_wait = nullptr;
    /// Run after a value of 0;2;1, 0;2;2 or 0;2;3 was stored, with its code and text.
    int (*reboot_follow_up)(run_context& ctx, const std::string& code, const std::string& text) =
        nullptr;
};

/// The actions in use.
item_action_set& item_actions();
