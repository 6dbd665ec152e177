"""VLAN setup (apmenu --test=7) and VLAN wireless security (--test=9) end to end: the
committed network and uhttpd configurations, the run-time files of the wireless daemons,
their recorded restarts and the log lines, over the uci stand-in."""
import shlex
import unittest

# The network setup tests share one Case (a device root, apmenu runs, the checks that
# nothing stays staged and nothing hostile ran) and the uci quoting.
import test_ssid_priority as ssid_priority
from test_ssid_priority import LOG, STAMP, config

# A pid that no process of the test's namespace has: kill finds nothing to stop.
NO_PID = '99999\n'


def wireless(*ifaces):
    """wifi-iface sections of (ssid, mode); a mode of None is left out."""
    return config(('wifi-device', 'wifi0', [('type', 'athr')]),
                  *[('wifi-iface', None, [('device', 'wifi0'), ('ssid', s), ('mode', m)])
                    for s, m in ifaces])


def entry(vid, used=None, bridge='Office', tagging=None, ip=None, netmask=None):
    return ('vlan', None, [('vlanid', vid), ('vlan_used', used), ('bridge', bridge),
                           ('tagging', tagging), ('ip', ip), ('netmask', netmask)])


def web(mode='HTTP', port=None):
    key = 'httpsport' if mode == 'HTTPS' else 'httpport'
    return config(('dropbear', 'webname', [('webmode', mode), (key, port)]))


def uhttpd(http=(), https=()):
    return config(('uhttpd', 'main', [('listen_http', list(http)),
                                      ('listen_https', list(https))]))


def interface(name, **options):
    return ('interface', name, list(options.items()))


class Case(ssid_priority.Case):
    """Runs apmenu in a fresh device root; reads what the runs left."""

    def vlan_setup(self):
        return self.apmenu('--test=7', 'x')

    def sections(self, name):
        """Named sections of a committed config: {name: {'.type': type, option: value}},
        a list option as a list."""
        found, current = {}, None
        for line in self.root.read('/etc/config/' + name).splitlines():
            words = shlex.split(line)
            if not words:
                continue
            if words[0] == 'config':
                current = {'.type': words[1]}
                found[words[2] if len(words) > 2 else f'.anonymous{len(found)}'] = current
            elif words[0] == 'option':
                current[words[1]] = words[2]
            elif words[0] == 'list':
                current.setdefault(words[1], []).append(words[2])
        return found

    def listeners(self, key='listen_http'):
        return self.sections('uhttpd')['main'].get(key, [])

    def log_lines(self):
        """The log's lines, each with its time stamp checked and taken off."""
        lines = self.root.read(LOG).split('\n')[:-1] if self.root.exists(LOG) else []
        for line in lines:
            if line:
                self.assertRegex(line, '^' + STAMP.pattern)
        return [STAMP.sub('', line, count=1) for line in lines]


def bridge(ifname=None, ipaddr=None, netmask='255.255.255.0', **more):
    """A bridge section as the setup leaves it."""
    options = {'.type': 'interface', 'ifname': ifname, 'type': 'bridge', 'proto': 'static',
               'ipaddr': ipaddr, 'netmask': netmask, **more}
    return {k: v for k, v in options.items() if v is not None}


