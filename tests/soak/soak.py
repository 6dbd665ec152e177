#!/usr/bin/env python3
"""The soak table: each long-running action of apmenu run for many cycles in a device root
of its own, with what months in the field would show, checked against the bounds.

    python3 tests/soak/soak.py [--scale S] [--markdown]

SOAK_DRIVER names the driver (soak_driver of a build; a board build's runs under
DEVROOT_EMULATOR). The watchdog cases ping 127.0.0.1 in the root's own network namespace,
answering and silent; the watch cases check a log every 0 s with new matches, with none
and with a watched command that fails; the mailbox case sets and gets a parameter through
one engine run. --scale multiplies the cycles (10,000 for the watchdog and the watch, 1,000
sets and gets): 0.1 is CI's short version. Exits 1 when a case breaks a bound:
- memory at the end within 64 KiB of memory after the first tenth: the resident memory
  (on the host's own build; under an emulator it is the emulator's) and the heap in use;
- the same open descriptors at the start and at the end;
- no child process left;
- the message file never above its bound (20,480 bytes) plus one line;
- every cycle done, and every mailbox get answered with the value just set.
"""
import argparse
import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'devroot'))
from devroot import EMULATOR, SOURCE_DIR, DeviceRoot  # noqa: E402

DRIVER = os.environ.get('SOAK_DRIVER', '')
CATALOGUE = os.path.join(SOURCE_DIR, 'catalogue', 'default')
FOLDER = '/var/soak'
# case, cycles at scale 1, what the root's network does
CASES = [
    ('ping-answered', 10000, dict(net=True)),
    ('ping-silent', 10000, dict(ping_silent=True)),
    ('watch-new', 10000, {}),
    ('watch-none', 10000, {}),
    ('watch-failing', 10000, {}),
    ('mailbox', 1000, {}),
]
MEMORY_GROWTH_KIB = 64
MESSAGE_BOUND = 20480
LONGEST_LINE = 192           # a reply line of the message file at most
SECONDS_PER_CYCLE = 0.05     # the timeout's allowance, generous for an emulator
COLUMNS = ('case', 'cycles', 'RSS at 1/10', 'RSS at end', 'heap at 1/10', 'heap at end',
           'fds start', 'fds end', 'children left', 'message file max')


def run_case(name, cycles, network):
    with DeviceRoot() as root:
        root.mkdir(FOLDER)
        for file_name in ('zelk_title.txt', 'zelk_data.txt'):
            with open(os.path.join(CATALOGUE, file_name), 'rb') as f:
                root.write(f'{FOLDER}/{file_name}', f.read())
        r = root.run([DRIVER, name, str(cycles), FOLDER], cwd=FOLDER,
                     timeout=60 + cycles * SECONDS_PER_CYCLE, **network)
    if r.returncode != 0 or not r.stdout.strip():
        raise AssertionError(f'{name}: status {r.returncode}\n{r.stdout}\n{r.stderr}')
    return json.loads(r.stdout.strip().splitlines()[-1])


def faults(figures, cycles):
    found = []
    if figures['cycles'] != cycles:
        found.append(f"{figures['cycles']} of {cycles} cycles done")
    if not EMULATOR and figures['rss_end_kib'] - figures['rss_tenth_kib'] > MEMORY_GROWTH_KIB:
        found.append(f"memory grew {figures['rss_end_kib'] - figures['rss_tenth_kib']} KiB")
    if figures['heap_end'] - figures['heap_tenth'] > MEMORY_GROWTH_KIB * 1024:
        found.append(f"heap grew {figures['heap_end'] - figures['heap_tenth']} bytes")
    if figures['fds_end'] != figures['fds_start']:
        found.append(f"descriptors {figures['fds_start']} -> {figures['fds_end']}")
    if figures['children'] != 0:
        found.append(f"{figures['children']} children left")
    if figures['message_max'] > MESSAGE_BOUND + LONGEST_LINE:
        found.append(f"message file reached {figures['message_max']} bytes")
    if figures['wrong_answers']:
        found.append(f"{figures['wrong_answers']} gets answered another value")
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--scale', type=float, default=1.0)
    args = parser.parse_args()
    if not DRIVER or not os.path.exists(DRIVER):
        sys.exit('SOAK_DRIVER: no soak driver; build the tests first')
    rows, broken = [], []
    for name, base, network in CASES:
        cycles = max(10, int(base * args.scale))
        figures = run_case(name, cycles, network)
        found = faults(figures, cycles)
        broken += [f'{name}: {f}' for f in found]
        message = f"{figures['message_max']} B, emptied {figures['message_restarts']}x" \
            if name.startswith('ping') else ''
        rows.append((name, str(figures['cycles']), f"{figures['rss_tenth_kib']} KiB",
                     f"{figures['rss_end_kib']} KiB", f"{figures['heap_tenth']} B",
                     f"{figures['heap_end']} B", str(figures['fds_start']),
                     str(figures['fds_end']), str(figures['children']), message))
    table = [COLUMNS] + rows
    widths = [max(len(row[k]) for row in table) for k in range(len(COLUMNS))]
    print(f'soak of {DRIVER} at scale {args.scale:g}'
          + (f' under {EMULATOR} (its RSS is the emulator\'s)' if EMULATOR else ''))
    for k, row in enumerate(table):
        print('| ' + ' | '.join(c.ljust(w) for c, w in zip(row, widths)) + ' |')
        if k == 0:
            print('|' + '|'.join('-' * (w + 2) for w in widths) + '|')
    for line in broken:
        print('BOUND BROKEN: ' + line)
    return 1 if broken else 0


if __name__ == '__main__':
    sys.exit(main())
