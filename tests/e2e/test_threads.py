"""The threaded modes end to end: the mailbox get and set of mode 5 against the one-shot
runs of mode 4, the interactive console of mode 0 fed through standard input and typed in
a real terminal (tmux), and the auto-reboot countdown that ends a run by itself. Each run
happens in a device root holding the default catalogue in /etc/apmenu."""
import errno
import json
import os
import re
import shlex
import shutil
import signal
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'devroot'))
sys.path.insert(0, HERE)
from devroot import APMENU, EMULATOR, HOST_BUILD, DeviceRoot  # noqa: E402
from tmux_pane import TmuxPane  # noqa: E402
from test_console import (BORDER, CAT_DIR, CLEAR, DATA, DEFAULT, EMPTY_ROW,  # noqa: E402
                          HOTKEYS, MAIN_MENU, PROMPT, TITLE, ConsoleCase, edited, row,
                          stamp_line)

LOG = '/etc/log_zelk.txt'
QUESTION = '[{key}.]=[{value}]. Please input new value: >>'


def default_value(tag):
    for line in DEFAULT[DATA].splitlines():
        key, _, value = line.partition('=')
        if key == tag:
            return value
    raise KeyError(tag)


def system_menu(**values):
    """The expected screen of menu 1 with the default values, some replaced (v3='45')."""
    titles = [line.partition('=')[2] for line in DEFAULT[TITLE].splitlines()
              if line.startswith('n;1;')]
    width = max(map(len, titles))
    rows = []
    for k, title in enumerate(titles, 1):
        value = values.get(f'v{k}', default_value(f'v;1;{k}'))
        rows.append(row(f'{k:2d}.{title.ljust(width)}:{value}'))
    return ['+--------+--------------------------------------------+',
            '| SYSTEM |                                            |',
            stamp_line('+--------+SYSTEM [ ', ' ]       |'),
            EMPTY_ROW, *rows, EMPTY_ROW, BORDER,
            row(f'Please select item <1 to {len(titles)}>:'), HOTKEYS, BORDER]


def screens(out):
    """The screens of an interactive run's output, each starting with the clearing
    sequence; what came before the first screen is dropped."""
    return [CLEAR + part for part in out.split(CLEAR)[1:]]


class OpenInput:
    """Standard input that stays open: a FIFO in the root, written from the test with the
    given text and held open until close(), so that only the program itself can end its
    run. The text may be a list of parts, written PAUSE seconds apart. argv() wraps a
    command so that it reads the FIFO."""

    BOARD_PATH = '/var/test-input'
    PAUSE = 2.5

    def __init__(self, root, text):
        self.root = root
        self.parts = [t.encode() for t in ([text] if isinstance(text, str) else text)]
        self.path = root.host_path(self.BOARD_PATH)
        if os.path.lexists(self.path):
            os.unlink(self.path)
        os.mkfifo(self.path)
        self.done = threading.Event()
        self.thread = threading.Thread(target=self._feed, daemon=True)
        self.thread.start()

    def argv(self, argv):
        return ['/bin/sh', '-c', f'exec "$@" < {self.BOARD_PATH}', 'sh',
                *self.root.emulator, *argv]

    def _feed(self):
        fd = None
        while fd is None and not self.done.is_set():
            try:    # no reader yet: ENXIO, try again shortly
                fd = os.open(self.path, os.O_WRONLY | os.O_NONBLOCK)
            except OSError as e:
                if e.errno != errno.ENXIO:
                    raise
                time.sleep(0.02)
        if fd is None:
            return
        try:
            os.set_blocking(fd, True)
            for k, part in enumerate(self.parts):
                if k and self.done.wait(self.PAUSE):
                    break
                os.write(fd, part)
            self.done.wait()
        except BrokenPipeError:
            pass
        finally:
            os.close(fd)

    def close(self):
        self.done.set()
        self.thread.join(5)


class ThreadedCase(ConsoleCase):

    def run_open(self, args, text, timeout=30, **kw):
        """Runs apmenu with args on a standard input that holds text and never ends; a
        run that does not end by itself raises RunTimeout."""
        feed = OpenInput(self.root, text)
        try:
            return self.root.run(feed.argv([APMENU, *args]), cwd=CAT_DIR, timeout=timeout,
                                 **kw)
        finally:
            feed.close()

    def assertScreens(self, out, expected):
        """out holds exactly the expected screens; each entry is (lines, tail)."""
        got = screens(out)
        self.assertEqual(len(got), len(expected), out)
        for k, (screen, (lines, tail)) in enumerate(zip(got, expected), 1):
            with self.subTest(screen=k):
                self.assertScreen(screen, lines, tail)