class VlanSetupTest(Case):
    def test_lan_and_one_vlan_give_two_commands_and_a_log_line(self):
        self.root.write('/etc/config/wireless', wireless(('Office', 'ap'), ('Guest', 'ap')))
        self.root.write('/etc/config/network', config(interface('lan', proto='static')))
        self.root.write('/etc/config/dropbear', web('HTTP', '80'))
        self.root.write('/etc/config/uhttpd', uhttpd(['0.0.0.0:80']))
        # Without the vlan configuration, or without the mode's one argument, nothing runs.
        self.vlan_setup()
        self.apmenu('--test=9', 'x')
        self.root.write('/etc/config/vlan', config(
            ('global', 'main', []),
            entry('0', 'on', 'LAN', ip='192.168.1.1', netmask='255.255.255.0'),
            entry('10', 'on', 'Guest', 'ether', '192.168.10.1', '255.255.255.0')))
        self.apmenu('--test=7')
        self.apmenu('--test=7', 'x', 'y')
        self.assertEqual(self.root.calls('uci'), [])
        self.assertFalse(self.root.exists(LOG))

        self.vlan_setup()
        self.assertEqual(self.changes(), [
            ['delete', 'uhttpd.main.listen_http'],
            ['add_list', 'uhttpd.main.listen_http=127.0.0.1:80'],
            ['add_list', 'uhttpd.main.listen_http=192.168.1.1:80'], ['commit', 'uhttpd'],
            ['set', 'network.vlan10=interface'], ['set', 'network.vlan10.ifname=eth0.10 ath1'],
            ['set', 'network.vlan10.type=bridge'], ['set', 'network.vlan10.proto=static'],
            ['set', 'network.vlan10.ipaddr=192.168.10.1'],
            ['set', 'network.vlan10.netmask=255.255.255.0'], ['commit', 'network'],
            ['add_list', 'uhttpd.main.listen_http=192.168.10.1:80'], ['commit', 'uhttpd']])
        self.assertEqual(self.sections('network')['vlan10'],
                         bridge('eth0.10 ath1', '192.168.10.1'))
        self.assertEqual(self.listeners(), ['127.0.0.1:80', '192.168.1.1:80', '192.168.10.1:80'])
        self.assertEqual(self.log_lines(), ['[vlan] Setup vlan ... id=10[ip=192.168.10.1]'])
        self.assertCommittedAndSafe()

    def test_trunks_by_mode_with_their_own_addresses_and_stale_ones(self):
        self.root.write('/etc/config/wireless', wireless(
            ('Office', 'wds'), ('Guest', 'sta'), ('Lab', 'sta'), ('Cam', None), ('Spare', 'ap'),
            ('Extra', 'ap')))
        self.root.write('/etc/config/uhttpd', uhttpd(['10.9.9.9:80']))
        self.root.write('/etc/config/vlan', config(
            ('global', 'main', []), entry('0', 'off', 'LAN', ip='192.168.1.1')))
        self.root.write('/etc/config/vlansw', config(
            entry('10', bridge='Guest'), entry('20', bridge='Guest'),
            entry('30', bridge='All Others'), entry('50', bridge='Lab'),
            entry('60', bridge='Nobody'), entry('0', bridge='Spare'), entry(None, bridge='Cam'),
            entry('80', bridge='Cam'), entry('70', bridge='All Others')))
        self.root.write('/etc/config/network', config(
            interface('lan', proto='static'),
            interface('vlansw1', ipaddr='10.1.1.1', netmask='255.0.0.0', hand='kept'),
            interface('vlansw4', ipaddr='10.4.4.4', ifname='ath4 eth0.90'),
            interface('vlansw5', ifname='ath5 eth0.91')))
        self.vlan_setup()
        network = self.sections('network')
        self.assertEqual(network['vlansw0'], bridge('ath0 eth0.60', '192.168.100.222'))
        self.assertEqual(network['vlansw1'],
                         bridge('ath1 eth0.10 eth0.20', '10.1.1.1', hand='kept'))
        self.assertEqual(network['vlansw2'], bridge('ath2 eth0.50', '192.168.102.2'))
        self.assertEqual(network['vlansw3'], bridge('ath3 eth0.80', '192.168.103.1'))
        self.assertEqual(network['vlansw4all'], bridge(
            'eth0.30 eth0.70 ath0 ath1 ath2 ath3 ath4 ath5', '192.168.111.1'))
        # A trunk left without VLANs goes only when its address reads.
        self.assertNotIn('vlansw4', network)
        self.assertEqual(network['vlansw5'], {'.type': 'interface', 'ifname': 'ath5 eth0.91'})
        # The LAN entry, not in use, leaves the loopback alone on the list.
        self.assertEqual(self.listeners(), ['127.0.0.1:80'])

        # The shared trunk keeps an address and a mask of its own.
        self.root.write('/etc/config/network', config(
            interface('lan', proto='static'), interface('vlansw5', ifname='ath5 eth0.91'),
            interface('vlansw4all', ipaddr='10.111.0.1', netmask='255.0.0.0')))
        self.vlan_setup()
        self.assertEqual(self.sections('network')['vlansw4all'], bridge(
            'eth0.30 eth0.70 ath0 ath1 ath2 ath3 ath4 ath5', '10.111.0.1', '255.0.0.0'))

        # No trunk entries: every trunk with an address is deleted.
        self.root.write('/etc/config/vlansw', '')
        self.vlan_setup()
        network = self.sections('network')
        self.assertEqual(sorted(n for n in network if n.startswith('vlansw')), ['vlansw5'])
        # Three runs without an enabled VLAN: three empty log lines.
        self.assertEqual(self.log_lines(), ['', '', ''])
        self.assertCommittedAndSafe()

    def test_bridges_listeners_and_stale_interfaces(self):
        self.root.write('/etc/config/wireless', wireless(
            ('Office', 'ap'), ('Guest', 'ap'), ('Lab', 'ap')))
        self.root.write('/etc/config/dropbear', web('HTTP', '8080'))
        self.root.write('/etc/config/uhttpd', uhttpd(['10.9.9.9:8080', '192.168.10.1:8080']))
        vlan_sections = [
            # A VLAN section before the LAN entry, which is the config's second section.
            entry('10', 'on', 'Guest', 'ether', '192.168.10.1', '255.255.255.0'),
            entry('0', 'on', 'LAN', ip='192.168.1.1', netmask='255.255.255.0'),
            entry('20', 'off', 'Lab', 'wifi', '192.168.20.1', '255.255.255.0'),
            entry('30', 'maybe', 'Lab', 'ether', '192.168.30.1'),
            entry('40', 'on', 'All Others', 'wifi', '192.168.40.1', '255.255.255.0'),
            entry('45', 'on', 'All Others', 'ether'),
            entry(None, 'on', 'Lab', 'ether', '192.168.99.1'),
            entry('60', 'on', 'Nobody', 'none', '192.168.60.1')]
        self.root.write('/etc/config/vlan', config(*vlan_sections))
        self.root.write('/etc/config/network', config(
            interface('lan', proto='static'),
            interface('vlan20', ifname='eth0.20 ath0', hand='kept'),
            interface('vlan30', ifname='eth0.30 ath2'),
            interface('vlan50', ifname='eth0.50 ath0')))
        expected_network = {
            'vlan10': bridge('eth0.10 ath1', '192.168.10.1'),
            'vlan20': bridge('eth0.20 ath2.20', '192.168.20.1', hand='kept'),
            'vlan40': bridge('eth0.40 ath0.40 ath1.40 ath2.40', '192.168.40.1'),
            'vlan45': bridge('eth0.45 ath0 ath1 ath2', netmask=None),
            'vlan60': bridge(None, '192.168.60.1', netmask=None)}
        listeners = ['127.0.0.1:8080', '192.168.1.1:8080', '192.168.10.1:8080',
                     '192.168.40.1:8080', '192.168.60.1:8080']
        self.vlan_setup()
        network = self.sections('network')
        self.assertEqual({n: s for n, s in network.items() if n.startswith('vlan')},
                         expected_network)
        self.assertEqual(self.listeners(), listeners)
        self.assertEqual(self.log_lines(), [
            '[vlan] Setup vlan ... id=10[ip=192.168.10.1],id=40[ip=192.168.40.1],'
            'id=45[ip=],id=60[ip=192.168.60.1]'])
        self.assertEqual([c[1] for c in self.changes() if c[0] == 'delete'],
                         ['uhttpd.main.listen_http', 'network.vlan30', 'network.vlan50'])

        # Again, and twice without a LAN entry: the same bridges, no listener twice.
        self.vlan_setup()
        self.root.write('/etc/config/vlan', config(
            *[s for s in vlan_sections if s[2][0] != ('vlanid', '0')]))
        self.vlan_setup()
        self.vlan_setup()
        network = self.sections('network')
        self.assertEqual({n: s for n, s in network.items() if n.startswith('vlan')},
                         expected_network)
        self.assertEqual(self.listeners(), listeners)

        # HTTPS on its default port, twice: its own list, the HTTP one untouched.
        self.root.write('/etc/config/dropbear', web('HTTPS'))
        self.vlan_setup()
        self.vlan_setup()
        self.assertEqual(self.listeners('listen_https'),
                         ['192.168.10.1:443', '192.168.40.1:443', '192.168.60.1:443'])
        self.assertEqual(self.listeners(), listeners)
        # Another web mode keeps both lists, the LAN entry's reset included.
        self.root.write('/etc/config/dropbear', web('TELNET'))
        self.root.write('/etc/config/vlan', config(*vlan_sections))
        self.vlan_setup()
        self.assertEqual(self.listeners(), listeners)
        self.assertEqual(len(self.listeners('listen_https')), 3)
        self.assertEqual(len(self.log_lines()), 7)
        self.assertCommittedAndSafe()

    def test_sixty_stale_interfaces_end_the_run(self):
        self.root.write('/etc/config/wireless', wireless(('Office', 'ap')))
        self.root.write('/etc/config/vlan', config(
            ('global', 'main', []), entry('0', 'off', 'LAN', ip='192.168.1.1'),
            entry('1', 'on', 'Office', 'ether', '10.0.1.1', '255.255.255.0')))
        stale = list(range(100, 160))
        self.root.write('/etc/config/network', config(
            interface('lan', proto='static'),
            *[interface(f'vlan{i}', ifname=f'eth0.{i}') for i in stale],
            interface('vlan1', ifname='eth0.1')))
        # The id list holds 191 characters: ids 100 to 146 and a piece "1" of 147, which
        # names the configured vlan1.
        self.vlan_setup()
        deleted = [c[1] for c in self.changes() if c[0] == 'delete' and c[1].startswith('network')]
        self.assertEqual(deleted, [f'network.vlan{i}' for i in range(100, 147)])
        network = self.sections('network')
        self.assertEqual(sorted(int(n[4:]) for n in network if n.startswith('vlan')),
                         [1] + list(range(147, 160)))
        self.assertEqual(network['vlan1'], bridge('eth0.1 ath0', '10.0.1.1'))
        # The next run takes the rest.
        self.vlan_setup()
        network = self.sections('network')
        self.assertEqual([n for n in network if n.startswith('vlan')], ['vlan1'])
        self.assertCommittedAndSafe()

    def test_hostile_values_run_nothing_but_the_commands(self):
        ssid = "Bob's; $(evil) `evil`"
        self.root.write('/etc/config/wireless', wireless((ssid, 'ap'), ('Lab', 'ap')))
        self.root.write('/etc/config/dropbear', web('HTTP', '80;evil'))
        self.root.write('/etc/config/uhttpd', uhttpd(["a'b;evil:80"]))
        ip10, mask10, ip20 = '10.0.10.1$(evil)', '255.0.0.0;evil', "it's`evil`"
        self.root.write('/etc/config/vlan', config(
            entry('10', 'on', ssid, 'ether', ip10, mask10),
            entry('20', 'on', 'Lab', '`evil`', ip20),
            # Past the 27 characters of an address: left out whole, its bridge kept.
            entry('30', 'on', 'Lab', 'ether', '10.0.30.1' + ' $(evil)' * 3)))
        self.root.write('/etc/config/vlansw', config(
            entry('30', bridge='All $(evil)'), entry('40', bridge=ssid)))
        trunk_ip = "1.1.1.1';evil;'"
        self.root.write('/etc/config/network', config(
            interface('lan', proto='static'), interface('vlan30', ifname='eth0.30 ath1'),
            interface('vlansw0', ipaddr=trunk_ip)))
        self.vlan_setup()
        network = self.sections('network')
        self.assertEqual(network['vlan10'], bridge('eth0.10 ath0', ip10, mask10))
        self.assertEqual(network['vlan20'], bridge(None, ip20, netmask=None))
        self.assertEqual(network['vlan30'], {'.type': 'interface', 'ifname': 'eth0.30 ath1'})
        self.assertEqual(network['vlansw0'], bridge('ath0 eth0.40', trunk_ip))
        self.assertEqual(network['vlansw4all']['ifname'], 'eth0.30 ath0 ath1')
        self.assertEqual(self.listeners(), ["a'b;evil:80", ip10 + ':80', ip20 + ':80'])
        self.assertEqual(self.log_lines(),
                         [f'[vlan] Setup vlan ... id=10[ip={ip10}],id=20[ip={ip20}]'])
        self.assertCommittedAndSafe()


