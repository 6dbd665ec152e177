#include "boardutil/board_params.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "boardutil/byte_order.hpp"
#include "boardutil/file_io.hpp"

namespace {

constexpr char msg_no_board_device[] = "Couldn't get board params!\n";
constexpr char msg_board_read_failed[] = "Couldn't read board params!\n";
constexpr char msg_board_not_found[] = "Board params not found!\n";
constexpr char msg_no_system_device[] = "Couldn't get system params!\n";
constexpr char msg_system_read_failed[] = "Couldn't read system params!\n";
constexpr char msg_system_not_found[] = "System params not found!\n";

constexpr uint64_t new_block_offset = 0x2e000;
constexpr size_t new_block_size = 240;
constexpr uint64_t old_block_offset = 0x1f800;
constexpr size_t old_block_size = 80;
constexpr uint64_t system_block_offset = 0xf800;
constexpr size_t system_block_size = 52;
constexpr uint32_t system_magic = 0x20021107u;

constexpr size_t mac_table_at = 16;  ///< in the new and the old board block
constexpr size_t new_ids_at = 80;
constexpr size_t system_ids_at = 16;

/// Reads a whole block; a block that the device holds only in part counts as unread.
bool read_block(int fd, uint8_t* buf, size_t size, uint64_t offset) {
    return pread_full(fd, buf, size, offset) == static_cast<ssize_t>(size);
}

void take_mac_table(board_record& record, const uint8_t* block) {
    for (size_t e = 0; e < mac_table_entries; ++e) {
        for (size_t b = 0; b < record.mac_table[e].size(); ++b) {
            record.mac_table[e][b] = block[mac_table_at + 8 * e + b];
        }
    }
}

void take_ids(board_record& record, const uint8_t* ids) {
    for (size_t k = 0; k < record.ids.size(); ++k) record.ids[k] = load_be16(ids + 2 * k);
}

const char* load_old_style(board_record& record, const uint8_t* old_block,
                           const char* system_device) {
    const int fd = ::open(system_device, O_RDONLY);
    if (fd < 0) return msg_no_system_device;
    uint8_t system_block[system_block_size] = {};
    const bool read_ok = read_block(fd, system_block, sizeof system_block, system_block_offset);
    ::close(fd);
    if (!read_ok) return msg_system_read_failed;
    if (load_be32(system_block) != system_magic) return msg_system_not_found;
    record = board_record{};
    record.style = board_style_old;
    take_mac_table(record, old_block);
    take_ids(record, system_block + system_ids_at);
    return nullptr;
}

}  // namespace

const char* load_board_record(board_record& record, const board_paths& paths) {
    ::sync();
    const int fd = ::open(paths.board_device, O_RDONLY);
    if (fd < 0) return msg_no_board_device;
    // A block that could not be read stays zero, so it never shows a magic.
    uint8_t new_block[new_block_size] = {};
    uint8_t old_block[old_block_size] = {};
    const bool new_ok = read_block(fd, new_block, sizeof new_block, new_block_offset);
    const bool old_ok = read_block(fd, old_block, sizeof old_block, old_block_offset);
    ::close(fd);
    if (!new_ok && !old_ok) return msg_board_read_failed;
    if (!new_ok) std::fill(std::begin(new_block), std::end(new_block), uint8_t{0});
    if (!old_ok) std::fill(std::begin(old_block), std::end(old_block), uint8_t{0});

    if (load_be32(new_block) == board_style_new) {
        record = board_record{};
        record.style = board_style_new;
        take_mac_table(record, new_block);
        take_ids(record, new_block + new_ids_at);
        return nullptr;
    }
    if (load_be32(old_block) == board_style_old) {
        return load_old_style(record, old_block, paths.system_device);
    }
    return msg_board_not_found;
}
