"""The SSID list (apmenu --test=6) and the VLAN priority maps (--test=8) end to end: the
list file byte for byte, the committed vlan configuration, the recorded vconfig calls
and the log lines, over the uci stand-in and a /proc/net/vlan of the test's own."""
import os
import re
import sys
import unittest

# The device root module lives in tests/devroot; PYTHONPATH may name only tests/.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'devroot'))
from devroot import APMENU, DeviceRoot  # noqa: E402

LIST = '/etc/config/vlan_ssid'
LOG = '/etc/log_zelk.txt'
STAMP = re.compile(r'\[\d\d-\d\d-\d{4} \d\d:\d\d:\d\d\.\d{6}\] ')
TIMEOUT = 240


def q(value):
    """A value in the uci file format, a quote inside it written '\\''."""
    return "'" + value.replace("'", "'\\''") + "'"


def config(*sections):
    """A uci file as the board's uci writes it: each section is (type, name or None,
    [(key, value or list of values), ...]); an option whose value is None is left out."""
    out = ''
    for type_, name, options in sections:
        out += f'\nconfig {type_}' + (f' {q(name)}' if name else '') + '\n'
        for key, value in options:
            if isinstance(value, list):
                out += ''.join(f'\tlist {key} {q(v)}\n' for v in value)
            elif value is not None:
                out += f'\toption {key} {q(value)}\n'
    return out


def wireless(*ssids):
    return config(('wifi-device', 'wifi0', [('type', 'athr')]),
                  *[('wifi-iface', None, [('device', 'wifi0'), ('ssid', s)]) for s in ssids])


# SSIDs and values that would run the recorder "evil" if they reached the shell unquoted.
HOSTILE_SSID = "Bob's; $(evil) `evil` \\n \"x\""
HOSTILE_ADDR = "10.0.50.1';evil;'"


class Case(unittest.TestCase):
    def setUp(self):
        if not APMENU:
            self.skipTest('APMENU names no apmenu binary')
        self.root = DeviceRoot()
        self.addCleanup(self.root.close)
        self.root.add_standin('evil', 'exit 0\n')

    def apmenu(self, *args):
        r = self.root.run([APMENU, *args], timeout=TIMEOUT)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, '')
        return r

    def changes(self):
        """The uci calls that change something: every call but show."""
        return [c[1:] for c in self.root.calls('uci') if c[1] != 'show']

    def assertCommittedAndSafe(self):
        # The stand-in keeps a config with staged changes in /var/.uci (beside its lock).
        staged = self.root.host_path('/var/.uci')
        names = os.listdir(staged) if os.path.isdir(staged) else []
        self.assertEqual([n for n in names if not n.startswith('.')], [])
        self.assertEqual(self.root.calls('evil'), [])


