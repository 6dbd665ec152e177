"""The console engine end to end: apmenu's one-shot get and set, the no-argument start,
modes 2 and 3, batch key scripts, the fatal catalogue cases and the drawn screen, each run
in a device root holding the default catalogue in /etc/apmenu."""
import os
import re
import sys
import unittest

# The device root module lives in tests/devroot; PYTHONPATH may name only tests/.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'devroot'))
from devroot import APMENU, HOST_BUILD, SOURCE_DIR, DeviceRoot  # noqa: E402

CAT_DIR = '/etc/apmenu'
TITLE, DATA = 'zelk_title.txt', 'zelk_data.txt'
DEFAULT = {}
for _name in (TITLE, DATA):
    with open(os.path.join(SOURCE_DIR, 'catalogue', 'default', _name)) as _f:
        DEFAULT[_name] = _f.read()

CLEAR = '\x1b[2J\x1b[0;0f'
STAMP = r'\d\d-\d\d-\d{4} \d\d:\d\d:\d\d\.\d{6}'
PROMPT = 'ZTQ$'
BORDER = '+' + '-' * 53 + '+'
EMPTY_ROW = '|' + ' ' * 53 + '|'
HOTKEYS = '| 0:prev.menu; !:main menu; r-refresh; e:exit; s:save |'


def edited(text, changes):
    """The catalogue text with the value of each tag in changes replaced."""
    lines = text.splitlines(keepends=True)
    for tag, value in changes.items():
        hits = [k for k, line in enumerate(lines) if line.split('=', 1)[0] == tag]
        assert len(hits) == 1, tag
        lines[hits[0]] = f'{tag}={value}\n'
    return ''.join(lines)


def row(text):
    """A framed row of the rows' style around a content of at most 51 characters."""
    assert len(text) <= 51, text
    return '| ' + text.ljust(51) + ' |'


def stamp_line(head, tail):
    """The third line: head, the time stamp, tail."""
    return re.compile(re.escape(head) + STAMP + re.escape(tail))


MAIN_MENU = [
    '+-----------+-----------------------------------------+',
    '| MAIN MENU |                                         |',
    stamp_line('+-----------+MAIN MENU [ ', ' ] |'),
    EMPTY_ROW,
    '|  1.System      >                                    |',
    '|  2.Auto-reboot >                                    |',
    '|  3.Services    >                                    |',
    '|  4.Ping watchdog>                                   |',
    '|  5.Identity    >                                    |',
    '|  6.Firmware    >                                    |',
    EMPTY_ROW,
    BORDER,
    '| Please select item <1 to 6>:                        |',
    HOTKEYS,
    BORDER,
]


class ConsoleCase(unittest.TestCase):
    """A fresh device root per test with the default catalogue in /etc/apmenu."""

    def setUp(self):
        self.root = DeviceRoot()
        self.addCleanup(self.root.close)
        self.install()

    def install(self, title=None, data=None):
        self.files = {TITLE: DEFAULT[TITLE] if title is None else title,
                      DATA: DEFAULT[DATA] if data is None else data}
        for name, text in self.files.items():
            self.root.write(f'{CAT_DIR}/{name}', text)
        self.inodes = {name: self.inode(name) for name in self.files}

    def inode(self, name):
        """The file's inode and modification time: both stay while it is not written."""
        st = os.stat(self.root.host_path(f'{CAT_DIR}/{name}'))
        return st.st_ino, st.st_mtime_ns

    def apmenu(self, *args, stdin='', **kw):
        return self.root.run([APMENU, *args], cwd=CAT_DIR, stdin=stdin, timeout=60, **kw)

    def read(self, name):
        return self.root.read(f'{CAT_DIR}/{name}')

    def assertRun(self, r, stdout='', status=0):
        self.assertEqual((r.stdout, r.returncode), (stdout, status), r)

    def assertUntouched(self, *names):
        """The files hold what was installed and were not even rewritten."""
        for name in names or self.files:
            self.assertEqual(self.read(name), self.files[name], name)
            self.assertEqual(self.inode(name), self.inodes[name], f'{name} was rewritten')

    def assertData(self, changes):
        self.assertEqual(self.read(DATA), edited(self.files[DATA], changes))

    def assertScreen(self, out, expected, tail=PROMPT):
        """out is one screen: the clearing sequence, framed lines of 55 columns each ending
        in CR LF, then tail. Expected lines are texts or patterns for the whole line."""
        self.assertTrue(out.startswith(CLEAR), repr(out[:40]))
        lines = out[len(CLEAR):].split('\r\n')
        self.assertEqual(lines.pop(), tail)
        self.assertEqual(len(lines), len(expected), lines)
        for k, (line, want) in enumerate(zip(lines, expected), 1):
            self.assertEqual(len(line), 55, f'line {k}: {line!r}')
            if isinstance(want, str):
                self.assertEqual(line, want, f'line {k}')
            else:
                self.assertTrue(want.fullmatch(line), f'line {k}: {line!r}')


