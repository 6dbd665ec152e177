#include "boardutil/crc32.hpp"

#include <array>

#include "boardutil/byte_order.hpp"

namespace {

constexpr uint32_t crc_polynomial = 0xEDB88320u;

/// Slicing-by-8 tables: table[0] is the classic byte table; table[k][b] is the CRC of byte
/// b followed by k zero bytes, so eight bytes are folded in one step.
using crc_tables = std::array<std::array<uint32_t, 256>, 8>;

/// Filled at the first CRC rather than at compile time: 8 KiB of tables in the program
/// would take two fifths of boardutil's share of flash, and filling them takes microseconds.
crc_tables tables;
bool tables_filled = false;

void fill_tables() {
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t c = b;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1u) ? (c >> 1) ^ crc_polynomial : c >> 1;
        tables[0][b] = c;
    }
    for (uint32_t b = 0; b < 256; ++b) {
        for (size_t k = 1; k < 8; ++k) {
            tables[k][b] = (tables[k - 1][b] >> 8) ^ tables[0][tables[k - 1][b] & 0xffu];
        }
    }
    tables_filled = true;
}

}  // namespace

uint32_t crc32_update(uint32_t crc, const uint8_t* bytes, size_t length) {
    if (!tables_filled) fill_tables();
    uint32_t c = ~crc;
    // The eight bytes are combined as little-endian words explicitly, so the same steps
    // give the same CRC on a big-endian board.
    while (length >= 8) {
        const uint32_t lo = load_le32(bytes) ^ c;
        const uint32_t hi = load_le32(bytes + 4);
        c = tables[7][lo & 0xffu] ^ tables[6][(lo >> 8) & 0xffu] ^
            tables[5][(lo >> 16) & 0xffu] ^ tables[4][lo >> 24] ^
            tables[3][hi & 0xffu] ^ tables[2][(hi >> 8) & 0xffu] ^
            tables[1][(hi >> 16) & 0xffu] ^ tables[0][hi >> 24];
        bytes += 8;
        length -= 8;
    }
    while (length-- > 0) c = (c >> 8) ^ tables[0][(c ^ *bytes++) & 0xffu];
    return ~c;
}
