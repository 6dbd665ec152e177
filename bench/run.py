#!/usr/bin/env python3
"""The benchmark table: every figure measured side by side in one run, as ratios where the
machine's speed would otherwise show. A report, never a gate.

    python3 bench/run.py [--runs N] [--apmenu PATH] [--boardutil PATH] [--board DIR]

Rows:
- the one-shot get and set of mode 4 and the mailbox get of mode 5 (apmenu of the host
  build, in a temporary folder holding the default catalogue), against two floors: busybox
  grep of the value line (the platform's floor) and a minimal C++ program that reads the
  data file on a second thread and prints one line (the language's floor, built here the
  way apmenu is: g++ with the host build's optimisation and code options, the C++ runtime
  linked in, so that it needs only the C library); all interleaved, round after round,
  medians shown;
- the image check of boardutil over images of 8 and 64 MiB against cksum of the same file,
  and its CRC-32 rate against zlib's (Python's zlib.crc32, timed inside Python);
- the peak resident memory of each program (GNU time), the image check's at 8 against
  64 MiB;
- the shipped build's stripped sizes against their budgets and aims.
boardutil reads its board record from /dev/mtd0, so each check runs in a mount namespace of
its own with a temporary folder over /dev (root and unshare).
"""
import argparse
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE_DIR, 'tests', 'e2e'))
from fwimage import KERNEL, ROOTFS, Section, build_image, payload  # noqa: E402

CATALOGUE = os.path.join(SOURCE_DIR, 'catalogue', 'default')
BUSYBOX = shutil.which('busybox') or '/bin/busybox'
GNU_TIME = '/usr/bin/time'
STRIP = 'mips-linux-gnu-strip'
# Flash budget and aim of each shipped program.
BUDGETS = {'apmenu': (320 * 1024, 256 * 1024), 'boardutil': (96 * 1024, 64 * 1024)}
# How apmenu's host build compiles and links (RelWithDebInfo and the product options of
# CMakeLists.txt), and so the floor.
FLOOR_FLAGS = ['-O2', '-g', '-DNDEBUG', '-std=c++17', '-fno-exceptions', '-fno-rtti',
               '-fno-threadsafe-statics', '-fno-asynchronous-unwind-tables', '-fno-unwind-tables',
               '-pthread', '-static-libstdc++', '-static-libgcc']
FLOOR_NAME = 'C++ floor (thread, one line; built as apmenu)'
MIB = 1024 * 1024
IDS = (1, 2, 3, 4)
IMAGE_REPEATS = 3
MEMORY_RUNS = 5
# Inside the namespace: /dev becomes the temporary folder, then the check replaces the shell.
ENTER = 'mount --make-rprivate / && mount --bind "$1" /dev && shift && exec "$@"'

# The language's floor: what any C++ program that answers a get must at least do.
FLOOR_SOURCE = r'''
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
int main() {
    std::string answer;
    std::thread reader([&answer] {
        char line[256];
        FILE* f = std::fopen("zelk_data.txt", "r");
        if (!f) return;
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, "v;3;5=", 6) == 0) answer = line + 6;
        std::fclose(f);
    });
    reader.join();
    std::printf("[0.3.5]=%s", answer.c_str());
    return 0;
}
'''


def run_once(argv, folder, outputs):
    start = time.perf_counter()
    r = subprocess.run(argv, cwd=folder, stdin=subprocess.DEVNULL, capture_output=True)
    elapsed = time.perf_counter() - start
    if r.returncode != 0 or r.stdout not in outputs:
        sys.exit(f'{argv}: status {r.returncode}, output {r.stdout!r} {r.stderr!r}')
    return elapsed


