// The one sleep of a run. It has a file of its own so that a test build can stand in
// for it at link time (a linker's --wrap reaches only calls from other files), the
// interruptible sleep of the long actions included.
#include <cerrno>
#include <ctime>

#include "state/run_context.hpp"

int sleep_ms(unsigned ms) {
    struct timespec want;
    want.tv_sec = static_cast<time_t>(ms / 1000);
    want.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    struct timespec left;
    while (nanosleep(&want, &left) != 0 && errno == EINTR) want = left;
    return 1;
}
