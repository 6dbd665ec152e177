#include "boardutil/image_check.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdlib>

#include "boardutil/byte_order.hpp"
#include "boardutil/crc32.hpp"
#include "boardutil/file_io.hpp"

namespace {

constexpr char msg_cannot_open[] = "Couldn't open file %s!\n";
constexpr char msg_bad_format[] = "Bad firmware format!\n";
constexpr char msg_crc_error[] = "Bad firmware format, CRC error!\n";
constexpr char msg_bad_offset[] = "Invalid section offset 0x%08" PRIx32 "\n";
constexpr char msg_not_in_region[] =
    "Section not in firmware region, offset 0x%08" PRIx32 ", size 0x%08" PRIx32
    ", real_size 0x%08" PRIx32 "\n";
constexpr char msg_bad_table_size[] = "Invalid partition table size 0x%08" PRIx32 "\n";
constexpr char msg_bad_kernel_start[] = "The upgrade image kernel start is invalid 0x%08" PRIx32 "\n";
constexpr char msg_partition_missing[] = "Required partition missing in the upgrade image\n";
/// Data position in the image, flash offset, size: unsigned, so offsets of 2 GiB and more
/// print the same on the 32-bit board.
constexpr char section_line[] = "%s%" PRIu64 " %" PRIu32 " %" PRIu32 "\n";

constexpr uint32_t image_magic = 0x4B565100u;
constexpr size_t header_size = 40;
constexpr size_t crc_at = 4;
constexpr size_t ids_at = 16;
constexpr size_t table_slots = 8;
constexpr size_t slot_size = 16;

constexpr uint32_t flash_block = 0x10000;
constexpr uint32_t lowest_section_offset = 0x20000;
/// New-style boards keep their own data below this offset; the image's sections there are
/// left to the upgrade procedure without being classified.
constexpr uint32_t new_style_examined_from = 0x30000;
constexpr uint32_t max_partition_table_size = 0x10000;
constexpr uint32_t kernel_offset_high = 0x680000;
constexpr uint32_t kernel_offset_low = 0x30000;

/// The CRC pass streams the file through this buffer, so memory does not grow with it.
constexpr size_t crc_block_size = 64 * 1024;
uint8_t crc_block[crc_block_size];

enum class section_kind { partition_table, kernel, rootfs, other };

constexpr char label_partition_table[] = "partition_table ";
constexpr char label_kernel[] = "kernel ";
constexpr char label_rootfs[] = "rootfs ";
constexpr char label_other[] = "partition ";

const char* section_label(section_kind kind) {
    switch (kind) {
    case section_kind::partition_table: return label_partition_table;
    case section_kind::kernel: return label_kernel;
    case section_kind::rootfs: return label_rootfs;
    case section_kind::other: break;
    }
    return label_other;
}

/// Kinds by the first four bytes of the section data.
section_kind classify(const uint8_t* first) {
    auto is = [first](uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
        return first[0] == a && first[1] == b && first[2] == c && first[3] == d;
    };
    if (is(0x03, 0x11, 0x02, 0x20)) return section_kind::partition_table;
    if (is(0x27, 0x05, 0x19, 0x56)) return section_kind::kernel;  // boot loader image header
    if (is(0x6D, 0x00, 0x00, 0x80)) return section_kind::kernel;  // raw LZMA stream
    if (is(0x68, 0x73, 0x71, 0x73)) return section_kind::rootfs;  // "hsqs"
    return section_kind::other;
}

/// One slot of the section table.
struct section_slot {
    uint32_t offset;
    uint32_t size;       ///< bytes of the section in the image
    uint32_t real_size;  ///< bytes it takes in flash
};

/// Ends a check with its failure: the listing so far goes out before the message.
bool fail(std::FILE* out, std::FILE* err, const char* message) {
    std::fflush(out);
    std::fputs(message, err);
    return false;
}

bool fail_with(std::FILE* out, std::FILE* err, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
bool fail_with(std::FILE* out, std::FILE* err, const char* fmt, ...) {
    std::fflush(out);
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(err, fmt, ap);
    va_end(ap);
    return false;
}

/// Closes the image on every way out.
struct image_file {
    int fd;
    explicit image_file(const char* path) : fd(::open(path, O_RDONLY)) {}
    ~image_file() {
        if (fd >= 0) ::close(fd);
    }
    image_file(const image_file&) = delete;
    image_file& operator=(const image_file&) = delete;
};

/// The CRC of the whole file with the header's CRC field taken as 0.
bool image_crc(int fd, const uint8_t* header, uint32_t& crc) {
    uint8_t head[header_size];
    std::copy(header, header + header_size, head);
    std::fill(head + crc_at, head + crc_at + 4, uint8_t{0});
    crc = crc32_update(0, head, header_size);
    uint64_t pos = header_size;
    for (;;) {
        const ssize_t n = pread_full(fd, crc_block, crc_block_size, pos);
        if (n < 0) return false;
        crc = crc32_update(crc, crc_block, static_cast<size_t>(n));
        if (static_cast<size_t>(n) < crc_block_size) return true;
        pos += static_cast<uint64_t>(n);
    }
}

bool header_fits_board(const uint8_t* header, const board_record& board) {
    if (load_le32(header) != image_magic) return false;
    for (size_t k = 0; k < board.ids.size(); ++k) {
        if (load_le16(header + ids_at + 2 * k) != board.ids[k]) return false;
    }
    return true;
}

/// Reads the slots up to the terminating one into sections (room for table_slots) and
/// their number into count. False when the file does not hold them or no slot terminates
/// the table.
bool read_section_table(int fd, section_slot* sections, size_t& count) {
    uint8_t table[table_slots * slot_size];
    const ssize_t got = pread_full(fd, table, sizeof table, header_size);
    if (got < 0) return false;
    for (size_t s = 0; s < table_slots; ++s) {
        if ((s + 1) * slot_size > static_cast<size_t>(got)) return false;
        const uint8_t* slot = table + s * slot_size;
        if (load_le32(slot) == 0) {
            count = s;
            return true;
        }
        sections[s] = {load_le32(slot + 4), load_le32(slot + 8), load_le32(slot + 12)};
    }
    return false;
}

}  // namespace

bool check_image(const char* path, uint32_t region_start, uint32_t region_size,
                 const board_record& board, std::FILE* out, std::FILE* err) {
    const image_file image(path);
    if (image.fd < 0) return fail_with(out, err, msg_cannot_open, path);
    const off_t end = ::lseek(image.fd, 0, SEEK_END);
    if (end < 0) return fail(out, err, msg_bad_format);
    const uint64_t file_size = static_cast<uint64_t>(end);

    uint8_t header[header_size];
    if (pread_full(image.fd, header, header_size, 0) != static_cast<ssize_t>(header_size) ||
        !header_fits_board(header, board)) {
        return fail(out, err, msg_bad_format);
    }
    const uint32_t stored_crc = load_le32(header + crc_at);
    if (stored_crc != 0) {
        uint32_t crc = 0;
        if (!image_crc(image.fd, header, crc) || crc != stored_crc) {
            return fail(out, err, msg_crc_error);
        }
    }

    section_slot sections[table_slots];
    size_t section_count = 0;
    if (!read_section_table(image.fd, sections, section_count)) {
        return fail(out, err, msg_bad_format);
    }

    const uint64_t region_end = uint64_t{region_start} + region_size;
    uint64_t data_pos = header_size + slot_size * (section_count + 1);
    bool seen_table = false, seen_kernel = false, seen_rootfs = false;
    for (size_t k = 0; k < section_count; ++k) {
        const section_slot& s = sections[k];
        if (s.offset % flash_block != 0 || s.offset < lowest_section_offset) {
            return fail_with(out, err, msg_bad_offset, s.offset);
        }
        if (s.real_size < s.size || uint64_t{s.offset} + s.real_size > region_end) {
            return fail_with(out, err, msg_not_in_region, s.offset, s.size, s.real_size);
        }
        // A section cut short would reach flash incomplete, even in an image without a CRC.
        if (data_pos + s.size > file_size) return fail(out, err, msg_bad_format);
        if (board.style == board_style_new && s.offset < new_style_examined_from) {
            data_pos += s.size;
            continue;
        }
        // A section too short to hold a kind's four bytes is of no known kind; the bytes
        // after it belong to the next section.
        section_kind kind = section_kind::other;
        if (s.size >= 4) {
            uint8_t first[4];
            if (pread_full(image.fd, first, sizeof first, data_pos) != 4) {
                return fail(out, err, msg_bad_format);
            }
            kind = classify(first);
        }
        if (kind == section_kind::partition_table && s.size > max_partition_table_size) {
            return fail_with(out, err, msg_bad_table_size, s.size);
        }
        if (kind == section_kind::kernel && s.offset != kernel_offset_high &&
            s.offset != kernel_offset_low) {
            return fail_with(out, err, msg_bad_kernel_start, s.offset);
        }
        std::fprintf(out, section_line, section_label(kind), data_pos, s.offset, s.size);
        seen_table = seen_table || kind == section_kind::partition_table;
        seen_kernel = seen_kernel || kind == section_kind::kernel;
        seen_rootfs = seen_rootfs || kind == section_kind::rootfs;
        data_pos += s.size;
    }

    const bool table_needed = board.style == board_style_old;
    if (!seen_kernel || !seen_rootfs || (table_needed && !seen_table)) {
        return fail(out, err, msg_partition_missing);
    }
    return true;
}

int image_check(const char* path, uint32_t region_start, uint32_t region_size,
                const board_record& board) {
    if (check_image(path, region_start, region_size, board, stdout, stderr)) return 0;
    std::exit(1);
}