class OneShotTest(ConsoleCase):

    def test_get_prints_the_value_and_writes_nothing(self):
        cases = [('0.3.5', '80'), ('0.4.1', '192.168.1.1'),
                 ('0.5.4', 'Wireless access point'), ('0.5.2', ''),
                 ('0.3.13', None)]  # no such parameter: nothing is printed
        for oid, value in cases:
            for mode in ('--test=4', '--test=5'):
                with self.subTest(oid=oid, mode=mode):
                    self.assertRun(self.apmenu(mode, '--get', f'--oid={oid}'),
                                   '' if value is None else f'[{oid}]={value}\n')
                    # The lookup items changed in the run only.
                    self.assertUntouched()

    def test_set_stores_values_and_saves_the_data_file_in_item_number_order(self):
        # Start from a data file in reverse order: the first save sorts it.
        self.install(data=''.join(reversed(DEFAULT[DATA].splitlines(keepends=True))))
        sets = [('0.3.5', '8080', '8080'), ('0.4.1', '10.0.0.1', '10.0.0.1'),
                ('0.5.2', 'Lab 2', 'Lab 2'), ('0.5.3', "it's", "it's"),
                ('0.3.1', 'http://x/?a=b', 'http://x/?a=b'),   # all after the first '='
                ('0.5.3', '[Renamed]', None),  # a value the keys would take as a rename
                ('0.3.13', '5', None)]      # no such entry: the key is skipped
        for oid, value, _ in sets:
            self.assertRun(self.apmenu('--test=4', '--set', f'--oid={oid}', f'--val={value}'))
        self.assertEqual(self.read(DATA), edited(DEFAULT[DATA], {
            'v;' + oid[2:].replace('.', ';'): stored for oid, _, stored in sets if stored}))
        self.assertUntouched(TITLE)
        self.assertRun(self.apmenu('--test=4', '--get', '--oid=0.3.1'), '[0.3.1]=http://x/?a=b\n')
        self.assertRun(self.apmenu('--test=4', '--get', '--oid=0.7.1'), '')   # no parameter

    def test_oid_or_value_that_would_add_keys_is_refused(self):
        refused = [('--get', '--oid=0.3;1'), ('--get', '--oid=0.3|1'),
                   ('--get', '--oid=~.3.1'), ('--get', '--oid=0.3.1\n'),
                   ('--set', '--oid=0.3;1', '--val=5'), ('--set', '--oid=0~3.1', '--val=5'),
                   ('--set', '--oid=0.3.1', '--val=a;0;1;14:1'),
                   ('--set', '--oid=0.3.1', '--val=a|b'), ('--set', '--oid=0.3.1', '--val=~'),
                   ('--set', '--oid=0.3.1', "--val='x'"), ('--set', '--oid=0.3.1', '--val=x\ny')]
        for args in refused:
            with self.subTest(args=args):
                self.assertRun(self.apmenu('--test=4', *args))
                self.assertUntouched()

    def test_set_refuses_exactly_what_the_readme_lists(self):
        longest = 'x' * 63
        for value in ('"q"', "'q'", '[q]', '', longest + 'x', 'a;b', 'a|b', 'a~b', 'a\rb'):
            for mode in ('--test=4', '--test=5'):
                with self.subTest(value=value, mode=mode):
                    self.assertRun(self.apmenu(mode, '--set', '--oid=0.5.2', f'--val={value}'))
                    self.assertUntouched()
        # What is left is stored as given: inner quotes and brackets, and 63 characters.
        for value in ('a"q"', "it's", 'a[q]', longest):
            self.assertRun(self.apmenu('--test=4', '--set', '--oid=0.5.2', f'--val={value}'))
            self.assertData({'v;5;2': value})

    def test_set_of_an_oid_that_names_no_parameter_changes_nothing(self):
        # Neither OID names a parameter; walking its levels as keys must not store the
        # value, or a line of standard input, into some other parameter.
        for oid in ('1.3.1', '0.3.1.2'):
            with self.subTest(oid=oid):
                self.install()
                self.assertRun(self.apmenu('--test=4', '--set', f'--oid={oid}', '--val=v',
                                           stdin='hello\n'))
                self.assertEqual(self.read(DATA), DEFAULT[DATA])

    def test_start_without_arguments_stores_the_identity_texts(self):
        self.assertRun(self.apmenu())
        self.assertData({'v;3;1': 'AP_ZTQ_OPENWRT', 'v;3;2': 'AP_ADMIN'})
        self.assertUntouched(TITLE)

    def test_mode_3_prints_two_parameters_in_order(self):
        self.assertRun(self.apmenu('--test=3'), '[0.3.1]=1\n[0.3.2]=23\n')
        self.assertUntouched()
        self.assertRun(self.apmenu(), '')
        self.assertRun(self.apmenu('--test=3'), '[0.3.1]=AP_ZTQ_OPENWRT\n[0.3.2]=AP_ADMIN\n')

    def test_mode_2_self_test_prints_nothing_and_sets_only_existing_items(self):
        self.assertRun(self.apmenu('--test=2'))
        # 0.3.18 to 0.3.20 name no entries; the two gets write nothing.
        self.assertData({'v;3;1': 'KORVA_TEST'})
        self.assertUntouched(TITLE)


