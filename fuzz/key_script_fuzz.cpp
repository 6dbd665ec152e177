// Fuzzes the key interpreter: a batch run (apmenu --test=1 SCRIPT path=DIR) over a fresh
// copy of the default catalogue, with an arbitrary key script and arbitrary typed lines
// (the input as console_harness.hpp lays it out), load included.
//
// The end of the typed input and a malformed code end the process: defined outcomes,
// unwound to here in the fuzz build. The run starts no command and opens no socket:
// run_command is answered by a stand-in, configuration queries by the input's query text,
// the watchdog's raw socket cannot be opened, the clock is simulated and sleeps advance it
// at once.
#include <cstdint>
#include <string>

#include "catalogue/catalogue_file.hpp"
#include "console/bridge.hpp"
#include "fuzz/console_harness.hpp"
#include "fuzz/fatal_unwind.hpp"
#include "fuzz/scratch.hpp"

namespace {

/// About nine minutes of countdown: enough for the seeds' reboot times.
constexpr unsigned sleep_budget = 600;

std::string scratch_dir;
std::string default_title;
std::string default_data;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    default_title = read_whole_file(std::string(DEFAULT_CATALOGUE_DIR) + title_file_name);
    default_data = read_whole_file(std::string(DEFAULT_CATALOGUE_DIR) + data_file_name);
    scratch_dir = make_scratch_folder("key_fuzz");
    start_console_harness(sleep_budget);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const console_input input = split_console_input(data, size);
    // A fresh default catalogue for every input.
    write_whole_file(scratch_dir + title_file_name, default_title);
    write_whole_file(scratch_dir + data_file_name, default_data);
    prepare_console_run(input);
    ends_process([&] { run_batch(3, {"AAA", input.script, "path=" + scratch_dir}); }, true);
    finish_console_run();
    return 0;
}