class MailboxTest(ThreadedCase):
    """Mode 5 reads and writes through a running engine thread; what it prints and leaves
    in the catalogue must be exactly what a one-shot run of mode 4 does."""

    def both_modes(self, *args, **kw):
        """Runs the same request as mode 4 and as mode 5, each on the installed catalogue;
        returns, per mode, what it printed and the data file it left."""
        results = []
        for mode in ('--test=4', '--test=5'):
            self.install()
            r = self.apmenu(mode, *args, **kw)
            self.assertEqual(r.returncode, 0, r)
            results.append((r.stdout, self.read(DATA)))
            self.assertUntouched(TITLE)
        return results

    def test_get_prints_the_line_of_a_oneshot_get(self):
        cases = [('0.3.5', '80'), ('0.4.1', '192.168.1.1'), ('0.5.4', 'Wireless access point'),
                 ('0.5.2', ''), ('0.1.13', 'logread'), ('0.3.13', None)]
        for oid, value in cases:
            with self.subTest(oid=oid):
                oneshot, mailbox = self.both_modes('--get', f'--oid={oid}')
                self.assertEqual(mailbox, oneshot)
                self.assertEqual(mailbox[0], '' if value is None else f'[{oid}]={value}\n')

    def test_set_stores_what_a_oneshot_set_stores(self):
        v63 = 'v' * 30 + ' ' + 'w' * 32
        sets = [('0.3.5', '8080'), ('0.5.2', 'Lab 2'), ('0.5.3', "it's"), ('0.3.1', 'a=b'),
                ('0.5.4', v63), ('0.5.4', v63 + 'xyz'), ('0.1.3', 'a:b:c'), ('0.3.13', '5'),
                ('0.2.5', 'y')]     # mode 0: the start of the countdown ends the run
        for oid, value in sets:
            with self.subTest(oid=oid, value=value):
                oneshot, mailbox = self.both_modes('--set', f'--oid={oid}', f'--val={value}')
                self.assertEqual(mailbox, oneshot)
                self.assertEqual(mailbox[0], '')

    def test_set_then_get_across_the_modes(self):
        v63 = 'x' * 63
        self.assertRun(self.apmenu('--test=5', '--set', '--oid=0.5.1', f'--val={v63}'))
        self.assertRun(self.apmenu('--test=5', '--set', '--oid=0.3.2', '--val=2323'))
        self.assertData({'v;5;1': v63, 'v;3;2': '2323'})
        self.assertRun(self.apmenu('--test=4', '--get', '--oid=0.5.1'), f'[0.5.1]={v63}\n')
        self.assertRun(self.apmenu('--test=5', '--get', '--oid=0.3.2'), '[0.3.2]=2323\n')
        self.assertRun(self.apmenu('--test=4', '--set', '--oid=0.3.2', '--val=24'))
        self.assertRun(self.apmenu('--test=5', '--get', '--oid=0.3.2'), '[0.3.2]=24\n')
        self.assertUntouched(TITLE)

    def test_oid_or_value_that_would_add_keys_is_refused(self):
        refused = [('--get', '--oid=0.3;1'), ('--get', '--oid=0.3|1'), ('--get', '--oid=~.3.1'),
                   ('--get', '--oid=0.3.1;e'),
                   ('--set', '--oid=0.3;1', '--val=5'), ('--set', '--oid=0~3.1', '--val=5'),
                   ('--set', '--oid=0.3.1', '--val=a;0;1;14:1'),
                   ('--set', '--oid=0.3.1', '--val=a|b'), ('--set', '--oid=0.3.1', '--val=~'),
                   ('--set', '--oid=0.3.1', "--val='x'"), ('--set', '--oid=0.3.1', '--val=x\ny')]
        for args in refused:
            with self.subTest(args=args):
                self.install()
                self.assertRun(self.apmenu('--test=5', *args))
                self.assertUntouched()

    @unittest.skipUnless(HOST_BUILD, 'the fake clock reaches only a program of the host build')
    def test_hours_set_runs_the_auto_reboot_follow_up(self):
        oneshot, mailbox = self.both_modes('--set', '--oid=0.2.2', '--val=2',
                                           faketime='@2026-12-08 23:30:15')
        self.assertEqual(mailbox, oneshot)
        self.assertEqual(mailbox[0], 'Current time = [23:30:15]\n.Auto-reboot at [01:30](HH:MM).'
                                     '\n-->Remaining period = [01:59:59].\n')
        self.assertEqual(mailbox[1], edited(DEFAULT[DATA], {
            'v;2;1': '1', 'v;2;2': '2', 'v;2;3': '01:30', 'v;2;4': '01:59:59'}))


