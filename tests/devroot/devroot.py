"""Throwaway device root for end-to-end tests.

A DeviceRoot is a temporary folder on the host holding the board's /etc, /var, /proc and
/dev. run() starts a real program in fresh mount, PID and network namespaces (unshare)
where enter.sh has laid those folders over the host's, put busybox over /bin/sh and the
stand-ins first on PATH. So the program sees the board's paths, reaches no host process,
no host network and no host reboot, and leaves the host's own folders untouched.

    from devroot import DeviceRoot, APMENU
    with DeviceRoot() as root:
        root.write('/etc/config/network', text)
        r = root.run([APMENU, '--test=4'], stdin='q\\n', cwd='/etc/apmenu')
        root.calls('vconfig')   # [['vconfig', 'add', 'eth0', '10'], ...]

start() runs a program alongside the test (a server the test talks to) and returns at
once; its wait() gives the result, its kill() ends the namespace.

Every stand-in (an executable file in standins/ whose name does not start with '_')
records its argv in a log that calls() reads; standins/init.d/ is copied into the
root's /etc/init.d/.
"""
import json
import mmap
import os
import posixpath
import shlex
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
STANDINS_DIR = os.path.join(HERE, 'standins')
ENTER_SH = os.path.join(HERE, 'enter.sh')

APMENU = os.environ.get('APMENU', '')
BOARDUTIL = os.environ.get('BOARDUTIL', '')
HOST_BUILD = os.environ.get('DEVROOT_HOST_BUILD') == '1'
EMULATOR = os.environ.get('DEVROOT_EMULATOR', '')
SOURCE_DIR = os.environ.get('SOURCE_DIR') or os.path.dirname(os.path.dirname(HERE))

# The board folders a root replaces; every other path inside is the host's.
ROOT_FOLDERS = ('etc', 'var', 'proc', 'dev')
SYSTEM_PATH = '/usr/sbin:/usr/bin:/sbin:/bin'
BUSYBOX = '/bin/busybox'
FAKETIME = '/usr/bin/faketime'
# Tools that are busybox applets on the board (the shell's builtins aside).
BUSYBOX_APPLETS = ('cat', 'grep', 'kill', 'mkdir', 'pidof', 'sed')
# Host programs that could restart the machine; the reboot recorder covers each.
REBOOT_PROGRAMS = [f'{d}/{p}' for p in ('reboot', 'halt', 'poweroff', 'shutdown', 'telinit',
                                        'systemctl')
                   for d in ('/sbin', '/usr/sbin', '/bin', '/usr/bin')]
# Host devices bound into the root's /dev.
HOST_DEVICES = ('null', 'zero', 'full', 'random', 'urandom', 'tty')
# Kernel entries of /proc that programs, sanitizers and qemu read; each links into
# the namespace's procfs at /proc/.kernel. Numeric (process) entries stay out.
KERNEL_PROC_ENTRIES = ('self', 'thread-self', 'sys', 'mounts', 'meminfo', 'cpuinfo',
                       'stat', 'uptime', 'loadavg', 'filesystems')
# Copied from the host's /etc when present: what the C library reads.
HOST_ETC_FILES = ('protocols', 'services', 'ld.so.cache')
ETC_FILES = {
    'passwd': 'root:x:0:0:root:/root:/bin/sh\nnobody:x:65534:65534:nobody:/var:/bin/false\n',
    'group': 'root:x:0:\nnogroup:x:65534:\n',
    'hosts': '127.0.0.1 localhost\n::1 localhost\n',
    'nsswitch.conf': ''.join(f'{db}: files\n' for db in (
        'passwd', 'group', 'shadow', 'hosts', 'networks', 'protocols', 'services')),
}
# Inside the root: where stand-ins find _record.py and write the call log.
RECORD_DIR = '/dev/.devroot'
CALLS_LOG = RECORD_DIR + '/calls.jsonl'
SETUP_FAILED = 125      # enter.sh's exit status when the root could not be laid out
KILL_GRACE = 5          # seconds to collect output after a namespace was killed

# Runs "$@" as a shell of its own whose pid the program keeps, with its /proc entry.
LEAK_CHECKED_EXEC = 'ln -sf ".kernel/$$" "/proc/$$"; exec "$@"'

