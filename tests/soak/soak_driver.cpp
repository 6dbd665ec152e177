// Runs one long-running action of apmenu in this process for many cycles and prints what
// months in the field would show: cycles done, resident memory and the C++ heap in use
// after the first tenth and at the end, open descriptors at the start and at the end,
// children left, and the largest the ping watchdog's message file grew. Under an emulator
// the resident memory is the emulator's (its code cache grows as new paths run), so the
// heap in use, counted here by the program's own operator new, is what tells a leak there. tests/soak/soak.py runs it inside a device root
// and makes the table.
//
// usage: soak_driver CASE CYCLES FOLDER
//   CASE: ping-answered, ping-silent (ICMP echo to 127.0.0.1 of the root's own network),
//         watch-new, watch-none, watch-failing (file watch checks, interval 0),
//         mailbox (sets and gets through the mailbox of one engine run; CYCLES of each)
//   FOLDER: holds the default catalogue; the message file and the watched log go there.
#include <dirent.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <fstream>
#include <mutex>
#include <string>

#include "catalogue/catalogue.hpp"
#include "catalogue/item_roles.hpp"
#include "catalogue/menu_tables.hpp"
#include "console/bridge.hpp"
#include "console/item_keys.hpp"
#include "state/run_context.hpp"
#include "services/ping_watchdog.hpp"

namespace {

/// A cycle of the soak's watchdog: a window of 2 ms and no pauses, so that ten thousand
/// cycles take seconds; the product keeps its second-long window.
constexpr long soak_window_ns = 2000000L;
constexpr uint16_t endless_failures = 65535;

/// Bytes handed out by operator new and not yet given back.
std::atomic<long> heap_in_use{0};
/// Room before each block for its size, keeping the C library's alignment.
constexpr size_t heap_header = alignof(std::max_align_t);

struct figures {
    unsigned long cycles = 0;
    long rss_tenth_kib = -1;
    long rss_end_kib = -1;
    long heap_tenth = -1;
    long heap_end = -1;
    int fds_start = -1;
    int fds_end = -1;
    int children = 0;
    long message_max = 0;
    int message_restarts = 0;
};

figures seen;
unsigned long wanted = 0;
std::string message_path;
long message_last = 0;

long resident_kib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

int open_descriptors() {
    DIR* d = opendir("/proc/self/fd");
    if (!d) return -1;
    int n = 0;
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') ++n;
    closedir(d);
    return n - 1;  // the listing's own
}

/// Children that ended unreaped, and one more when some still run.
int children_left() {
    int n = 0;
    pid_t pid;
    while ((pid = waitpid(-1, nullptr, WNOHANG)) > 0) ++n;
    return pid == 0 ? n + 1 : n;
}

/// Counts a cycle; samples the memory after the first tenth and the message file.
void count_cycle() {
    ++seen.cycles;
    if (seen.cycles == wanted / 10) {
        seen.rss_tenth_kib = resident_kib();
        seen.heap_tenth = heap_in_use;
    }
    if (seen.cycles == wanted) {  // while the action's state still stands
        seen.rss_end_kib = resident_kib();
        seen.heap_end = heap_in_use;
    }
    struct stat st;
    if (!message_path.empty() && stat(message_path.c_str(), &st) == 0) {
        if (st.st_size < message_last) ++seen.message_restarts;
        if (st.st_size > seen.message_max) seen.message_max = st.st_size;
        message_last = st.st_size;
    }
}

bool watchdog_goes_on() {
    count_cycle();
    return seen.cycles < wanted;
}

/// A console run's model of the default catalogue in folder, as a run has it before
/// its first key.
void open_run(run_context& ctx, const std::string& folder) {
    current_context = &ctx;
    ctx.base_dir = folder + "/";
    load_catalogue(ctx);
    count_menus(ctx);
    entry_handler = handle_item_key;
    build_run_model(ctx);
}

void soak_watchdog(const std::string& folder, bool silent) {
    run_context ctx;
    open_run(ctx, folder);
    ctx.ping_address = "127.0.0.1";
    ctx.ping_enabled = 1;
    ctx.ping_delay = 0;
    ctx.ping_interval = 0;
    // Against a silent target the reboot falls due after the last cycle; an answered one
    // is stopped there.
    ctx.ping_failcount = silent ? static_cast<uint16_t>(wanted) : endless_failures;
    message_path = ctx.base_dir + ping_message_name;
    ping_timing timing;
    timing.reply_window_ns = soak_window_ns;
    timing.after_reply_ms = 0;
    timing.reboot_pause_ms = 0;
    timing.ms_per_second = 0;
    timing.cycle_done = watchdog_goes_on;
    set_ping_timing(timing);
    seen.fds_start = open_descriptors();
    run_ping_watchdog();
    if (silent && ctx.alive == 0) count_cycle();  // the last cycle made the reboot due
    current_context = nullptr;
}

void soak_watch(const std::string& folder, const std::string& watched_command, bool grows) {
    run_context ctx;
    open_run(ctx, folder);
    const std::string log = folder + "/watched.log";
    std::ofstream(log) << "boot\n";
    set_value(&ctx, item_role::watched_command, watched_command);
    set_value(&ctx, item_role::watch_pattern, "ALARM");
    set_value(&ctx, item_role::watch_command, "true");
    set_value(&ctx, item_role::watch_enable, "1");
    set_value(&ctx, item_role::watch_interval, "0");
    seen.fds_start = open_descriptors();
    for (unsigned long k = 0; k < wanted; ++k) {
        if (grows) std::ofstream(log, std::ios::app) << "ALARM " << k << "\n";
        item_actions().file_watch_check(ctx);
        ctx.pending.clear();  // the keys of the next check, which this loop makes
        ctx.pending_count = 0;
        count_cycle();
    }
    current_context = nullptr;
}

struct engine_job {
    run_block block{2, {"xxx", "r"}};
};

void* run_engine(void* job) {
    engine_thread(static_cast<engine_job*>(job)->block);
    return nullptr;
}

/// The answer a get left in the run, read as a mailbox writer reads it.
std::string run_result() {
    std::lock_guard<process_mutex> hold(mailbox_lock);
    return current_context ? current_context->result : std::string();
}

int soak_mailbox(const std::string& folder) {
    if (chdir(folder.c_str()) != 0) return 1;  // mailbox runs use the working folder
    seen.fds_start = open_descriptors();
    oneshot = 0;
    reset_engine_ready();
    engine_job job;
    pthread_t engine;
    if (pthread_create(&engine, nullptr, run_engine, &job) != 0) return 1;
    int wrong = 0;
    for (unsigned long k = 0; k < wanted; ++k) {
        const std::string value = std::to_string(1000 + k % 9000);
        post_keys(mailbox_set_line("0.5.1", value));
        post_keys(mailbox_get_line("0.5.1"));
        if (run_result() != value) ++wrong;
        count_cycle();
    }
    post_exit();
    pthread_join(engine, nullptr);
    return wrong;
}

}  // namespace