class BatchTest(ConsoleCase):

    def batch(self, *args, stdin=''):
        return self.apmenu('--test=1', *args, stdin=stdin)

    def test_navigation_back_main_menu_and_tilde(self):
        self.assertRun(self.batch('1;3:7;0;5;2:Lab;~;3;5:8080;!;4;1:10.0.0.9;e'))
        self.assertData({'v;1;3': '7', 'v;5;2': 'Lab', 'v;3;5': '8080', 'v;4;1': '10.0.0.9'})
        self.assertUntouched(TITLE)

    def test_quoted_value_with_and_without_the_path_option(self):
        self.assertRun(self.batch("1;3:'a;b';e", f'path={CAT_DIR}'))
        self.assertData({'v;1;3': 'a;b'})
        # Without the option the script splits at every ';': key 3 gets the answer "'a",
        # which loses its quote and its last character, and "b'" matches nothing.
        self.install()
        self.assertRun(self.batch("1;3:'a;b';e"))
        self.assertData({'v;1;3': ''})
        # An unmatched quote is reported, and the script still runs as it stands.
        self.install()
        self.assertRun(self.batch("1;3:'a;4:2;e", f'path={CAT_DIR}'), 'Invalid command\n')
        self.assertData({'v;1;3': '', 'v;1;4': '2'})

    def test_bar_stands_for_semicolon_and_path_names_the_catalogue_folder(self):
        self.assertRun(self.batch('1;2:echo a|echo b;e', f'path={CAT_DIR}'))
        self.assertData({'v;1;2': 'echo a;echo b'})

    def test_unmatched_and_empty_keys_are_skipped(self):
        self.assertRun(self.batch(';1;;99;3:8;;x;4:9;', stdin=';\n;;\n5:1;e\n'))
        self.assertData({'v;1;3': '8', 'v;1;4': '9', 'v;1;5': '1'})

    def test_keys_from_standard_input_after_the_script(self):
        self.assertRun(self.batch(stdin='1\n3:5\n\n   \ne\n'))
        self.assertData({'v;1;3': '5'})

    def test_key_without_answer_reads_it_from_standard_input(self):
        for script in ('1;3:;e', '1;3;e'):
            with self.subTest(script=script):
                self.install()
                self.assertRun(self.batch(script, stdin='42 s\n'))
                self.assertData({'v;1;3': '42 s'})

    def test_end_of_input_ends_the_run_with_nothing_saved(self):
        for script, stdin in (('1;3:9;5;[T]', ''), ('1;3:9', ''), ('1;3:9;4', ''),
                              ('1;3:9', '2:x\n')):
            with self.subTest(script=script, stdin=stdin):
                self.install()
                self.assertRun(self.batch(script, stdin=stdin))
                self.assertUntouched()

    def test_rename_with_brackets_writes_the_title_file(self):
        self.assertRun(self.batch('1;3:[New name];e'))
        self.assertEqual(self.read(TITLE), edited(DEFAULT[TITLE], {'n;1;3': 'New name'}))
        self.assertUntouched(DATA)
        self.install()
        self.assertRun(self.batch('3;6:[Web server];e'))  # an action item renames too
        self.assertEqual(self.read(TITLE), edited(DEFAULT[TITLE], {'n;3;6': 'Web server'}))

    def test_stored_value_items_never_rename(self):
        # The auto-reboot items also drive the scheduler, which may print and set the other
        # auto-reboot items; what counts here is that each answer is stored as it stands.
        self.assertEqual(self.batch('2;2:[x];3:[03:30];!;1;6:[n];e').returncode, 0)
        data = dict(line.split('=', 1) for line in self.read(DATA).splitlines())
        self.assertEqual((data['v;2;2'], data['v;2;3'], data['v;1;6']), ('[x]', '[03:30]', '[n]'))
        self.assertUntouched(TITLE)

    def test_save_key_writes_only_the_data_file_and_exit_writes_both(self):
        self.assertRun(self.batch('1;3:7;4:[Checks];s'))
        self.assertData({'v;1;3': '7'})
        self.assertUntouched(TITLE)
        self.install()
        self.assertRun(self.batch('1;3:7;4:[Checks];e'))
        self.assertData({'v;1;3': '7'})
        self.assertEqual(self.read(TITLE), edited(DEFAULT[TITLE], {'n;1;4': 'Checks'}))

    def test_lines_ending_in_cr_lf_or_cr_nul_are_taken_without_the_return(self):
        for end in ('\r\n', '\r\x00'):
            with self.subTest(end=repr(end)):
                self.install()
                self.assertRun(self.apmenu('--test=1', stdin=end.join(['3', '5', '8081', 'e', ''])))
                self.assertData({'v;3;5': '8081'})

    def test_exit_without_changes_writes_nothing(self):
        self.assertRun(self.batch('1;r;0;3;!;e'))
        self.assertUntouched()

    def test_default_catalogue_is_saved_byte_for_byte(self):
        # Both files rewritten: every line but the edited ones comes back as it was; values
        # changed and changed back are no change at all.
        self.assertRun(self.batch('1;3:61;3:60;5:7;3:[Watch interval (s)];4:[Checks];e'))
        for name in (TITLE, DATA):
            self.assertNotEqual(self.inode(name), self.inodes[name], f'{name} not rewritten')
        self.assertData({'v;1;5': '7'})
        self.assertEqual(self.read(TITLE), edited(DEFAULT[TITLE], {'n;1;4': 'Checks'}))

    def test_parameter_lookup_leaves_the_value_in_its_item(self):
        self.assertRun(self.batch('1;10:0.5.1;12:y;e'))
        self.assertData({'v;1;10': '0.5.1', 'v;1;11': 'AccessPoint'})
        self.install()
        self.assertRun(self.batch('1;10:0.5.1;12:n;e'))  # not confirmed: no lookup
        self.assertData({'v;1;10': '0.5.1'})


