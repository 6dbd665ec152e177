"""Checks that the device root gives programs the board's view and keeps the host safe."""
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from devroot import SOURCE_DIR, DeviceRoot, DeviceRootError, RunTimeout

# The shipped build's compiler (a static program for the board's core, soft float) and
# the emulator its tests run under: no library of the host is reachable.
BOARD_CC = os.path.join(SOURCE_DIR, 'cmake', 'zig', 'cc')
MIPS_EMULATOR = 'qemu-mips-static -cpu 24Kc'
NOT_FOUND = 127    # the compiler's wrapper found no compiler


def sh(root, script, **kw):
    return root.run(['/bin/sh', '-c', script], **kw)


def compile_or_skip(compiler, flags, source, tmp):
    if not shutil.which(compiler):
        raise unittest.SkipTest(f'{compiler} is not installed')
    src = os.path.join(tmp, 'prog.c' if compiler.endswith('cc') else 'prog.cpp')
    with open(src, 'w') as f:
        f.write(source)
    out = os.path.join(tmp, 'prog')
    r = subprocess.run([compiler, *flags, src, '-o', out], timeout=600,
                       stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if r.returncode == NOT_FOUND:
        raise unittest.SkipTest(r.stderr.strip())
    if r.returncode != 0:
        raise AssertionError(f'{compiler} failed:\n{r.stderr}')
    return out


class FilesTest(unittest.TestCase):
    def test_board_paths_are_shared_with_the_program_and_not_the_host(self):
        host_etc = sorted(os.listdir('/etc'))
        host_log = os.path.exists('/etc/log_zelk.txt')
        with DeviceRoot() as root:
            root.write('/etc/config/network', 'config interface lan\n')
            root.write('/proc/net/vlan/ath0.10', 'ath0.10  VID: 10\n')
            root.write('/dev/mtd0', b'\x00\xff')
            root.mkdir('/var/run')
            r = sh(root, 'cat /etc/config/network /proc/net/vlan/ath0.10; od -An -tx1 /dev/mtd0;'
                         'echo logged > /etc/log_zelk.txt; echo 7 > /var/run/wifi-ath0.pid')
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual(r.stdout, 'config interface lan\nath0.10  VID: 10\n 00 ff\n')
            self.assertEqual(root.read('/etc/log_zelk.txt'), 'logged\n')
            self.assertEqual(root.read('/var/run/wifi-ath0.pid'), '7\n')
            self.assertTrue(root.exists('/etc/init.d/uhttpd'))
        self.assertEqual(sorted(os.listdir('/etc')), host_etc)
        self.assertEqual(os.path.exists('/etc/log_zelk.txt'), host_log)

    def test_proc_file_of_a_test_replaces_the_kernel_entry(self):
        with DeviceRoot() as root:
            root.write('/proc/sys/net/ipv4/ip_forward', '0\n')
            r = sh(root, 'cat /proc/sys/net/ipv4/ip_forward; echo 1 > /proc/sys/net/ipv4/ip_forward;'
                         'echo 1 > /proc/.kernel/sys/net/ipv4/ip_forward || echo read-only')
            self.assertEqual(r.stdout, '0\nread-only\n')
            self.assertEqual(root.read('/proc/sys/net/ipv4/ip_forward'), '1\n')

    def test_c_library_finds_its_etc_files(self):
        with DeviceRoot() as root:
            r = sh(root, 'getent protocols icmp; getent hosts localhost; id -un')
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertRegex(r.stdout, r'^icmp +1 ICMP\n(127\.0\.0\.1|::1) +localhost\n(.*\n)?root\n$')

    def test_paths_outside_the_root_are_refused(self):
        with DeviceRoot() as root:
            for path in ('/usr/bin/x', '/etc/../usr/x', 'etc/x', '/'):
                with self.subTest(path=path), self.assertRaises(ValueError):
                    root.write(path, 'x')

    def test_missing_working_directory_is_reported(self):
        with DeviceRoot() as root, self.assertRaisesRegex(DeviceRootError, '/etc/apmenu'):
            root.run(['true'], cwd='/etc/apmenu')


class StandinsTest(unittest.TestCase):
    AWKWARD = ['it\'s "quoted"', 'a b', '$(reboot)', 'two\nlines', '', b'\xff\xfe'.decode(
        'utf-8', 'surrogateescape')]

    def test_argv_is_recorded_exactly(self):
        with DeviceRoot() as root:
            direct = root.run(['vconfig', 'add'] + [os.fsencode(a) for a in self.AWKWARD])
            shell = sh(root, 'vconfig rem ' + ' '.join(map(shlex.quote, self.AWKWARD)))
            self.assertEqual((direct.returncode, direct.stdout, direct.stderr), (0, '', ''))
            self.assertEqual((shell.returncode, shell.stdout, shell.stderr), (0, '', ''))
            self.assertEqual(root.calls('vconfig'), [['vconfig', 'add'] + self.AWKWARD,
                                                     ['vconfig', 'rem'] + self.AWKWARD])
            self.assertEqual(root.calls('reboot'), [])

    def test_recorders_are_first_on_path_and_logged_in_order(self):
        with DeviceRoot() as root:
            r = sh(root, 'hostapd -B /var/run/hostapd-ath0.conf; wpa_supplicant -iath1;'
                         'telnetd -l /bin/login; vsftpd; ip link set ath0 up;'
                         '/etc/init.d/uhttpd restart')
            self.assertEqual((r.returncode, r.stdout), (0, ''), r.stderr)
            self.assertEqual(root.calls(), [
                ['hostapd', '-B', '/var/run/hostapd-ath0.conf'], ['wpa_supplicant', '-iath1'],
                ['telnetd', '-l', '/bin/login'], ['vsftpd'], ['ip', 'link', 'set', 'ath0', 'up'],
                ['uhttpd', 'restart']])
            self.assertEqual(root.calls('/etc/init.d/uhttpd'), [['uhttpd', 'restart']])

    def test_every_reboot_path_hits_the_recorder(self):
        with DeviceRoot() as root:
            r = sh(root, 'reboot; /sbin/reboot -f; /usr/sbin/reboot; /sbin/halt; '
                         '/sbin/poweroff; systemctl reboot')
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual(root.calls(), [['reboot'], ['reboot', '-f'], ['reboot'], ['halt'],
                                            ['poweroff'], ['systemctl', 'reboot']])

    def test_added_standin_runs_and_is_recorded(self):
        with DeviceRoot() as root:
            root.add_standin('uci', 'echo "uci: $*"; exit 3')
            root.add_standin('hostapd', '#!/usr/bin/python3\nimport sys; print(sys.argv[1:])')
            r = sh(root, 'uci show "network.lan"; hostapd -B "x y"')
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual(r.stdout, "uci: show network.lan\n['-B', 'x y']\n")
            self.assertEqual(root.calls(), [['uci', 'show', 'network.lan'],
                                            ['hostapd', '-B', 'x y']])


class ShellTest(unittest.TestCase):
    def test_system_gets_busybox_sh(self):
        with DeviceRoot() as root:
            # C's system() runs /bin/sh; busybox echo leaves backslashes alone.
            r = root.run(['/usr/bin/python3', '-c', 'import os; os.system(r"echo \'a\\nb\'")'])
            applets = sh(root, 'readlink -f "$(command -v pidof)" "$(command -v grep)"')
        self.assertEqual(r.stdout, 'a\\nb\n')
        self.assertEqual(applets.stdout, '/usr/bin/busybox\n/usr/bin/busybox\n')


class IsolationTest(unittest.TestCase):
    def test_proc_shows_no_process_but_self_works(self):
        with DeviceRoot() as root:
            r = sh(root, 'pidof sh; echo "pidof=$?"; ls /proc; grep -c . /proc/self/maps')
        lines = r.stdout.splitlines()
        self.assertEqual(lines[0], 'pidof=1')
        self.assertFalse([n for n in lines[1:-1] if n.isdigit()], lines)
        self.assertGreater(int(lines[-1]), 5)

    def test_kill_reaches_no_host_process(self):
        host = subprocess.Popen(['sleep', '30'])
        try:
            with DeviceRoot() as root:
                r = sh(root, f'kill -0 1 && echo own; kill -0 {host.pid} || echo host-unreachable')
            self.assertEqual(r.stdout, 'own\nhost-unreachable\n')
            self.assertIsNone(host.poll())
        finally:
            host.kill()
            host.wait()

    def test_timeout_kills_the_whole_namespace(self):
        with DeviceRoot() as root:
            start = time.monotonic()
            with self.assertRaisesRegex(RunTimeout, 'within 0.5 s') as caught:
                sh(root, 'echo started; (trap "" HUP TERM; sleep 1; echo late > /var/late) &'
                         ' sleep 30', timeout=0.5)
            self.assertLess(time.monotonic() - start, 5)
            self.assertEqual(caught.exception.stdout, 'started\n')
            time.sleep(1.5)
            self.assertFalse(root.exists('/var/late'))

    def test_network_is_a_namespace_of_its_own(self):
        ping = 'busybox ping -c1 -W1 127.0.0.1 >/dev/null; echo "ping=$?"'
        links = "/usr/sbin/ip -o link | cut -d' ' -f2,3"
        with DeviceRoot() as root:
            closed = sh(root, f'{links}; {ping}')
            loopback = sh(root, f'{links}; {ping}', net=True)
            silent = sh(root, ping, net=True, ping_silent=True)
        self.assertEqual(closed.stdout, 'lo: <LOOPBACK>\nping=1\n')
        self.assertEqual(loopback.stdout, 'lo: <LOOPBACK,UP,LOWER_UP>\nping=0\n')
        self.assertEqual(silent.stdout, 'ping=1\n')

    def test_faketime_sets_the_clock_of_the_whole_tree(self):
        with DeviceRoot() as root:
            r = sh(root, 'date "+%F %T"; sleep 1.1; date "+%F %T"',
                   faketime='@2026-12-08 23:30:15')
        self.assertEqual(r.stdout, '2026-12-08 23:30:15\n2026-12-08 23:30:16\n', r.stderr)


class ProgramsTest(unittest.TestCase):
    """Builds that test suites use: sanitizers on the host, qemu for the board."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.tmp)

    def test_leak_checker_works_inside(self):
        prog = compile_or_skip('g++', ['-fsanitize=address', '-pthread'], '''
            #include <cstdio>
            #include <cstdlib>
            #include <thread>
            void *kept;
            int main(int argc, char **) {
              std::thread([] {}).join();
              if (argc > 1) { kept = malloc(33); kept = nullptr; }
              std::puts("ran"); std::fflush(stdout);
            }''', self.tmp)
        with DeviceRoot() as root:
            clean = root.run([prog])
            leaking = root.run([prog, 'leak'])
            # The next run finds none of their entries (pidof would find them).
            listed = root.run(['/bin/sh', '-c', 'ls /proc'])
            self.assertFalse([n for n in listed.stdout.split() if n.isdigit()])
        self.assertEqual((clean.returncode, clean.stdout), (0, 'ran\n'), clean.stderr)
        self.assertNotEqual(leaking.returncode, 0)
        self.assertIn('33 byte(s) leaked in 1 allocation(s)', leaking.stderr)

    def test_board_program_runs_under_the_emulator(self):
        if not shutil.which('qemu-mips-static'):
            self.skipTest('qemu-mips-static is not installed')
        prog = compile_or_skip(BOARD_CC, ['-static', '-Os'], '''
            #include <stdio.h>
            int main(void) {
              char line[32] = "";
              FILE *f = fopen("/etc/config/wireless", "r");
              if (f && fgets(line, sizeof line, f)) fputs(line, stdout);
              return 3;
            }''', self.tmp)
        with DeviceRoot(emulator=MIPS_EMULATOR) as root:
            root.write('/etc/config/wireless', 'config wifi-device\n')
            r = root.run([prog])
            self.assertEqual((r.returncode, r.stdout), (3, 'config wifi-device\n'), r.stderr)
            with self.assertRaises(unittest.SkipTest):
                root.run([prog], faketime='@2026-12-08 23:30:15')


class DemoTest(unittest.TestCase):
    DEMO = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'demo.py')

    def demo(self, script):
        r = subprocess.run([sys.executable, self.DEMO, '/bin/sh', '-c', script],
                           stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=60)
        self.assertEqual(r.returncode, 0, r.stderr)
        return r.stdout

    def test_shows_the_commands_run_and_the_lines_logged(self):
        out = self.demo("echo ran; vconfig add eth0 10; /etc/init.d/uhttpd restart; "
                        "/sbin/reboot 'now or later'; echo '[t] Rebooted' >> /etc/log_zelk.txt")
        self.assertEqual(out, 'ran\n\nCommands run on the device:\n  vconfig add eth0 10\n'
                              "  /etc/init.d/uhttpd restart\n  /sbin/reboot 'now or later'\n\n"
                              'Lines logged in /etc/log_zelk.txt:\n  [t] Rebooted\n')
        self.assertEqual(self.demo('true'), '\nCommands run on the device:\n  none\n\n'
                                            'Lines logged in /etc/log_zelk.txt:\n  none\n')


if __name__ == '__main__':
    unittest.main()
