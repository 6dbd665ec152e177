// The board record: the board's style, MAC table and ids, read from the parameter blocks
// in flash. Boards with the new block keep everything at /dev/mtd0 offset 0x2e000; older
// boards keep the MAC table at /dev/mtd0 offset 0x1f800 and the ids at /dev/mtd1 offset
// 0xf800. All three blocks are big-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr uint32_t board_style_new = 0x20130417u;
constexpr uint32_t board_style_old = 0x20021103u;

constexpr size_t mac_table_entries = 8;
/// One MAC table entry: bytes 0-5 are the address, 6-7 are unused. An entry whose first
/// three bytes are 0 ends the table.
using mac_entry = std::array<uint8_t, 8>;

/// The board record, in the layout of the new-style block whatever the board's style.
struct board_record {
    uint32_t style = 0;  ///< board_style_new or board_style_old
    std::array<mac_entry, mac_table_entries> mac_table{};
    std::array<uint16_t, 4> ids{};  ///< ids[1] is the board id that getid prints
};

/// Where the blocks are read from; tests point these at plain files.
struct board_paths {
    const char* board_device = "/dev/mtd0";
    const char* system_device = "/dev/mtd1";
};

/// Loads the board record. Returns nullptr on success, else the message of the failure,
/// which ends the program with status 1.
const char* load_board_record(board_record& record, const board_paths& paths = board_paths{});
