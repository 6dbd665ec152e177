#include <cerrno>
#include <ctime>

#include "console/run_context.hpp"

run_context* current_context = nullptr;
std::mutex mailbox_lock;
std::mutex start_gate;
std::atomic<uint8_t> oneshot{0};
std::string answer_buf;

int sleep_ms(unsigned ms) {
    struct timespec want;
    want.tv_sec = static_cast<time_t>(ms / 1000);
    want.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    struct timespec left;
    while (nanosleep(&want, &left) != 0 && errno == EINTR) want = left;
    return 1;
}
