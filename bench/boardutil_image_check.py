#!/usr/bin/env python3
"""Benchmark: boardutil's image check against cksum over the same file.

Builds a valid image with a 64 MiB root file system (and one of 8 MiB), verifies each with
`boardutil ztqimg`, runs `cksum` over the same file, and prints the times, their ratio and
the peak resident memory of each program. The check streams the file, so its memory should
be the same for 8 and 64 MiB.

Peak memory comes from GNU time (/usr/bin/time -f %M, the child's wait4 rusage): a child
forked straight from this script would carry the script's own memory, images included,
into its ru_maxrss.

boardutil reads the board record from /dev/mtd0, so each run gets a mount namespace of its
own with a temporary folder over /dev that holds a new-style board block (needs root and
unshare). Run by hand:

    python3 bench/boardutil_image_check.py [path/to/boardutil]
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'tests', 'e2e'))
from fwimage import KERNEL, ROOTFS, Section, build_image, payload  # noqa: E402

IDS = (1, 2, 3, 4)
MIB = 1024 * 1024
REPEATS = 3
TARGET_RATIO = 4.0
GNU_TIME = '/usr/bin/time'
# Inside the namespace: /dev becomes the temporary folder, then the measured command
# replaces the shell.
ENTER = 'mount --make-rprivate / && mount --bind "$1" /dev && shift && exec "$@"'


def board_block():
    block = struct.pack('>I', 0x20130417) + bytes(76) + struct.pack('>4H', *IDS)
    return bytes(0x2e000) + block + bytes(240 - len(block))


def timed_run(argv, prefix, rss_file):
    """Wall time (s) and peak RSS (KiB) of one run; fails on a non-zero status."""
    command = prefix + [GNU_TIME, '-f', '%M', '-o', rss_file] + argv
    start = time.perf_counter()
    status = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if status.returncode != 0:
        sys.exit(f'{" ".join(command)} exited {status.returncode}')
    with open(rss_file) as f:
        return elapsed, int(f.read().split()[-1])


def best_of(argv, prefix, rss_file):
    runs = [timed_run(argv, prefix, rss_file) for _ in range(REPEATS)]
    return min(t for t, _ in runs), max(m for _, m in runs)


def measure(boardutil, folder, dev, rootfs_mib):
    image = os.path.join(folder, f'fw-{rootfs_mib}.img')
    sections = [Section(0x680000, payload(KERNEL, 1536 * 1024)),
                Section(0x800000, payload(ROOTFS, rootfs_mib * MIB))]
    with open(image, 'wb') as f:
        f.write(build_image(sections, ids=IDS))
    del sections
    in_board = ['unshare', '--mount', '--', 'sh', '-c', ENTER, 'sh', dev]
    rss_file = os.path.join(folder, 'rss')
    check = [boardutil, '-p', '0x20000', '-s', '0x7fe0000', 'ztqimg', image]
    subprocess.run(['cat', image], stdout=subprocess.DEVNULL, check=True)  # warm the cache
    return (best_of(check, in_board, rss_file), best_of(['cksum', image], [], rss_file),
            os.path.getsize(image))


def main():
    boardutil = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                                os.path.join(HERE, '..', 'build', 'host', 'boardutil',
                                             'boardutil'))
    if not os.access(GNU_TIME, os.X_OK):
        sys.exit(f'{GNU_TIME}: GNU time is needed for the memory figures')
    if not os.access(boardutil, os.X_OK):
        sys.exit(f'{boardutil}: no boardutil binary (give its path as the argument)')
    folder = tempfile.mkdtemp(prefix='boardutil-bench-')
    try:
        dev = os.path.join(folder, 'dev')
        os.mkdir(dev)
        with open(os.path.join(dev, 'mtd0'), 'wb') as f:
            f.write(board_block())
        results = {mib: measure(boardutil, folder, dev, mib) for mib in (8, 64)}
    finally:
        shutil.rmtree(folder, ignore_errors=True)

    for mib, ((t_check, m_check), (t_cksum, m_cksum), size) in results.items():
        print(f'{mib:2d} MiB root fs, image {size} bytes: boardutil {t_check * 1000:7.1f} ms '
              f'(peak {m_check} KiB), cksum {t_cksum * 1000:7.1f} ms (peak {m_cksum} KiB), '
              f'ratio {t_check / t_cksum:.2f}')
    (t_check, m64), (t_cksum, _), _ = results[64]
    m8 = results[8][0][1]
    ratio = t_check / t_cksum
    print(f'64 MiB: boardutil / cksum = {ratio:.2f} (target at most {TARGET_RATIO:.0f}): '
          f'{"met" if ratio <= TARGET_RATIO else "NOT met"}')
    print(f'peak memory of the check: {m8} KiB at 8 MiB, {m64} KiB at 64 MiB '
          f'({m64 - m8:+d} KiB)')


if __name__ == '__main__':
    main()
