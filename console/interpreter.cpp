#include "console/interpreter.hpp"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <deque>

#include "catalogue/fatal.hpp"
#include "catalogue/menu_tables.hpp"
#include "common/text_fields.hpp"
#include "console/hotkeys.hpp"
#include "console/item_keys.hpp"
#include "services/auto_reboot.hpp"

namespace {

constexpr const char* prompt_text = "ZTQ$";
constexpr const char* acknowledgement = "r\n";
constexpr const char* refresh_line = "r\n";
constexpr const char* exit_line = "e\n";
/// Pauses of the loops: the engine between two refreshes of a countdown, the keyboard's
/// (unused: the engine counts down), and the engine's idle moment.
constexpr unsigned engine_countdown_ms = 899;
constexpr unsigned idle_ms = 20;

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/// Drops the empty ';'-fields of keys, so that the key count is always the number of keys
/// the text holds.
std::string without_empty_keys(const std::string& keys) {
    std::string out;
    size_t pos = 0;
    while (pos <= keys.size()) {
        size_t end = keys.find(';', pos);
        if (end == std::string::npos) end = keys.size();
        if (end > pos) {
            if (!out.empty()) out += ';';
            out.append(keys, pos, end - pos);
        }
        pos = end + 1;
    }
    return out;
}

uint8_t key_count(const std::string& keys) {
    if (keys.empty()) return 0;
    uint8_t n = 0;
    count_code_levels(keys, n);
    return n;
}

/// Takes the line in cmd (its last character, a carriage return, removed) as the pending keys.
void take_line(run_context& ctx) {
    std::string line = ctx.cmd;
    if (!line.empty()) line.pop_back();
    ctx.pending = cut_copy(without_empty_keys(line), cmd_max);
    split_words(ctx);
    if (ctx.word_count != 0) ctx.pending_count = key_count(ctx.pending);
}

/// Takes the first pending key and runs its handler. Returns true when it was the exit key.
bool take_key(run_context& ctx, uint16_t mode, const arg_vector& argv) {
    std::string key;
    get_code_field(key, ctx.pending, 0);
    uint8_t parts = 0;
    count_fields(key, parts, ':');
    std::string name;
    get_field(name, key, 0, ':');
    ctx.key_arg.clear();
    if (parts == 2) get_field(ctx.key_arg, key, 1, ':');
    else if (parts > 2) ctx.key_arg = key.substr(key.find(':') + 1);
    cut_text(ctx.key_arg, cmd_max);

    drop_current_key(ctx);
    ctx.cmd = name + "\r";
    split_words(ctx);
    if (ctx.word_count == 0) return false;
    ctx.at_last_key = ctx.pending_count == 0 ? 1 : 0;

    const menu_entry* hit = nullptr;
    for (uint8_t k = 0; k < ctx.cur_entry_count && !hit; ++k)
        if (ctx.cur_entries[k].key == ctx.cmd) hit = &ctx.cur_entries[k];
    for (uint8_t k = 0; k < ctx.hotkey_count && !hit; ++k)
        if (ctx.hotkeys[k].key == ctx.cmd) hit = &ctx.hotkeys[k];
    if (!hit) {
        ctx.cmd.clear();
        return false;
    }
    hit->handler(ctx, mode, argv);
    // The exit key ends the run only when it left it (its save could be written).
    if (ctx.exited) return true;
    ctx.cmd.clear();
    return false;
}

/// The line in cmd with a trailing line feed replaced by a carriage return.
void end_line_with_return(run_context& ctx) {
    if (!ctx.cmd.empty() && ctx.cmd.back() == '\n') ctx.cmd.pop_back();
    ctx.cmd += '\r';
}

/// The exit status at the end of the input: 1 for a batch run whose last save could not be
/// written, so that its script learns it; 0 otherwise (edits are discarded either way).
int end_of_input_status() {
    const run_context* ctx = oneshot == 1 ? current_context : nullptr;
    return ctx && ctx->save_failed ? 1 : 0;
}

void print_prompt(const run_context& ctx) {
    if (screen_drawn(ctx)) {
        std::fputs(ctx.prompt.c_str(), stdout);
        std::fflush(stdout);
    }
}

}  // namespace

