"""Configuration queries against the board's uci and ifconfig, as the stand-ins of the
device root give them. query_probe runs one query and prints its result and value."""
import os
import shlex
import sys
import unittest

# The device root module lives in tests/devroot; PYTHONPATH names only tests/.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'devroot'))
from devroot import DeviceRoot  # noqa: E402

PROBE = os.environ.get('QUERY_PROBE', '')
EMULATOR = shlex.split(os.environ.get('DEVROOT_EMULATOR', ''))

NETWORK = """\
config interface 'loopback'
\toption ifname 'lo'

config interface 'lan'
\toption ifname 'eth0'
\toption proto 'dhcp'
\toption ipaddr '192.168.1.1'
\toption dns ''
\toption note 'a=b'

config interface 'vlan10'
\toption ifname 'eth0.10 ath2.10'

config interface 'vlan20'
\toption ifname 'eth0.20 ath10'

config interface 'vlansw3'
\toption ifname 'eth0.3 ath2'

config interface 'vlan30'
\toption ifname 'eth0.30 ath2'
"""

WIRELESS = """\
config wifi-device 'wifi0'
\toption type 'athr'

config wifi-iface
\toption device 'wifi0'
\toption ssid 'Office'

config wifi-iface
\toption ssid 'Guest'

config wifi-iface
\toption ssid 'Lab'
"""

VLAN = """\
config vlan
\toption vlanid '1'
\toption bridge 'Office'

config vlan
\toption vlanid '10'
\toption bridge 'Guest'
"""

# Values that would run the recorder "evil" if they reached the shell unquoted.
HOSTILE = ["it's", 'a;evil', '$(evil)', '`evil`', "x'; evil; echo '", 'a b|evil']


def decode(text):
    """Undoes the probe's escapes: '\\\\' and '\\xNN'."""
    out, i = bytearray(), 0
    while i < len(text):
        if text[i] == '\\' and text[i + 1] == 'x':
            out.append(int(text[i + 2:i + 4], 16))
            i += 4
        elif text[i] == '\\':
            out.append(ord('\\'))
            i += 2
        else:
            out += text[i].encode()
            i += 1
    return out.decode('utf-8', 'surrogateescape')


