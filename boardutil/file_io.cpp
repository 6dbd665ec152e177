#include "boardutil/file_io.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdint>

static_assert(sizeof(off_t) == 8, "file offsets are 64-bit on every build");

ssize_t read_full(int fd, uint8_t* buf, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::read(fd, buf + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

ssize_t pread_full(int fd, uint8_t* buf, size_t length, uint64_t offset) {
    if (offset > static_cast<uint64_t>(INT64_MAX) - length) return -1;
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, buf + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

ssize_t write_full(int fd, const uint8_t* buf, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, buf + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return done > 0 ? static_cast<ssize_t>(done) : -1;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}