void* operator new(std::size_t size) {
    auto* block = static_cast<char*>(std::malloc(size + heap_header));
    if (!block) std::abort();
    *reinterpret_cast<std::size_t*>(block) = size;
    heap_in_use += static_cast<long>(size);
    return block + heap_header;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept {
    if (!p) return;
    char* block = static_cast<char*>(p) - heap_header;
    heap_in_use -= static_cast<long>(*reinterpret_cast<std::size_t*>(block));
    std::free(block);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: soak_driver CASE CYCLES FOLDER\n", stderr);
        return 2;
    }
    const std::string which = argv[1];
    wanted = std::strtoul(argv[2], nullptr, 10);
    const std::string folder = argv[3];
    int wrong = 0;
    if (which == "ping-answered" || which == "ping-silent") soak_watchdog(folder, which == "ping-silent");
    else if (which == "watch-new") soak_watch(folder, "cat " + folder + "/watched.log", true);
    else if (which == "watch-none") soak_watch(folder, "cat " + folder + "/watched.log", false);
    else if (which == "watch-failing") soak_watch(folder, "cat " + folder + "/missing.log", false);
    else if (which == "mailbox") wrong = soak_mailbox(folder);
    else return 2;
    seen.fds_end = open_descriptors();
    seen.children = children_left();
    std::printf("{\"case\": \"%s\", \"cycles\": %lu, \"rss_tenth_kib\": %ld, \"rss_end_kib\": %ld, "
                "\"heap_tenth\": %ld, \"heap_end\": %ld, "
                "\"fds_start\": %d, \"fds_end\": %d, \"children\": %d, \"message_max\": %ld, "
                "\"message_restarts\": %d, \"wrong_answers\": %d}\n",
                which.c_str(), seen.cycles, seen.rss_tenth_kib, seen.rss_end_kib,
                seen.heap_tenth, seen.heap_end,
                seen.fds_start, seen.fds_end, seen.children, seen.message_max,
                seen.message_restarts, wrong);
    return 0;
}
