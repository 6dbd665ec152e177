#!/usr/bin/env python3
"""Runs a command on the user's terminal inside a throwaway device root, then shows what
it did to the device: the commands it ran on the board's tools and the lines it logged.

    demo.py [--catalogue DIR] [--net] [--emulator CMD] COMMAND [ARG]...

--catalogue copies DIR into the root at /etc/apmenu and starts the command there.
The emulator defaults to DEVROOT_EMULATOR (for a program built for the board).
The root is removed when the command ends.
"""
import argparse
import os
import shlex
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from devroot import DeviceRoot, EMULATOR  # noqa: E402

CATALOGUE_DIR = '/etc/apmenu'
LOG = '/etc/log_zelk.txt'
COMMANDS_HEADING = 'Commands run on the device:'
LOG_HEADING = f'Lines logged in {LOG}:'
NOTHING = 'none'
INDENT = '  '


def report(root):
    """What the run did to the device, as text: each command the board's tools were run
    with (one line each, the words quoted as a shell needs them, a line end inside a word
    shown as \\n) and each logged line."""
    commands = [shlex.join(argv).replace('\n', '\\n') for argv in root.commands()]
    logged = root.read(LOG).splitlines() if root.exists(LOG) else []
    parts = []
    for heading, items in ((COMMANDS_HEADING, commands), (LOG_HEADING, logged)):
        parts.append('\n'.join([heading] + [INDENT + item for item in items or [NOTHING]]))
    return '\n\n'.join(parts) + '\n'


def main():
    parser = argparse.ArgumentParser(description='Run a command in a device root.')
    parser.add_argument('--catalogue', metavar='DIR',
                        help=f'folder copied to {CATALOGUE_DIR}, the working directory')
    parser.add_argument('--net', action='store_true', help='bring loopback up')
    parser.add_argument('--emulator', default=EMULATOR,
                        help='command that runs a program built for the board')
    parser.add_argument('command', nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ['--'] else args.command
    if not command:
        parser.error('no command given')
    if '/' in command[0]:
        command[0] = os.path.abspath(command[0])   # the root's working directory differs
    with DeviceRoot(emulator=args.emulator) as root:
        cwd = '/'
        if args.catalogue:
            shutil.copytree(args.catalogue, root.host_path(CATALOGUE_DIR))
            cwd = CATALOGUE_DIR
        try:
            status = root.run_interactive(command, cwd=cwd, net=args.net)
        except KeyboardInterrupt:
            status = 130
        sys.stdout.flush()
        sys.stdout.buffer.write(b'\n' + report(root).encode('utf-8', 'surrogateescape'))
        sys.stdout.flush()
    return status


if __name__ == '__main__':
    sys.exit(main())
