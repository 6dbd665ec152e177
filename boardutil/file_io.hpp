// Whole reads and writes on file descriptors: a short count means the device had no more
// to give, so callers compare the result with what they asked for.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

/// Reads up to length bytes from the current position, retrying partial reads and EINTR.
/// Returns the bytes read (less than length at the end of the file) or -1 on an error.
ssize_t read_full(int fd, uint8_t* buf, size_t length);

/// read_full at a 64-bit offset, without moving the file position.
ssize_t pread_full(int fd, uint8_t* buf, size_t length, uint64_t offset);

/// Writes length bytes at the current position; returns the bytes written or -1.
ssize_t write_full(int fd, const uint8_t* buf, size_t length);
