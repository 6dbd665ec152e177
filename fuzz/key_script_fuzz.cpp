// Fuzzes the key interpreter: a batch run (apmenu --test=1 SCRIPT path=DIR) over a fresh
// copy of the default catalogue, with an arbitrary key script and arbitrary typed lines.
//
// Input: the key script up to the first line feed; after it the typed lines that standard
// input holds once the script's keys have run out (prompts are answered from them too,
// and their end ends the run); after the first NUL byte, the output that every
// configuration query prints (none: the query finds nothing).
//
// The end of the typed input and a malformed code end the process, so each input runs in
// a child of its own. The child runs no command: run_command is answered by a stand-in,
// configuration queries by the input's query text, the clock is simulated and sleeps
// advance it at once. A countdown to a reboot that is still waiting after sleep_budget
// sleeps ends the run (status 0): it would wait for its time on a device too.
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "catalogue/catalogue_file.hpp"
#include "common/shell.hpp"
#include "common/timestamp.hpp"
#include "console/bridge.hpp"
#include "fuzz/fork_run.hpp"
#include "services/auto_reboot.hpp"

namespace {

/// Sleeps of a run before it counts as waiting for its reboot time.
constexpr unsigned sleep_budget = 4000;
/// The simulated clock starts at 2026-12-08 06:52:55 UTC.
constexpr time_t clock_start = 1796712775;
/// Status of a query that found nothing, as pclose() gives it.
constexpr int query_found_nothing = 1 << 8;

std::string scratch_dir;
std::string default_title;
std::string default_data;

std::string query_output;
unsigned sleeps = 0;
uint64_t clock_us = 0;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "key_script_fuzz: cannot read %s\n", path.c_str());
        std::abort();
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool write_file(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

void simulated_clock(time_t& secs, long& usec) {
    secs = clock_start + static_cast<time_t>(clock_us / 1000000);
    usec = static_cast<long>(clock_us % 1000000);
}

uint64_t no_log_size(const std::string&) { return 0; }

/// Standard input of the child: a memory file holding the typed lines.
void feed_stdin(const std::string& typed) {
    const int fd = memfd_create("typed", 0);
    if (fd < 0) child_finding("memfd_create failed");
    size_t done = 0;
    while (done < typed.size()) {
        const ssize_t n = write(fd, typed.data() + done, typed.size() - done);
        if (n <= 0) child_finding("writing the typed lines failed");
        done += static_cast<size_t>(n);
    }
    lseek(fd, 0, SEEK_SET);
    dup2(fd, STDIN_FILENO);
    close(fd);
    std::clearerr(stdin);
}

}  // namespace

// The link wraps the product's sleep_ms and query_command with these.
extern "C" int __wrap__Z8sleep_msj(unsigned ms) {
    clock_us += uint64_t{ms} * 1000;
    if (++sleeps > sleep_budget) _exit(0);
    return 1;
}

/// Hands the input's query text to on_chunk in the pieces fgets() would read, each cut at
/// a NUL byte as the product's reader sees it.
extern "C" int __wrap__Z13query_commandRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEmRKSt8functionIFbS6_EE(
    const std::string&, size_t buf_size, const std::function<bool(const std::string&)>& on_chunk) {
    if (query_output.empty()) return query_found_nothing;
    const size_t piece = buf_size < 2 ? 1 : buf_size - 1;
    size_t pos = 0;
    while (pos < query_output.size()) {
        size_t end = query_output.find('\n', pos);
        end = end == std::string::npos ? query_output.size() : end + 1;
        if (end - pos > piece) end = pos + piece;
        const std::string chunk = query_output.substr(pos, end - pos);
        pos = end;
        if (!on_chunk(std::string(chunk.c_str()))) break;
    }
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    default_title = read_file(std::string(DEFAULT_CATALOGUE_DIR) + title_file_name);
    default_data = read_file(std::string(DEFAULT_CATALOGUE_DIR) + data_file_name);
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/key_fuzz.XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("key_script_fuzz: mkdtemp");
        std::abort();
    }
    scratch_dir = pattern;
    setenv("TZ", "UTC0", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    const std::string keys = input.substr(0, nul);
    const size_t line_end = keys.find('\n');
    const std::string script = keys.substr(0, line_end);
    const std::string typed = line_end == std::string::npos ? std::string() : keys.substr(line_end + 1);

    // A fresh default catalogue for every input.
    if (!write_file(scratch_dir + "/" + title_file_name, default_title) ||
        !write_file(scratch_dir + "/" + data_file_name, default_data)) {
        std::perror("key_script_fuzz: writing the catalogue");
        std::abort();
    }
    run_forked([&] {
        query_output = nul == std::string::npos ? std::string() : input.substr(nul + 1);
        sleeps = 0;
        clock_us = 0;
        set_clock_source(simulated_clock);
        set_log_size_probe(no_log_size);
        command_hooks hooks;
        hooks.runner = [](const std::string&) { return 0; };
        set_command_hooks(hooks);
        feed_stdin(typed);
        run_batch(3, {"AAA", script, "path=" + scratch_dir});
    });
    return 0;
}