ADDED_STANDIN = '''#!/usr/bin/python3 -ESXutf8
# Records the call, then runs the test's own script.
import os, sys
sys.path.append({record_dir!r})
from _record import record
record(sys.argv)
os.execv({real!r}, [{real!r}] + sys.argv[1:])
'''


class DeviceRootError(RuntimeError):
    """The root could not be laid out inside the namespace."""


class RunTimeout(AssertionError):
    """A run outlived its timeout; its whole namespace was killed."""

    def __init__(self, argv, timeout, stdout, stderr):
        self.argv, self.timeout = argv, timeout
        self.stdout, self.stderr = _text(stdout), _text(stderr)
        super().__init__(
            f'{shlex.join(map(os.fsdecode, argv))} did not finish within {timeout} s; '
            f'its namespace was killed.\n--- stdout ---\n{self.stdout}\n'
            f'--- stderr ---\n{self.stderr}')


class RunResult:
    """Outcome of one run. A program killed by signal N exits 128+N (the shell's way)."""

    def __init__(self, argv, returncode, stdout, stderr):
        self.argv = argv
        self.returncode = returncode
        self.stdout_bytes, self.stderr_bytes = stdout, stderr
        self.stdout, self.stderr = _text(stdout), _text(stderr)

    def __repr__(self):
        return (f'RunResult(returncode={self.returncode}, stdout={self.stdout!r}, '
                f'stderr={self.stderr!r})')


def _text(data):
    return (data or b'').decode('utf-8', 'surrogateescape')


def _bytes(data):
    return data.encode('utf-8', 'surrogateescape') if isinstance(data, str) else data


def _elf_machine(path):
    """e_machine of an ELF file, or None for anything else."""
    try:
        with open(path, 'rb') as f:
            head = f.read(20)
    except OSError:
        return None
    if len(head) < 20 or head[:4] != b'\x7fELF':
        return None
    return int.from_bytes(head[18:20], 'little' if head[5] == 1 else 'big')


HOST_MACHINE = _elf_machine('/proc/self/exe')
# Text found in a program built with a leak checker (linked runtime or its messages).
LEAK_CHECKER_MARKS = (b'libasan.so', b'liblsan.so', b'LeakSanitizer')
_leak_checked = {}


def _has_leak_checker(path):
    """Whether the program at this host path runs a leak check at exit."""
    try:
        stat = os.stat(path)
    except (OSError, ValueError):
        return False
    key = (path, stat.st_mtime_ns, stat.st_size)
    if key not in _leak_checked:
        found = False
        if _elf_machine(path) is not None:
            with open(path, 'rb') as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as m:
                found = any(m.find(mark) >= 0 for mark in LEAK_CHECKER_MARKS)
        _leak_checked[key] = found
    return _leak_checked[key]


def _kill_namespace(proc):
    """Kills unshare; --kill-child takes the namespace's pid 1 and so every process in
    it along. Returns what the run had written."""
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        proc.kill()
    try:
        return proc.communicate(timeout=KILL_GRACE)
    except (subprocess.TimeoutExpired, ValueError):
        proc.kill()
        return b'', b''


