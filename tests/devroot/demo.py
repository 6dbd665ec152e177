#!/usr/bin/env python3
"""Runs a command on the user's terminal inside a throwaway device root.

    demo.py [--catalogue DIR] [--net] [--emulator CMD] COMMAND [ARG]...

--catalogue copies DIR into the root at /etc/apmenu and starts the command there.
The emulator defaults to DEVROOT_EMULATOR (for a program built for the board).
The root is removed when the command ends.
"""
import argparse
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from devroot import DeviceRoot, EMULATOR  # noqa: E402

CATALOGUE_DIR = '/etc/apmenu'


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
    return status


if __name__ == '__main__':
    sys.exit(main())
