# Short names over CMake and CTest. `make check` runs every test; `make demo` starts the
# interactive console in a throwaway device root.
JOBS ?= $(shell nproc)
CTEST = ctest --output-on-failure -j $(JOBS)

# Our builds treat warnings as errors; a plain cmake (a packager's) only shows them.
OURS = -DAPMENU_WERROR=ON

.PHONY: all deps zig layers host mips board asan tsan check check-host check-mips check-board sizes \
	install package check-asan check-tsan fuzz bench soak demo clean

all: host

deps:
	sh scripts/install-deps.sh

# The shipped build's cross compiler (zig, from npm at its pinned version).
zig:
	sh scripts/install-zig.sh

host:
	cmake -S . -B build/host -DCMAKE_BUILD_TYPE=RelWithDebInfo $(OURS)
	cmake --build build/host -j $(JOBS)

# A big-endian MIPS build of Debian's gcc and glibc with debug information (-O2), for a
# debugger under qemu (qemu-mips-static -cpu 24Kf -L /usr/mips-linux-gnu); not shipped.
mips:
	cmake -S . -B build/mips -DCMAKE_TOOLCHAIN_FILE=cmake/mips-linux-gnu.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo $(OURS)
	cmake --build build/mips -j $(JOBS)

# The shipped build (cmake/musl-mips.cmake): MIPS32r2 big-endian, 24Kc soft float, musl,
# static. What the board's tests run under qemu, what the size report measures, what
# install and package ship.
board: zig
	cmake -S . -B build/board -DCMAKE_TOOLCHAIN_FILE=cmake/musl-mips.cmake -DCMAKE_BUILD_TYPE=MinSizeRel $(OURS)
	cmake --build build/board -j $(JOBS)

asan:
	cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DAPMENU_SANITIZE=ON $(OURS)
	cmake --build build/asan -j $(JOBS)

tsan:
	cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DAPMENU_TSAN=ON $(OURS)
	cmake --build build/tsan -j $(JOBS)

# Every test: the layers of the sources, the host build, then the shipped build under qemu;
# then the sizes of what ships.
check: deps
	$(MAKE) layers check-host check-board sizes

# Fails when a folder includes one above it (scripts/check-layers.py holds the order).
layers:
	python3 scripts/check-layers.py

check-host: host
	cd build/host && $(CTEST)

check-mips: mips
	cd build/mips && $(CTEST)

check-board: board
	cd build/board && $(CTEST)

# The stripped shipped programs against their flash budgets and what they need on the
# device; fails above a budget or when one needs more than the C library. The host build
# is checked for its libraries too: it links the C++ runtime in the same way.
sizes: board host
	sh scripts/size-report.sh build/board build/host

# The board's install tree under DESTDIR: /usr/sbin/apmenu and boardutil (stripped), the
# catalogue in /etc/apmenu/ and /lib/upgrade/keep.d/apmenu. Never into this machine's /.
install: board
	@test -n "$(DESTDIR)" || { echo "make install: give DESTDIR=<folder>" >&2; exit 2; }
	DESTDIR="$(abspath $(DESTDIR))" cmake --install build/board --prefix /usr --strip

# One .ipk per package of packaging/openwrt/Makefile, made of the shipped build, in build/.
package: board
	python3 packaging/make_ipk.py build/board build

# The host build's suite again under AddressSanitizer and UndefinedBehaviorSanitizer. The
# fake clock's library is preloaded ahead of the sanitizer runtime; ASan works behind it.
# The soak is left out: ASan holds freed memory back, so its memory bound cannot hold.
check-asan: deps asan
	cd build/asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:verify_asan_link_order=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 $(CTEST) -LE soak

# The threaded modes under ThreadSanitizer: the console engine's unit tests and the
# end-to-end tests of the interactive, mailbox, batch and one-shot runs, the ping watchdog
# and the file watch among them.
TSAN_TESTS = e2e\.test_(threads|console|watch)|^(engine|oneshot|oneshot_scripts|protect_quoted|push_keys|split_words|bridge|mailbox|interactive|keyboard|auto_reboot)\.
check-tsan: deps tsan
	cd build/tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(CTEST) -R '$(TSAN_TESTS)'

# The fuzz targets (clang, libFuzzer, ASan+UBSan), each run FUZZ_SECONDS seconds; fails on
# any finding. A longer run: make fuzz FUZZ_SECONDS=600.
FUZZ_SECONDS ?= 60
fuzz: deps
	bash fuzz/run.sh $(FUZZ_SECONDS)

# The benchmark table (bench/run.py): a report of the host build against its floors and of
# the board build's sizes, never a gate. As root (the image check needs a namespace).
bench: deps host board
	python3 bench/run.py

# The soak table of the long-running actions (tests/soak/soak.py): the host build's in full,
# then the shipped build's under qemu in a fifth of the cycles. As root (device roots).
SOAK = python3 tests/soak/soak.py
soak: deps host board
	SOAK_DRIVER=$(abspath build/host/tests/soak_driver) DEVROOT_EMULATOR= $(SOAK)
	SOAK_DRIVER=$(abspath build/board/tests/soak_driver) DEVROOT_EMULATOR="qemu-mips-static -cpu 24Kc" $(SOAK) --scale 0.2

# The interactive console (apmenu --test=0) on the default catalogue, in a device root.
demo: deps host
	python3 tests/devroot/demo.py --catalogue catalogue/default build/host/console/apmenu --test=0

clean:
	rm -rf build