class InteractiveInputTest(ThreadedCase):
    """Mode 0 with its keys from standard input: the keyboard thread hands each line to
    the engine and draws the screen that results, once per line."""

    def console(self, *args, stdin=''):
        r = self.apmenu('--test=0', *args, stdin=stdin)
        self.assertEqual(r.returncode, 0, r)
        return r.stdout

    def test_screens_prompt_and_save(self):
        out = self.console(stdin='1\n3:77\n4\n9\nexit\n\n0\ne\n')
        after = system_menu(v3='77', v4='9')
        self.assertScreens(out, [
            (MAIN_MENU, PROMPT),
            (system_menu(), PROMPT),
            (system_menu(v3='77'), PROMPT + QUESTION.format(key=4, value=0)),
            (after, PROMPT),
            (after, PROMPT),        # "exit" is no key: the console goes on
            (after, PROMPT),        # an empty line draws the screen again
            (MAIN_MENU, PROMPT),
        ])                          # e draws nothing and ends the console
        self.assertData({'v;1;3': '77', 'v;1;4': '9'})
        self.assertUntouched(TITLE)

    def test_debug_display_item_leaves_one_screen_per_line(self):
        # The debug item switches drawing for scripted runs; the console draws anyway, and
        # an answer to it must not make the engine draw a screen of its own as well.
        for shown in ('y', 'n'):
            with self.subTest(catalogue=shown):
                self.install(data=edited(DEFAULT[DATA], {'v;1;6': shown}))
                out = self.console(stdin='1\n6:y\n6:n\n6\ny\n6:Y\ne\n')
                question = '[6.]=[n]. Run in debugging mode(Y/n)? ]>'
                self.assertScreens(out, [
                    (MAIN_MENU, PROMPT),
                    (system_menu(v6=shown), PROMPT),
                    (system_menu(v6='y'), PROMPT),
                    (system_menu(v6='n'), PROMPT + question),
                    (system_menu(v6='y'), PROMPT),
                    (system_menu(v6='Y'), PROMPT),
                ])
                self.assertData({'v;1;6': 'Y'})

    def test_every_question_is_shown_before_its_answer_is_read(self):
        # Several rounds, as which thread takes a line is a matter of timing.
        for attempt in range(3):
            with self.subTest(attempt=attempt):
                self.install()
                out = self.console(stdin='1\n3\n45\n3;4\n11\n22\n12\nn\n5;e\n1\n')
                got = screens(out)
                self.assertEqual(len(got), 5, out)
                self.assertTrue(got[1].endswith(PROMPT + QUESTION.format(key=3, value=60)),
                                got[1][-120:])
                self.assertTrue(got[2].endswith(PROMPT + QUESTION.format(key=3, value=45)
                                                + QUESTION.format(key=4, value=0)),
                                got[2][-160:])
                self.assertTrue(got[3].endswith(PROMPT + '[12.]=[]. Are you sure(Y/n)? ]>'),
                                got[3][-120:])
                self.assertScreen(got[4], system_menu(v3='11', v4='22'),
                                  PROMPT + '[5.]=[0]. Please input new value: >>')
                self.assertData({'v;1;3': '11', 'v;1;4': '22', 'v;1;5': '1'})

    def test_key_script_runs_before_the_first_screen(self):
        self.assertScreens(self.console('1;3:45', stdin='e\n'), [(system_menu(v3='45'), PROMPT)])
        self.assertData({'v;1;3': '45'})
        # A key of the script without its answer asks the terminal first.
        self.install()
        out = self.console('1;2', stdin='abc\ne\n')
        self.assertTrue(out.startswith(QUESTION.format(key=2, value=default_value('v;1;2'))
                                       + CLEAR), out[:120])
        self.assertScreens(out, [(system_menu(v2='abc'), PROMPT)])
        self.assertData({'v;1;2': 'abc'})

    def test_script_with_path_option_keeps_quoted_semicolons(self):
        out = self.console("~;1;3:'a;b'", f'path={CAT_DIR}', stdin='e\n')
        self.assertScreens(out, [(system_menu(v3='a;b'), PROMPT)])
        self.assertData({'v;1;3': 'a;b'})
        # Three arguments after the mode: the console starts without a script.
        self.install()
        self.assertScreens(self.console('1', f'path={CAT_DIR}', 'x', stdin='e\n'),
                           [(MAIN_MENU, PROMPT)])
        self.assertUntouched()

    def test_end_of_input_ends_with_status_0_and_nothing_saved(self):
        for stdin, count in (('', 1), ('1\n3:5\n', 3), ('1\n3\n', 2), ('exit\n', 2)):
            with self.subTest(stdin=stdin):
                self.install()
                self.assertEqual(len(screens(self.console(stdin=stdin))), count)
                self.assertUntouched()

    def test_exit_key_ends_the_console_while_input_stays_open(self):
        for line, changes in (('e', {}), ('1;3:5;e', {'v;1;3': '5'}), ('3;e', {}),
                              ('1;e;3:6', {})):
            with self.subTest(line=line):
                self.install()
                r = self.run_open(['--test=0'], f'{line}\n1\n3:7\ns\n')
                self.assertEqual(r.returncode, 0, r)
                # Only the first screen: nothing after the exit line was read.
                self.assertScreens(r.stdout, [(MAIN_MENU, PROMPT)])
                if changes:
                    self.assertData(changes)
                else:
                    self.assertUntouched()

    def test_line_beginning_with_e_that_is_no_exit_key_goes_on(self):
        r = self.run_open(['--test=0'], 'exit\ne1\n1\n3:8\ne\n')
        self.assertEqual(r.returncode, 0, r)
        self.assertEqual(len(screens(r.stdout)), 5)
        self.assertData({'v;1;3': '8'})


