# The board build: the programs as OpenWrt builds this target's packages, so that what the
# tests run and what the size report measures is what ships. Big-endian MIPS (Debian's
# mips-linux-gnu toolchain), -Os (CMAKE_BUILD_TYPE MinSizeRel), MIPS16e, no unwind tables,
# every unused function and object dropped at link time. Like OpenWrt's own toolchain, the
# executables are not position-independent and call shared libraries through a PLT, which
# spares a GOT load on every call and data access. Debian's MIPS libraries are hard-float,
# hence the 24kf core and qemu's 24Kf model (its 24Kc model has no FPU).
include(${CMAKE_CURRENT_LIST_DIR}/mips-linux-gnu.cmake)

set(CMAKE_CXX_FLAGS_INIT "-march=24kf -mips16 -minterlink-mips16 -fno-pie -mplt \
-ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables -fno-unwind-tables")
# The classic hash table: smaller here than the MIPS form of the GNU one, and read by every
# dynamic loader.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-no-pie -Wl,--gc-sections -Wl,-O1 -Wl,--hash-style=sysv \
-Wl,--as-needed")

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mips-static -cpu 24Kf -L /usr/mips-linux-gnu)
