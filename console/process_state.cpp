#include <cerrno>
#include <condition_variable>
#include <ctime>

#include "console/run_context.hpp"

run_context* current_context = nullptr;
std::mutex mailbox_lock;
std::mutex start_gate;
std::atomic<uint8_t> oneshot{0};
std::string answer_buf;
bool answer_found = false;
std::atomic<bool> interactive_console{false};
bool keyboard_reading = false;

namespace {

std::mutex ready_lock;
std::condition_variable ready_signal;
bool ready = false;

}  // namespace

void reset_engine_ready() {
    std::lock_guard<std::mutex> hold(ready_lock);
    ready = false;
}

void engine_ready() {
    {
        std::lock_guard<std::mutex> hold(ready_lock);
        ready = true;
    }
    ready_signal.notify_all();
}

void wait_for_engine() {
    std::unique_lock<std::mutex> hold(ready_lock);
    ready_signal.wait(hold, [] { return ready; });
}

int sleep_ms(unsigned ms) {
    struct timespec want;
    want.tv_sec = static_cast<time_t>(ms / 1000);
    want.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    struct timespec left;
    while (nanosleep(&want, &left) != 0 && errno == EINTR) want = left;
    return 1;
}
