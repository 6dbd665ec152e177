// The run context: all state of one console run, and the process-wide state around it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <pthread.h>

#include "state/catalogue_types.hpp"
#include "state/held_texts.hpp"

/// Longest texts of the interpreter's buffers.
constexpr size_t cmd_max = 133;     ///< cmd, key_arg and pending
constexpr size_t result_max = 129;  ///< result
constexpr size_t answer_max = 127;  ///< answer_buf

/// What the saves of a run do.
enum class save_mode : uint8_t {
    end_on_failure,  ///< a file that cannot be written ends the process (sets by OID)
    report_failure,  ///< its message is printed and the run goes on with its edits (batch)
    report_on_screen,  ///< as report_failure, the message shown under the next screen
    never,           ///< nothing is written (gets by OID: they only read)
};

/// All state of one console run. Lives in console_run's storage for the run's duration.
/// Fields keep the order and the integer widths of the run's design; texts are strings
/// whose limits are enforced where they are written.
struct run_context {
    std::vector<menu_entry**> menu_entry_refs;   ///< slot k points at slot k of menu_entry_tables
    std::vector<menu_entry*> menu_entry_tables;  ///< each menu's entry table
    std::vector<uint8_t> menu_entry_counts;      ///< entries per menu
    std::vector<std::string> menu_codes;         ///< copy of each menu's code, table order
    std::vector<std::string> menu_ids;           ///< item code of each menu, catalogue order
    uint32_t ping_argc = 0;                      ///< slots of ping_argv; 0 = not yet built
    std::vector<std::string> ping_argv;          ///< the ping watchdog's command vector
    std::string base_dir;                        ///< catalogue directory, ends in '/'
    std::vector<menu_desc>* menu_desc_ref = nullptr;  ///< points at menu_descs
    std::vector<menu_desc> menu_descs;           ///< one descriptor per menu
    uint8_t menu_count = 0;
    uint8_t use_uci = 0;                         ///< item 0;1;14 as last read
    std::string ping_address;
    uint16_t ping_interval = 5;
    uint16_t ping_delay = 60;
    uint16_t ping_failcount = 5;
    int16_t ping_enabled = 0;
    uint8_t autoreboot_seconds = 0;              ///< seconds part of the reboot time
    int16_t telnet_enabled = 0;
    uint16_t telnet_port = 0;
    int16_t http_enabled = 0;
    uint16_t http_port = 0;
    int16_t https_enabled = 0;
    uint16_t https_port = 0;
    int16_t ftp_enabled = 0;
    uint16_t ftp_port = 0;
    int32_t timer_state = 0;                     ///< 0 input, 1 countdown running, 2 reboot due
    std::string line_buf;                        ///< the framed-line buffer of the screen
    uint16_t ping_remaining = 0;                 ///< 0xFFFF = unlimited
    uint16_t tree_count = 0;                     ///< menus plus all menu entries
    uint16_t leaf_count = 0;                     ///< after init: size of nodes
    uint8_t max_entries = 0;
    std::vector<uint8_t> menu_sizes;             ///< entries per menu, counted at setup
    const menu_entry* const* hotkeys_ref = nullptr;  ///< points at hotkeys
    const menu_entry* hotkeys = nullptr;         ///< the hotkey table
    uint8_t hotkey_count = 0;
    value_node* node_list = nullptr;             ///< head of the value node list
    std::string cmd;                             ///< line or key being interpreted; the mailbox
    std::string key_arg;                         ///< argument of the current key, "" if none
    std::array<std::string, 2> words;            ///< words[0]: first word of cmd
    int8_t word_count = 0;
    uint8_t path_depth = 0;
    std::array<uint8_t, 6> path{};               ///< the current menu path, a byte per level
    int32_t at_last_key = 0;                     ///< 1 while the last pending key is handled
    int32_t quiet = 0;                           ///< 1 = draw nothing
    uint32_t alive = 1;                          ///< 0 = reboot when the run has ended
    std::optional<std::string> menu_title;       ///< title of the current menu
    std::string pending;                         ///< keys not yet interpreted
    const menu_entry* cur_entries = nullptr;     ///< entries of the current menu
    uint8_t cur_entry_count = 0;
    std::string prompt;                          ///< "ZTQ$"
    uint8_t frame_lines = 0;                     ///< framed-line counter of the screen
    uint8_t pending_count = 0;                   ///< keys in pending
    std::vector<value_node> nodes;               ///< one per leaf
    std::vector<std::vector<menu_entry>> menu_entry_store;  ///< menu k's entry storage
    std::string result;                          ///< answer left by a get script
    bool result_found = false;                   ///< result is a parameter's value
    std::vector<catalogue_item> items;           ///< the sorted catalogue
    int32_t item_count = 0;
    /// 1 once the exit key has been handled: the tables are released and whichever loop
    /// still runs ends without touching them.
    uint8_t exited = 0;
    /// For each catalogue file ([0] title, [1] data): the text of each tag that the file
    /// held when this run last read or wrote it. An item whose text differs, or whose tag
    /// set_value has dropped from here, is this run's own edit; a save writes only those
    /// over the file as it is then, so what other runs saved meanwhile stays, and writes
    /// nothing when the file already holds them.
    std::array<held_texts, 2> file_texts;
    save_mode saves = save_mode::end_on_failure;
    /// True when the latest save could not write its file (when failures are reported).
    bool save_failed = false;
    /// A message for the interactive console to show under the next screen it draws.
    std::string notice;
};