class FatalCatalogueTest(ConsoleCase):
    """Malformed catalogue data and item codes end the process with fixed texts."""

    def get(self, oid='0.3.1'):
        return self.apmenu('--test=4', '--get', f'--oid={oid}')

    def test_malformed_codes_of_a_get(self):
        for oid, message, status in (('0.3.40', 'hash problem', 3),
                                     ('0.a.1', 'hash problem, not a number', 1),
                                     ('0.31.31.9', 'Please check hash function again\r\n', 4)):
            with self.subTest(oid=oid):
                self.assertRun(self.get(oid), message, status)
                self.assertUntouched()

    def test_catalogue_of_other_than_101_items(self):
        lines = DEFAULT[DATA].splitlines(keepends=True)
        for data, count in ((''.join(lines[:-1]), 100), (DEFAULT[DATA] + 'v;6;9=\n', 102)):
            with self.subTest(count=count):
                self.install(data=data)
                self.assertRun(self.get(), f'num=[{count}]\n', 1)
                self.assertRun(self.apmenu('--test=4', '--set', '--oid=0.3.1', '--val=9'),
                               f'num=[{count}]\n', 1)
                self.assertUntouched()

    def test_tag_of_unknown_class(self):
        self.install(data=DEFAULT[DATA].replace('v;6;2=', 'x;6;2='))
        self.assertRun(self.get(), 'Should not run here\n', 1)

    def test_missing_catalogue_file(self):
        for name in (TITLE, DATA):
            with self.subTest(name=name):
                self.install()
                os.unlink(self.root.host_path(f'{CAT_DIR}/{name}'))
                self.assertRun(self.get(), f'Can not open ./{name} file', 1)
        self.assertRun(self.apmenu('--test=1', 'e', 'path=/etc/none'),
                       'Can not open /etc/none/zelk_title.txt file', 1)

    def test_catalogue_that_cannot_be_written(self):
        # An unprivileged user may read the catalogue but not write in its folder. The
        # program is copied into the root, so that the user can reach it wherever the build
        # folder lies and whatever its permissions.
        with open(APMENU, 'rb') as f:
            self.root.write('/var/bin/apmenu', f.read(), mode=0o755)
        os.chmod(self.root.host_path('/var/bin'), 0o755)
        r = self.root.run(['setpriv', '--reuid=65534', '--regid=65534', '--clear-groups',
                           *self.root.emulator, '/var/bin/apmenu', '--test=4', '--set',
                           '--oid=0.3.1', '--val=9'], cwd=CAT_DIR, stdin='', timeout=60)
        self.assertRun(r, 'Can not open file.: ./zelk_data.txt', 1)
        self.assertUntouched()
        self.assertEqual(sorted(os.listdir(self.root.host_path(CAT_DIR))), sorted([TITLE, DATA]))


