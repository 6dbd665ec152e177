"""Runs that meet in one catalogue folder, saves that are cut short, and hostile input
through every way into apmenu: nothing may be lost, corrupted, crash or run a command
that nobody asked for. Every run happens in a device root holding the default
catalogue in /etc/apmenu."""
import os
import random
import re
import shlex
import sys
import time
import unittest

# The device root module lives in tests/devroot; PYTHONPATH may name only tests/.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'devroot'))
from devroot import APMENU, DeviceRoot  # noqa: E402

from test_console import CAT_DIR, DATA, DEFAULT, TITLE, edited  # noqa: E402
from test_ssid_priority import config  # noqa: E402
from test_vlan_setup import entry  # noqa: E402

# apmenu as a shell script inside the root calls it (the emulator first on the MIPS build).
APMENU_SH = ' '.join(shlex.quote(w) for w in
                     shlex.split(os.environ.get('DEVROOT_EMULATOR', '')) + [APMENU])
CANNOT_WRITE = 'Can not open file.: ./' + DATA
# A catalogue line as the loader takes it: a tag of a known class, '=', a value.
ITEM_LINE = re.compile(rb'[mnv][^=\n]{0,26}=[^\n]*')
# What a command that nobody asked for would run.
EVIL = ['$(evil)', '`evil`', ';evil', '|evil', '&&evil', "'$(evil)'", '"$(evil)"',
        "';evil;'", '\\$(evil)']


def tag(oid):
    return 'v;' + oid[2:].replace('.', ';')


class HardeningCase(unittest.TestCase):

    def setUp(self):
        self.root = DeviceRoot()
        self.addCleanup(self.root.close)
        self.root.add_standin('evil', 'exit 0\n')
        self.install()

    def install(self, title=None, data=None):
        for name, text in ((TITLE, title), (DATA, data)):
            self.root.write(f'{CAT_DIR}/{name}', DEFAULT[name] if text is None else text)

    def apmenu(self, *args, stdin='', timeout=60):
        return self.root.run([APMENU, *args], cwd=CAT_DIR, stdin=stdin, timeout=timeout)

    def shell(self, script, timeout=300):
        """Runs script under the root's shell in the catalogue folder; $APMENU is apmenu.
        The script's programs get the namespace's own /proc, where the leak checker of
        a sanitizer build finds their threads."""
        return self.root.run(['/bin/sh', '-c', f'mount -t proc proc /proc\n'
                              f'APMENU="{APMENU_SH}"\n{script}'], cwd=CAT_DIR, timeout=timeout)

    def read(self, name):
        return self.root.read(f'{CAT_DIR}/{name}')

    def folder(self):
        return sorted(os.listdir(self.root.host_path(CAT_DIR)))

    def assertLoadable(self, title, data):
        """Both texts are whole catalogue files of 101 items between them."""
        lines = []
        for text in (title, data):
            self.assertTrue(text.endswith(b'\n'), text[-40:])
            lines += text[:-1].split(b'\n')
        bad = [line for line in lines if not ITEM_LINE.fullmatch(line)]
        self.assertEqual((len(lines), bad), (101, []))

    def assertNoEvil(self):
        self.assertEqual(self.root.calls('evil'), [])

    def assertCatalogueWhole(self):
        self.assertLoadable(self.root.read_bytes(f'{CAT_DIR}/{TITLE}'),
                            self.root.read_bytes(f'{CAT_DIR}/{DATA}'))


