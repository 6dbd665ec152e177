// Verification of a firmware upgrade image before it is written to flash.
//
// Layout (all fields little-endian): a 40-byte header (magic 00 51 56 4B, CRC-32 of the
// whole file with the CRC field zeroed or 0 for none, the four board ids at 16..23), a
// table of eight 16-byte section slots (present, flash offset, size, real size) ended by
// the first slot whose first word is 0, then the section data back to back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "boardutil/board_params.hpp"

/// Checks the image at path against the board and the allowed flash region
/// [region_start, region_start + region_size). Every section examined is listed on out as
/// "<label><data position> <flash offset> <size>\n" as it passes. Returns an empty string
/// for a valid image, else the one message of the first failure.
std::string check_image(const std::string& path, uint32_t region_start, uint32_t region_size,
                        const board_record& board, std::FILE* out);

/// check_image listing on standard output; a failure prints its message on standard error
/// and ends the process with status 1. Returns 0 for a valid image.
int image_check(const std::string& path, uint32_t region_start, uint32_t region_size,
                const board_record& board);
