// Verification of a firmware upgrade image before it is written to flash.
//
// Layout (all fields little-endian): a 40-byte header (magic 00 51 56 4B, CRC-32 of the
// whole file with the CRC field zeroed or 0 for none, the four board ids at 16..23), a
// table of eight 16-byte section slots (present, flash offset, size, real size) ended by
// the first slot whose first word is 0, then the section data back to back.
#pragma once

#include <cstdint>
#include <cstdio>

#include "boardutil/board_params.hpp"

/// Checks the image at path against the board and the allowed flash region
/// [region_start, region_start + region_size). Every section examined is listed on out as
/// "<label><data position> <flash offset> <size>\n" as it passes. A failure flushes out,
/// then prints the one message of the first failure on err. True for a valid image.
bool check_image(const char* path, uint32_t region_start, uint32_t region_size,
                 const board_record& board, std::FILE* out, std::FILE* err);

/// check_image listing on standard output and failing on standard error; a failure ends
/// the process with status 1. Returns 0 for a valid image.
int image_check(const char* path, uint32_t region_start, uint32_t region_size,
                const board_record& board);