def peak_rss(argv, folder, prefix=()):
    """Largest peak RSS (KiB) over a few runs, from the child's own rusage."""
    rss_file = os.path.join(folder, '.rss')
    peak = 0
    for _ in range(MEMORY_RUNS):
        subprocess.run([*prefix, GNU_TIME, '-f', '%M', '-o', rss_file, *argv], cwd=folder,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)
        with open(rss_file) as f:
            peak = max(peak, int(f.read().split()[-1]))
    os.unlink(rss_file)
    return peak


def console_rows(apmenu, runs, work):
    folder = os.path.join(work, 'catalogue')
    os.mkdir(folder)
    for name in ('zelk_title.txt', 'zelk_data.txt'):
        shutil.copy(os.path.join(CATALOGUE, name), folder)
    floor = os.path.join(work, 'cxx_floor')
    with open(floor + '.cpp', 'w') as f:
        f.write(FLOOR_SOURCE)
    subprocess.run(['g++', *FLOOR_FLAGS, floor + '.cpp', '-o', floor], check=True)
    commands = {
        'busybox grep of the value line': [BUSYBOX, 'grep', '^v;3;5=', 'zelk_data.txt'],
        FLOOR_NAME: [floor],
        'apmenu get (mode 4)': [apmenu, '--test=4', '--get', '--oid=0.3.5'],
        'apmenu set (mode 4)': [apmenu, '--test=4', '--set', '--oid=0.3.5', '--val=80'],
        'apmenu mailbox get (mode 5)': [apmenu, '--test=5', '--get', '--oid=0.3.5'],
    }
    outputs = (b'', b'[0.3.5]=80\n', b'v;3;5=80\n')
    for argv in commands.values():     # warm the page cache and the catalogue's state
        run_once(argv, folder, outputs)
    times = {name: [] for name in commands}
    for _ in range(runs):              # interleaved, so drift touches them all alike
        for name, argv in commands.items():
            times[name].append(run_once(argv, folder, outputs))
    median = {name: statistics.median(t) * 1000 for name, t in times.items()}
    grep, cxx, get = (median['busybox grep of the value line'],
                      median[FLOOR_NAME], median['apmenu get (mode 4)'])
    ratios = {
        'busybox grep of the value line': '1.00 x grep',
        FLOOR_NAME: f'{cxx / grep:.2f} x grep',
        'apmenu get (mode 4)': f'{get / grep:.2f} x grep, {get / cxx:.2f} x C++',
        'apmenu set (mode 4)': f'{median["apmenu set (mode 4)"] / grep:.2f} x grep, '
                               f'{median["apmenu set (mode 4)"] / cxx:.2f} x C++',
        'apmenu mailbox get (mode 5)': f'{median["apmenu mailbox get (mode 5)"] / get:.2f} x get',
    }
    return [(name, f'{median[name]:.2f} ms', ratios[name], peak_rss(argv, folder))
            for name, argv in commands.items()]


def board_block():
    block = struct.pack('>I', 0x20130417) + bytes(76) + struct.pack('>4H', *IDS)
    return bytes(0x2e000) + block + bytes(240 - len(block))