class TerminalCase(TmuxPane, unittest.TestCase):
    """Mode 0 on a real terminal: a detached tmux session on a private server runs the
    console in a device root; the test types keys and reads the pane."""

    WAIT = 20 if EMULATOR else 10   # seconds for a text to appear

    def start_console(self, data=None, ping_silent=False):
        """Starts the console on the default catalogue, its data file replaced by data."""
        self.tmux_server = ['-L', f'apmenu-threads-{os.getpid()}-{time.monotonic_ns()}']
        self.session = 'console'
        self.work = tempfile.mkdtemp(prefix='apmenu-terminal-')
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        for name in (TITLE, DATA):
            with open(os.path.join(self.work, name), 'w') as f:
                f.write(data if name == DATA and data is not None else DEFAULT[name])
        command = shlex.join(['env', f'DEVROOT_EMULATOR={EMULATOR}', sys.executable,
                              os.path.abspath(__file__), '--terminal-run', self.work,
                              *(['--ping-silent'] if ping_silent else []), APMENU, '--test=0'])
        self.tmux('new-session', '-d', '-s', 'console', '-x', '80', '-y', '30', command)
        self.addCleanup(self.tmux, 'kill-server', check=False)

    def wait_for_end(self):
        status = os.path.join(self.work, 'status')
        deadline = time.monotonic() + self.WAIT
        while not os.path.exists(status):
            if time.monotonic() > deadline:
                self.fail(f'the console did not end within {self.WAIT} s; the pane:\n'
                          + self.pane())
            time.sleep(0.1)
        with open(status) as f:
            return int(f.read())

    def saved(self, name):
        with open(os.path.join(self.work, 'after', name)) as f:
            return f.read()


@unittest.skipUnless(shutil.which('tmux'), 'tmux is not installed')
class TerminalTest(TerminalCase):

    def setUp(self):
        self.start_console()

    def test_main_menu_navigation_edit_and_exit(self):
        self.assertMainMenuShown()

        self.type_line('1')
        self.wait_for('| SYSTEM |', '14.Settings source 1=uci:0')
        self.type_line('3')
        self.wait_for('ZTQ$3\n' + QUESTION.format(key=3, value=60))   # the terminal echoes
        self.type_line('45')
        self.wait_for(row(' 3.Watch interval (s)   :45'))
        self.type_line('exit')      # not the exit key: the console goes on
        self.type_line('0')
        self.wait_for('| MAIN MENU |')
        self.type_line('e')
        self.assertEqual(self.wait_for_end(), 0)
        self.assertEqual(self.saved(DATA), edited(DEFAULT[DATA], {'v;1;3': '45'}))
        self.assertEqual(self.saved(TITLE), DEFAULT[TITLE])


