"""The ping watchdog and the file watch end to end. The watchdog pings 127.0.0.1 only,
inside the run's own network namespace: loopback answers, or is made silent (the
namespace's ICMP echo ignored) or switched off and on while it runs."""
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'devroot'))
sys.path.insert(0, HERE)
from devroot import APMENU  # noqa: E402
from test_console import CAT_DIR, DATA, DEFAULT, ConsoleCase, edited  # noqa: E402
from test_threads import OpenInput  # noqa: E402

LOG = '/etc/log_zelk.txt'
MSG = CAT_DIR + '/webspingwatchdog.msg'
STAMP = r'\[\d\d-\d\d-\d{4} \d\d:\d\d:\d\d\.\d{6}\] '
START_TEXT = ('This is system tools of ping watchdog.\nThe target ip is {} and the number of '
              'failure to reboot is {}\n')
TIMED_OUT = 'Request timed out.\r'
REBOOT_TEXT = 'It will be reboot  after 3 seconds!!!'
# Arms and starts the watchdog of menu 4, then (when it did not end the run) stores a
# value that shows whether the keys after it ran.
WATCHDOG_KEYS = '4;9:y;!;1;3:99;e'


def watchdog(target='127.0.0.1', delay='0', interval='0', failures='2', enabled='1', **more):
    """Catalogue values of the watchdog's items (and more, as tag=value)."""
    values = {'v;4;1': target, 'v;4;2': delay, 'v;4;3': interval, 'v;4;4': failures,
              'v;4;5': enabled}
    values.update({k.replace('_', ';'): v for k, v in more.items()})
    return values


class WatchCase(ConsoleCase):

    def batch(self, values, keys, **kw):
        self.install(data=edited(DEFAULT[DATA], values))
        self.values = values
        r = self.apmenu('--test=1', keys, **kw)
        self.assertEqual(r.returncode, 0, r)
        return r

    def log(self):
        return self.root.read(LOG).splitlines() if self.root.exists(LOG) else []

    def assertStartLogged(self, target, interval, delay, failures):
        self.assertRegex(self.log()[0], '^' + STAMP + r'Running ping watchdog\.\.\.' + (
            rf'IP=\[{target}\]\[interval\]=\[{interval}\]\[startup delay\]=\[{delay}\]'
            rf'\[failure_count\]=\[{failures}\]$').replace('.', r'\.'))

    def assertRebooted(self, target):
        self.assertRegex(self.log()[-1], '^' + STAMP + r'Rebooted by ping watchdog\.\[IP\]=\['
                         + target.replace('.', r'\.') + r'\]$')
        self.assertEqual(self.root.calls('reboot'), [['reboot']])
        # The run ended there: the keys after the start never ran.
        self.assertData(self.values)

    def assertKeysAfterRan(self):
        self.assertEqual(self.root.calls('reboot'), [])
        self.assertData(dict(self.values, **{'v;1;3': '99'}))


class PingWatchdogTest(WatchCase):

    def test_disabled_watchdog_does_nothing_and_ends_the_run(self):
        self.batch(watchdog(enabled='0'), WATCHDOG_KEYS, net=True)
        self.assertEqual(self.log(), [])
        self.assertFalse(self.root.exists(MSG))
        self.assertEqual(self.root.calls('reboot'), [])
        self.assertData(self.values)

    def test_unanswered_target_reboots_after_the_failure_count(self):
        self.batch(watchdog(failures='3'), WATCHDOG_KEYS, ping_silent=True)
        self.assertEqual(self.root.read(MSG), START_TEXT.format('127.0.0.1', 3)
                         + TIMED_OUT * 3 + REBOOT_TEXT)
        self.assertStartLogged('127.0.0.1', 0, 0, 3)
        self.assertEqual(len(self.log()), 2)
        self.assertRebooted('127.0.0.1')

    def test_an_answered_cycle_starts_the_count_again(self):
        # Loopback is down at the start, comes up after the first time-out and goes down
        # again after the first reply: time-out, reply, time-out, time-out, reboot.
        toggle = r'''
ip=/usr/sbin/ip; [ -x $ip ] || ip=/sbin/ip
msg=%s
$ip link set lo down
( until grep -q "timed out" $msg 2>/dev/null; do sleep 0.05; done; $ip link set lo up
  until grep -q "Reply" $msg 2>/dev/null; do sleep 0.05; done; $ip link set lo down ) &
exec "$@"
''' % MSG
        values = watchdog(interval='1')
        self.install(data=edited(DEFAULT[DATA], values))
        self.values = values
        r = self.root.run(['/bin/sh', '-c', toggle, 'sh', *self.root.emulator, APMENU,
                           '--test=1', WATCHDOG_KEYS], cwd=CAT_DIR, net=True, timeout=60)
        self.assertEqual(r.returncode, 0, r)
        msg = self.root.read(MSG)
        head, _, rest = msg.partition(TIMED_OUT)
        self.assertEqual(head, START_TEXT.format('127.0.0.1', 2))
        reply, _, tail = rest.partition('\r')
        self.assertRegex(reply, r'^Reply from_pw 127\.0\.0\.1: bytes=56 icmp_seq_pw=1 ttl=64 '
                                r'time=\d+\.\d{3} ms $')
        self.assertEqual(tail, TIMED_OUT * 2 + REBOOT_TEXT)
        self.assertRebooted('127.0.0.1')

    def test_settings_from_uci_override_the_catalogue(self):
        self.root.write('/etc/config/services', """\
config ping 'ping'
\toption enabled '1'
\toption delay '0'
\toption interval '0'
\toption failcount '1'
\toption ipaddr '127.0.0.1'
""")
        self.batch(watchdog(target='10.9.9.9', delay='60', interval='5', failures='5',
                            enabled='0', v_1_14='1'), WATCHDOG_KEYS, ping_silent=True)
        self.assertStartLogged('127.0.0.1', 0, 0, 1)
        self.assertEqual(self.root.read(MSG), START_TEXT.format('127.0.0.1', 1) + TIMED_OUT
                         + REBOOT_TEXT)
        self.assertRebooted('127.0.0.1')

    def test_a_start_that_cannot_run_leaves_the_run_to_the_keys_after_it(self):
        for target, failures in (('127.0.0.1', '0'), ('255.255.255.255', '2')):
            with self.subTest(target=target, failures=failures):
                self.setUp()
                self.batch(watchdog(target=target, failures=failures), WATCHDOG_KEYS, net=True)
                self.assertEqual(len(self.log()), 1)
                self.assertStartLogged(target, 0, 0, failures)
                # No failures allowed: refused before the message file is written.
                self.assertEqual(self.root.read(MSG) if self.root.exists(MSG) else '', '')
                self.assertKeysAfterRan()