class ConcurrentRunsTest(HardeningCase):

    OIDS = ['0.1.1', '0.1.3', '0.1.4', '0.1.5', '0.1.7', '0.1.8', '0.1.13', '0.3.1',
            '0.3.2', '0.3.4', '0.3.5', '0.3.7', '0.3.8', '0.3.10', '0.3.11', '0.4.1',
            '0.4.2', '0.4.3', '0.5.1', '0.5.4']

    def test_twenty_sets_started_together_all_stay(self):
        # Each set waits at a gate until all twenty are started, then they run at once.
        for round_no in range(3):
            with self.subTest(round=round_no):
                self.install()
                values = {oid: f'r{round_no}v{k}' for k, oid in enumerate(self.OIDS)}
                starts = ''.join(
                    f'(while [ ! -e /var/go ]; do sleep 0.005; done; '
                    f'exec $APMENU --test=4 --set --oid={oid} --val={value}) & pids="$pids $!"\n'
                    for oid, value in values.items())
                r = self.shell('rm -f /var/go; pids=""\n' + starts +
                               'sleep 0.2; : > /var/go\n'
                               'rc=0; for p in $pids; do wait $p || rc=$?; done; exit $rc\n')
                self.assertEqual((r.returncode, r.stdout), (0, ''), r)
                self.assertEqual(self.read(DATA), edited(DEFAULT[DATA], {
                    tag(oid): value for oid, value in values.items()}))
                self.assertEqual(self.read(TITLE), DEFAULT[TITLE])
                self.assertEqual(self.folder(), [DATA, TITLE])

    def test_interactive_session_and_scripted_sets_both_keep_their_changes(self):
        script = '''
mkfifo /var/in
$APMENU --test=0 < /var/in > /var/session.out 2>&1 & session=$!
exec 3>/var/in
until grep -q 'ZTQ' /var/session.out; do sleep 0.02; done
echo 1 >&3
echo '3:77' >&3
echo '5:[Watch on]' >&3
$APMENU --test=4 --set --oid=0.5.1 --val=Scripted || exit 11
$APMENU --test=4 --set --oid=0.1.3 --val=55 || exit 12
$APMENU --test=1 '5;2:[Place];e' || exit 13
echo '4:9' >&3
echo s >&3
$APMENU --test=4 --set --oid=0.4.1 --val=10.9.9.9 || exit 14
echo e >&3
wait $session || exit 15
exec 3>&-
'''
        r = self.shell(script)
        self.assertEqual(r.returncode, 0, (r, self.root.read('/var/session.out')[-2000:]))
        # 0.1.3: the session saved after the scripted set, so its 77 wins.
        self.assertEqual(self.read(DATA), edited(DEFAULT[DATA], {
            'v;1;3': '77', 'v;1;4': '9', 'v;5;1': 'Scripted', 'v;4;1': '10.9.9.9'}))
        self.assertEqual(self.read(TITLE), edited(DEFAULT[TITLE], {
            'n;1;5': 'Watch on', 'n;5;2': 'Place'}))
        self.assertEqual(self.folder(), [DATA, TITLE])