@unittest.skipUnless(shutil.which('tmux'), 'tmux is not installed')
class LongActionTerminalTest(TerminalCase):
    """The file watch and the ping watchdog typed at a terminal hold the engine; the
    console still takes an exit key and the end of input meanwhile."""

    RUNNING = 4 if EMULATOR else 2.5   # seconds for the action to be under way

    def data(self):
        return dict(line.split('=', 1) for line in self.saved(DATA).splitlines())

    def test_exit_key_stops_an_endless_file_watch_and_leaves_saving(self):
        self.start_console()
        self.assertMainMenuShown()
        self.type_line('1')
        self.wait_for('| SYSTEM |')
        self.type_line('3:1;5:1;9:y')   # no watchdog was armed: the watch is endless
        time.sleep(self.RUNNING)
        self.type_line('e')
        self.assertEqual(self.wait_for_end(), 0)
        data = self.data()
        # The edits were saved, and the checks counted (endless shows 65535).
        self.assertEqual((data['v;1;3'], data['v;1;5'], data['v;1;4']), ('1', '1', '65535'))

    def test_end_of_input_ends_the_console_while_the_watchdog_runs(self):
        # The silent 127.0.0.1 of the console's own network namespace, one cycle a second,
        # fifty failures allowed: the watchdog would run for about a hundred seconds.
        data = edited(DEFAULT[DATA], {'v;4;1': '127.0.0.1', 'v;4;2': '0', 'v;4;3': '1',
                                      'v;4;4': '50', 'v;4;5': '1'})
        self.start_console(data, ping_silent=True)
        self.assertMainMenuShown()
        self.type_line('1;3:45')   # an edit that Ctrl-D discards
        self.wait_for(row(' 3.Watch interval (s)   :45'))
        self.type_line('!;4;9:y')
        time.sleep(self.RUNNING)
        started = time.monotonic()
        self.tmux('send-keys', '-t', self.session, 'C-d')
        self.assertEqual(self.wait_for_end(), 0)
        self.assertLess(time.monotonic() - started, self.WAIT)
        self.assertEqual(self.saved(DATA), data)
        self.assertIn('Request timed out.', self.saved('webspingwatchdog.msg'))
        with open(os.path.join(self.work, 'after', 'calls.json')) as f:
            self.assertNotIn('reboot', [c[0] for c in json.load(f)])


@unittest.skipUnless(HOST_BUILD, 'the fake clock reaches only a program of the host build')
class CountdownTest(ThreadedCase):
    """A countdown started ten seconds before midnight for a reboot at 00:00: the reboot
    falls on the second of the minute at which it was started, less one, so it is due at
    00:00:49 of the next day. The fake clock runs ten times faster (its sleeps too), so
    that minute passes in about six seconds."""

    CLOCK = '@2026-12-08 23:59:50 x10'
    SCHEDULED = edited(DEFAULT[DATA], {'v;2;1': '2', 'v;2;3': '00:00', 'v;2;4': '00:00:00'})

    def assertRebootedOnce(self, r, data=SCHEDULED):
        self.assertEqual(r.returncode, 0, r)
        self.assertEqual(self.root.calls('reboot'), [['reboot']])
        log = self.root.read(LOG).splitlines()
        self.assertEqual(len(log), 1, log)
        self.assertRegex(log[0], r'^\[09-12-2026 00:00:(49|50)\.\d{6}\] Rebooted by Auto-reboot$')
        if data is None:
            self.assertUntouched()
        else:
            self.assertEqual(self.read(DATA), data)     # the exit key saved
            self.assertUntouched(TITLE)

    def assertCountsDown(self, out):
        """The screens after the start show the remaining period falling to 00:00:00."""
        periods = re.findall(r'4\.Remaining \(HH:MM:SS\)    :(\d\d:\d\d:\d\d)', out)
        periods = periods[periods.index('00:00:59'):]
        self.assertGreater(len(periods), 10, periods)
        self.assertEqual(periods, sorted(periods, reverse=True))
        self.assertEqual(periods[-1], '00:00:00')

    def test_batch_countdown_ends_the_run_and_reboots(self):
        r = self.apmenu('--test=1', '2;3:00:00;5:y', faketime=self.CLOCK)
        self.assertEqual(r.stdout, 'Current time = [23:59:50]\n.Auto-reboot at [00:00](HH:MM).'
                                   '\n-->Remaining period = [00:00:59].\n')
        self.assertRebootedOnce(r)

    def test_interactive_countdown_nobody_stops_reboots_on_time(self):
        r = self.run_open(['--test=0'], '2\n3:00:00\n5:y\n', faketime=self.CLOCK)
        self.assertRebootedOnce(r)
        self.assertCountsDown(r.stdout)

    def test_mailbox_set_that_starts_the_countdown(self):
        self.install(data=edited(DEFAULT[DATA], {'v;2;1': '2', 'v;2;3': '00:00'}))
        r = self.apmenu('--test=5', '--set', '--oid=0.2.5', '--val=y', faketime=self.CLOCK)
        self.assertEqual(r.stdout, '')
        # The remaining period that the countdown wrote is saved by the exit key.
        self.assertRebootedOnce(r)


