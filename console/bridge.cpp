#include "console/bridge.hpp"

#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <mutex>

#include "catalogue/catalogue_file.hpp"
#include "common/text_fields.hpp"
#include "console/console_run.hpp"
#include "console/interpreter.hpp"
#include "console/prompts.hpp"
#include "state/run_context.hpp"

namespace {

constexpr const char* invalid_command = "Invalid command\n";
constexpr const char* oneshot_placeholder = "XXXX";
constexpr const char* thread_placeholder = "xxx";
constexpr const char* refresh_script = "r";
constexpr const char* exit_line = "e";
constexpr const char* acknowledgement = "r\n";
constexpr const char* oneshot_dir = "./";  // one-shot and mailbox runs use the working folder

/// A thread of the bridge: one of the thread bodies and its block. The starter keeps it
/// until the thread is joined.
struct thread_job {
    int (*body)(run_block) = nullptr;
    run_block block;
};

void* run_job(void* job) {
    thread_job& j = *static_cast<thread_job*>(job);
    j.body(j.block);
    return nullptr;
}

/// Every thread's stack. A thread's default stack depends on the C library (128 KiB with
/// musl, the board's, 8 MiB with glibc), so it is set here: the same on every build, and
/// room to spare for a run, whose largest frames are the run context and the reply
/// buffers of the ping watchdog.
constexpr size_t thread_stack_size = 256 * 1024;

/// Starts job on a thread of its own; false when no thread could be made.
bool start_thread(pthread_t& thread, thread_job& job) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    pthread_attr_setstacksize(&attr, thread_stack_size);
    const bool started = pthread_create(&thread, &attr, run_job, &job) == 0;
    pthread_attr_destroy(&attr);
    return started;
}

/// Runs engine_thread on a thread of its own, its saves as saves say, and waits for it.
/// False when no thread could be made.
bool run_on_own_thread(const std::string& script, save_mode saves) {
    oneshot = 1;
    thread_job job{engine_thread, run_block{2, {oneshot_placeholder, script}, saves}};
    pthread_t thread;
    if (!start_thread(thread, job)) return false;
    pthread_join(thread, nullptr);
    return true;
}

}  // namespace

int engine_thread(run_block block) {
    const bool threaded = oneshot == 0;
    if (threaded) {
        // The same order as the keyboard thread and the writers: start_gate, then
        // mailbox_lock. The handshake makes them wait until the engine holds both.
        start_gate.lock();
        mailbox_lock.lock();
        engine_ready();
    }
    console_run(block.argc, block.argv, block.saves);
    if (threaded) {
        engine_ended();
        mailbox_lock.unlock();
    }
    return 0;
}

int protect_quoted(std::string& script) {
    size_t open = script.find('\'');
    while (open != std::string::npos) {
        size_t close = script.find('\'', open + 1);
        if (close == std::string::npos) {
            std::fputs(invalid_command, stdout);
            std::fflush(stdout);
            return 0;
        }
        for (size_t k = open + 1; k < close; ++k)
            if (script[k] == ';') script[k] = '|';
        open = script.find('\'', close + 1);
    }
    return 0;
}

int run_batch(int argc, const arg_vector& argv) {
    arg_vector args = argv;
    if (argc > 2 && args.size() > 1) protect_quoted(args[1]);
    oneshot = 1;
    // A save that fails is reported and the run goes on; the run's end reports it too.
    engine_thread(run_block{argc, args, save_mode::report_failure});
    return 0;
}

std::string oneshot_get_script(const std::string& oid) { return "!;1;10:" + oid + ";12:y;e"; }

std::string oneshot_set_script(const std::string& oid, const std::string& value) {
    std::string levels = oid;
    replace_char(levels, '.', ';');
    return levels + ":" + value + ";e";
}

bool starts_at_main_menu(const std::string& oid) {
    return !oid.empty() && oid[0] == '0' && (oid.size() == 1 || oid[1] == '.');
}

bool names_parameter(const std::string& oid, const std::string& dir) {
    if (!starts_at_main_menu(oid)) return false;
    std::string code = oid;
    replace_char(code, '.', ';');
    run_context probe;
    probe.base_dir = dir;
    load_catalogue(probe);
    auto holds = [&](const std::string& wanted, char flag) {
        for (const catalogue_item& item : probe.items)
            if (has_flag(item.tag, flag) && tag_item_code(item.tag) == wanted) return true;
        return false;
    };
    // Each level before the last must open a menu, so that the walk ends in the menu
    // that holds the parameter; and the parameter must hold a value.
    for (size_t pos = code.find(';', 2); pos != std::string::npos; pos = code.find(';', pos + 1))
        if (!holds(code.substr(0, pos), 'm')) return false;
    return holds(code, 'v');
}

bool is_key_safe(const std::string& text, bool is_value) {
    // A value that the keys would take as a rename, or whose quotes they would strip; a
    // double quote is refused alike, so that a value never begins with a quote of either
    // kind.
    if (is_value && ((!text.empty() && (text[0] == '\'' || text[0] == '"')) || bracketed(text)))
        return false;
    return text.find_first_of(";|~\r\n") == std::string::npos;
}

int oneshot_get(const std::string& oid, std::string& out) {
    out.clear();
    if (!is_key_safe(oid, false)) return 0;
    answer_buf.clear();
    answer_found = false;
    // A get only reads: its lookup items change in the run alone.
    if (run_on_own_thread(oneshot_get_script(oid), save_mode::never) && answer_found)
        out = answer_buf;
    return answer_found ? 0 : -1;
}