class InterruptedSaveTest(HardeningCase):

    ITERATIONS = 200
    OID = '0.5.1'

    def run_length_ms(self):
        """How long one set runs here, measured over a few runs."""
        sets = ''.join(f'$APMENU --test=4 --set --oid={self.OID} --val=m{k}\n' for k in range(5))
        self.shell('true')
        start = time.monotonic()
        self.shell('true')
        idle = time.monotonic() - start
        start = time.monotonic()
        self.shell(sets)
        return max(1.0, (time.monotonic() - start - idle) * 1000 / 5)

    def test_a_set_killed_at_any_moment_leaves_a_whole_catalogue(self):
        # Killed at random moments over one and a half times a run's length, so that
        # some runs end first and many die on the way, the save included, the loop
        # snapshots both files and the folder after every kill. A save that is cut short
        # leaves the file as it was; a save that got through leaves the new value;
        # nothing else may be found.
        window = 1.5 * self.run_length_ms()
        self.install()
        rng = random.Random(8)
        loop = ['mkdir -p /var/snap']
        for i in range(self.ITERATIONS):
            delay = rng.uniform(0, window) / 1000
            loop.append(f'$APMENU --test=4 --set --oid={self.OID} --val=k{i} & p=$!; '
                        f'sleep {delay:.4f}; kill -9 $p 2>/dev/null; wait $p; echo $? > /var/snap/{i}.rc; '
                        f'cp {TITLE} /var/snap/{i}.t; cp {DATA} /var/snap/{i}.d; '
                        f'ls -A > /var/snap/{i}.ls')
        r = self.shell('\n'.join(loop) + '\n', timeout=600)
        self.assertEqual(r.returncode, 0, r)

        value, killed, leftovers = DEFAULT[DATA].split('v;5;1=')[1].split('\n')[0], 0, 0
        for i in range(self.ITERATIONS):
            snap = f'/var/snap/{i}'
            rc = int(self.root.read(snap + '.rc'))
            self.assertIn(rc, (0, 137), f'iteration {i}')  # finished or killed, nothing else
            killed += rc == 137
            title, data = self.root.read_bytes(snap + '.t'), self.root.read_bytes(snap + '.d')
            self.assertLoadable(title, data)
            self.assertEqual(title.decode(), DEFAULT[TITLE])
            found = data.decode().split('v;5;1=')[1].split('\n')[0]
            self.assertIn(found, (value, f'k{i}'), f'iteration {i}')
            self.assertEqual(data.decode(), edited(DEFAULT[DATA], {'v;5;1': found}))
            value = found
            # A killed save may leave its temporary file; the next save removes it.
            names = self.root.read(snap + '.ls').split()
            temps = [n for n in names if n not in (TITLE, DATA)]
            self.assertLessEqual(len(temps), 1, (i, names))
            self.assertTrue(all(re.fullmatch(r'zelk_(data|title)\.txt\.\w{6}', n) for n in temps))
            leftovers += len(temps)
        sys.stderr.write(f'[{self.ITERATIONS} runs in a {window:.0f} ms window: {killed} killed, '
                         f'{leftovers} snapshots with a temporary file] ')

        r = self.apmenu('--test=4', '--set', f'--oid={self.OID}', '--val=last')
        self.assertEqual((r.returncode, r.stdout), (0, ''), r)
        self.assertEqual(self.folder(), [DATA, TITLE])
        r = self.apmenu('--test=4', '--get', f'--oid={self.OID}')
        self.assertEqual((r.returncode, r.stdout), (0, f'[{self.OID}]=last\n'), r)

    def failed_set(self, setup):
        """Runs a set of 0.5.1 in the catalogue folder after setup, then a run without
        edits that must still load it; copies what the folder then holds to /var/after."""
        script = f'''cp -a {CAT_DIR} /var/before
{setup}
cd {CAT_DIR}
$APMENU --test=4 --set --oid=0.5.1 --val=Lost > /var/set.out; echo $? > /var/set.rc
$APMENU --test=1 '5;e' > /var/load.out; echo $? > /var/load.rc
mkdir /var/after; cp {TITLE} {DATA} /var/after/; ls -A > /var/after.ls
'''
        r = self.shell(script)
        self.assertEqual(r.returncode, 0, r)
        self.assertEqual((self.root.read('/var/set.rc'), self.root.read('/var/set.out')),
                         ('1\n', CANNOT_WRITE))
        self.assertEqual((self.root.read('/var/load.rc'), self.root.read('/var/load.out')),
                         ('0\n', ''))
        for name in (TITLE, DATA):
            self.assertEqual(self.root.read(f'/var/after/{name}'), DEFAULT[name])
        return self.root.read('/var/after.ls').split()

    def test_a_full_folder_keeps_the_old_catalogue(self):
        names = self.failed_set(
            f'mount -t tmpfs -o size=12k tmpfs {CAT_DIR} && cp /var/before/* {CAT_DIR}/ && '
            f'(dd if=/dev/zero of={CAT_DIR}/fill bs=1024 count=64 2>/dev/null; true)')
        self.assertEqual(sorted(names), ['fill', DATA, TITLE])

    def test_a_read_only_folder_keeps_the_old_catalogue(self):
        names = self.failed_set(f'mount --bind {CAT_DIR} {CAT_DIR} && '
                                f'mount -o remount,bind,ro {CAT_DIR}')
        self.assertEqual(sorted(names), [DATA, TITLE])


