#include "fuzz/console_harness.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "catalogue/fatal.hpp"
#include "common/shell.hpp"
#include "common/timestamp.hpp"
#include "state/run_context.hpp"
#include "fuzz/fatal_unwind.hpp"
#include "fuzz/scratch.hpp"
#include "services/auto_reboot.hpp"

namespace {

/// Sleeps of a run before it counts as waiting for its reboot time, and keys queued by
/// the run's own actions before it counts as repeating for good (a watch queues two per
/// check): every later refresh or check repeats the same code at the cost of a whole
/// input.
unsigned sleep_budget = 0;
unsigned push_budget = 0;
unsigned uncounted_sleep_ms = 0;
/// The simulated clock starts at 2026-12-08 06:52:58 UTC: a wait of three countdown
/// refreshes passes the end of a minute.
constexpr time_t clock_start = 1796712778;

std::string query_output;
unsigned sleeps = 0;
unsigned pushes = 0;
uint64_t clock_us = 0;

void simulated_clock(time_t& secs, long& usec) {
    secs = clock_start + static_cast<time_t>(clock_us / 1000000);
    usec = static_cast<long>(clock_us % 1000000);
}

uint64_t no_log_size(const std::string&) { return 0; }

FILE* query_stream(const std::string&) {
    return fmemopen(query_output.data(), query_output.size(), "r");
}

/// stdin as the process started, on descriptor 0: an empty memory file, which poll finds
/// readable as it finds any file given as standard input.
FILE* idle_stdin = nullptr;
/// The typed lines of the input being run, and the stream that stdin is while it runs: a
/// memory stream of its own, so nothing that an earlier run left buffered or pushed back
/// is read again, and reading takes no system call. It is closed when the run ends, so
/// that what it allocated is freed within the input (the fuzzer checks for leaks the
/// inputs that free less than they allocate, by running them again).
std::string typed_text;
FILE* typed_stream = nullptr;

void feed_stdin(const std::string& typed) {
    typed_text = typed;
    typed_stream = fmemopen(typed_text.data(), typed_text.size(), "r");
    if (!typed_stream) finding("opening the typed lines failed");
    stdin = typed_stream;
}

void close_stdin() {
    stdin = idle_stdin;
    std::fclose(typed_stream);
    typed_stream = nullptr;
}

ssize_t discard_output(void*, const char*, size_t size) { return static_cast<ssize_t>(size); }

}  // namespace

#define PUSH_KEYS(prefix) \
    prefix##_Z9push_keysR11run_contextRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE
extern "C" int PUSH_KEYS(__real_)(run_context& ctx, const std::string& keys);

extern "C" int PUSH_KEYS(__wrap_)(run_context& ctx, const std::string& keys) {
    if (++pushes > push_budget) end_process({}, 0);
    return PUSH_KEYS(__real_)(ctx, keys);
}

extern "C" int __wrap_socket(int, int, int) {
    errno = EPERM;
    return -1;
}

extern "C" int __wrap__Z8sleep_msj(unsigned ms) {
    clock_us += uint64_t{ms} * 1000;
    if (ms > uncounted_sleep_ms && ++sleeps > sleep_budget) end_process({}, 0);
    return 1;
}

console_input split_console_input(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    const std::string keys = input.substr(0, nul);
    const size_t line_end = keys.find('\n');
    console_input out;
    out.script = keys.substr(0, line_end);
    if (line_end != std::string::npos) out.typed = keys.substr(line_end + 1);
    if (nul != std::string::npos) out.query_output = input.substr(nul + 1);
    return out;
}

void start_console_harness(unsigned sleeps_allowed, unsigned uncounted_ms) {
    sleep_budget = sleeps_allowed;
    uncounted_sleep_ms = uncounted_ms;
    push_budget = 2 * sleeps_allowed;
    setenv("TZ", "UTC0", 1);
    tzset();
    set_clock_source(simulated_clock);
    set_log_size_probe(no_log_size);
    set_command_hooks({{}, [](const std::string&) { return 0; }});
    set_output_source(query_stream);
    // Standard output goes nowhere: descriptor 1 is /dev/null, and stdout a stream that
    // drops what it is given, so a flush takes no system call.
    discard_standard_output();
    stdout = fopencookie(nullptr, "w", {nullptr, discard_output, nullptr, nullptr});
    const int typed_fd = memfd_create("typed", 0);
    if (!stdout || typed_fd < 0 || dup2(typed_fd, STDIN_FILENO) < 0) {
        std::perror("fuzz: standard input and output");
        std::abort();
    }
    close(typed_fd);
    idle_stdin = stdin;
}

void prepare_console_run(const console_input& input) {
    query_output = input.query_output;
    sleeps = 0;
    pushes = 0;
    clock_us = 0;
    feed_stdin(input.typed);
}

void finish_console_run() {
    close_stdin();
    current_context = nullptr;
    oneshot = 0;
    answer_buf.clear();
    answer_found = false;
    if (!mailbox_lock.try_lock()) finding("a run left mailbox_lock held");
    mailbox_lock.unlock();
    if (!start_gate.try_lock()) finding("a run left start_gate held");
    start_gate.unlock();
}
