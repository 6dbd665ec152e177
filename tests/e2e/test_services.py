"""The service starts of menu 3 end to end: the web server's listener lists rebuilt through
uci, FTP and Telnet started and stopped, settings taken from the catalogue or from uci (and
then copied into the catalogue and saved), and hostile uci values that run nothing."""
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'devroot'))
sys.path.insert(0, HERE)
from test_console import DATA, DEFAULT, ConsoleCase, edited  # noqa: E402
from test_ssid_priority import config  # noqa: E402

LOG = '/etc/log_zelk.txt'
STAMP = r'\[\d\d-\d\d-\d{4} \d\d:\d\d:\d\d\.\d{6}\] '

# The LAN's entry is the second section of the file, an anonymous vlan section: the
# board's uci calls it vlan.cfg029c96.
VLAN = """\
config global 'main'
\toption enabled '1'

config vlan
\toption vlanid '0'
\toption vlan_used 'off'
\toption ip '192.168.1.1'
\toption netmask '255.255.0.0'

config vlan
\toption vlanid '10'
\toption vlan_used 'on'
\toption ip '10.0.10.1'
"""
NETWORK = """\
config interface 'lan'
\toption ifname 'eth0'
\toption proto 'dhcp'
"""
UHTTPD = """\
config uhttpd 'main'
\tlist listen_http '0.0.0.0:80'
\tlist listen_https '0.0.0.0:443'
"""
LIVE_LAN = '{"br-lan": {"addr": "192.168.1.20", "mask": "255.255.255.0"}}'


def dropbear(**options):
    """A dropbear config with the options given as section_option='value'."""
    sections = {}
    for key, value in options.items():
        section, option = key.split('_', 1)
        sections.setdefault(section, []).append((option, value))
    return config(*[('dropbear', name, opts) for name, opts in sections.items()])


class ServiceCase(ConsoleCase):
    """The default catalogue with the service items and uci configuration a test gives."""

    def configure(self, values=None, **configs):
        if values:
            self.install(data=edited(DEFAULT[DATA], values))
        for name, text in configs.items():
            self.root.write(f'/etc/config/{name}', text)
        self.root.write('/etc/standins/ifconfig.json', LIVE_LAN)

    def start(self, keys):
        r = self.apmenu('--test=1', '3;' + keys + ';e')
        self.assertEqual(r.returncode, 0, r)
        return r

    def uci_changes(self):
        """The uci calls that change something, as argument lists."""
        return [c[1:] for c in self.root.calls('uci') if c[1] not in ('show', 'get')]

    def option(self, config, key):
        """The committed value of an option (a list as its values), read by a fresh uci."""
        r = self.root.run(['uci', 'show', f'{config}.{key}'])
        return r.stdout.strip().partition('=')[2]

    def log(self):
        return self.root.read(LOG).splitlines() if self.root.exists(LOG) else []

    def assertNothingStaged(self):
        staged = self.root.host_path('/var/.uci')
        names = os.listdir(staged) if os.path.isdir(staged) else []
        self.assertEqual([n for n in names if n != '.lock'], [])