class QueryTest(unittest.TestCase):
    def setUp(self):
        if not PROBE:
            self.skipTest('QUERY_PROBE names no query_probe binary')
        self.root = DeviceRoot()
        self.addCleanup(self.root.close)
        self.root.write('/etc/config/network', NETWORK)
        self.root.write('/etc/config/wireless', WIRELESS)
        self.root.write('/etc/config/vlan', VLAN)

    def query(self, *args, capacity=None):
        """(result, value) of one query; None for what the query does not print."""
        cap = ['-c', str(capacity)] if capacity is not None else []
        r = self.root.run(EMULATOR + [PROBE, *cap, *map(str, args)], timeout=60)
        self.assertEqual(r.returncode, 0, r.stderr)
        got = {'result': None, 'value': None}
        for line in r.stdout.splitlines():
            key, _, text = line.partition('=')
            got[key] = int(text) if key == 'result' else decode(text)
        return got['result'], got['value']

    def new_calls(self, before):
        return self.root.calls()[before:]

    def test_uci_get(self):
        self.assertEqual(self.query('uci_get', 'network.lan.ipaddr'), (0, '192.168.1.1'))
        self.assertEqual(self.query('uci_get', 'network.lan.dns'), (0, ''))
        self.assertEqual(self.query('uci_get', 'network.lan.note'), (0, 'a'))
        self.assertEqual(self.query('uci_get', 'network.lan.nosuch'), (-1, ''))
        self.assertEqual(self.query('uci_get', 'network.nosuch.proto'), (-1, ''))
        # uci prints an option of an anonymous section under its generated name.
        self.assertEqual(self.query('uci_get', 'wireless.@wifi-iface[1].ssid'), (0, 'Guest'))
        self.assertEqual(self.query('uci_get', 'network.lan.ipaddr', capacity=8),
                         (0, '192.168'))
        self.assertEqual(self.root.calls('uci')[0], ['uci', 'show', 'network.lan.ipaddr'])

    def test_wireless_interfaces(self):
        self.assertEqual(self.query('wifi_iface_ssid', 0), (None, 'Office'))
        self.assertEqual(self.query('wifi_iface_ssid', 2), (None, 'Lab'))
        self.assertEqual(self.query('wifi_iface_ssid', 3), (None, 'unknown'))
        self.assertEqual(self.query('ssid_iface_index', 'Guest')[0], 1)
        self.assertEqual(self.query('ssid_iface_index', 'guest')[0], -1)
        self.assertEqual(self.query('ssid_iface_index', 'Gue')[0], -1)
        before = len(self.root.calls())
        self.assertEqual(self.query('wifi_ssid_count'), (0, '3'))
        # One command for each of n = 0 to 3.
        self.assertEqual(self.new_calls(before), [['uci', 'show', 'wireless']] * 4)
        self.root.write('/etc/config/wireless', '')
        self.assertEqual(self.query('wifi_ssid_count'), (0, '0'))

    def test_vlan_bridge_of(self):
        self.root.write('/etc/config/vlansw', "config vlan\n\toption bridge 'Lab'\n")
        self.assertEqual(self.query('vlan_bridge_of', 'vlan', 0)[1], 'Office')
        self.assertEqual(self.query('vlan_bridge_of', 'vlan', 1)[1], 'Guest')
        self.assertEqual(self.query('vlan_bridge_of', 'vlan', 2)[1], 'unknown')
        self.assertEqual(self.query('vlan_bridge_of', 'vlansw', 0)[1], 'Lab')
        self.assertEqual(self.query('vlan_bridge_of', 'nosuch', 0)[1], 'unknown')

    def test_net_addr_query(self):
        self.root.write('/etc/standins/ifconfig.json',
                        '{"br-lan": {"addr": "192.168.1.1", "mask": "255.255.255.0"}}')
        self.assertEqual(self.query('net_addr_query', 'lan', 'ipaddr'), (0, '0xc0a80101'))
        self.assertEqual(self.query('net_addr_query', 'lan', 'netmask'), (0, '0xffffff00'))
        self.assertEqual(self.root.calls('ifconfig'), [['ifconfig', 'br-lan']] * 2)
        self.root.write('/etc/standins/ifconfig.json', '{"br-lan": {}}')
        self.assertEqual(self.query('net_addr_query', 'lan', 'ipaddr'), (-1, '0x00000000'))
        self.root.write('/etc/standins/ifconfig.json', '{}')
        self.assertEqual(self.query('net_addr_query', 'lan', 'netmask'), (-1, '0x00000000'))
        before = len(self.root.calls())
        self.assertEqual(self.query('net_addr_query', 'wan', 'ipaddr'), (-1, '0x00000000'))
        self.assertEqual(self.new_calls(before), [])

    def test_grep_line_numbers(self):
        self.root.write('/etc/watch.txt', 'a\nb\nERR one\nc\nd\ne\nERR two\n')
        # cat is followed through a recorder to show whether the command ran.
        self.root.add_standin('cat', 'exec busybox cat "$@"\n')
        self.assertEqual(self.query('grep_line_numbers', 'cat /etc/watch.txt', 'ERR'),
                         (2, '3,7'))
        self.assertEqual(self.query('grep_line_numbers', 'cat /etc/watch.txt', 'nothing'),
                         (0, ''))
        self.assertEqual(self.query('grep_line_numbers', 'cat /etc/watch.txt', 'ERR',
                                    capacity=2), (2, '3'))
        self.assertEqual(len(self.root.calls('cat')), 3)
        self.assertEqual(self.query('grep_line_numbers', 'cat /etc/missing.txt', 'ERR'),
                         (-1, ''))
        self.assertEqual(len(self.root.calls('cat')), 3)
        # Any other command runs as configured.
        self.assertEqual(self.query('grep_line_numbers', 'printf "x\\nERR\\n"', 'ERR'), (1, '2'))

    def test_file_check_and_size(self):
        self.root.write('/etc/log_zelk.txt', 'x' * 1000)
        self.assertEqual(self.query('file_check', '/etc/log_zelk.txt')[0], 0)
        self.assertEqual(self.query('file_size', '/etc/log_zelk.txt')[0], 1000)
        self.assertEqual(self.query('file_check', '/etc/nosuch')[0], -1)
        self.assertEqual(self.query('file_size', '/etc/nosuch')[0], 0)

    def test_vlan_id_list(self):
        # vlansw3 is an interface with "vlan" in its name, and is never listed.
        self.assertEqual(self.query('vlan_id_list'), (3, '0,10,20,30,0'))
        self.assertEqual(self.query('vlan_id_list', capacity=8), (3, '0,10,20'))
        self.root.write('/etc/config/network',
                        "config interface 'lan'\n\toption ifname 'eth0'\n"
                        "config interface 'vlansw4all'\n\toption ifname 'eth0.4 ath1'\n")
        self.assertEqual(self.query('vlan_id_list'), (0, '0,0'))

    def test_vlan_membership(self):
        # ath2: vlan10 holds it tagged (ath2.10) and vlansw3 is a trunk; vlan30 holds it.
        self.assertEqual(self.query('vlan_of_ifname', 'ath2'), (1, '30'))
        # A plain substring test: ath1 is found in "ath10".
        self.assertEqual(self.query('vlan_of_ifname', 'ath1'), (1, '20'))
        self.assertEqual(self.query('vlan_of_ifname', 'ath5'), (0, '-1'))
        self.assertEqual(self.query('vlansw_of_ifname', 'ath2'), (1, 'vlansw3'))
        self.assertEqual(self.query('vlansw_of_ifname', 'ath2', capacity=5), (1, 'vlan'))
        self.assertEqual(self.query('vlansw_of_ifname', 'ath5'), (0, 'unknown'))
        self.assertEqual(self.root.calls('uci'), [['uci', 'show', 'network']] * 6)

    def test_inserted_values_run_no_extra_command(self):
        self.root.add_standin('evil', 'exit 0\n')
        self.root.write('/etc/watch.txt', 'plain\n' + ''.join(v + '\n' for v in HOSTILE))
        for i, value in enumerate(HOSTILE):
            with self.subTest(value=value):
                before = len(self.root.calls())
                self.assertEqual(self.query('uci_get', 'network.lan.' + value), (-1, ''))
                self.assertEqual(self.query('vlan_of_ifname', value)[0], 0)
                self.assertEqual(self.query('vlansw_of_ifname', value)[0], 0)
                self.assertEqual(self.query('vlan_bridge_of', value, 0)[1], 'unknown')
                self.assertEqual(self.query('ssid_iface_index', value)[0], -1)
                # The pattern reaches grep unchanged: it finds its own line.
                self.assertEqual(self.query('grep_line_numbers', 'cat /etc/watch.txt', value)[1],
                                 str(i + 2))
                # Each value arrives whole as one argument of uci, and evil never runs.
                self.assertEqual(self.new_calls(before), [
                    ['uci', 'show', 'network.lan.' + value], ['uci', 'show', 'network'],
                    ['uci', 'show', 'network'], ['uci', 'show', value],
                    ['uci', 'show', 'wireless']])


if __name__ == '__main__':
    unittest.main()