class FileWatchTest(WatchCase):
    """A watchdog that gives up at once (its target does not convert) leaves its failure
    count as the number of checks; the watch then runs that many checks, every interval
    of 0 seconds, and the keys after it."""

    KEYS = '4;9:y;!;1;9:y;e'

    def watch(self, watched, checks='3', seen='', **kw):
        values = watchdog(target='255.255.255.255', failures=checks, v_1_1='error',
                          v_1_2='echo ran >> /var/ran', v_1_3='0', v_1_5='1', v_1_8=seen,
                          v_1_13=watched)
        return self.batch(values, self.KEYS, **kw)

    def runs(self):
        return self.root.read('/var/ran').count('ran\n') if self.root.exists('/var/ran') else 0

    def assertItems(self, latest, seen, left):
        self.assertData(dict(self.values, **{'v;1;7': latest, 'v;1;8': seen, 'v;1;4': left}))

    def test_new_matches_on_every_check_run_the_command_each_time(self):
        # Each run of the watched command adds a matching line to its log.
        self.root.write('/var/grow.sh', 'echo "error $$" >> /var/app.log\necho ok >> /var/app.log\n'
                                        'cat /var/app.log\n')
        self.watch('sh /var/grow.sh')
        self.assertEqual(self.runs(), 3)
        self.assertItems('1,3,5', '1,3,5', '1')

    def test_known_matches_do_not_run_it_again(self):
        self.root.write('/var/app.log', 'ok\nerror one\nok\nerror two\n')
        self.watch('cat /var/app.log', seen='2')
        self.assertEqual(self.runs(), 1)   # only line 4 was new, at the first check
        self.assertItems('2,4', '2,4', '1')

    def test_a_missing_file_runs_nothing(self):
        self.watch('cat /var/missing.log', checks='2')
        self.assertEqual(self.runs(), 0)
        self.assertItems('', '', '1')

    def test_hostile_pattern_runs_nothing(self):
        self.root.add_standin('evil', 'exit 0')
        self.root.write('/var/app.log', "x';evil;'\n")
        values = watchdog(target='255.255.255.255', failures='1', v_1_3='0', v_1_5='1',
                          v_1_1="';evil;'$(evil)`evil`", v_1_2='echo ran >> /var/ran',
                          v_1_13='cat /var/app.log')
        self.batch(values, self.KEYS)
        self.assertEqual(self.root.calls('evil'), [])
        self.assertEqual(self.runs(), 0)


class ThreadedWatchTest(WatchCase):
    """The watchdog and the watch on the threaded modes: typed at the interactive console,
    and the watchdog through the mailbox of mode 5."""

    def test_interactive_console_runs_the_watchdog_and_then_the_watch(self):
        values = watchdog(target='255.255.255.255', failures='2', v_1_1='error', v_1_3='0',
                          v_1_5='1', v_1_2='echo ran >> /var/ran', v_1_13='cat /var/app.log')
        self.install(data=edited(DEFAULT[DATA], values))
        self.root.write('/var/app.log', 'error\n')
        # The exit key comes once the watch is over: typed while it runs, it would stop it.
        feed = OpenInput(self.root, ['4;9:y\n!;1;9:y\n', 'e\n'])
        try:
            r = self.root.run(feed.argv([APMENU, '--test=0']), cwd=CAT_DIR, net=True,
                              timeout=60)
        finally:
            feed.close()
        self.assertEqual(r.returncode, 0, r)
        self.assertEqual(self.root.read('/var/ran'), 'ran\n')
        self.assertData(dict(values, **{'v;1;7': '1', 'v;1;8': '1', 'v;1;4': '1'}))

    def test_mailbox_set_starts_the_watchdog_that_reboots(self):
        self.values = watchdog(failures='1')
        self.install(data=edited(DEFAULT[DATA], self.values))
        r = self.apmenu('--test=5', '--set', '--oid=0.4.9', '--val=y', ping_silent=True)
        self.assertEqual((r.returncode, r.stdout), (0, ''), r)
        self.assertEqual(self.root.read(MSG), START_TEXT.format('127.0.0.1', 1) + TIMED_OUT
                         + REBOOT_TEXT)
        self.assertRebooted('127.0.0.1')


if __name__ == '__main__':
    unittest.main()
