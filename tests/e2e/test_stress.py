"""Two consoles and a script on one catalogue, round after round, as on a board where an
operator works at the serial console, another over telnet, and a management script sets
parameters meanwhile. Every round, the console on a pseudo-terminal (a tmux pane) and the
console reached through a real telnet session (busybox telnetd and telnet, as in
test_telnet) each edit one of their own items and save, while the script sets one of its
own items with a one-shot set. After every round the data file must hold every edit and
every set made so far, and nothing else changed; at the end both consoles and the script
must have ended by themselves, and both files must load and read back as written.

The items are ones that no action reads or writes: the identity texts (menu 5) for the
consoles, the reserved ping watchdog items for the script."""
import os
import shlex
import shutil
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'devroot'))
sys.path.insert(0, HERE)
from devroot import APMENU, EMULATOR, DeviceRoot  # noqa: E402
from tmux_pane import TmuxPane  # noqa: E402
from test_console import CAT_DIR, DATA, DEFAULT, TITLE, edited  # noqa: E402
from test_telnet import (LOGIN, SESSION, STATUS, TMUX_CONF, TMUX_SOCKET,  # noqa: E402
                         serving_script, static_busybox)

# 200 rounds on the host build: about 12 s (the whole test about 15-30 s); under the
# emulator, at five to eight times that, one to four minutes, so every build runs them all.
ROUNDS = 200
PTY_SESSION = 'pty'
PTY_CONSOLE = '/var/apmenu-pty'
PTY_STATUS = '/var/apmenu-pty-status'
ROUND = '/var/stress-round'         # the round the script may set for
SETS_DONE = '/var/stress-sets'      # one line per set the script has made
# Each party's items, by OID; round n edits item n % len(items).
PTY_ITEMS = ('0.5.1', '0.5.2')
TELNET_ITEMS = ('0.5.3', '0.5.4')
SCRIPT_ITEMS = ('0.4.6', '0.4.7', '0.4.8')
IDENTITY = '| IDENTITY |'


def tag(oid):
    return 'v;' + oid[2:].replace('.', ';')


def set_script(apmenu_set):
    """The script's body: for each round, once the test allows it, one one-shot set of
    one of its items, then a line in SETS_DONE. A set that fails ends the script."""
    items = ' '.join(SCRIPT_ITEMS)
    return f'''
set -- {items}
count=$#
n=1
while [ $n -le {ROUNDS} ]; do
    until [ "$(cat {ROUND} 2>/dev/null)" -ge $n ] 2>/dev/null; do sleep 0.02; done
    k=$((n % count + 1))
    eval "oid=\\${{$k}}"
    {apmenu_set} "--oid=$oid" "--val=set-$n" || exit 1
    echo $n >> {SETS_DONE}
    n=$((n + 1))
done
'''


def pty_console(apmenu):
    return (f'#!/bin/sh\ncd {CAT_DIR} || exit 1\n{apmenu}\n'
            f'echo $? > {PTY_STATUS}\n')