# The folder made read-only, and entered again: a working folder entered before stays on
# the mount below.
READ_ONLY = f'mount --bind {CAT_DIR} {CAT_DIR} && mount -o remount,bind,ro {CAT_DIR} && cd {CAT_DIR}'


class ReadOnlyFolderTest(HardeningCase):
    """A catalogue folder that cannot be written: gets still answer, and the console keeps
    the operator's edits when a save fails."""

    def test_gets_answer_and_write_nothing(self):
        script = f'''{READ_ONLY}
for m in 4 5; do $APMENU --test=$m --get --oid=0.5.1 < /dev/null >> /var/get.out; echo $? >> /var/get.rc; done
$APMENU --test=3 < /dev/null >> /var/get.out; echo $? >> /var/get.rc
'''
        r = self.shell(script, timeout=120)
        self.assertEqual(r.returncode, 0, r)
        self.assertEqual(self.root.read('/var/get.out'),
                         '[0.5.1]=AccessPoint\n' * 2 + '[0.3.1]=1\n[0.3.2]=23\n')
        self.assertEqual(self.root.read('/var/get.rc'), '0\n' * 3)
        for name in (TITLE, DATA):
            self.assertEqual(self.read(name), DEFAULT[name])

    def test_a_failed_save_keeps_the_edits_for_a_later_try(self):
        # Batch: s and e fail on the read-only folder and the run goes on; once the folder
        # can be written again, a typed e saves the edit and leaves.
        script = f'''{READ_ONLY}
mkfifo /var/in
$APMENU --test=1 '5;1:Kept;s;e' < /var/in > /var/batch.out 2>&1 & run=$!
exec 3>/var/in
n=0; until [ "$(grep -c 'Can not open' /var/batch.out)" = 2 ] || [ $n = 300 ]; do sleep 0.1; n=$((n+1)); done
mount -o remount,bind,rw {CAT_DIR}
echo e >&3
wait $run; echo $? > /var/batch.rc
exec 3>&-
'''
        r = self.shell(script, timeout=120)
        self.assertEqual(r.returncode, 0, r)
        self.assertEqual((self.root.read('/var/batch.out'), self.root.read('/var/batch.rc')),
                         ((CANNOT_WRITE + '\n') * 2, '0\n'))
        self.assertEqual(self.read(DATA), edited(DEFAULT[DATA], {'v;5;1': 'Kept'}))

        # Batch and interactive runs whose input ends after a failed save: the batch run
        # tells its script with status 1; the console, left by Ctrl-D, discards as at
        # the menu (status 0). Neither changes a file.
        self.install()
        script = f'''{READ_ONLY}
printf '5;1:Lost\\ne\\n' | $APMENU --test=1 > /var/batch.out; echo $? > /var/batch.rc
printf '5;1:Lost\\ns\\ne\\n' | $APMENU --test=0 > /var/console.out; echo $? > /var/console.rc
'''
        r = self.shell(script, timeout=120)
        self.assertEqual(r.returncode, 0, r)
        self.assertEqual((self.root.read('/var/batch.out'), self.root.read('/var/batch.rc')),
                         (CANNOT_WRITE + '\n', '1\n'))
        console = self.root.read('/var/console.out')
        self.assertEqual(self.root.read('/var/console.rc'), '0\n')
        # Each failure is shown under the screen it leaves, before the prompt.
        self.assertEqual(console.count(CANNOT_WRITE + '\nZTQ$'), 2, console[-1500:])
        for name in (TITLE, DATA):
            self.assertEqual(self.read(name), DEFAULT[name])


