#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# into build/fuzz/ and runs each for the given number of seconds (default 60), one after
# the other. Prints each target's executions and coverage; exits non-zero when any target
# reports a finding (its input is kept under build/fuzz/artifacts/<target>/).
#
# usage: fuzz/run.sh [seconds]
#   FUZZ_TARGETS="code_number_fuzz ..."  runs only these targets
#   FUZZ_SEED=N  the mutation seed (default 1: a run from a clean checkout is repeatable,
#                so what CI finds can be found again; FUZZ_SEED=0 lets libFuzzer choose)
#   reproduce a finding: build/fuzz/<target> build/fuzz/artifacts/<target>/crash-...
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
case "$seconds" in ''|*[!0-9]*) echo "usage: fuzz/run.sh [seconds]" >&2; exit 2 ;; esac

targets="${FUZZ_TARGETS:-catalogue_load_fuzz key_script_fuzz key_lines_fuzz code_number_fuzz image_check_fuzz text_helpers_fuzz echo_reply_fuzz config_queries_fuzz shell_quote_fuzz}"
build=build/fuzz
cxx="${FUZZ_CXX:-clang++}"

cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j "${JOBS:-2}" --target $targets

# Longest input of each target: catalogues and key scripts are short texts, an image
# needs room for its board blocks and a few sections, a packet fills at most the
# watchdog's receive buffer, query output is a few lines (uci_get's of up to 511
# characters), and a quoted value is longer than any a command takes.
max_len() {
    case "$1" in
    image_check_fuzz) echo 8192 ;;
    code_number_fuzz) echo 64 ;;
    echo_reply_fuzz) echo 4096 ;;
    config_queries_fuzz) echo 2048 ;;
    shell_quote_fuzz) echo 1024 ;;
    *) echo 4096 ;;
    esac
}

# AddressSanitizer's options of each target. key_lines_fuzz keeps one run's tables from
# input to input and frees little per input; with the default quarantine (256 MiB) most
# of its time goes to faulting in fresh pages and recycling. 4 MiB still holds the freed
# memory of many of its inputs, so a use after free of this or an earlier input is still
# caught.
# Its inputs are short and allocate many small texts, and recording each allocation's
# stack is a good part of their cost: it records two frames (the allocation and its
# caller; with fewer, LeakSanitizer reports no leak at all). A finding's report still
# names the fault and where it happened; running the target on the kept input (as the
# top of this file shows) gives the whole stacks.
asan_options() {
    case "$1" in
    key_lines_fuzz) echo "detect_leaks=1:quarantine_size_mb=4:malloc_context_size=2" ;;
    *) echo "detect_leaks=1" ;;
    esac
}

# Scratch files of the targets (catalogue copies, images) live in memory when it can.
scratch_root=/dev/shm
[ -d "$scratch_root" ] && [ -w "$scratch_root" ] || scratch_root="${TMPDIR:-/tmp}"

summary=""
failed=""
for t in $targets; do
    corpus="$build/corpus/$t"
    artifacts="$build/artifacts/$t"
    log="$build/logs/$t.log"
    mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
    scratch="$(mktemp -d "$scratch_root/$t.XXXXXX")"
    echo "== $t: ${seconds}s"
    status=0
    # The first corpus folder gathers what the run finds; the seeds stay as they are.
    TMPDIR="$scratch" ASAN_OPTIONS="${ASAN_OPTIONS:-$(asan_options "$t")}" \
        UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}" \
        "$build/$t" -max_total_time="$seconds" -seed="${FUZZ_SEED:-1}" -print_final_stats=1 -timeout=30 \
        -rss_limit_mb=2048 -max_len="$(max_len "$t")" -artifact_prefix="$artifacts/" \
        "$corpus" "fuzz/corpus/$t" >"$log" 2>&1 || status=$?
    rm -rf "$scratch"
    execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
    rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)"
    cov="$(grep -o ' cov: [0-9]*' "$log" | tail -n 1 | tr -dc 0-9)"
    ft="$(grep -o ' ft: [0-9]*' "$log" | tail -n 1 | tr -dc 0-9)"
    line="$(printf '%-22s executions %-10s (%s/s)  cov %-6s ft %s' "$t" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}")"
    if [ "$status" -ne 0 ]; then
        line="$line  FINDING (status $status)"
        failed="$failed $t"
        # The report: from the first sanitizer or fuzzer error line on.
        sed -n '/ERROR\|^fuzz:\|runtime error/,$p' "$log" | head -n 60
        echo "   log: $log; input: $(ls "$artifacts" | head -n 3 | tr '\n' ' ')"
    fi
    echo "$line"
    summary="$summary$line"$'\n'
done

echo
echo "fuzz summary (${seconds}s per target):"
printf '%s' "$summary"
if [ -n "$failed" ]; then
    echo "findings in:$failed" >&2
    exit 1
fi