bool read_input_line_until_end(std::string& out) {
    // A line ends at a line feed, or at the CR LF and CR NUL that telnet clients and raw
    // serial lines send; either way it is handed on ending in a line feed alone. As a C
    // text, a line ends for good at any other NUL: what follows it up to the line's end
    // is read but not kept.
    out.clear();
    bool cut = false;
    size_t taken = 0;
    int c = 0;
    while (taken < cmd_max && (c = std::getc(stdin)) != EOF) {
        ++taken;
        if (c == '\r') {
            int next = std::getc(stdin);
            if (next == '\n' || next == '\0') c = '\n';
            else if (next != EOF) std::ungetc(next, stdin);
        }
        if (c == '\0') cut = true;
        if (!cut) out += static_cast<char>(c);
        if (c == '\n') return true;
    }
    return !(c == EOF && taken == 0);
}

void read_input_line(std::string& out) {
    if (!read_input_line_until_end(out)) end_process({}, end_of_input_status());
}

int push_keys(run_context& ctx, const std::string& keys) {
    std::string joined = ctx.pending.empty() ? keys : keys + ";" + ctx.pending;
    ctx.pending = cut_copy(without_empty_keys(joined), cmd_max);
    ctx.pending_count = key_count(ctx.pending);
    ctx.at_last_key = 0;
    return 0;
}

int drop_current_key(run_context& ctx) {
    size_t end = ctx.pending.find(';');
    ctx.pending.erase(0, end == std::string::npos ? std::string::npos : end + 1);
    ctx.pending_count = static_cast<uint8_t>(ctx.pending_count - 1);
    return 0;
}

int split_words(run_context& ctx) {
    ctx.words = {};
    ctx.word_count = 0;
    size_t pos = 0;
    const std::string& s = ctx.cmd;
    size_t first_end = std::string::npos;
    while (pos < s.size()) {
        while (pos < s.size() && is_space(s[pos])) ++pos;
        if (pos == s.size()) break;
        size_t end = pos;
        while (end < s.size() && !is_space(s[end])) ++end;
        if (ctx.word_count == 0) {
            ctx.words[0] = s.substr(pos, end - pos);
            first_end = end;
        }
        ctx.word_count = static_cast<int8_t>(ctx.word_count + 1);
        pos = end;
    }
    // The word's end is where the first word's terminator goes: cmd is compared up to it.
    if (first_end != std::string::npos) ctx.cmd.resize(first_end);
    return 0;
}

int context_start(run_context& ctx, const std::string& script) {
    return context_init(ctx, 2, {"xxx_exe", script});
}

int context_init(run_context& ctx, uint16_t argc, const arg_vector& argv) {
    ctx.line_buf.clear();
    ctx.menu_title.reset();
    entry_handler = handle_item_key;
    build_run_model(ctx);
    ctx.hotkeys = hotkey_table;
    ctx.hotkey_count = hotkey_table_size;
    ctx.hotkeys_ref = &ctx.hotkeys;
    ctx.cmd.clear();
    ctx.key_arg.clear();
    ctx.pending.clear();
    ctx.words = {};
    ctx.word_count = 0;
    ctx.prompt = prompt_text;
    ctx.pending_count = 0;
    return engine_loop(ctx, argc, argv);
}

