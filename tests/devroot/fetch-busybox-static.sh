#!/bin/sh
# Fetches Debian's busybox-static, whose busybox has the telnetd and telnet applets that
# the telnet test serves and drives the console with, and prints the path of that busybox.
# The package conflicts with Debian's busybox, so it is not installed: apt-get downloads
# it and dpkg-deb unpacks it into CACHE/<version>/, which later calls reuse.
#
# Usage: fetch-busybox-static.sh [CACHE]      (default: build/cache/busybox-static)
# CACHE/current then links to the version fetched last.
# Needs apt-get and dpkg-deb; as root on a fresh machine it refreshes a stale index once.
set -eu

package='busybox-static'
applets="telnetd telnet"
here=$(cd "$(dirname "$0")" && pwd)
cache=${1:-$here/../../build/cache/$package}

candidate() {
    apt-cache policy "$package" 2>/dev/null | sed -n 's/^ *Candidate: *//p'
}

# Sets version, dir and busybox from apt's index.
find_version() {
    version=$(candidate)
    case $version in
        ''|'(none)') return 1 ;;
    esac
    # An epoch's ':' stays out of the folder name.
    dir=$cache/$(printf '%s' "$version" | tr ':' '_')
    busybox=$dir/bin/busybox
}

download() {
    rm -f "$work"/*.deb
    (cd "$work" && apt-get download -qq -o APT::Sandbox::User=root "$package=$version" >&2)
}

find_version || { apt-get update -qq >&2 && find_version; } ||
    { echo "$0: apt knows no $package" >&2; exit 1; }
if [ ! -x "$busybox" ]; then
    mkdir -p "$cache"
    work=$(mktemp -d "$cache/.fetch.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    # A download that fails on a stale index gets one more try after an update, which
    # may name a newer version.
    download || { apt-get update -qq >&2 && find_version && { [ -x "$busybox" ] || download; }; }
fi
if [ ! -x "$busybox" ]; then
    dpkg-deb -x "$work"/*.deb "$work/unpacked"
    mkdir -p "$work/out/bin"
    cp "$work/unpacked/bin/busybox" "$work/out/bin/busybox"
    for applet in $applets; do
        if ! "$work/out/bin/busybox" --list | grep -qx "$applet"; then
            echo "$0: $package $version has no $applet applet" >&2
            exit 1
        fi
    done
    # Whole or not at all: a test running meanwhile sees the folder complete or absent,
    # and of two fetches at once the second keeps the first's folder.
    mv -T "$work/out" "$dir" 2>/dev/null || [ -x "$busybox" ]
fi
# CACHE/current names the version fetched last, for readers that ask apt nothing.
ln -sfn "$(basename "$dir")" "$cache/.current.$$" && mv -T "$cache/.current.$$" "$cache/current"
printf '%s\n' "$(cd "$dir" && pwd)/bin/busybox"
