// boardutil's command line and its subcommands.
//
//   boardutil [-i first] [-n count] [-p start] [-s size] subcommand [arguments]
//
//   setwmac            set wifi0..wifi<count-1> from MAC table entries first.. (-i, -n)
//   getid              print the board id in hexadecimal, without a newline
//   ztqimg image       verify a firmware image for the flash region start..start+size (-p, -s)
//   md address [count] show count (default 1) 32-bit words of physical memory
//   mm address value   write one 32-bit word of physical memory
//
// Exit status 0 on success; 1 for a usage error, a board record that cannot be loaded or a
// bad image; 255 for every failure of md and mm. Usage errors print nothing.
#pragma once

#include <cstdint>

#include "boardutil/board_params.hpp"

constexpr int status_ok = 0;
constexpr int status_failure = 1;
constexpr int status_memory_failure = 255;

/// The option values; a malformed number leaves its option unset.
struct board_options {
    int64_t first_entry = -1;      ///< -i: first MAC table entry, -1 unset
    int64_t interface_count = -1;  ///< -n: number of wireless interfaces, -1 unset
    uint32_t region_start = 0;     ///< -p: start of the allowed flash region
    uint32_t region_size = 0;      ///< -s: its size
};

/// The devices the subcommands read and write; tests point these at plain files.
struct device_paths {
    board_paths flash;
    const char* memory = "/dev/armem";  ///< byte-addressed physical memory
};

/// Runs one invocation; returns the exit status. An image failure of ztqimg and nothing
/// else ends the process from inside.
int run_boardutil(int argc, char** argv, const device_paths& devices = device_paths{});