namespace {

/// The run's own script (argv[1]) as the loops' first line. The line gets one carriage
/// return, as a typed line does, so the last key's argument does not keep one.
std::string run_script(const arg_vector& argv) {
    return argv.size() > 1 ? cut_copy(argv[1], cmd_max) : std::string();
}

/// The countdown of an automatic reboot, on the loop that holds the interpreter: the
/// refresh key every pause_ms with the period advanced, then the exit key once it is due.
/// Returns false when the timer state is 0 (no countdown).
bool countdown_step(run_context& ctx, unsigned pause_ms) {
    if (ctx.timer_state == 1) {
        ctx.cmd = refresh_line;
        sleep_ms(pause_ms);
        update_reboot_remaining(ctx);
        return true;
    }
    if (ctx.timer_state == 2) {
        ctx.cmd = exit_line;
        ctx.alive = 0;
        return true;
    }
    return ctx.timer_state != 0;  // any other state: the line is taken as it stands
}

/// The pause between two refreshes of a countdown in the interactive console. The engine
/// lets go of the interpreter meanwhile, so that a line typed at the terminal is taken at
/// once: to move, to edit, to stop the countdown with a second confirmation or to leave.
/// Without one the period is advanced and shown, with the prompt. A line interpreted just
/// before is acknowledged first. Returns false when the run has ended meanwhile.
bool interactive_countdown_pause(run_context& ctx, bool& took_line, bool& first_idle_done) {
    print_prompt(ctx);
    ctx.cmd = took_line ? acknowledgement : "";
    if (!first_idle_done) {
        first_idle_done = true;
        start_gate.unlock();
    }
    for (unsigned waited = 0; waited < engine_countdown_ms; waited += idle_ms) {
        mailbox_lock.unlock();
        sleep_ms(idle_ms);
        mailbox_lock.lock();
        if (ctx.exited) return false;
        if (!ctx.cmd.empty() && ctx.cmd != acknowledgement) {  // a typed line
            took_line = true;
            ctx.quiet = 1;  // its screen is drawn by the keyboard, as without a countdown
            return true;
        }
    }
    took_line = false;
    ctx.cmd = refresh_line;
    update_reboot_remaining(ctx);
    ctx.quiet = 0;  // the operator sees the period run down
    return true;
}

}  // namespace

int engine_loop(run_context& ctx, uint16_t mode, const arg_vector& argv) {
    bool first_idle_done = false;
    bool took_line = false;
    const bool threaded = oneshot == 0;
    ctx.quiet = 1;
    for (;;) {
        if (ctx.pending_count != 0) {
            if (take_key(ctx, mode, argv)) break;
            continue;
        }
        if (mode == 2) {
            ctx.cmd = run_script(argv);
            mode = 1;
        } else if (threaded && interactive_console && ctx.timer_state == 1) {
            if (!interactive_countdown_pause(ctx, took_line, first_idle_done)) break;
        } else if (!countdown_step(ctx, engine_countdown_ms)) {
            print_prompt(ctx);
            ctx.cmd.clear();
            if (took_line) ctx.cmd = acknowledgement;
            if (!first_idle_done) {
                first_idle_done = true;
                ctx.cmd = acknowledgement;
                if (threaded) start_gate.unlock();
            }
            long_action_running = false;  // nothing runs while the engine is idle
            if (threaded) mailbox_lock.unlock();
            else read_input_line(ctx.cmd);
            sleep_ms(idle_ms);
            if (threaded) mailbox_lock.lock();
            if (ctx.exited) break;  // the keyboard loop handled the exit key
            took_line = !ctx.cmd.empty();
            if (!took_line) ctx.cmd = "\n";
            ctx.quiet = 1;
        }
        end_line_with_return(ctx);
        take_line(ctx);
    }
    // A run that ends before its first idle moment still lets the keyboard and the
    // writers through.
    if (threaded && !first_idle_done) start_gate.unlock();
    return 0;
}

namespace {

/// Lines typed while a file watch or the ping watchdog held the engine, handed on once it
/// is free again; and whether the typed input has ended meanwhile. Keyboard thread only.
std::deque<std::string> typed_ahead;
bool typed_input_ended = false;

/// True when line is the exit key alone.
bool is_exit_line(const std::string& line) {
    size_t from = 0, to = line.size();
    while (from < to && is_space(line[from])) ++from;
    while (to > from && is_space(line[to - 1])) --to;
    return line.compare(from, to - from, "e") == 0;
}

/// While an action holds the engine: takes a line that has been typed, if any, without
/// waiting for one. The end of input asks the process to end. Lines wait until the action
/// is over, to be handed on in the order typed; an exit key also asks the action to stop.
void read_while_action_runs() {
    if (typed_input_ended) return;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, 0) <= 0) return;
    std::string line;
    if (!read_input_line_until_end(line)) {
        // An exit key typed before it wins: the run then leaves, saving.
        typed_input_ended = true;
        console_interrupt none = console_interrupt::none;
        interrupt_request.compare_exchange_strong(none, console_interrupt::end_of_input);
    } else {
        if (is_exit_line(line)) {
            console_interrupt none = console_interrupt::none;
            interrupt_request.compare_exchange_strong(none, console_interrupt::stop);
        }
        typed_ahead.push_back(line);
    }
}

