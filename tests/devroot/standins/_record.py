"""Call log shared by every stand-in of the device root.

A stand-in records its argv with record(sys.argv). Each call becomes one JSON line,
{"name": ..., "path": ..., "argv": [...]}, appended with O_APPEND in a single write so
that stand-ins running at the same time do not interleave. Arguments are kept exactly:
the interpreter runs in UTF-8 mode, so bytes that are not UTF-8 arrive as surrogate
escapes, and JSON keeps those as \\udcXX escapes.

Inside a device root the log is /dev/.devroot/calls.jsonl (the root's own /dev, away
from the /etc and /var that tests read); DEVROOT_CALLS names another file, which lets a
stand-in be tried outside a root. A stand-in starts like this (UTF-8 mode, and
neither PYTHON* variables nor site packages of the test's environment):

    #!/usr/bin/python3 -ESXutf8
    import sys
    sys.path.append('/dev/.devroot')   # where the root links this module
    from _record import record
    record(sys.argv)

A stand-in written as a shell script records itself with
    /usr/bin/python3 -ESXutf8 /dev/.devroot/_record.py "$0" "$@"
"""
import json
import os
import sys

DEFAULT_LOG = '/dev/.devroot/calls.jsonl'


def _text(arg):
    if isinstance(arg, bytes):
        return arg.decode('utf-8', 'surrogateescape')
    return os.fsencode(arg).decode('utf-8', 'surrogateescape')


def record(argv):
    """Appends one call: argv[0] is the path the stand-in was run by."""
    path = _text(argv[0])
    entry = {'name': os.path.basename(path), 'path': path,
             'argv': [_text(a) for a in argv[1:]]}
    line = (json.dumps(entry) + '\n').encode('ascii')
    fd = os.open(os.environ.get('DEVROOT_CALLS', DEFAULT_LOG),
                 os.O_WRONLY | os.O_APPEND | os.O_CREAT, 0o644)
    try:
        os.write(fd, line)
    finally:
        os.close(fd)


if __name__ == '__main__':
    if len(sys.argv) < 2:
        sys.exit('usage: _record.py PATH [ARG]...')
    record(sys.argv[1:])
