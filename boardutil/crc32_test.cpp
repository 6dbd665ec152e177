#include "boardutil/crc32.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

uint32_t crc_of(const std::string& s) {
    return crc32_update(0, reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

/// Bit-at-a-time reference, independent of the tables.
uint32_t reference_crc(const std::vector<uint8_t>& data) {
    uint32_t c = 0xffffffffu;
    for (uint8_t b : data) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return ~c;
}

}  // namespace

TEST(crc32_update, standard_check_values) {
    EXPECT_EQ(crc_of(""), 0u);
    EXPECT_EQ(crc_of("123456789"), 0xCBF43926u);
    EXPECT_EQ(crc_of("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

TEST(crc32_update, every_length_and_split_agree_with_reference) {
    std::vector<uint8_t> data(300);
    uint32_t seed = 12345;
    for (uint8_t& b : data) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
    for (size_t len = 0; len <= data.size(); ++len) {
        const std::vector<uint8_t> part(data.begin(), data.begin() + static_cast<long>(len));
        const uint32_t want = reference_crc(part);
        ASSERT_EQ(crc32_update(0, data.data(), len), want) << len;
        const size_t cut = len / 3;
        const uint32_t first = crc32_update(0, data.data(), cut);
        ASSERT_EQ(crc32_update(first, data.data() + cut, len - cut), want) << len;
    }
}