class HostileInputTest(HardeningCase):
    """Each input ends in a defined outcome: a result, a fixed message or a refusal; never
    a signal, and never a call of the stand-in that every payload tries to run."""

    def assertDefined(self, r, outputs=None):
        """Exit by status, not by signal; stdout one of outputs when given."""
        self.assertLess(r.returncode, 128, r)
        if outputs is not None:
            self.assertIn(r.stdout, outputs, r)

    def test_command_line_values(self):
        long_ok, long_refused = 'L' * 63, 'L' * 64
        payloads = EVIL + ['a"b\'c', '$((1+1))', '\\', '%s%n%x', long_ok, long_refused,
                           'x' * 100000]
        for mode in ('4', '5'):
            for value in payloads:
                with self.subTest(mode=mode, value=value[:20]):
                    self.install()
                    r = self.apmenu(f'--test={mode}', '--set', '--oid=0.5.1', f'--val={value}')
                    self.assertDefined(r, [''])
                    # Refused outright: a text that would add keys, one over the limit.
                    refused = (any(c in value for c in ';|~') or value[:1] in ("'", '"')
                               or len(value) > 63)
                    r = self.apmenu(f'--test={mode}', '--get', '--oid=0.5.1')
                    self.assertDefined(r, [f'[0.5.1]={"AccessPoint" if refused else value}\n'])
                    self.assertCatalogueWhole()
        self.assertNoEvil()

    def test_command_line_oids(self):
        # A malformed code ends the run with the code's own message and status.
        hash_messages = ['hash problem', 'hash problem, not a number',
                         'Please check hash function again\r\n']
        oids = ['0.5.1' + p for p in EVIL] + [p + '.5.1' for p in EVIL] + [
            '0.5.1"', "0.5.'1'", '0.' + '9' * 60, '0.' + '1.' * 30 + '1', 'x' * 100000, '.', '']
        for mode in ('4', '5'):
            for oid in oids:
                with self.subTest(mode=mode, oid=oid[:20]):
                    self.install()
                    for args in (['--get', f'--oid={oid}'],
                                 ['--set', f'--oid={oid}', '--val=1']):
                        r = self.apmenu(f'--test={mode}', *args)
                        # The first level is the header level, whatever it says; an
                        # OID in quotes loses them; a code of no item gives itself back.
                        gets = [''] + [f'[{oid}]={answer}\n' for answer in
                                       (oid, oid[1:-1], 'AccessPoint', '')]
                        self.assertDefined(r, hash_messages + gets)
                    self.assertCatalogueWhole()
                    self.assertEqual(self.read(TITLE), DEFAULT[TITLE])
        self.assertNoEvil()

    def test_batch_scripts_and_typed_lines(self):
        # 5;1 is a plain value; 2;1 to 2;3 drive the auto-reboot schedule, which prints
        # and logs through the shell.
        for payload in EVIL + ['B' * 500, '\x1b[2J\x07']:
            for script, stdin in ((f'5;1:{payload};e', ''),
                                  (f'5;1:[{payload}];e', ''),
                                  ('5', f'1:{payload}\n2\n{payload}\ne\n'),
                                  (f'2;3:{payload};2:{payload};1:{payload};e', ''),
                                  (payload * 40, 'e\n')):
                with self.subTest(script=script[:30], stdin=stdin[:20]):
                    self.install()
                    for extra in ([], [f'path={CAT_DIR}']):
                        r = self.apmenu('--test=1', script, *extra, stdin=stdin)
                        self.assertDefined(r)
                        self.assertCatalogueWhole()
        self.assertNoEvil()

    def test_hostile_catalogue_texts(self):
        for payload in EVIL + ['%s%n', '\x1b[2J']:
            with self.subTest(payload=payload):
                self.install(title=edited(DEFAULT[TITLE], {'n;5;1': payload, 'mn;5': payload}),
                             data=edited(DEFAULT[DATA], {'v;5;1': payload, 'v;2;3': payload,
                                                         'v;4;1': payload}))
                r = self.apmenu('--test=4', '--get', '--oid=0.5.1')
                self.assertDefined(r, [f'[0.5.1]={payload}\n'])
                # Screens with the texts, a rename, a value kept, the schedule by time
                # of day from the hostile reboot time.
                r = self.apmenu('--test=1', '1;6:y;!;5;1:[T];0;2;1:2;e')
                self.assertDefined(r)
                self.assertIn(payload, self.read(DATA))
                self.assertCatalogueWhole()
        self.assertNoEvil()

    def test_malformed_catalogue_files(self):
        data_lines = DEFAULT[DATA].splitlines(keepends=True)
        crlf = {n: DEFAULT[n].replace('\n', '\r\n') for n in (TITLE, DATA)}
        cases = [
            # Values keep a carriage return; the files load and save as they are.
            (crlf[TITLE], crlf[DATA], '[0.5.1]=AccessPoint\r\n', 0),
            # A last line without a line feed loads whole.
            (DEFAULT[TITLE].rstrip('\n'), DEFAULT[DATA].rstrip('\n'), '[0.5.1]=AccessPoint\n', 0),
            # Bytes that are not text stay as they are; the answer ends at a NUL.
            (DEFAULT[TITLE], edited(DEFAULT[DATA], {'v;5;1': 'a\x01\xff\x7fb\x00c'}),
             '[0.5.1]=a\x01\udcff\x7fb\n', 0),
            (DEFAULT[TITLE], DEFAULT[DATA].replace('v;6;2=', '\xff;6;2='),
             'Should not run here\n', 1),
            # A NUL ends a level as it ends a text.
            (DEFAULT[TITLE], DEFAULT[DATA].replace('v;6;2=', 'v;6;2\x00='),
             '[0.5.1]=AccessPoint\n', 0),
            (DEFAULT[TITLE], ''.join(data_lines[:-1]) + 'v;6;3=' + 'z' * 249 + '\n',
             './zelk_data.txt: line 47: malformed catalogue line\n', 1),  # 255: too long
            (DEFAULT[TITLE], ''.join(data_lines[:-1]) + 'v;6;3=' + 'z' * 248 + '\n',
             '[0.5.1]=AccessPoint\n', 0),  # 254: fits
            (DEFAULT[TITLE], DEFAULT[DATA] + 'q' * 1000000, None, 1),
            (DEFAULT[TITLE], '\n' * 1000 + '\r\n\x00', 'num=[54]\n', 1),
            ('', '', 'num=[0]\n', 1),
        ]
        for k, (title, data, out, status) in enumerate(cases):
            with self.subTest(case=k):
                self.install(title=title.encode('latin-1'), data=data.encode('latin-1'))
                r = self.apmenu('--test=4', '--get', '--oid=0.5.1')
                self.assertDefined(r)
                self.assertEqual(r.returncode, status, r)
                if out is not None:
                    self.assertEqual(r.stdout, out)
                if status == 0:
                    self.assertEqual(self.read(TITLE).encode('latin-1', 'surrogateescape'),
                                     title.encode('latin-1'))
                    r = self.apmenu('--test=4', '--set', '--oid=0.5.2', '--val=x')
                    self.assertEqual((r.returncode, r.stdout), (0, ''), r)
                    self.assertIn(b'v;5;2=x', self.root.read_bytes(f'{CAT_DIR}/{DATA}'))
        self.assertNoEvil()