class WebStartTest(ServiceCase):

    def test_http_from_the_catalogue_rebuilds_the_listeners_of_the_vlans_in_use(self):
        self.configure(vlan=VLAN, network=NETWORK, uhttpd=UHTTPD)
        self.start('6:y')
        self.assertEqual(self.uci_changes(), [
            ['delete', 'uhttpd.main.listen_http'],
            ['add_list', 'uhttpd.main.listen_http=127.0.0.1:80'],
            ['set', 'vlan.cfg029c96.ip=192.168.1.20'],
            ['set', 'vlan.cfg029c96.netmask=255.255.255.0'],
            ['commit', 'vlan'],
            ['add_list', 'uhttpd.main.listen_http=10.0.10.1:80'],
            ['commit', 'uhttpd'],
        ])
        self.assertEqual(self.root.calls('/etc/init.d/uhttpd'), [['uhttpd', 'restart']])
        self.assertEqual(self.option('uhttpd', 'main.listen_http'), '127.0.0.1:80 10.0.10.1:80')
        self.assertEqual(self.option('uhttpd', 'main.listen_https'), '0.0.0.0:443')
        self.assertEqual(self.option('vlan', '@vlan[0].ip'), '192.168.1.20')
        self.assertRegex(self.log()[-1],
                         '^' + STAMP + r'Running Http\.\.\.\[Port\]=\[80\] at IP=127\.0\.0\.1 '
                         r'10\.0\.10\.1 $')
        self.assertUntouched()
        self.assertNothingStaged()

    def test_the_other_protocols_mode_only_deletes_its_list(self):
        # HTTPS enabled in the catalogue while the web mode is HTTP; no VLAN sections.
        self.configure({'v;3;7': '1'}, uhttpd=UHTTPD,
                       dropbear=dropbear(webname_webmode='HTTP'))
        self.start('9:y')
        self.assertEqual(self.uci_changes(), [['delete', 'uhttpd.main.listen_https'],
                                              ['commit', 'uhttpd']])
        self.assertEqual(self.option('uhttpd', 'main.listen_https'), '')
        self.assertEqual(self.option('uhttpd', 'main.listen_http'), '0.0.0.0:80')
        self.assertRegex(self.log()[-1], '^' + STAMP + r'Running Https\.\.\.\[Port\]=\[443\] at IP=$')

    def test_https_from_uci_takes_its_port_into_the_catalogue(self):
        self.configure({'v;1;14': '1'}, vlan=VLAN, uhttpd=UHTTPD,
                       network=NETWORK.replace('dhcp', 'static'),
                       dropbear=dropbear(webname_webmode='HTTPS', webname_httpsport='8443'))
        self.start('9:y')
        self.assertEqual(self.uci_changes(), [
            ['set', 'uhttpd.main.listen_https=0.0.0.0:8443'],
            ['delete', 'uhttpd.main.listen_http'],
            ['commit', 'uhttpd'],
            ['delete', 'uhttpd.main.listen_https'],
            ['add_list', 'uhttpd.main.listen_https=127.0.0.1:8443'],
            ['add_list', 'uhttpd.main.listen_https=10.0.10.1:8443'],
            ['commit', 'uhttpd'],
        ])
        self.assertEqual(self.option('uhttpd', 'main.listen_https'),
                         '127.0.0.1:8443 10.0.10.1:8443')
        self.assertEqual(self.option('uhttpd', 'main.listen_http'), '')
        self.assertRegex(self.log()[-1], r'Running Https\.\.\.\[Port\]=\[8443\] at IP=')
        self.assertData({'v;1;14': '1', 'v;3;8': '8443'})   # saved by the exit key

    def test_http_from_uci_in_https_mode_starts_nothing(self):
        self.configure({'v;1;14': '1'}, uhttpd=UHTTPD, dropbear=dropbear(webname_webmode='HTTPS'))
        self.start('6:y')
        self.assertEqual(self.uci_changes(), [])
        self.assertEqual(self.log(), [])


class DaemonStartTest(ServiceCase):

    def test_ftp_and_telnet_start_and_stop_from_the_catalogue(self):
        self.configure({'v;3;10': '1', 'v;3;11': '2121', 'v;3;2': '2323'})
        self.start('12:y;3:y')
        self.assertEqual(self.root.calls('vsftpd'), [['vsftpd', '-olisten_port=2121']])
        self.assertEqual(self.root.calls('telnetd'), [['telnetd', '-p', '2323']])
        self.assertTrue(self.root.exists('/var/ftproot'))
        log = self.log()
        self.assertEqual(len(log), 2, log)
        self.assertRegex(log[0], '^' + STAMP + r'Running FTP\.\.\.\[Port\]=\[2121\]$')
        self.assertRegex(log[1], '^' + STAMP + r'Running Telnet\.\.\.\[Port\]=\[2323\]$')

        self.configure({'v;3;10': '0', 'v;3;1': '0'})
        self.start('12:y;3:y')
        self.assertEqual(len(self.root.calls('vsftpd')), 1)   # only stopped
        self.assertEqual(len(self.root.calls('telnetd')), 1)
        self.assertEqual(len(self.log()), 2)

    def test_settings_from_uci_are_copied_into_the_catalogue_and_saved(self):
        self.configure({'v;1;14': '1'}, dropbear=dropbear(
            fname_fenabled='1', fname_fport='2100', tname_tenabled='0', tname_tport='2424'))
        self.start('12:y;3:y')
        self.assertEqual(self.root.calls('vsftpd'), [['vsftpd', '-olisten_port=2100']])
        self.assertEqual(self.root.calls('telnetd'), [])
        self.assertData({'v;1;14': '1', 'v;3;10': '1', 'v;3;11': '2100',
                         'v;3;1': '0', 'v;3;2': '2424'})