@unittest.skipUnless(shutil.which('tmux'), 'tmux is not installed')
class StressTest(TmuxPane, unittest.TestCase):

    WAIT = 60 if EMULATOR else 20       # seconds for a round's saves and set, or a screen
    RUN_TIMEOUT = 1500 if EMULATOR else 400

    def setUp(self):
        busybox = static_busybox()
        if busybox is None:
            self.skipTest('no busybox with telnetd')
        self.root = DeviceRoot()
        self.addCleanup(self.root.close)
        for name in (TITLE, DATA):
            self.root.write(f'{CAT_DIR}/{name}', DEFAULT[name])
        console = self.root.shell_command([APMENU, '--test=0'])
        self.root.write(LOGIN, f'#!/bin/sh\ncd {CAT_DIR} || exit 1\n{console}\n'
                        f'echo $? > {STATUS}\n', mode=0o755)
        self.root.write(PTY_CONSOLE, pty_console(console), mode=0o755)
        self.root.write(TMUX_CONF, 'set-option -g remain-on-exit on\n')
        self.tmux_server = ['-S', self.root.host_path(TMUX_SOCKET)]
        # The serving run of test_telnet, with a second session: the console on its pane.
        serving = serving_script(busybox).replace(
            '\nwhile tmux', f'\ntmux -S {shlex.quote(TMUX_SOCKET)} new-session -d -s '
            f'{PTY_SESSION} -x 80 -y 30 {PTY_CONSOLE}\nwhile tmux', 1)
        self.serving = self.root.start(['/bin/sh', '-c', serving], net=True, ptys=True,
                                       timeout=self.RUN_TIMEOUT)
        self.addCleanup(self.serving.kill)

    def pane_gone(self):
        return f'the serving run ended: {self.serving.wait()}' if self.serving.ended() else None

    def on(self, session):
        self.session = session
        return self

    def done_sets(self):
        path = self.root.host_path(SETS_DONE)
        if not os.path.exists(path):
            return 0
        with open(path) as f:
            lines = f.read().split()
        return int(lines[-1]) if lines else 0

    def wait_for_round(self, n, want):
        """Waits until the script has made set n and the data file holds want."""
        deadline = time.monotonic() + self.WAIT
        while True:
            data = self.root.read(f'{CAT_DIR}/{DATA}')
            if data == want and self.done_sets() >= n:
                return
            if self.script.ended() and self.done_sets() < n:
                self.fail(f'the script ended before set {n}: {self.script.wait()}')
            if time.monotonic() > deadline:
                self.assertEqual(data, want, f'round {n}: sets done {self.done_sets()}')
                self.fail(f'round {n}: set {n} not made within {self.WAIT} s')
            time.sleep(0.02)

    def test_two_consoles_and_a_script_keep_every_edit_and_set(self):
        for session in (SESSION, PTY_SESSION):
            self.on(session).assertMainMenuShown()
            self.type_line('5')
            self.wait_for(IDENTITY)
        set_command = self.root.shell_command([APMENU, '--test=4', '--set'])
        self.script = self.root.start(['/bin/sh', '-c', set_script(set_command)],
                                      cwd=CAT_DIR, timeout=self.RUN_TIMEOUT)
        self.addCleanup(self.script.kill)

        values = {}
        started = time.monotonic()
        for n in range(1, ROUNDS + 1):
            self.root.write(ROUND, f'{n}\n')
            for session, items in ((PTY_SESSION, PTY_ITEMS), (SESSION, TELNET_ITEMS)):
                oid = items[n % len(items)]
                value = f'{session}-{n}'
                values[tag(oid)] = value
                # The item's entry number with its answer, then the save key.
                self.on(session).type_line(f'{oid.rsplit(".", 1)[1]}:{value};s')
            values[tag(SCRIPT_ITEMS[n % len(SCRIPT_ITEMS)])] = f'set-{n}'
            self.wait_for_round(n, edited(DEFAULT[DATA], values))
        elapsed = time.monotonic() - started

        # Every run ends by itself: the script after its last set, each console by its exit key.
        self.assertEqual(self.script.wait().returncode, 0)
        for session in (SESSION, PTY_SESSION):
            self.on(session).type_line('e')
        # Each console's status, written when it has ended, tells how it ended (the
        # telnet client's last words can be lost as its pane closes).
        deadline = time.monotonic() + self.WAIT
        while not all(self.root.exists(s) for s in (STATUS, PTY_STATUS)):
            self.assertLess(time.monotonic(), deadline, 'a console did not end')
            time.sleep(0.1)
        self.assertEqual((self.root.read(STATUS), self.root.read(PTY_STATUS)), ('0\n', '0\n'))
        self.tmux('kill-server')
        self.assertEqual(self.serving.wait().returncode, 0)

        # Both files load: a get of an edit and of a set, and the files read back whole.
        final = edited(DEFAULT[DATA], values)
        self.assertEqual(self.root.read(f'{CAT_DIR}/{DATA}'), final)
        self.assertEqual(self.root.read(f'{CAT_DIR}/{TITLE}'), DEFAULT[TITLE])
        for oid in (PTY_ITEMS[ROUNDS % 2], TELNET_ITEMS[ROUNDS % 2],
                    SCRIPT_ITEMS[ROUNDS % len(SCRIPT_ITEMS)]):
            r = self.root.run([APMENU, '--test=4', '--get', f'--oid={oid}'], cwd=CAT_DIR,
                              timeout=self.WAIT)
            self.assertEqual((r.stdout, r.returncode), (f'[{oid}]={values[tag(oid)]}\n', 0))
        print(f'\n{ROUNDS} rounds in {elapsed:.1f} s', file=sys.stderr)


if __name__ == '__main__':
    unittest.main()
