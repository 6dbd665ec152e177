#include "console/bridge.hpp"

#include <cstdio>
#include <system_error>
#include <thread>

#include "common/text_fields.hpp"
#include "console/console_run.hpp"
#include "console/run_context.hpp"

namespace {

constexpr const char* invalid_command = "Invalid command\n";
constexpr const char* oneshot_placeholder = "XXXX";

/// Runs engine_thread on a thread of its own and waits for it. False when no thread could
/// be made.
bool run_on_own_thread(const std::string& script) {
    oneshot = 1;
    try {
        std::thread t(engine_thread, run_block{2, {oneshot_placeholder, script}});
        t.join();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

}  // namespace

int engine_thread(run_block block) {
    const bool threaded = oneshot == 0;
    if (threaded) {
        mailbox_lock.lock();
        start_gate.lock();
    }
    console_run(block.argc, block.argv);
    if (threaded) mailbox_lock.unlock();
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
    engine_thread(run_block{argc, args});
    return 0;
}

std::string oneshot_get_script(const std::string& oid) { return "!;1;10:" + oid + ";12:y;e"; }

std::string oneshot_set_script(const std::string& oid, const std::string& value) {
    std::string levels = oid;
    replace_char(levels, '.', ';');
    return levels + ":" + value + ";e";
}

bool is_key_safe(const std::string& text, bool is_value) {
    if (is_value && !text.empty() && text[0] == '\'') return false;
    return text.find_first_of(";|~\r\n") == std::string::npos;
}

int oneshot_get(const std::string& oid, std::string& out) {
    out.clear();
    if (!is_key_safe(oid, false)) return 0;
    answer_buf.clear();
    if (run_on_own_thread(oneshot_get_script(oid))) out = answer_buf;
    return 0;
}

int oneshot_set(const std::string& oid, const std::string& value) {
    if (!is_key_safe(oid, false) || !is_key_safe(value, true)) return 0;
    run_on_own_thread(oneshot_set_script(oid, value));
    return 0;
}
