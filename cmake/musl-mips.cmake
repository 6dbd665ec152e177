# The shipped build: what a stock OpenWrt mips_24kc device runs. Big-endian MIPS32r2 for the
# 24Kc core (no FPU: soft float) with musl as the C library, statically linked, so that the
# programs need nothing on the device. The compilers are the pinned zig toolchain's
# (cmake/zig/, installed by scripts/install-deps.sh); tests of this build run under qemu's
# 24Kc model, which stops any hard-float instruction, with no library of the host.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)

set(CMAKE_C_COMPILER ${CMAKE_CURRENT_LIST_DIR}/zig/cc)
set(CMAKE_CXX_COMPILER ${CMAKE_CURRENT_LIST_DIR}/zig/c++)
set(CMAKE_AR ${CMAKE_CURRENT_LIST_DIR}/zig/ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${CMAKE_CURRENT_LIST_DIR}/zig/ranlib CACHE FILEPATH "")
set(CMAKE_STRIP mips-linux-gnu-strip CACHE FILEPATH "")

set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--gc-sections")
# Optimised at link time together with musl and libc++, which zig then builds for it.
set(APMENU_LTO ON CACHE BOOL "")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mips-static -cpu 24Kc)