class Run:
    """A program started inside a root by DeviceRoot.start()."""

    def __init__(self, argv, proc, stdin, timeout):
        self.argv, self.timeout = argv, timeout
        self._proc, self._stdin = proc, stdin
        self._deadline = time.monotonic() + timeout
        self._result = None

    def wait(self):
        """The RunResult once the program has ended; past the timeout the namespace is
        killed and RunTimeout raised."""
        if self._result is not None:
            return self._result
        proc = self._proc
        try:
            out, err = proc.communicate(self._stdin,
                                        max(0.0, self._deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            out, err = _kill_namespace(proc)
            raise RunTimeout(self.argv, self.timeout, out, err) from None
        except BaseException:
            _kill_namespace(proc)
            raise
        lines = _text(err).rstrip().splitlines()
        if proc.returncode == SETUP_FAILED and lines and lines[-1].startswith('devroot: '):
            raise DeviceRootError(_text(err).strip())
        self._result = RunResult(self.argv, proc.returncode, out, err)
        return self._result

    def ended(self):
        """Whether the program has ended (or was killed); wait() then returns at once."""
        return self._result is not None or self._proc.poll() is not None

    def kill(self):
        """Ends the namespace and everything in it, unless the run has ended."""
        if self._result is None and self._proc.returncode is None:
            _kill_namespace(self._proc)


def _reboot_targets():
    """The files behind the host's reboot programs (bind mounts land on those). A
    busybox behind them stays, being the root's shell; its reboot applet, in a PID
    namespace of its own, only reaches the namespace's pid 1."""
    targets = {os.path.realpath(p) for p in REBOOT_PROGRAMS if os.path.exists(p)}
    return sorted(targets - {os.path.realpath(BUSYBOX)})


class DeviceRoot:
    """A temporary device root on the host; removed by close() or at the end of `with`."""

    def __init__(self, emulator=None):
        self.emulator = shlex.split(EMULATOR if emulator is None else emulator)
        self._base = tempfile.mkdtemp(prefix='devroot-')
        self._started = []      # the Runs of start(), to know which may still be going
        try:
            self._lay_out()
        except BaseException:
            self.close()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        shutil.rmtree(self._base, ignore_errors=True)

    # --- files at board paths -------------------------------------------------------

    def host_path(self, board_path):
        """Host path of a board path under /etc, /var, /proc or /dev."""
        board_path = os.fsdecode(board_path)
        if not board_path.startswith('/'):
            raise ValueError(f'{board_path!r}: board paths are absolute')
        parts = [p for p in posixpath.normpath(board_path).split('/') if p]
        if not parts or parts[0] not in ROOT_FOLDERS:
            raise ValueError(f'{board_path!r}: the device root holds only '
                             + ', '.join('/' + f for f in ROOT_FOLDERS))
        return os.path.join(self._base, 'root', *parts)

    def write(self, board_path, data, mode=None):
        path = self._claim(board_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if os.path.islink(path):
            os.unlink(path)
        with open(path, 'wb') as f:
            f.write(_bytes(data))
        if mode is not None:
            os.chmod(path, mode)

    def mkdir(self, board_path, mode=0o755):
        os.makedirs(self._claim(board_path), mode=mode, exist_ok=True)

    def _claim(self, board_path):
        """Host path for writing; a kernel entry of /proc on the way (say /proc/sys)
        becomes a plain folder of the root, so the test's file is what programs see."""
        path = self.host_path(board_path)
        proc = self.host_path('/proc')
        if path.startswith(proc + os.sep):
            top = os.path.join(proc, os.path.relpath(path, proc).split(os.sep)[0])
            if os.path.islink(top):
                os.unlink(top)
                if top != path:
                    os.mkdir(top)
        return path

    def exists(self, board_path):
        return os.path.lexists(self.host_path(board_path))

    def read_bytes(self, board_path):
        with open(self.host_path(board_path), 'rb') as f:
            return f.read()

    def read(self, board_path):
        return _text(self.read_bytes(board_path))

    # --- stand-ins --------------------------------------------------------------------

    def calls(self, name=None):
        """argv lists of the stand-ins' calls in call order, argv[0] the stand-in's name.

        name picks one stand-in, by name ('reboot') or by the path it was run by
        ('/etc/init.d/uhttpd'). Arguments are str; os.fsencode gives back their bytes.
        """
        return [[e['name']] + e['argv'] for e in self._call_entries()
                if name is None or name in (e['name'], e['path'])]

    def commands(self):
        """Every stand-in call as the command that was run, in call order: argv[0] is the
        path the program was run by ('/etc/init.d/uhttpd') or, for one found on PATH,
        its name ('uci')."""
        on_path = os.path.join(self._base, 'bin')
        return [[e['name'] if os.path.dirname(e['path']) == on_path else e['path']]
                + e['argv'] for e in self._call_entries()]

    def _call_entries(self):
        with open(os.path.join(self._base, 'root', CALLS_LOG.lstrip('/')), 'rb') as f:
            return [json.loads(line) for line in f if line.strip()]

    def add_standin(self, name, script_text):
        """Puts a stand-in first on PATH for this root: the call is recorded, then the
        script runs (a script without '#!' runs under /bin/sh)."""
        if not name or '/' in name or name[0] in '._':
            raise ValueError(f'{name!r}: not a stand-in name')
        script = _bytes(script_text)
        if not script.startswith(b'#!'):
            script = b'#!/bin/sh\n' + script
        real = os.path.join(self._base, 'added', name)
        with open(real, 'wb') as f:
            f.write(script)
        os.chmod(real, 0o755)
        self._place_script(os.path.join(self._base, 'bin', name),
                           ADDED_STANDIN.format(record_dir=RECORD_DIR, real=real))

    # --- running ----------------------------------------------------------------------

    def run(self, argv, stdin=None, timeout=30, cwd='/', env=None, net=False,
            ping_silent=False, faketime=None, ptys=False):
        """Runs argv inside the root and returns a RunResult.

        stdin: str or bytes fed to the program, None for an empty (closed) input.
        timeout: seconds; past it the namespace is killed and RunTimeout raised.
        cwd: board path of the working directory. env: extra environment variables.
        net: loopback up (always a namespace of its own); ping_silent: loopback ignores
        ICMP echo (implies net). faketime: start time for libfaketime, e.g.
        '@2026-12-08 23:30:15' (raises SkipTest for a program run under the emulator).
        ptys: pseudo-terminals of the root's own at /dev/pts and /dev/ptmx, for a
        program that opens them (a telnet server, tmux); else the host's /dev/pts.
        """
        return self.start(argv, stdin, timeout, cwd, env, net, ping_silent, faketime,
                          ptys).wait()

    def start(self, argv, stdin=None, timeout=30, cwd='/', env=None, net=False,
              ping_silent=False, faketime=None, ptys=False):
        """Starts argv inside the root as run() does and returns a Run at once; the
        timeout counts from now, and stdin is fed when wait() is called."""
        command = self._namespace_command(argv, faketime)
        proc = subprocess.Popen(
            command, env=self._environment(argv, cwd, env, net, ping_silent, faketime, ptys),
            stdin=subprocess.DEVNULL if stdin is None else subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)
        started = Run(argv, proc, None if stdin is None else _bytes(stdin), timeout)
        self._started = [r for r in self._started if not r.ended()] + [started]
        return started

    def run_interactive(self, argv, cwd='/', env=None, net=False, faketime=None,
                        ping_silent=False):
        """Runs argv on the user's terminal (no timeout); returns its exit status."""
        proc = subprocess.Popen(self._namespace_command(argv, faketime),
                                env=self._environment(argv, cwd, env, net, ping_silent,
                                                      faketime))
        try:
            return proc.wait()
        except BaseException:
            _kill_namespace(proc)
            raise

    def shell_command(self, argv):
        """Shell text that runs argv inside the root as run() runs it (under the emulator
        when built for the board), for a script that a program of the root starts, such
        as a telnet server's login program. A program with a leak checker first gets the
        /proc entry that its check reads."""
        argv = [os.fsdecode(a) for a in argv]
        if not argv:
            raise ValueError('empty command')
        command = self.emulator + argv if self._emulated(argv[0]) else argv
        if _has_leak_checker(argv[0]):
            command = ['/bin/sh', '-c', LEAK_CHECKED_EXEC, 'sh'] + command
        return shlex.join(command)

    # --- inside -----------------------------------------------------------------------

    def _namespace_command(self, argv, faketime):
        argv = list(argv)
        if not argv:
            raise ValueError('empty command')
        command = argv
        if self._emulated(argv[0]):
            if faketime is not None:
                raise unittest.SkipTest('libfaketime cannot reach a program under the '
                                        'emulator; the fake clock needs the host build')
            command = self.emulator + command
        if faketime is not None:
            command = [FAKETIME, '-f', faketime] + command
        return (['unshare', '--mount', '--pid', '--fork', '--net', '--kill-child', '--',
                 '/bin/bash', ENTER_SH, self._base] + command)

    def _emulated(self, program):
        if not self.emulator:
            return False
        if program in (APMENU, BOARDUTIL) and program:
            return True
        if '/' not in os.fsdecode(program):
            return False        # found on the root's PATH: a stand-in or a host tool
        machine = _elf_machine(program)
        return machine is not None and machine != HOST_MACHINE

    def _environment(self, argv, cwd, env, net, ping_silent, faketime=None, ptys=False):
        environment = {k: v for k, v in os.environ.items() if k not in ('BASH_ENV', 'ENV')}
        environment['PATH'] = ':'.join(
            [os.path.join(self._base, 'bin'), os.path.join(self._base, 'applets'),
             SYSTEM_PATH])
        # One fake clock for the whole process tree, as the board has one clock;
        # without this every exec'd program would start at the given time again.
        environment['FAKETIME_DONT_RESET'] = '1'
        environment.update(env or {})
        environment['DEVROOT_PATH'] = environment.pop('PATH')
        environment['DEVROOT_CWD'] = cwd
        environment['DEVROOT_NET'] = '1' if net or ping_silent else '0'
        environment['DEVROOT_PING_SILENT'] = '1' if ping_silent else '0'
        environment['DEVROOT_PTYS'] = '1' if ptys else '0'
        environment['DEVROOT_REBOOT_PROGRAMS'] = '\n'.join(_reboot_targets())
        # /proc keeps no numeric entries, so pidof finds nothing; a leak checker needs
        # its own, which enter.sh then makes for the program alone. Entries stay while
        # another run of this root is going: its leak checks read them at its end.
        if not any(not r.ended() for r in self._started):
            self._remove_process_entries()
        # The program may also be an argument of a wrapper such as sh -c 'exec "$@"'.
        words = [os.fsdecode(w) for w in argv]
        leak_checked = any('/' in w and _has_leak_checker(w) for w in words)
        environment['DEVROOT_PROC_ENTRY'] = '1' if leak_checked else '0'
        if leak_checked and faketime is not None:
            # faketime runs the program in a child of its own, which has no /proc entry
            # for the leak check to read: the run goes without it.
            options = environment.get('ASAN_OPTIONS', '')
            environment['ASAN_OPTIONS'] = (options + ':' if options else '') + 'detect_leaks=0'
        return environment

    def _remove_process_entries(self):
        proc = self.host_path('/proc')
        for name in os.listdir(proc):
            if name.isdigit():
                os.unlink(os.path.join(proc, name))

    # --- layout -----------------------------------------------------------------------

    def _lay_out(self):
        for sub in ('bin', 'applets', 'added'):
            os.mkdir(os.path.join(self._base, sub))
        for folder in ROOT_FOLDERS:
            self.mkdir('/' + folder)
        self._lay_out_etc()
        self._lay_out_proc()
        self._lay_out_dev()
        self._lay_out_path()

    def _lay_out_etc(self):
        for name in HOST_ETC_FILES:
            if os.path.isfile('/etc/' + name):
                shutil.copyfile('/etc/' + name, self.host_path('/etc/' + name))
        for name, text in ETC_FILES.items():
            self.write('/etc/' + name, text)
        init_d = os.path.join(STANDINS_DIR, 'init.d')
        self.mkdir('/etc/init.d')
        for name in sorted(os.listdir(init_d)):
            shutil.copy(os.path.join(init_d, name), self.host_path('/etc/init.d/' + name))

    def _lay_out_proc(self):
        self.mkdir('/proc/.kernel')
        for name in KERNEL_PROC_ENTRIES:
            os.symlink('.kernel/' + name, self.host_path('/proc/' + name))

    def _lay_out_dev(self):
        for name in HOST_DEVICES:
            self.write('/dev/' + name, b'')     # mount points for the host's devices
        for name in ('shm', 'pts'):
            self.mkdir('/dev/' + name)
        links = {'fd': '/proc/self/fd', 'stdin': '/proc/self/fd/0',
                 'stdout': '/proc/self/fd/1', 'stderr': '/proc/self/fd/2',
                 'ptmx': 'pts/ptmx'}
        for name, target in links.items():
            os.symlink(target, self.host_path('/dev/' + name))
        self.mkdir(RECORD_DIR)
        os.symlink(os.path.join(STANDINS_DIR, '_record.py'),
                   self.host_path(RECORD_DIR + '/_record.py'))
        self.write(CALLS_LOG, b'')

    def _lay_out_path(self):
        bin_dir = os.path.join(self._base, 'bin')
        for name in sorted(os.listdir(STANDINS_DIR)):
            path = os.path.join(STANDINS_DIR, name)
            if not name.startswith(('_', '.')) and os.path.isfile(path) \
                    and os.access(path, os.X_OK):
                os.symlink(path, os.path.join(bin_dir, name))
        for name in BUSYBOX_APPLETS:
            os.symlink(BUSYBOX, os.path.join(self._base, 'applets', name))

    @staticmethod
    def _place_script(path, text):
        if os.path.lexists(path):
            os.unlink(path)
        with open(path, 'w') as f:
            f.write(text)
        os.chmod(path, 0o755)
