#include "catalogue/fatal.hpp"

#include <cstdio>
#include <unistd.h>

void end_process(std::string_view message, int status) {
    if (!message.empty()) std::fwrite(message.data(), 1, message.size(), stdout);
    // _exit: other threads of the run may still hold the process's state, so nothing
    // static is torn down under them.
    std::fflush(nullptr);
    _exit(status);
}