def best_time(argv, prefix=()):
    best = None
    for _ in range(IMAGE_REPEATS):
        start = time.perf_counter()
        r = subprocess.run([*prefix, *argv], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        elapsed = time.perf_counter() - start
        if r.returncode != 0:
            sys.exit(f'{argv} exited {r.returncode}')
        best = elapsed if best is None else min(best, elapsed)
    return best


def image_rows(boardutil, work):
    dev = os.path.join(work, 'dev')
    os.mkdir(dev)
    with open(os.path.join(dev, 'mtd0'), 'wb') as f:
        f.write(board_block())
    in_board = ['unshare', '--mount', '--', 'sh', '-c', ENTER, 'sh', dev]
    rows, peaks = [], {}
    for mib in (8, 64):
        image = os.path.join(work, f'fw-{mib}.img')
        with open(image, 'wb') as f:
            f.write(build_image([Section(0x680000, payload(KERNEL, 1536 * 1024)),
                                 Section(0x800000, payload(ROOTFS, mib * MIB))], ids=IDS))
        check = [boardutil, '-p', '0x20000', '-s', '0x7fe0000', 'ztqimg', image]
        subprocess.run(['cat', image], stdout=subprocess.DEVNULL, check=True)   # warm the cache
        ours = best_time(check, in_board)
        cksum = best_time(['cksum', image])
        with open(image, 'rb') as f:
            data = f.read()
        start = time.perf_counter()
        zlib.crc32(data)
        zlib_s = time.perf_counter() - start
        size = len(data) / MIB
        del data
        peaks[mib] = peak_rss(check, work, in_board)
        rows += [
            (f'boardutil ztqimg, {mib} MiB image', f'{ours * 1000:.1f} ms',
             f'{ours / cksum:.2f} x cksum; checks {size / ours:.0f} MiB/s', peaks[mib]),
            (f'cksum, same file', f'{cksum * 1000:.1f} ms', '1.00 x cksum',
             peak_rss(['cksum', image], work)),
            (f'zlib.crc32 in Python, same bytes', f'{zlib_s * 1000:.1f} ms',
             f'CRC {size / zlib_s:.0f} MiB/s; the check takes {ours / zlib_s:.2f} x', None),
        ]
        os.unlink(image)
    rows.append(('image check peak RSS, 64 against 8 MiB', '', f'{peaks[64] - peaks[8]:+d} KiB',
                 None))
    return rows


def size_rows(board):
    rows = []
    for name, (budget, aim) in BUDGETS.items():
        found = [os.path.join(d, name) for d in (os.path.join(board, 'console'),
                                                  os.path.join(board, 'boardutil'), board)
                 if os.path.isfile(os.path.join(d, name))]
        if not found or not shutil.which(STRIP):
            rows.append((f'{name} stripped (shipped build)', 'not built', f'budget {budget} B',
                         None))
            continue
        stripped = os.path.join(tempfile.gettempdir(), f'bench-{name}-{os.getpid()}')
        subprocess.run([STRIP, '-o', stripped, found[0]], check=True)
        size = os.path.getsize(stripped)
        os.unlink(stripped)
        rows.append((f'{name} stripped (shipped build)', f'{size} B',
                     f'{100 * size // budget}% of {budget} B budget, '
                     f'{100 * size // aim}% of {aim} B aim', None))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--runs', type=int, default=100)
    parser.add_argument('--apmenu', default=os.path.join(SOURCE_DIR, 'build/host/console/apmenu'))
    parser.add_argument('--boardutil',
                        default=os.path.join(SOURCE_DIR, 'build/host/boardutil/boardutil'))
    parser.add_argument('--board', default=os.path.join(SOURCE_DIR, 'build/board'))
    args = parser.parse_args()
    for program in (args.apmenu, args.boardutil, GNU_TIME):
        if not os.access(program, os.X_OK):
            sys.exit(f'{program}: not found; build first (make host) and install GNU time')
    work = tempfile.mkdtemp(prefix='apmenu-bench-')
    try:
        rows = (console_rows(os.path.abspath(args.apmenu), args.runs, work)
                + image_rows(os.path.abspath(args.boardutil), work) + size_rows(args.board))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    head = ('measure', 'time', 'ratio', 'peak RSS')
    table = [head] + [(n, t, r, '' if m is None else f'{m} KiB') for n, t, r, m in rows]
    widths = [max(len(row[k]) for row in table) for k in range(4)]
    print(f'apmenu benchmark, {args.runs} interleaved runs per console row (medians), '
          f'best of {IMAGE_REPEATS} per image row')
    for k, row in enumerate(table):
        print('| ' + ' | '.join(c.ljust(w) for c, w in zip(row, widths)) + ' |')
        if k == 0:
            print('|' + '|'.join('-' * (w + 2) for w in widths) + '|')


if __name__ == '__main__':
    main()
