#!/bin/sh
# The size report of the shipped programs: each program of the shipped build's install
# tree (stripped, as `make install` gives it) against its flash budget and its aim, with
# its floating-point ABI and what it needs on the device. Exits 1 when a program is over
# its budget, is not soft-float code (the board's 24Kc core has no FPU), or needs anything
# but the C library (musl's libc.so; the shipped programs are static and need nothing).
# A host build, when named, is checked the same way for what it needs (glibc's libc.so.6
# alone): it links the C++ runtime in as every build of ours does.
#
# usage: scripts/size-report.sh BOARD_BUILD_DIR [HOST_BUILD_DIR]
set -eu

APMENU_BUDGET=327680     # 320 KiB
APMENU_AIM=262144        # 256 KiB
BOARDUTIL_BUDGET=98304   # 96 KiB
BOARDUTIL_AIM=65536      # 64 KiB
BOARD_LIBRARIES="libc.so"
HOST_LIBRARIES="libc.so.6"
READELF=${READELF:-mips-linux-gnu-readelf}

build=${1:?usage: scripts/size-report.sh BOARD_BUILD_DIR [HOST_BUILD_DIR]}
host=${2:-}
stage=$(mktemp -d "${TMPDIR:-/tmp}/size-report.XXXXXX")
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix /usr --strip >/dev/null

status=0

# The shared libraries a program needs (readelf, program), blank-separated; "nothing"
# for none.
needed() {
    libs=$("$1" -d "$2" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' | tr '\n' ' ')
    libs=${libs% }
    echo "${libs:-nothing}"
}

# Whether every library of a needed list is one of the allowed ones.
only_allowed() {
    list=$1 allowed=$2
    [ "$list" = nothing ] && return 0
    for lib in $list; do
        case " $allowed " in *" $lib "*) ;; *) return 1 ;; esac
    done
}

echo "shipped programs, stripped:"
printf '%-10s %8s %8s %5s %8s %5s  %-11s %s\n' program bytes budget used aim used "FP ABI" needs
report() {
    name=$1 budget=$2 aim=$3
    file=$stage/usr/sbin/$name
    size=$(stat -c %s "$file")
    fp=$("$READELF" -A "$file" | sed -n 's/.*FP ABI: *//p')
    needs=$(needed "$READELF" "$file")
    note=""
    if [ "$size" -gt "$budget" ]; then
        note="$note  OVER BUDGET by $((size - budget)) bytes"
        status=1
    fi
    if [ "$fp" != "Soft float" ]; then
        note="$note  NOT SOFT FLOAT"
        status=1
    fi
    if ! only_allowed "$needs" "$BOARD_LIBRARIES"; then
        note="$note  NEEDS MORE THAN $BOARD_LIBRARIES"
        status=1
    fi
    printf '%-10s %8d %8d %4d%% %8d %4d%%  %-11s %s%s\n' "$name" "$size" "$budget" \
        $((size * 100 / budget)) "$aim" $((size * 100 / aim)) "$fp" "$needs" "$note"
}
report apmenu "$APMENU_BUDGET" "$APMENU_AIM"
report boardutil "$BOARDUTIL_BUDGET" "$BOARDUTIL_AIM"

if [ -n "$host" ]; then
    echo "host programs (libraries needed at run time):"
    for program in "$host/console/apmenu" "$host/boardutil/boardutil"; do
        needs=$(needed readelf "$program")
        note=""
        if ! only_allowed "$needs" "$HOST_LIBRARIES"; then
            note="  NEEDS MORE THAN $HOST_LIBRARIES"
            status=1
        fi
        printf '%-10s %s%s\n' "$(basename "$program")" "$needs" "$note"
    done
fi
exit $status