int oneshot_set(const std::string& oid, const std::string& value) {
    if (!is_key_safe(oid, false) || !is_key_safe(value, true)) return 0;
    if (!names_parameter(oid, oneshot_dir)) return 0;
    run_on_own_thread(oneshot_set_script(oid, value), save_mode::end_on_failure);
    return 0;
}

int keyboard_thread(run_block block) {
    const bool threaded = oneshot == 0;
    run_context* ctx = nullptr;
    if (threaded) {
        std::lock_guard<process_mutex> gate(start_gate);
        std::lock_guard<process_mutex> hold(mailbox_lock);
        ctx = current_context;
    } else {
        ctx = current_context;
    }
    // keyboard_loop checks again under the lock that the run has not ended meanwhile.
    if (ctx) keyboard_loop(*ctx, static_cast<uint16_t>(block.argc), block.argv);
    return 0;
}

int run_interactive(int argc, const arg_vector& argv) {
    oneshot = 0;
    interactive_console = true;
    // Unbuffered, so that a line waiting to be read is always one the terminal holds,
    // where poll sees it while an action runs.
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    run_block engine{argc, argv, save_mode::report_on_screen};
    if (argc == 1) engine.argc = 2, engine.argv = {thread_placeholder, refresh_script};
    if (argc > 2 && engine.argv.size() > 1) protect_quoted(engine.argv[1]);
    reset_engine_ready();
    thread_job engine_job{engine_thread, engine};
    pthread_t engine_side;
    if (!start_thread(engine_side, engine_job)) {
        interactive_console = false;
        return 0;
    }
    wait_for_engine();
    thread_job keyboard_job{keyboard_thread, run_block{2, {thread_placeholder, refresh_script}}};
    pthread_t keyboard_side;
    if (!start_thread(keyboard_side, keyboard_job)) {
        // The terminal is read on this thread instead; the run ends as the keys end it.
        keyboard_thread(keyboard_job.block);
        pthread_join(engine_side, nullptr);
        interactive_console = false;
        return 0;
    }
    wait_for_engine_end();
    {
        // The run has ended (saved, and rebooted if that was due) while the keyboard
        // waits for a line: nothing is left to do, so the process ends without it.
        std::lock_guard<process_mutex> hold(mailbox_lock);
        if (keyboard_reading) {
            // The keyboard waits in its read and touches the run no more: the engine's
            // thread, finished, can be joined before the end.
            pthread_join(engine_side, nullptr);
            std::fflush(stdout);
            std::fflush(stderr);
            _exit(0);
        }
    }
    pthread_join(keyboard_side, nullptr);
    pthread_join(engine_side, nullptr);
    interactive_console = false;
    return 0;
}

namespace {

/// Writes line into the mailbox and waits for its acknowledgement; then runs
/// while_locked, still holding mailbox_lock, with the run's context or null when the run
/// has ended.
void post_line(const std::string& line, const std::function<void(run_context*)>& while_locked) {
    wait_for_engine();
    start_gate.lock();
    mailbox_lock.lock();
    if (!current_context) {
        mailbox_lock.unlock();
        start_gate.unlock();
        if (while_locked) {
            std::lock_guard<process_mutex> hold(mailbox_lock);
            while_locked(nullptr);
        }
        return;
    }
    current_context->cmd = cut_copy(line, cmd_max) + "\n";
    mailbox_lock.unlock();
    start_gate.unlock();
    for (;;) {
        sleep_ms(10);
        mailbox_lock.lock();
        if (!current_context || current_context->cmd == acknowledgement) break;
        mailbox_lock.unlock();
    }
    if (while_locked) while_locked(current_context);
    mailbox_lock.unlock();
}

/// Starts the engine thread of a mailbox run, its run starting with the keys ! and r and
/// its saves as saves say; false when no thread could be made.
bool start_mailbox_engine(pthread_t& thread, thread_job& job, save_mode saves) {
    oneshot = 0;
    reset_engine_ready();
    job = thread_job{engine_thread, run_block{2, {oneshot_placeholder, refresh_script}, saves}};
    return start_thread(thread, job);
}

}  // namespace

std::string mailbox_get_line(const std::string& oid) { return "!;1;10:" + oid + ";12:y"; }

std::string mailbox_set_line(const std::string& oid, const std::string& value) {
    std::string levels = oid;
    if (!levels.empty()) levels[0] = '!';
    replace_char(levels, '.', ';');
    return levels + ":" + value + ";s";
}

int post_keys(const std::string& line) {
    post_line(line, nullptr);
    return 0;
}

int post_exit() { return post_keys(exit_line); }

int bridge_get(const std::string& oid, std::string& out) {
    out.clear();
    if (!is_key_safe(oid, false)) return 0;
    thread_job job;
    pthread_t engine;
    if (!start_mailbox_engine(engine, job, save_mode::never)) return -1;  // nothing was read
    bool found = false;
    post_line(mailbox_get_line(oid), [&](run_context* ctx) {
        if (ctx) answer_buf = cut_copy(ctx->result, answer_max);
        found = ctx ? ctx->result_found : answer_found;
        if (found) out = answer_buf;
    });
    post_exit();
    pthread_join(engine, nullptr);
    return found ? 0 : -1;
}

int bridge_set(const std::string& oid, const std::string& value) {
    if (!is_key_safe(oid, false) || !is_key_safe(value, true)) return 0;
    if (!names_parameter(oid, oneshot_dir)) return 0;
    thread_job job;
    pthread_t engine;
    if (!start_mailbox_engine(engine, job, save_mode::end_on_failure)) return 0;
    post_keys(mailbox_set_line(oid, value));
    post_exit();
    pthread_join(engine, nullptr);
    return 0;
}