/// With mailbox_lock held and the engine idle: an end of input typed during an action
/// that the action did not take ends the process as at the menu; a stop it did not take
/// is dropped (its exit key waits in typed_ahead).
void take_unanswered_interrupt() {
    const console_interrupt asked = interrupt_request.exchange(console_interrupt::none);
    if (asked == console_interrupt::end_of_input) end_process({}, 0);
}

/// Hands a typed line to the engine and waits until it has interpreted it (its
/// acknowledgement is in cmd) or the run has ended. Returns false when the run has ended;
/// the lock is held on return either way. While a file watch or the ping watchdog holds
/// the engine, the terminal is read meanwhile.
bool hand_line_to_engine(run_context& ctx, const std::string& line) {
    ctx.cmd = line;
    mailbox_lock.unlock();
    for (;;) {
        sleep_ms(10);
        if (long_action_running) {
            read_while_action_runs();
            continue;
        }
        if (!mailbox_lock.try_lock()) continue;
        if (!current_context || ctx.exited) return false;
        if (ctx.cmd == acknowledgement) {
            take_unanswered_interrupt();
            return true;
        }
        mailbox_lock.unlock();
    }
}

/// Reads a typed line, with mailbox_lock held on entry and on return, and hands it to
/// the engine; false when the run has ended meanwhile. Without a countdown the lock is
/// held while the keyboard waits, so the engine rests; while one runs it is let go, so
/// that the engine goes on counting down. The run's end then finds keyboard_reading set
/// and ends the process instead of waiting for a line that may never come.
bool read_typed_line(run_context& ctx) {
    std::string line;
    if (!typed_ahead.empty()) {
        line = typed_ahead.front();
        typed_ahead.pop_front();
    } else if (typed_input_ended) {
        end_process({}, 0);  // the input ended during an action: as at the menu
    } else if (ctx.timer_state == 0) {
        read_input_line(line);
    } else {
        keyboard_reading = true;
        mailbox_lock.unlock();
        read_input_line(line);
        mailbox_lock.lock();
        keyboard_reading = false;
        if (!current_context || ctx.exited) return false;
    }
    // The engine interprets every typed line; the screen that results is drawn here
    // once, by its acknowledgement.
    return hand_line_to_engine(ctx, line);
}

}  // namespace

int keyboard_loop(run_context& ctx, uint16_t mode, const arg_vector& argv) {
    if (oneshot != 0) return 0;  // the keyboard thread belongs to the threaded console
    mailbox_lock.lock();
    if (!current_context || ctx.exited) {
        mailbox_lock.unlock();
        return 0;
    }
    ctx.quiet = 0;
    for (;;) {
        if (ctx.pending_count != 0) {
            if (take_key(ctx, mode, argv)) break;
            continue;
        }
        if (mode == 2) {
            ctx.cmd = run_script(argv);
            mode = 1;
        } else {
            // The engine advances a countdown; the keyboard keeps reading meanwhile.
            if (!ctx.notice.empty()) {  // a message of the engine's, under its screen
                std::fputs(ctx.notice.c_str(), stdout);
                ctx.notice.clear();
            }
            print_prompt(ctx);
            if (!read_typed_line(ctx)) break;
            ctx.quiet = 0;
        }
        end_line_with_return(ctx);
        take_line(ctx);
    }
    mailbox_lock.unlock();
    return 0;
}