class ScreenTest(ConsoleCase):
    """Setting the debug item 0;1;6 to y turns drawing on for the keys after it, so the
    last key of a batch script draws its screen."""

    def screen(self, script, stdin='', **kw):
        r = self.apmenu('--test=1', script, stdin=stdin, **kw)
        self.assertEqual(r.returncode, 0, r)
        return r.stdout

    def test_main_menu(self):
        self.assertScreen(self.screen('1;6:y;!'), MAIN_MENU)
        self.assertUntouched()  # end of input: nothing saved

    def test_menu_rows_cut_and_value_left_out(self):
        v30 = 'abcdefghijklmnopqrstuvwxyz0123'
        out = self.screen(f'1;2:{v30};13:{v30}4;6:y')
        self.assertScreen(out, [
            '+--------+--------------------------------------------+',
            '| SYSTEM |                                            |',
            stamp_line('+--------+SYSTEM [ ', ' ]       |'),
            EMPTY_ROW,
            row(' 1.Watch pattern        :error'),
            row(' 2.Watch action command :abcdefghijklmnopqrstuvw...'),  # 55 long: cut
            row(' 3.Watch interval (s)   :60'),
            row(' 4.Watch checks left    :0'),
            row(' 5.Watch enable (0/1)   :0'),
            row(' 6.Debug display (y/n)  :y'),
            row(' 7.Latest match lines   :'),
            row(' 8.All match lines      :'),
            row(' 9.Arm file watch       :'),
            row('10.Parameter OID        :0.3.1'),
            row('11.Parameter value      :'),
            row('12.Look up parameter    :'),
            row('13.Watched command      :'),  # a 31-character value does not fit
            row('14.Settings source 1=uci:0'),
            EMPTY_ROW,
            BORDER,
            row('Please select item <1 to 14>:'),
            HOTKEYS,
            BORDER,
        ])

    def test_long_menu_title_shows_the_tail_of_the_third_line(self):
        self.install(title=edited(DEFAULT[TITLE], {'mn;1': 'System settings'}))
        lines = self.screen('1;6:y')[len(CLEAR):].split('\r\n')
        self.assertEqual(lines[0], '+-----------------+-----------------------------------+')
        self.assertEqual(lines[1], '| SYSTEM SETTINGS |                                   |')
        self.assertTrue(stamp_line('+-----+SYSTEM SETTINGS [ ', ' ] |').fullmatch(lines[2]),
                        lines[2])

    def test_entry_title_too_long_for_a_row(self):
        # Titles the file already holds are shown cut, and the console goes on.
        self.install(title=edited(DEFAULT[TITLE], {'n;1;3': 'T' * 53, 'n;1;4': 'F' * 60}))
        out = self.screen('1;5:1;6:y', stdin='e\n')
        lines = out.split(CLEAR)[1].split('\r\n')
        self.assertEqual(lines[6:8], [row(' 3.' + 'T' * 45 + '...'), row(' 4.' + 'F' * 45 + '...')])
        self.assertData({'v;1;5': '1'})
        # A rename to a title longer than 52 characters is refused, at the console and in
        # batch; by a set a rename is refused whatever its length.
        self.install()
        r = self.apmenu('--test=0', stdin=f'1;3:[{"N" * 53}]\n!;5;2:[{"N" * 52}]\ne\n')
        self.assertEqual(r.returncode, 0, r)
        self.screen(f'5;1:[{"M" * 60}];e')
        self.assertRun(self.apmenu('--test=4', '--set', '--oid=0.5.3', f'--val=[{"S" * 50}]'))
        self.assertEqual(self.read(TITLE), edited(DEFAULT[TITLE], {'n;5;2': 'N' * 52}))
        self.assertData({})

    def test_prompts_of_keys_without_answer(self):
        cases = [('3', '45', '[3.]=[60]. Please input new value: >>'),
                 ('12', 'n', '[12.]=[]. Are you sure(Y/n)? ]>'),
                 ('6', 'y', '[6.]=[y]. Run in debugging mode(Y/n)? ]>')]
        for key, answer, prompt in cases:
            with self.subTest(key=key):
                out = self.screen(f'1;6:y;{key}', stdin=answer + '\n')
                self.assertTrue(out.startswith(prompt + CLEAR), repr(out[:60]))

    @unittest.skipUnless(HOST_BUILD, 'the fake clock reaches only a program of the host build')
    def test_time_stamp_on_the_third_line(self):
        out = self.screen('1;6:y;!', faketime='@2026-12-08 06:52:55')
        third = out[len(CLEAR):].split('\r\n')[2]
        self.assertRegex(third, r'^\+-----------\+MAIN MENU \[ 08-12-2026 06:52:55\.\d{6} \] \|$')


if __name__ == '__main__':
    unittest.main()