class HostileSettingsTest(ServiceCase):
    """uci values meant to run the recorder 'evil': none of them reaches the shell."""

    def test_hostile_values_run_nothing(self):
        self.root.add_standin('evil', 'exit 0')
        vlan = VLAN.replace("'10.0.10.1'", "'10.0.10.1'\\'';evil;'\\''x'")
        vlan += "\nconfig vlan\n\toption vlanid '20'\n\toption vlan_used 'on'\n" \
                "\toption ip '$(evil)`evil`|evil'\n"
        self.configure({'v;1;14': '1'}, vlan=vlan, uhttpd=UHTTPD, network=NETWORK,
                       dropbear=dropbear(webname_webmode='HTTP', webname_httpport='8080',
                                         fname_fenabled='1', fname_fport='$(evil)',
                                         tname_tenabled='1', tname_tport="1';evil'"))
        self.start('6:y;12:y;3:y')
        self.assertEqual(self.root.calls('evil'), [])
        # Addresses that are no dotted quads make no listener; ports that are no ports
        # start nothing.
        self.assertEqual(self.option('uhttpd', 'main.listen_http'), '127.0.0.1:8080')
        self.assertEqual(self.root.calls('vsftpd'), [])
        self.assertEqual(self.root.calls('telnetd'), [])
        self.assertData({'v;1;14': '1', 'v;3;5': '8080'})


class PortAndAddressTest(ServiceCase):
    """The ports and addresses that the starts use: the run's own port, checked, and
    listeners only on addresses."""

    def test_web_listeners_take_the_port_that_the_run_set_and_logs(self):
        self.configure({'v;3;5': '8080'}, vlan=VLAN, uhttpd=UHTTPD,
                       network=NETWORK.replace('dhcp', 'static'),
                       dropbear=dropbear(webname_webmode='HTTP', webname_httpport='9090'))
        self.start('6:y')
        self.assertEqual(self.option('uhttpd', 'main.listen_http'),
                         '127.0.0.1:8080 10.0.10.1:8080')
        self.assertRegex(self.log()[-1], r'Running Http\.\.\.\[Port\]=\[8080\] at IP=')

    def test_web_start_without_vlan_sections_keeps_the_listeners(self):
        self.configure(uhttpd=UHTTPD, network=NETWORK)
        self.start('6:y')
        self.assertEqual(self.uci_changes(), [])
        self.assertEqual(self.root.calls('/etc/init.d/uhttpd'), [])
        self.assertEqual(self.option('uhttpd', 'main.listen_http'), '0.0.0.0:80')
        self.assertEqual(self.log(), [])

    def test_a_port_that_is_not_one_starts_nothing(self):
        cases = [({'v;3;4': '1', 'v;3;5': p, 'v;3;10': '1', 'v;3;11': p, 'v;3;1': '1',
                   'v;3;2': p}, {}) for p in ('0', '70000', '-1', '21x', '')]
        # Too long for a setting: not read, and the run never had a port.
        cases.append(({'v;1;14': '1'}, {'dropbear': dropbear(
            webname_webmode='HTTP', webname_httpport='0', fname_fenabled='1',
            fname_fport='2121 $(reboot)', tname_tenabled='1', tname_tport='65536')}))
        for values, configs in cases:
            with self.subTest(values=values):
                self.setUp()
                self.configure(values, vlan=VLAN, uhttpd=UHTTPD, network=NETWORK, **configs)
                self.start('6:y;12:y;3:y')
                self.assertEqual(self.uci_changes(), [])
                self.assertEqual(self.root.calls('vsftpd'), [])
                self.assertEqual(self.root.calls('telnetd'), [])
                self.assertEqual(self.log(), [])
                self.assertFalse(self.root.exists('/var/ftproot'))

    def test_a_listener_address_that_is_no_dotted_quad_is_skipped(self):
        vlan = VLAN + ("\nconfig vlan\n\toption vlanid '20'\n\toption vlan_used 'on'\n"
                       "\toption ip '10.0.20.1 10.9.9.9'\n")
        self.configure(vlan=vlan, uhttpd=UHTTPD, network=NETWORK.replace('dhcp', 'static'))
        self.start('6:y')
        self.assertEqual(self.option('uhttpd', 'main.listen_http'), '127.0.0.1:80 10.0.10.1:80')
        self.assertRegex(self.log()[-1], r'at IP=127\.0\.0\.1 10\.0\.10\.1 $')


if __name__ == '__main__':
    unittest.main()
