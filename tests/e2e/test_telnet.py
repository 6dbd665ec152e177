"""The console over a real telnet session, as operators reach it on the board: busybox
telnetd serves apmenu's console on 127.0.0.1 in the device root's own network namespace,
and busybox telnet, in a tmux pane of a tmux server in that same namespace, is typed into
by the test through the server's socket."""
import os
import shlex
import shutil
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'devroot'))
sys.path.insert(0, HERE)
from devroot import APMENU, EMULATOR, SOURCE_DIR, DeviceRoot  # noqa: E402
from tmux_pane import TmuxPane  # noqa: E402
from test_console import CAT_DIR, DATA, DEFAULT, TITLE, edited, row  # noqa: E402

# Debian's busybox has no telnetd; busybox-static has both ends. BUSYBOX_STATIC names one,
# else the cache that fetch-busybox-static.sh fills is used (and filled when empty).
FETCH = os.path.join(SOURCE_DIR, 'tests', 'devroot', 'fetch-busybox-static.sh')
CACHE = os.path.join(SOURCE_DIR, 'build', 'cache', 'busybox-static')
CACHED = os.path.join(CACHE, 'current', 'bin', 'busybox')
FETCH_TIMEOUT = 300

PORT = 2323
LISTENING = f'0100007F:{PORT:04X} 00000000:0000 0A'   # 127.0.0.1:PORT in LISTEN state
LOGIN = '/var/apmenu-login'
STATUS = '/var/apmenu-status'       # the console's exit status, written by LOGIN
TMUX_SOCKET = '/var/tmux'
TMUX_CONF = '/var/tmux.conf'
SESSION = 'telnet'
CLOSED = 'Connection closed by foreign host'
SERVICES = '| SERVICES |'
HTTP_PORT_ROW = ' 5.HTTP port         :{}'
HTTP_PORT_QUESTION = '[5.]=[80]. Please input new value: >>'


def static_busybox():
    """Host path of a busybox with the telnetd and telnet applets, or None."""
    path = os.environ.get('BUSYBOX_STATIC') or CACHED
    if os.access(path, os.X_OK):
        return path
    try:
        r = subprocess.run(['sh', FETCH, CACHE], stdin=subprocess.DEVNULL, capture_output=True,
                           text=True, timeout=FETCH_TIMEOUT)
    except (OSError, subprocess.TimeoutExpired):
        return None
    path = r.stdout.strip()
    return path if r.returncode == 0 and os.access(path, os.X_OK) else None


def serving_script(busybox):
    """Body of the root's run: telnetd in the background, and once it listens, a tmux
    server whose one pane runs the telnet client; the run lasts as long as that server."""
    bb, sock = shlex.quote(busybox), shlex.quote(TMUX_SOCKET)
    return f'''
{bb} telnetd -F -p {PORT} -b 127.0.0.1 -l {LOGIN} &
telnetd=$!
until grep -q '{LISTENING}' /proc/.kernel/net/tcp; do
    kill -0 $telnetd 2>/dev/null || {{ echo 'telnetd ended' >&2; exit 1; }}
    sleep 0.1
done
tmux -S {sock} -f {TMUX_CONF} new-session -d -s {SESSION} -x 80 -y 30 \\
    {shlex.quote(f'{bb} telnet 127.0.0.1 {PORT}')}
while tmux -S {sock} has-session 2>/dev/null; do sleep 0.2; done
'''


@unittest.skipUnless(shutil.which('tmux'), 'tmux is not installed')
class TelnetTest(TmuxPane, unittest.TestCase):

    WAIT = 30 if EMULATOR else 10   # seconds for a text to appear
    RUN_TIMEOUT = 180

    def setUp(self):
        busybox = static_busybox()
        if busybox is None:
            self.skipTest(f'no busybox with telnetd: {FETCH} could not fetch it')
        self.root = DeviceRoot()
        self.addCleanup(self.root.close)
        for name in (TITLE, DATA):
            self.root.write(f'{CAT_DIR}/{name}', DEFAULT[name])
        self.root.write(LOGIN, f'#!/bin/sh\ncd {CAT_DIR} || exit 1\n'
                        + self.root.shell_command([APMENU, '--test=0'])
                        + f'\necho $? > {STATUS}\n', mode=0o755)
        # The pane stays after telnet has ended, so the test reads how it ended.
        self.root.write(TMUX_CONF, 'set-option -g remain-on-exit on\n')
        self.tmux_server = ['-S', self.root.host_path(TMUX_SOCKET)]
        self.session = SESSION
        self.run_ = self.root.start(['/bin/sh', '-c', serving_script(busybox)], net=True,
                                    ptys=True, timeout=self.RUN_TIMEOUT)
        self.addCleanup(self.run_.kill)

    def pane_gone(self):
        return f'the serving run ended: {self.run_.wait()}' if self.run_.ended() else None

    def test_edit_and_exit_over_telnet(self):
        # The console's screen clears what the client printed on connecting.
        self.assertMainMenuShown()

        self.type_line('3')
        self.wait_for(SERVICES, row(HTTP_PORT_ROW.format(80)))
        self.type_line('5')
        self.wait_for('ZTQ$5\n' + HTTP_PORT_QUESTION)     # the server's terminal echoes
        self.type_line('8081')
        self.wait_for(row(HTTP_PORT_ROW.format(8081)))
        self.type_line('e')

        # The console ends, so telnetd closes the connection and the client exits.
        self.wait_for(CLOSED)
        self.assertEqual(self.tmux('display-message', '-p', '-t', SESSION,
                                   '#{pane_dead}').strip(), '1')
        self.assertEqual(self.root.read(STATUS), '0\n')
        self.tmux('kill-server')
        self.assertEqual(self.run_.wait().returncode, 0)
        self.assertEqual(self.root.read(f'{CAT_DIR}/{DATA}'),
                         edited(DEFAULT[DATA], {'v;3;5': '8081'}))
        self.assertEqual(self.root.read(f'{CAT_DIR}/{TITLE}'), DEFAULT[TITLE])


if __name__ == '__main__':
    unittest.main()