class CountdownStopTest(ThreadedCase):
    """A countdown stopped again by a second confirmation, never reaching its reboot."""

    def test_second_confirmation_on_the_same_line_stops_the_countdown(self):
        for mode, keys in (('--test=1', '2;3:00:00;5:y;5:y;e'),
                           ('--test=0', '2\n3:00:00\n5:y;5:y\ne\n')):
            with self.subTest(mode=mode):
                self.install()
                if mode == '--test=1':
                    r = self.apmenu(mode, keys)
                else:
                    r = self.apmenu(mode, stdin=keys)
                self.assertEqual(r.returncode, 0, r)
                self.assertEqual(self.root.calls('reboot'), [])
                self.assertFalse(self.root.exists(LOG))
                data = dict(line.split('=', 1) for line in self.read(DATA).splitlines())
                self.assertEqual((data['v;2;1'], data['v;2;3']), ('2', '00:00'))

    def test_interactive_console_takes_lines_while_the_countdown_runs(self):
        # The countdown of a reboot in 5 hours runs for a while; then an edit, the second
        # confirmation and the exit key are typed, each taken between two refreshes.
        r = self.run_open(['--test=0'], ['2\n2:5\n5:y\n', '0;1;3:45\n', '!;2;5:y\n', 'e\n'],
                          timeout=60)
        self.assertEqual(r.returncode, 0, r)
        self.assertEqual(self.root.calls('reboot'), [])
        shown = re.findall(r'4\.Remaining \(HH:MM:SS\)    :(\d\d:\d\d:\d\d)', r.stdout)
        refreshed = [p for p in shown if p.startswith('04:5')]
        self.assertGreater(len(set(refreshed)), 1, shown)   # the period ran down on screen
        self.assertIn(row(' 3.Watch interval (s)   :45'), r.stdout)
        data = dict(line.split('=', 1) for line in self.read(DATA).splitlines())
        self.assertEqual((data['v;1;3'], data['v;2;1'], data['v;2;2']), ('45', '2', '5'))

    def test_end_of_input_ends_the_console_during_the_countdown(self):
        r = self.apmenu('--test=0', stdin='2\n2:5\n5:y\n')
        self.assertEqual(r.returncode, 0, r)
        self.assertEqual(self.root.calls('reboot'), [])
        self.assertUntouched()      # ended at once, without saving


def terminal_run(work, argv):
    """Body of the tmux session: runs argv on this terminal in a device root holding the
    catalogue of the folder work, then copies the catalogue folder back to work/after
    (with the stand-in calls in work/after/calls.json) and writes the exit status to
    work/status. A first argument --ping-silent runs it in a network namespace whose
    127.0.0.1 answers no ping."""
    ping_silent = argv[:1] == ['--ping-silent']
    argv = argv[1:] if ping_silent else argv
    # A session killed by the test hangs up this terminal: leave through the root's
    # clean-up, which also ends the program in it.
    signal.signal(signal.SIGHUP, lambda *_: sys.exit(128 + signal.SIGHUP))
    with DeviceRoot() as root:
        for name in (TITLE, DATA):
            with open(os.path.join(work, name), 'rb') as f:
                root.write(f'{CAT_DIR}/{name}', f.read())
        status = root.run_interactive(argv, cwd=CAT_DIR, ping_silent=ping_silent)
        os.mkdir(os.path.join(work, 'after'))
        for name in os.listdir(root.host_path(CAT_DIR)):
            shutil.copyfile(root.host_path(f'{CAT_DIR}/{name}'),
                            os.path.join(work, 'after', name))
        with open(os.path.join(work, 'after', 'calls.json'), 'w') as f:
            json.dump(root.calls(), f)
    with open(os.path.join(work, 'status.tmp'), 'w') as f:
        f.write(str(status))
    os.rename(os.path.join(work, 'status.tmp'), os.path.join(work, 'status'))


if __name__ == '__main__':
    if sys.argv[1:2] == ['--terminal-run']:
        terminal_run(sys.argv[2], sys.argv[3:])
    else:
        unittest.main()
