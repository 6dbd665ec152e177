// Fuzzes the key interpreter: a batch run (apmenu --test=1 SCRIPT path=DIR) over a fresh
// copy of the default catalogue, with an arbitrary key script and arbitrary typed lines.
//
// Input: the key script up to the first line feed; after it the typed lines that standard
// input holds once the script's keys have run out (prompts are answered from them too,
// and their end ends the run); after the first NUL byte, the output that every
// configuration query prints (none: the query finds nothing).
//
// The end of the typed input and a malformed code end the process: defined outcomes,
// unwound to here in the fuzz build. The run starts no command and opens no socket:
// run_command is answered by a stand-in, configuration queries by the input's query text,
// the watchdog's raw socket cannot be opened, the clock is simulated and sleeps advance it
// at once. A run that goes on repeating its own work (a countdown still waiting for its
// reboot time after sleep_budget sleeps, a watch that has queued its keys push_budget
// times, even one that never sleeps) ends as at the end of the input: it would go on on a
// device too.
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "catalogue/catalogue_file.hpp"
#include "catalogue/fatal.hpp"
#include "common/shell.hpp"
#include "common/timestamp.hpp"
#include "console/bridge.hpp"
#include "console/run_context.hpp"
#include "fuzz/fatal_unwind.hpp"
#include "fuzz/scratch.hpp"
#include "services/auto_reboot.hpp"

namespace {

/// Sleeps of a run before it counts as waiting for its reboot time: about nine minutes
/// of countdown, enough for the seeds' reboot times; every later refresh repeats the same
/// code at the cost of a whole input.
constexpr unsigned sleep_budget = 600;
/// Keys queued by the run's own actions before it counts as repeating for good: a watch
/// queues two per check.
constexpr unsigned push_budget = 2 * sleep_budget;
/// The simulated clock starts at 2026-12-08 06:52:55 UTC.
constexpr time_t clock_start = 1796712775;

std::string scratch_dir;
std::string default_title;
std::string default_data;

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

/// Standard input is a memory file for the whole run of the fuzzer; each input's typed
/// lines replace what it held. The stream first drops what it had buffered or pushed back
/// of an earlier input (a run that ended early leaves some): fseek alone would reuse a
/// buffer that holds the position sought.
void feed_stdin(const std::string& typed) {
    if (std::fflush(stdin) != 0 || ftruncate(STDIN_FILENO, 0) != 0 ||
        pwrite(STDIN_FILENO, typed.data(), typed.size(), 0) != static_cast<ssize_t>(typed.size()) ||
        std::fseek(stdin, 0, SEEK_SET) != 0)
        finding("refilling standard input failed");
    std::clearerr(stdin);
}

/// What a run leaves of the process-wide state must not reach the next input: a run that
/// ended early (unwound) left the run's context and never handed its answer on.
void reset_process_state() {
    current_context = nullptr;
    oneshot = 0;
    answer_buf.clear();
    answer_found = false;
    if (!mailbox_lock.try_lock()) finding("a run left mailbox_lock held");
    mailbox_lock.unlock();
    if (!start_gate.try_lock()) finding("a run left start_gate held");
    start_gate.unlock();
}

}  // namespace

// The link wraps the product's socket, sleep_ms and push_keys (as the actions call it)
// with these.
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
    if (++sleeps > sleep_budget) end_process({}, 0);
    return 1;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    default_title = read_whole_file(std::string(DEFAULT_CATALOGUE_DIR) + title_file_name);
    default_data = read_whole_file(std::string(DEFAULT_CATALOGUE_DIR) + data_file_name);
    scratch_dir = make_scratch_folder("key_fuzz");
    setenv("TZ", "UTC0", 1);
    tzset();
    set_clock_source(simulated_clock);
    set_log_size_probe(no_log_size);
    set_command_hooks({{}, [](const std::string&) { return 0; }});
    set_output_source(query_stream);
    discard_standard_output();
    const int typed_fd = memfd_create("typed", 0);
    if (typed_fd < 0 || dup2(typed_fd, STDIN_FILENO) < 0) {
        std::perror("key_script_fuzz: standard input");
        std::abort();
    }
    close(typed_fd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    const std::string keys = input.substr(0, nul);
    const size_t line_end = keys.find('\n');
    const std::string script = keys.substr(0, line_end);

    // A fresh default catalogue for every input.
    write_whole_file(scratch_dir + title_file_name, default_title);
    write_whole_file(scratch_dir + data_file_name, default_data);
    query_output = nul == std::string::npos ? std::string() : input.substr(nul + 1);
    sleeps = 0;
    pushes = 0;
    clock_us = 0;
    feed_stdin(line_end == std::string::npos ? std::string() : keys.substr(line_end + 1));
    ends_process([&] { run_batch(3, {"AAA", script, "path=" + scratch_dir}); }, true);
    reset_process_state();
    return 0;
}