class SsidListTest(Case):
    def test_list_rewritten_whole_and_static_addresses_copied(self):
        long_ssid = 'L' * 33
        self.root.write('/etc/config/wireless',
                        wireless('Office', HOSTILE_SSID, long_ssid, 'Lab'))
        self.root.write(LIST, '"Old" "ath0"\n"Older" "ath1"\n"x" "ath2"\n"y" "ath3"\n')
        self.root.write('/etc/config/network', config(
            ('interface', 'lan', [('proto', 'static'), ('ipaddr', '192.168.1.20'),
                                  ('netmask', '255.255.255.0')]),
            ('interface', 'vlan10', [('proto', 'static'), ('ipaddr', '10.0.10.1'),
                                     ('netmask', '255.255.255.0')]),
            ('interface', 'vlan20', [('proto', 'static'), ('ipaddr', '10.0.20.1'),
                                     ('netmask', '255.255.255.0')]),
            ('interface', 'vlan30', [('proto', 'dhcp'), ('ipaddr', '10.0.30.1')]),
            # 30 characters: more than an address text holds, so not copied.
            ('interface', 'vlan40', [('proto', 'static'),
                                     ('ipaddr', '10.0.40.100.10.0.40.100.10.0.4'),
                                     ('netmask', '255.255.0.0')]),
            ('interface', 'vlan50', [('proto', 'static'), ('ipaddr', HOSTILE_ADDR),
                                     ('netmask', '255.255.255.0')])))

        def vlan_file(lan_ip, v10, v40_mask, v50_ip):
            def entry(vid, bridge, ip, mask):
                return ('vlan', None, [o for o in (('vlanid', vid), ('bridge', bridge),
                                                   ('ip', ip), ('netmask', mask)) if o[1]])
            return config(('global', 'main', [('mode', 'on')]),
                          entry('0', 'LAN', lan_ip, '255.255.255.0'),
                          entry('10', 'Office', *v10),
                          entry('20', 'Lab', '10.0.20.1', '255.255.255.0'),
                          entry(None, 'Lab', '1.1.1.1', '255.0.0.0'),
                          entry('30', 'Lab', '1.1.1.1', '255.0.0.0'),
                          entry('40', 'Lab', '10.0.40.1', v40_mask),
                          entry('50', 'Lab', v50_ip, '255.255.255.0'))
        self.root.write('/etc/config/vlan', vlan_file(
            '192.168.1.1', ('10.0.10.9', '255.0.0.0'), '255.255.255.0', '10.0.50.1'))

        self.apmenu('--test=6', 'x')
        self.assertEqual(self.root.read_bytes(LIST), (
            '"Office" "ath0"\n"' + HOSTILE_SSID + '" "ath1"\n"Lab" "ath3"\n'
            '"All Others" "all"\n').encode())
        self.assertEqual(self.root.read('/etc/config/vlan'), vlan_file(
            '192.168.1.20', ('10.0.10.1', '255.255.255.0'), '255.255.0.0', HOSTILE_ADDR))
        # The LAN's entry, then each changed VLAN with a commit of its own; the VLAN
        # without an id, the DHCP one and the one that matches change nothing.
        self.assertEqual(self.changes(), [
            ['set', 'vlan.cfg029c96.ip=192.168.1.20'], ['commit', 'vlan'],
            ['set', 'vlan.@vlan[1].ip=10.0.10.1'], ['set', 'vlan.@vlan[1].netmask=255.255.255.0'],
            ['commit', 'vlan'],
            ['set', 'vlan.@vlan[5].netmask=255.255.0.0'], ['commit', 'vlan'],
            ['set', 'vlan.@vlan[6].ip=' + HOSTILE_ADDR], ['commit', 'vlan']])
        self.assertCommittedAndSafe()

    def test_first_run_then_dhcp_lan_written_from_the_live_bridge(self):
        self.root.write('/etc/config/wireless', wireless('Guest'))
        self.root.write('/etc/config/network', config(
            ('interface', 'lan', [('proto', 'dhcp'), ('ipaddr', '10.9.9.9')])))
        self.root.write('/etc/standins/ifconfig.json',
                        '{"br-lan": {"addr": "192.168.7.33", "mask": "255.255.0.0"}}')
        vlan = config(('global', 'main', []),
                      ('vlan', None, [('vlanid', '0'), ('bridge', 'LAN'),
                                      ('ip', '192.168.7.33'), ('netmask', '255.255.255.0')]))
        self.root.write('/etc/config/vlan', vlan)
        # The first run writes the placeholder and nothing else.
        self.apmenu('--test=6', 'x')
        self.assertEqual(self.root.read_bytes(LIST), b'"NO NAME" "ath0"\n')
        self.assertEqual(self.root.calls('uci'), [])
        self.apmenu('--test=6', 'x')
        self.assertEqual(self.root.read_bytes(LIST), b'"Guest" "ath0"\n')
        # Both values are written, the one already equal included.
        self.assertEqual(self.changes(), [
            ['set', 'vlan.cfg029c96.ip=192.168.7.33'],
            ['set', 'vlan.cfg029c96.netmask=255.255.0.0'], ['commit', 'vlan']])
        self.assertEqual(self.root.read('/etc/config/vlan'),
                         vlan.replace('255.255.255.0', '255.255.0.0'))
        # A wireless configuration that cannot be read leaves the list as it was.
        os.unlink(self.root.host_path('/etc/config/wireless'))
        self.apmenu('--test=6', 'x')
        self.assertEqual(self.root.read_bytes(LIST), b'"Guest" "ath0"\n')
        self.assertEqual(len(self.changes()), 6)
        self.assertCommittedAndSafe()