class HostileConfigurationTest(HardeningCase):
    """Every value that the service starts, the ping watchdog, the file watch and the
    network setup modes read from uci or the catalogue carries the payload: SSIDs, bridge
    texts, encryption values, addresses, ports and names, the watch pattern and the ping
    target. Only the intended commands run: never the recorder named in the payload, and
    no run dies by a signal."""

    PAYLOADS = EVIL + ["a\nevil", 'x' * 5000]

    def configure(self, p):
        ip = f'10.0.0.1{p}'
        vlans = [entry('0', 'on', 'All Others', 'ether', p, p), entry('10', 'on', p, 'wifi', ip, p),
                 entry(p, 'on', p, p, p, p), entry('20', p, 'All ' + p, 'ether', ip, p)]
        files = {
            'wireless': config(('wifi-device', 'wifi0', [('type', 'athr')]),
                               *[('wifi-iface', None, [('ssid', s), ('mode', m), ('encryption', e)])
                                 for s, m, e in ((p, 'ap', p), ('Office', p, 'psk2'),
                                                 (p + '2', 'sta', 'wpa ' + p))]),
            'vlan': config(('global', 'main', [('enabled', '1')]), *vlans),
            'vlansw': config(('global', 'main', [('enabled', '1')]),
                             entry('30', bridge=p), entry('40', bridge='All ' + p)),
            'network': config(('interface', 'lan', [('proto', 'static'), ('ipaddr', p), ('netmask', p)]),
                              ('interface', 'vlan10', [('ifname', f'eth0.10 ath1.10 {p}'),
                                                       ('proto', 'static'), ('ipaddr', p)]),
                              ('interface', 'vlansw0', [('ifname', f'ath0 eth0.30 {p}'), ('ipaddr', p)]),
                              ('interface', 'vlan' + p, [('ifname', p)])),
            'dropbear': config(('dropbear', 'webname', [('webmode', 'HTTP'), ('httpport', p)]),
                               ('dropbear', 'fname', [('fenabled', '1'), ('fport', p)]),
                               ('dropbear', 'tname', [('tenabled', '1'), ('tport', p)])),
            'services': config(('ping', 'ping', [('enabled', '1'), ('delay', p), ('interval', p),
                                                 ('failcount', '1'), ('ipaddr', p)])),
            'uhttpd': config(('uhttpd', 'main', [('listen_http', [p + ':80'])])),
            'vlan_ssid': '',
        }
        for name, text in files.items():
            self.root.write(f'/etc/config/{name}', text)
        for device in ('eth0.10', 'ath1.10', p[:200]):
            if '/' not in device and device not in ('.', '..') and '\n' not in device:
                self.root.write(f'/proc/net/vlan/{device}', '')
        for n in range(3):
            self.root.write(f'/var/run/wifi-ath{n}.pid', '99999\n')
            self.root.write(f'/var/run/hostapd-ath{n}.conf', 'bridge=br-lan\n')
            self.root.write(f'/var/run/wpa_supplicant-ath{n}.conf', 'network={}\n')
        self.root.write('/var/app.log', f'ok\n{p}\n')
        # Catalogue values stay within what a catalogue line holds.
        self.install(data=edited(DEFAULT[DATA], {
            'v;1;14': '1', 'v;4;1': p[:200], 'v;4;5': '1', 'v;1;1': p[:200], 'v;1;3': '0',
            'v;1;5': '1', 'v;1;2': 'echo ran >> /var/ran', 'v;1;13': 'cat /var/app.log'}))

    def test_hostile_configuration_runs_nothing_but_the_intended_commands(self):
        keys = '3;6:y;9:y;12:y;3:y;!;4;9:y;!;1;9:y;e'
        for p in self.PAYLOADS:
            with self.subTest(payload=p[:20]):
                self.setUp()
                self.configure(p)
                for args in (['--test=6', 'x'], ['--test=7', 'x'], ['--test=8', 'x'],
                             ['--test=9', 'x'], ['--test=1', keys]):
                    r = self.root.run([APMENU, *args], cwd=CAT_DIR, net=True, timeout=120)
                    self.assertLess(r.returncode, 128, (args, r))
                self.assertNoEvil()
                # No payload is a port: the servers are left alone.
                self.assertEqual([c[0] for c in self.root.calls() if c[0] in ('vsftpd', 'telnetd')],
                                 [])
                self.assertEqual(self.root.calls('reboot'), [])
                self.assertCatalogueWhole()


if __name__ == '__main__':
    unittest.main()