class VlanWpaTest(Case):
    def run_files(self, n, daemon, bridge_line='bridge=br-lan'):
        self.root.write(f'/var/run/wifi-ath{n}.pid', NO_PID)
        self.root.write(f'/var/run/{daemon}-ath{n}.conf',
                        f'interface=ath{n}\n{bridge_line}\nssid=net{n}\n')

    def conf(self, n, daemon='hostapd'):
        return self.root.read(f'/var/run/{daemon}-ath{n}.conf')

    def test_daemons_restart_on_their_bridges(self):
        # Each restart notes how many log lines were written before it.
        for daemon in ('hostapd', 'wpa_supplicant'):
            self.root.add_standin(daemon, f'grep -c "" {LOG} >> /var/{daemon}.seen\n')
        hostile = "psk2';evil;'"
        sections = [('psk2', 'sta'), ('psk2', 'ap'), ('none', 'ap'), ('psk2', 'ap'),
                    ('psk2', 'ap'), (hostile, 'ap'), (None, 'ap'), ('psk2', 'ap')]
        self.root.write('/etc/config/wireless', config(*[
            ('wifi-iface', None, [('ssid', f'net{n}'), ('encryption', e), ('mode', m)])
            for n, (e, m) in enumerate(sections)]))
        self.root.write('/etc/config/vlan', config(entry('0', 'on', 'LAN', ip='192.168.1.1')))
        self.root.write('/etc/config/network', config(
            interface('lan', proto='static'),
            interface('vlansw0', ifname='ath0 eth0.5'),
            interface('vlan10', ifname='eth0.10 ath1'),
            interface('vlan20', ifname='eth0.20 ath3.20'),
            interface('vlan44', ifname='eth0.44 ath4'),
            interface('vlan30', ifname='eth0.30 ath5'),
            interface('vlansw4all', ifname='eth0.40 ath5'),
            interface('vlan70', ifname='eth0.70 ath7'),
            # An anonymous section shows as @interface[n]: no name for a bridge.
            ('interface', None, [('ifname', 'vlansw ath1')])))
        self.run_files(0, 'wpa_supplicant', 'network={')
        for n in (1, 2, 3, 5, 7):
            self.run_files(n, 'hostapd')
        self.apmenu('--test=9', 'x')

        ap = ['-P', '/var/run/wifi-ath{0}.pid', '-B', '/var/run/hostapd-ath{0}.conf']
        self.assertEqual(self.root.calls('hostapd'),
                         [['hostapd'] + [a.format(n) for a in ap] for n in (1, 5, 5)])
        self.assertEqual(self.root.calls('wpa_supplicant'), [[
            'wpa_supplicant', '-b', 'br-vlansw0', '-B', '-P', '/var/run/wifi-ath0.pid',
            '-D', 'athr', '-i', 'ath0', '-c', '/var/run/wpa_supplicant-ath0.conf']])
        self.assertEqual(self.root.read('/var/wpa_supplicant.seen'), '1\n')
        self.assertEqual(self.root.read('/var/hostapd.seen'), '2\n3\n4\n')
        self.assertEqual(self.log_lines(), [
            '[vlan_wpa] STA mode, Ethernet trunk vlansw0 at ath0 with encryption[psk2]',
            '[vlan_wpa] AP mode ath1 for VLAN 10 with encryption[psk2]',
            f'[vlan_wpa] AP mode ath5 for VLAN 30 with encryption[{hostile}]',
            f'[vlan_wpa] AP mode, Ethernet trunk vlansw4all at ath5 with encryption[{hostile}]'])
        # The first edit moved ath5 to its VLAN bridge; the trunk's found no br-lan.
        self.assertEqual(self.conf(1), 'interface=ath1\nbridge=br-vlan10\nssid=net1\n')
        self.assertEqual(self.conf(5), 'interface=ath5\nbridge=br-vlan30\nssid=net5\n')
        for n in (2, 3, 7):
            self.assertIn('bridge=br-lan\n', self.conf(n))
        self.assertEqual(self.conf(0, 'wpa_supplicant'), 'interface=ath0\nnetwork={\nssid=net0\n')
        self.assertEqual(self.changes(), [])
        self.assertCommittedAndSafe()

    def test_walk_ends_after_thirty_three_interfaces_unless_open(self):
        sections = [('psk2', 'monitor')] * 32 + [('none', 'ap'), ('psk2', 'ap'), ('psk2', 'ap')]
        self.root.write('/etc/config/wireless', config(*[
            ('wifi-iface', None, [('ssid', f'net{n}'), ('encryption', e), ('mode', m)])
            for n, (e, m) in enumerate(sections)]))
        self.root.write('/etc/config/vlan', config(entry('0', 'on', 'LAN', ip='192.168.1.1')))
        self.root.write('/etc/config/network', config(
            interface('vlan33', ifname='eth0.33 ath33'),
            interface('vlan34', ifname='eth0.34 ath34')))
        for n in (33, 34):
            self.run_files(n, 'hostapd')
        self.apmenu('--test=9', 'x')
        # Interface 32 is open, so 33 is still examined; the walk ends before 34.
        self.assertEqual(self.root.calls('hostapd'), [
            ['hostapd', '-P', '/var/run/wifi-ath33.pid', '-B', '/var/run/hostapd-ath33.conf']])
        self.assertIn('bridge=br-lan\n', self.conf(34))
        self.assertEqual(self.log_lines(),
                         ['[vlan_wpa] AP mode ath33 for VLAN 33 with encryption[psk2]'])
        self.assertCommittedAndSafe()


if __name__ == '__main__':
    unittest.main()