class VlanPriorityTest(Case):
    HOSTILE_DEVICES = ['$(evil).70', '`evil`.70', "a';evil;'.70"]

    def test_priority_maps_of_both_passes(self):
        self.root.write('/etc/config/wireless', wireless('Office', 'Guest'))
        # No vlan configuration: nothing at all.
        self.apmenu('--test=8', 'x')
        self.assertFalse(self.root.exists(LOG))
        self.assertEqual(self.root.calls('vconfig'), [])

        def entries(*rows):
            return [('vlan', None, [('vlanid', vid), ('bridge', 'Office'), ('priority', p)])
                    for vid, p in rows]
        self.root.write('/etc/config/vlan', config(
            ('global', 'main', []),
            *entries(('0', '3'), ('10', '5'), ('20', '0'), ('30', '8'), ('40', '-1'),
                     ('50', ''), ('70', '6'), ('80', '1'), ('90', '4'))))
        self.root.write('/etc/config/vlansw', config(
            *entries(('20', '3'), ('60', '2'), ('21', '9'))))
        # 490 characters of which a line of 511 keeps 489: a cut list would end in eth0.90.
        cut_list = 'a' * 481 + ' eth0.900'
        self.root.write('/etc/config/network', config(
            ('interface', 'vlan0', [('ifname', 'eth0.0')]),
            ('interface', 'vlan10', [('ifname', 'ath1  eth0.100 eth0.10')]),
            ('interface', 'vlan20', [('ifname', 'eth0.20 ath0.20 ath1.20')]),
            ('interface', 'vlan30', [('ifname', 'eth0.30')]),
            ('interface', 'vlan40', [('ifname', 'eth0.40')]),
            ('interface', 'vlan50', [('ifname', 'eth0.50')]),
            ('interface', 'vlan70', [('ifname', ' '.join(self.HOSTILE_DEVICES))]),
            ('interface', 'vlan90', [('ifname', cut_list)]),
            ('interface', 'vlansw0', [('ifname', 'ath0 eth0.20')]),
            ('interface', 'vlansw1', [('ifname', 'ath1 eth0.20 eth0.21')]),
            ('interface', 'vlansw4all', [('ifname', 'eth0.60 ath0 ath1')])))
        in_kernel = ['eth0.0', 'eth0.10', 'eth0.100', 'eth0.20', 'ath0.20', 'eth0.30',
                     'eth0.40', 'eth0.50', 'eth0.90', 'eth0.21'] + self.HOSTILE_DEVICES
        for device in in_kernel:
            self.root.write('/proc/net/vlan/' + device, '')

        self.apmenu('--test=8', 'x')
        treated = [('vlan', 'eth0.10', 5, True), ('vlan', 'eth0.20', 0, True),
                   ('vlan', 'ath0.20', 0, True), ('vlan', 'ath1.20', 0, False)]
        treated += [('vlan', d, 6, True) for d in self.HOSTILE_DEVICES]
        treated += [('vlansw', 'eth0.20', 3, True), ('vlansw', 'eth0.60', 2, False)]
        self.assertEqual([STAMP.sub('', line, count=1)
                          for line in self.root.read(LOG).splitlines()],
                         [f'[{pkg}] Set VLAN priority...[{d}]={p}' for pkg, d, p, _ in treated])
        self.assertTrue(all(STAMP.match(line) for line in self.root.read(LOG).splitlines()))
        maps = []
        for _, device, p, mapped in treated:
            if mapped:
                maps += [['vconfig', 'set_ingress_map', device, str(p), str(v)] for v in range(8)]
                maps += [['vconfig', 'set_egress_map', device, str(v), str(p)] for v in range(8)]
        self.assertEqual(self.root.calls('vconfig'), maps)
        # Nothing is changed in the configuration.
        self.assertEqual(self.changes(), [])
        self.assertCommittedAndSafe()


if __name__ == '__main__':
    unittest.main()
