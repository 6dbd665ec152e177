#include "boardutil/commands.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "boardutil/byte_order.hpp"
#include "boardutil/child_process.hpp"
#include "boardutil/file_io.hpp"
#include "boardutil/image_check.hpp"
#include "boardutil/numbers.hpp"

namespace {

/// Options before the subcommand only ('+'), on every C library; getopt reports nothing.
constexpr char option_string[] = "+i:n:p:s:";

constexpr char msg_read_error[] = "read error!\n";
constexpr char msg_write_error[] = "write error!\n";
constexpr char getid_format[] = "%" PRIx16;
constexpr char interface_format[] = "wifi%d";
constexpr char mac_format[] = "%02x:%02x:%02x:%02x:%02x:%02x";
constexpr size_t mac_text_size = sizeof "00:00:00:00:00:00";
constexpr size_t interface_name_size = 16;
/// Address as 64 bits (0x100000000 and on print whole), word in hex and as signed decimal.
constexpr char md_line_format[] = "%08" PRIx64 " : 0x%08" PRIx32 " %12" PRId32 "\n";

constexpr size_t word_size = 4;

/// A decimal table index or count; malformed or past the table's reach means unset.
int64_t option_count(const char* text) {
    uint64_t v = 0;
    if (!parse_decimal(text, v) || v > INT32_MAX) return -1;
    return static_cast<int64_t>(v);
}

/// A flash region bound: a value past 32 bits, like a malformed one, counts as 0.
uint32_t option_region(const char* text) {
    uint64_t v = 0;
    if (!parse_c_number(text, v) || v > UINT32_MAX) return 0;
    return static_cast<uint32_t>(v);
}

bool parse_options(int argc, char** argv, board_options& opts) {
    opterr = 0;
    optind = 0;  // a fresh scan on glibc and musl alike
    int c;
    while ((c = ::getopt(argc, argv, option_string)) != -1) {
        switch (c) {
        case 'i': opts.first_entry = option_count(optarg); break;
        case 'n': opts.interface_count = option_count(optarg); break;
        case 'p': opts.region_start = option_region(optarg); break;
        case 's': opts.region_size = option_region(optarg); break;
        default: return false;
        }
    }
    return true;
}

bool load_board(board_record& board, const device_paths& devices) {
    const char* failure = load_board_record(board, devices.flash);
    if (failure == nullptr) return true;
    std::fputs(failure, stderr);
    return false;
}

int cmd_getid(const device_paths& devices) {
    board_record board;
    if (!load_board(board, devices)) return status_failure;
    std::printf(getid_format, board.ids[1]);
    return status_ok;
}

int cmd_ztqimg(const board_options& opts, const char* image, const device_paths& devices) {
    board_record board;
    if (!load_board(board, devices)) return status_failure;
    image_check(image, opts.region_start, opts.region_size, board);
    return status_ok;
}

/// Interfaces are numbered from 0 whatever the first entry.
int cmd_setwmac(const board_options& opts, const device_paths& devices) {
    board_record board;
    if (!load_board(board, devices)) return status_failure;
    for (int64_t k = 0; k < opts.interface_count; ++k) {
        const mac_entry& e = board.mac_table[static_cast<size_t>(opts.first_entry + k)];
        if (e[0] == 0 && e[1] == 0 && e[2] == 0) break;
        char name[interface_name_size];
        std::snprintf(name, sizeof name, interface_format, static_cast<int>(k));
        char mac[mac_text_size];
        std::snprintf(mac, sizeof mac, mac_format, e[0], e[1], e[2], e[3], e[4], e[5]);
        const char* const ip_argv[] = {"ip", "link", "set", "dev", name, "address", mac, nullptr};
        // The result is not examined: one interface that cannot be set stops no other.
        wait_command(spawn_command(ip_argv));
    }
    return status_ok;
}

/// Seeks to a memory address; false when the device cannot reach it.
bool seek_memory(int fd, uint64_t address) {
    if (address > static_cast<uint64_t>(INT64_MAX)) return false;
    return ::lseek(fd, static_cast<off_t>(address), SEEK_SET) == static_cast<off_t>(address);
}

int cmd_md(const char* address_text, const char* count_text, const device_paths& devices) {
    uint64_t address = 0;
    uint64_t count = 1;
    if (!parse_hex(address_text, address)) return status_memory_failure;
    if (count_text != nullptr && !parse_decimal(count_text, count)) return status_memory_failure;
    const int fd = ::open(devices.memory, O_RDONLY);
    if (fd < 0) return status_memory_failure;
    if (!seek_memory(fd, address)) {
        ::close(fd);
        return status_memory_failure;
    }
    for (uint64_t index = 0; index < count; ++index) {
        uint8_t bytes[word_size];
        if (read_full(fd, bytes, word_size) != static_cast<ssize_t>(word_size)) {
            std::fputs(msg_read_error, stderr);
            ::close(fd);
            return status_memory_failure;
        }
        const uint32_t word = load_be32(bytes);
        std::printf(md_line_format, address + word_size * index, word, static_cast<int32_t>(word));
    }
    ::close(fd);
    return status_ok;
}

int cmd_mm(const char* address_text, const char* value_text, const device_paths& devices) {
    uint64_t address = 0;
    uint64_t value = 0;
    if (!parse_hex(address_text, address) || !parse_hex(value_text, value) || value > UINT32_MAX) {
        return status_memory_failure;
    }
    const int fd = ::open(devices.memory, O_RDWR);
    if (fd < 0) return status_memory_failure;
    if (!seek_memory(fd, address)) {
        ::close(fd);
        return status_memory_failure;
    }
    uint8_t bytes[word_size];
    store_be32(bytes, static_cast<uint32_t>(value));
    const bool written = write_full(fd, bytes, word_size) == static_cast<ssize_t>(word_size);
    ::close(fd);
    if (!written) {
        std::fputs(msg_write_error, stderr);
        return status_memory_failure;
    }
    return status_ok;
}

bool setwmac_allowed(const board_options& opts) {
    const int64_t i = opts.first_entry;
    const int64_t n = opts.interface_count;
    const int64_t entries = static_cast<int64_t>(mac_table_entries);
    return i >= 0 && n >= 0 && i <= entries && n <= entries - i;
}

}  // namespace

int run_boardutil(int argc, char** argv, const device_paths& devices) {
    board_options opts;
    if (!parse_options(argc, argv, opts) || optind >= argc) return status_failure;
    const char* subcommand = argv[optind];
    char** args = argv + optind + 1;
    const int arg_count = argc - optind - 1;
    auto is = [subcommand](const char* name) { return std::strcmp(subcommand, name) == 0; };

    if (is("setwmac") && arg_count == 0 && setwmac_allowed(opts)) {
        return cmd_setwmac(opts, devices);
    }
    if (is("getid") && arg_count == 0) return cmd_getid(devices);
    if (is("ztqimg") && arg_count == 1 && opts.region_start != 0 && opts.region_size != 0) {
        return cmd_ztqimg(opts, args[0], devices);
    }
    if (is("md")) {
        if (arg_count < 1 || arg_count > 2) return status_memory_failure;
        return cmd_md(args[0], arg_count == 2 ? args[1] : nullptr, devices);
    }
    if (is("mm")) {
        if (arg_count != 2) return status_memory_failure;
        return cmd_mm(args[0], args[1], devices);
    }
    return status_failure;
}
