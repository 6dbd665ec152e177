#!/usr/bin/env python3
"""Benchmark: apmenu's one-shot get and set against the floor of reading the same value.

In a temporary folder holding the default catalogue, runs side by side, round after round:
  get    apmenu --test=4 --get --oid=0.3.5
  set    apmenu --test=4 --set --oid=0.3.5 --val=80   (the value it already has, so every
         run starts from the same file)
  mget   apmenu --test=5 --get --oid=0.3.5           (the same get through the mailbox of
         an engine thread)
  floor  busybox grep '^v;3;5=' zelk_data.txt          (any process that reads the value)
and prints the mean and median wall time of each (the median shrugs off a busy machine's
stray slow runs), the ratios get/floor, set/floor and mailbox get/one-shot get, and the peak
resident memory of each program. Target: a get within 2 times the floor.

Peak memory comes from GNU time (/usr/bin/time -f %M, the child's wait4 rusage), measured
in separate runs so that its own start does not count in the times; without it, the
RUSAGE_CHILDREN maximum is shown, which may be this script's own size, since a child
forked from Python starts with Python's pages.

The folder's file system counts when a run saves the data file, which is flushed to the
disk: a get saves when its lookup changes the OID or the value in 0;1;10 and 0;1;11, so the
repeated get here saves after its first run only, like the set of an unchanged value. TMPDIR chooses the folder; the file system is printed. Run by hand:

    python3 bench/console_oneshot.py [path/to/apmenu] [runs]
    TMPDIR=/dev/shm python3 bench/console_oneshot.py ...
"""
import os
import resource
import statistics
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(HERE)
CATALOGUE = os.path.join(SOURCE_DIR, 'catalogue', 'default')
DEFAULT_APMENU = os.path.join(SOURCE_DIR, 'build', 'host', 'console', 'apmenu')
BUSYBOX = shutil.which('busybox') or '/bin/busybox'
GNU_TIME = '/usr/bin/time'
RUNS = 200
MEMORY_RUNS = 10
TARGET_RATIO = 2.0


def commands(apmenu):
    return {
        'get': [apmenu, '--test=4', '--get', '--oid=0.3.5'],
        'set': [apmenu, '--test=4', '--set', '--oid=0.3.5', '--val=80'],
        'mget': [apmenu, '--test=5', '--get', '--oid=0.3.5'],
        'floor': [BUSYBOX, 'grep', '^v;3;5=', 'zelk_data.txt'],
    }


def run_once(argv, folder):
    """Wall time (s) of one run; its output must be what a read of 0.3.5 gives."""
    start = time.perf_counter()
    r = subprocess.run(argv, cwd=folder, stdin=subprocess.DEVNULL, capture_output=True)
    elapsed = time.perf_counter() - start
    if r.returncode != 0 or r.stdout not in (b'', b'[0.3.5]=80\n', b'v;3;5=80\n'):
        sys.exit(f'{argv}: status {r.returncode}, output {r.stdout!r} {r.stderr!r}')
    return elapsed


def peak_memory(argv, folder):
    """Largest peak RSS (KiB) over a few runs, and how it was measured."""
    if os.access(GNU_TIME, os.X_OK):
        rss_file = os.path.join(folder, '.rss')
        peak = 0
        for _ in range(MEMORY_RUNS):
            subprocess.run([GNU_TIME, '-f', '%M', '-o', rss_file] + argv, cwd=folder,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)
            with open(rss_file) as f:
                peak = max(peak, int(f.read().split()[-1]))
        os.unlink(rss_file)
        return peak, 'GNU time'
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    for _ in range(MEMORY_RUNS):
        run_once(argv, folder)
    after = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    return max(before, after), 'rusage, upper bound'


def main():
    apmenu = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else DEFAULT_APMENU)
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else RUNS
    if not os.access(apmenu, os.X_OK):
        sys.exit(f'{apmenu}: not an executable; build it first or give its path')
    folder = tempfile.mkdtemp(prefix='console-oneshot-')
    try:
        for name in ('zelk_title.txt', 'zelk_data.txt'):
            shutil.copy(os.path.join(CATALOGUE, name), folder)
        cmds = commands(apmenu)
        for argv in cmds.values():      # warm the page cache and the catalogue's state
            run_once(argv, folder)
        times = {name: [] for name in cmds}
        for _ in range(runs):           # interleaved, so drift touches them all alike
            for name, argv in cmds.items():
                times[name].append(run_once(argv, folder))
        means = {name: statistics.mean(t) for name, t in times.items()}
        medians = {name: statistics.median(t) for name, t in times.items()}
        memory = {name: peak_memory(argv, folder) for name, argv in cmds.items()}
    finally:
        shutil.rmtree(folder, ignore_errors=True)

    fs = subprocess.run(['stat', '-f', '-c', '%T', tempfile.gettempdir()],
                        capture_output=True, text=True).stdout.strip() or '?'
    print(f'apmenu: {apmenu}')
    print(f'{runs} runs each, interleaved, in a temporary folder on {fs}')
    for name in cmds:
        peak, how = memory[name]
        print(f'{name:6} mean {means[name] * 1000:7.3f} ms  median {medians[name] * 1000:7.3f} ms'
              f'  peak RSS {peak:6d} KiB ({how})')
    get_ratio = means['get'] / means['floor']
    print(f"get/floor {get_ratio:.2f} (median {medians['get'] / medians['floor']:.2f})   "
          f"set/floor {means['set'] / means['floor']:.2f} "
          f"(median {medians['set'] / medians['floor']:.2f})")
    print(f"mailbox get/one-shot get {means['mget'] / means['get']:.2f} "
          f"(median {medians['mget'] / medians['get']:.2f})")
    print(f'target: get within {TARGET_RATIO:g}x the floor: '
          + ('met' if get_ratio <= TARGET_RATIO else 'missed'))


if __name__ == '__main__':
    main()
