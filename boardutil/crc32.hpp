// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, the checksum of zlib and Ethernet).
#pragma once

#include <cstddef>
#include <cstdint>

/// Continues a CRC-32 over length more bytes: crc is the result so far (0 to start), and
/// the result is the CRC of everything passed so far.
uint32_t crc32_update(uint32_t crc, const uint8_t* bytes, size_t length);
