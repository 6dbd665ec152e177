#!/bin/sh
# The size report of the board programs as they ship: each program of the build's install
# tree (stripped, as `make install` gives it) against its flash budget, with the shared
# libraries it needs. Exits 1 when a program is over its budget or boardutil needs more
# than the C library (it must run on an image without the C++ one).
#
# usage: scripts/size-report.sh BUILD_DIR
set -eu

APMENU_BUDGET=163840     # 160 KiB
BOARDUTIL_BUDGET=20480   # 20 KiB
BOARDUTIL_LIBRARIES="libc.so.6"
READELF=${READELF:-mips-linux-gnu-readelf}

build=${1:?usage: scripts/size-report.sh BUILD_DIR}
stage=$(mktemp -d "${TMPDIR:-/tmp}/size-report.XXXXXX")
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix /usr --strip >/dev/null

status=0
echo "board programs, stripped:"
printf '%-10s %8s %8s %5s  %s\n' program bytes budget used "libraries needed"
report() {
    name=$1 budget=$2
    file=$stage/usr/sbin/$name
    size=$(stat -c %s "$file")
    needed=$("$READELF" -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' | tr '\n' ' ')
    needed=${needed% }
    note=""
    if [ "$size" -gt "$budget" ]; then
        note="  OVER BUDGET by $((size - budget)) bytes"
        status=1
    fi
    printf '%-10s %8d %8d %4d%%  %s%s\n' "$name" "$size" "$budget" \
        $((size * 100 / budget)) "$needed" "$note"
}
report apmenu "$APMENU_BUDGET"
report boardutil "$BOARDUTIL_BUDGET"

boardutil_needs=$("$READELF" -d "$stage/usr/sbin/boardutil" |
    sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' | tr '\n' ' ')
if [ "${boardutil_needs% }" != "$BOARDUTIL_LIBRARIES" ]; then
    echo "boardutil needs ${boardutil_needs% }: it may need $BOARDUTIL_LIBRARIES alone" >&2
    status=1
fi
exit $status
