#!/bin/sh
# Installs the Debian packages that the build and the tests need, when any is missing.
# Run as root on Debian 12.
set -eu

packages="cmake make g++ googletest libgtest-dev python3 busybox faketime qemu-user-static
g++-mips-linux-gnu binutils-mips-linux-gnu util-linux iproute2 procps clang libclang-rt-14-dev tmux time"

missing=""
for p in $packages; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
fi
# The shipped build's cross compiler, from npm at its pinned version.
sh "$(dirname "$0")/install-zig.sh"
# busybox-static's busybox (telnetd, telnet) for the telnet test; not installed, as it
# conflicts with busybox: unpacked into build/cache/busybox-static.
sh "$(dirname "$0")/../tests/devroot/fetch-busybox-static.sh" >/dev/null
