// Fuzzes the firmware image check over arbitrary images and board records. The input
// holds, in turn: the allowed flash region (start and size, 32-bit little-endian), a byte
// of block flags, a byte that cuts the board device short, the new-style board block, the
// old-style board block, the system block, and then the image itself. The blocks are
// written where the board devices keep them, into plain files that stand in for the
// devices; the record is loaded from there and the image checked against it.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "boardutil/board_params.hpp"
#include "boardutil/image_check.hpp"

namespace {

constexpr uint64_t new_block_offset = 0x2e000;
constexpr size_t new_block_size = 240;
constexpr uint64_t old_block_offset = 0x1f800;
constexpr size_t old_block_size = 80;
constexpr uint64_t system_block_offset = 0xf800;
constexpr size_t system_block_size = 52;

/// Block flags: which blocks the devices hold; the board device cut short.
constexpr uint8_t has_new_block = 1;
constexpr uint8_t has_old_block = 2;
constexpr uint8_t has_system_device = 4;
constexpr uint8_t cut_board_device = 8;

constexpr size_t region_at = 0;
constexpr size_t flags_at = 8;
constexpr size_t cut_at = 9;
constexpr size_t new_block_at = 10;
constexpr size_t old_block_at = new_block_at + new_block_size;
constexpr size_t system_block_at = old_block_at + old_block_size;
constexpr size_t image_at = system_block_at + system_block_size;

std::string dir;
FILE* listing = nullptr;

uint32_t le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void fail(const char* what) {
    std::perror(what);
    std::abort();
}

/// Writes a device file from scratch: the blocks at their offsets, zeros between them.
void write_device(const std::string& path, const uint8_t* first, uint64_t first_at,
                  size_t first_size, const uint8_t* second, uint64_t second_at,
                  size_t second_size, uint64_t cut) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) fail("image_check_fuzz: open");
    uint64_t end = 0;
    if (first) {
        if (pwrite(fd, first, first_size, static_cast<off_t>(first_at)) != static_cast<ssize_t>(first_size))
            fail("image_check_fuzz: pwrite");
        end = first_at + first_size;
    }
    if (second) {
        if (pwrite(fd, second, second_size, static_cast<off_t>(second_at)) != static_cast<ssize_t>(second_size))
            fail("image_check_fuzz: pwrite");
        if (second_at + second_size > end) end = second_at + second_size;
    }
    if (cut != 0 && ftruncate(fd, static_cast<off_t>(end > cut ? end - cut : 0)) != 0)
        fail("image_check_fuzz: ftruncate");
    close(fd);
}

}  // namespace

// load_board_record syncs the file systems first; the link wraps sync with this no-op so
// that the fuzzer does not flush the disks at every input.
extern "C" void __wrap_sync() {}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/image_fuzz.XXXXXX";
    if (!mkdtemp(pattern.data())) fail("image_check_fuzz: mkdtemp");
    dir = pattern + "/";
    listing = std::fopen("/dev/null", "w");
    if (!listing) fail("image_check_fuzz: /dev/null");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t head[image_at] = {};
    std::memcpy(head, data, size < image_at ? size : image_at);
    const uint8_t* image = size > image_at ? data + image_at : data;
    const size_t image_size = size > image_at ? size - image_at : 0;
    const uint8_t flags = head[flags_at];

    const std::string board_device = dir + "mtd0";
    const std::string system_device = dir + "mtd1";
    board_paths paths;
    paths.board_device = board_device.c_str();
    paths.system_device = system_device.c_str();
    write_device(board_device, flags & has_old_block ? head + old_block_at : nullptr,
                 old_block_offset, old_block_size,
                 flags & has_new_block ? head + new_block_at : nullptr, new_block_offset,
                 new_block_size, flags & cut_board_device ? head[cut_at] : 0);
    if (flags & has_system_device) {
        write_device(system_device, head + system_block_at, system_block_offset,
                     system_block_size, nullptr, 0, 0, 0);
    } else {
        unlink(system_device.c_str());
    }

    board_record board;
    const char* failure = load_board_record(board, paths);
    if (!failure && board.style != board_style_new && board.style != board_style_old) {
        std::fprintf(stderr, "a board record of style 0x%08x loaded\n", board.style);
        std::abort();
    }

    const std::string image_path = dir + "image";
    FILE* f = std::fopen(image_path.c_str(), "wb");
    if (!f) fail("image_check_fuzz: fopen");
    if (std::fwrite(image, 1, image_size, f) != image_size || std::fclose(f) != 0)
        fail("image_check_fuzz: writing the image");
    // Even a record that did not load is a record to check against (all ids 0). A failure
    // prints one message, ending in a line feed; a valid image prints none.
    char* message = nullptr;
    size_t message_size = 0;
    FILE* err = open_memstream(&message, &message_size);
    if (!err) fail("image_check_fuzz: open_memstream");
    const bool valid = check_image(image_path.c_str(), le32(head + region_at),
                                   le32(head + region_at + 4), board, listing, err);
    if (std::fclose(err) != 0) fail("image_check_fuzz: open_memstream");
    const std::string text(message, message_size);
    std::free(message);
    if (valid ? !text.empty() : text.empty() || text.back() != '\n') {
        std::fprintf(stderr, "a %s image with the message \"%s\"\n", valid ? "valid" : "failed",
                     text.c_str());
        std::abort();
    }
    return 0;
}