/// Screens, prompts and messages meant for the screen appear only while the key being
/// handled is the last pending one and the run is not quiet.
inline bool screen_drawn(const run_context& ctx) { return ctx.at_last_key == 1 && ctx.quiet == 0; }

/// A mutex on pthread_mutex_t alone: std::mutex reports its errors by exceptions, which
/// would bring the C++ runtime's exception support into the programs. Lockable, so that
/// std::lock_guard holds it.
class process_mutex {
public:
    void lock() { pthread_mutex_lock(&mutex_); }
    void unlock() { pthread_mutex_unlock(&mutex_); }
    bool try_lock() { return pthread_mutex_trylock(&mutex_) == 0; }

private:
    pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
};

/// The run in progress, null outside a run. Writers read it under mailbox_lock.
extern run_context* current_context;
/// The interpreter's baton in threaded modes; guards cmd and all interpreter state.
extern process_mutex mailbox_lock;
/// Held by the engine from its start until its first idle moment.
extern process_mutex start_gate;
/// 1: the run has the process to itself (batch, one-shot); 0: threaded.
extern std::atomic<uint8_t> oneshot;
/// The answer of the last get, at most answer_max characters.
extern std::string answer_buf;
/// True when answer_buf is the value of the parameter the get named, false when that
/// OID named none (answer_buf then holds the OID itself).
extern bool answer_found;
/// True while the interactive console runs: a question whose answer is read from the
/// terminal is then always shown, whichever thread interprets the key.
extern std::atomic<bool> interactive_console;

/// True while the interactive console's keyboard thread waits for a typed line without
/// holding mailbox_lock (it does so while a countdown runs). Guarded by mailbox_lock.
extern bool keyboard_reading;

/// What the operator typed while a file watch or the ping watchdog held the interactive
/// console: an exit key (the action stops at its next check and the run leaves, saving)
/// or the end of input (the process ends, discarding).
enum class console_interrupt : uint8_t { none, stop, end_of_input };
/// True while a file watch or the ping watchdog runs on the interactive console's engine:
/// the keyboard then goes on reading, so that the action can be stopped.
extern std::atomic<bool> long_action_running;
/// Set by the keyboard, taken by the action at its next check.
extern std::atomic<console_interrupt> interrupt_request;

/// Sleeps ms milliseconds, or less when an interrupt is requested meanwhile: false then.
bool sleep_unless_interrupted(unsigned ms);

/// The engine's side of the start order: the engine calls engine_ready() once it holds
/// mailbox_lock and start_gate; the keyboard thread and mailbox writers call
/// wait_for_engine() before they ask for start_gate. reset_engine_ready() before a start.
void reset_engine_ready();
void engine_ready();
void wait_for_engine();

/// The end of the engine's run: the engine calls engine_ended() once console_run has
/// returned, still holding mailbox_lock; wait_for_engine_end() returns after that.
/// reset_engine_ready() clears it too. The engine's thread, whose stack held the run
/// context, is joined only after every other thread of the run: with the C library
/// unmapping a joined thread's stack (musl does at once), a thread still holding a
/// reference to that context would otherwise read unmapped memory.
void engine_ended();
void wait_for_engine_end();

/// Sleeps ms milliseconds, resuming after interruptions. Returns 1.
int sleep_ms(unsigned ms);
