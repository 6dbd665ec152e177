"""The uci stand-in behaves as the board's older uci: show, get, set, add_list, delete,
commit, staged changes and the config file format."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from devroot import DeviceRoot  # noqa: E402

UCI = os.path.join(HERE, 'standins', 'uci')

VLAN = """\
config interface 'lan'
\toption ipaddr '192.168.1.1'
\toption dns ''

config vlan
\toption vlanid '1'
\toption bridge 'br-lan'

config vlan
\toption vlanid '10'
\tlist ports 'eth0.10'
\tlist ports "ath1 ath2"
# a comment
config vlan 'cfg049c96'
\toption vlanid '20'
"""


class UciStandinTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix='uci-standin-')
        self.conf = os.path.join(self.tmp, 'config')
        self.save = os.path.join(self.tmp, 'save')
        os.mkdir(self.conf)
        self.write('vlan', VLAN)

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def write(self, name, text):
        with open(os.path.join(self.conf, name), 'w') as f:
            f.write(text)

    def read(self, name):
        with open(os.path.join(self.conf, name)) as f:
            return f.read()

    def uci(self, *args, rc=0):
        r = subprocess.run([UCI, '-c', self.conf, '-P', self.save, *args],
                           capture_output=True, text=True, timeout=30,
                           env=dict(os.environ, DEVROOT_CALLS=os.path.join(self.tmp, 'calls')))
        self.assertEqual(r.returncode, rc, r.stderr)
        return r

    def show(self, *args):
        return self.uci('show', *args).stdout.splitlines()

    def test_show_prints_unquoted_values_anonymous_sections_and_lists(self):
        self.assertEqual(self.show('vlan'), [
            'vlan.lan=interface',
            'vlan.lan.ipaddr=192.168.1.1',
            'vlan.lan.dns=',
            'vlan.@vlan[0]=vlan',
            'vlan.@vlan[0].vlanid=1',
            'vlan.@vlan[0].bridge=br-lan',
            'vlan.@vlan[1]=vlan',
            'vlan.@vlan[1].vlanid=10',
            'vlan.@vlan[1].ports=eth0.10 ath1 ath2',
            'vlan.cfg049c96=vlan',
            'vlan.cfg049c96.vlanid=20',
        ])
        # One section or option of an anonymous section: under its generated name.
        self.assertEqual(self.show('vlan.@vlan[1].vlanid'), ['vlan.cfg039c96.vlanid=10'])
        self.assertEqual(self.show('vlan.@vlan[-1]'), ['vlan.cfg049c96=vlan',
                                                       'vlan.cfg049c96.vlanid=20'])
        self.write('wireless', "config wifi-iface\n\toption ssid 'Office'\n")
        self.assertEqual(self.show(), self.show('vlan') + [
            'wireless.@wifi-iface[0]=wifi-iface', 'wireless.@wifi-iface[0].ssid=Office'])

    def test_sections_answer_to_generated_and_file_names(self):
        # Second section of the file, an anonymous vlan: the LAN's cfg029c96.
        self.assertEqual(self.uci('get', 'vlan.cfg029c96.bridge').stdout, 'br-lan\n')
        self.assertEqual(self.uci('get', 'vlan.@vlan[0]').stdout, 'vlan\n')
        self.assertEqual(self.uci('get', 'vlan.cfg049c96.vlanid').stdout, '20\n')
        self.uci('set', 'vlan.cfg029c96.ip=192.168.1.20')
        self.assertIn('vlan.@vlan[0].ip=192.168.1.20', self.show('vlan'))

    def test_changes_are_staged_until_commit(self):
        before = self.read('vlan')
        self.uci('set', 'vlan.lan.ipaddr=10.0.0.1')
        self.uci('set', 'vlan.vlan30=interface')
        self.uci('set', 'vlan.vlan30.ifname=eth0.30 ath3')
        self.uci('add_list', 'vlan.vlan30.ports=a')
        self.uci('add_list', "vlan.vlan30.ports=it's")
        self.uci('add_list', 'vlan.@vlan[0].vlanid=2')      # an option becomes a list
        self.uci('delete', 'vlan.lan.dns')
        self.uci('delete', 'vlan.@vlan[1]')
        self.uci('set', 'vlan.@vlan[0].bridge=')            # an empty value deletes
        self.assertEqual(self.read('vlan'), before)
        self.assertEqual(self.uci('get', 'vlan.vlan30.ifname').stdout, 'eth0.30 ath3\n')
        self.uci('commit', 'vlan')
        self.assertEqual(self.read('vlan'), (
            "\nconfig interface 'lan'\n\toption ipaddr '10.0.0.1'\n"
            "\nconfig vlan\n\tlist vlanid '1'\n\tlist vlanid '2'\n"
            "\nconfig vlan 'cfg049c96'\n\toption vlanid '20'\n"
            "\nconfig interface 'vlan30'\n\toption ifname 'eth0.30 ath3'\n"
            "\tlist ports 'a'\n\tlist ports 'it'\\''s'\n"))
        self.assertEqual(sorted(os.listdir(self.conf)), ['vlan'])
        # What was written reads back the same.
        self.assertIn("vlan.vlan30.ports=a it's", self.show('vlan'))
        self.uci('set', 'vlan.lan.ipaddr=10.9.9.9')
        self.uci('revert', 'vlan')
        self.assertEqual(self.uci('get', 'vlan.lan.ipaddr').stdout, '10.0.0.1\n')

    def test_commit_without_a_name_writes_every_staged_config(self):
        self.write('network', '')
        self.uci('set', 'network.lan=interface')
        self.uci('set', 'vlan.lan.ipaddr=10.0.0.2')
        self.uci('commit')
        self.assertEqual(self.read('network'), "\nconfig interface 'lan'\n")
        self.assertIn("option ipaddr '10.0.0.2'", self.read('vlan'))

    def test_add_names_the_new_anonymous_section(self):
        self.assertEqual(self.uci('add', 'vlan', 'vlan').stdout, 'cfg059c96\n')
        self.uci('set', 'vlan.@vlan[-1].vlanid=30')
        self.assertEqual(self.show('vlan.cfg059c96'), ['vlan.cfg059c96=vlan',
                                                       'vlan.cfg059c96.vlanid=30'])

    def test_missing_entries_and_bad_keys(self):
        for args in (['show', 'nosuch'], ['show', 'vlan.nosuch'], ['show', 'vlan.lan.nosuch'],
                     ['get', 'vlan.@vlan[7]'], ['set', 'vlan.nosuch.x=1'],
                     ['delete', 'vlan.lan.nosuch'], ['add_list', 'nosuch.a.b=c']):
            r = self.uci(*args, rc=1)
            self.assertEqual((r.stdout, r.stderr), ('', 'uci: Entry not found\n'), args)
        for args in (['get', 'vlan.a.b.c'], ['set', 'vlan.lan.ip addr=1'], ['set', 'vlan.lan'],
                     ['show', '../vlan'], ['get', 'vlan']):
            r = self.uci(*args, rc=1)
            self.assertEqual(r.stderr, 'uci: Invalid argument\n', args)
        self.assertEqual(self.uci('-q', 'get', 'vlan.x', rc=1).stderr, '')
        self.write('broken', "option x 'y'\n")
        self.assertIn('Parse error', self.uci('show', 'broken', rc=1).stderr)
        self.uci('frobnicate', rc=255)

    def test_each_call_is_recorded(self):
        self.uci('get', 'vlan.lan.ipaddr')
        self.uci('get', 'vlan.lan.nosuch', rc=1)
        with open(os.path.join(self.tmp, 'calls')) as f:
            argvs = [json.loads(line)['argv'][4:] for line in f]
        self.assertEqual(argvs, [['get', 'vlan.lan.ipaddr'], ['get', 'vlan.lan.nosuch']])


class UciInDeviceRootTest(unittest.TestCase):
    def test_keeps_the_roots_config_and_records_the_call(self):
        with DeviceRoot() as root:
            root.write('/etc/config/network', "config interface 'lan'\n\toption proto 'dhcp'\n")
            r = root.run(['/bin/sh', '-c', 'uci set network.lan.proto=static; uci commit network;'
                                           'uci show network.lan.proto'])
            self.assertEqual(r.stdout, 'network.lan.proto=static\n', r.stderr)
            self.assertIn("option proto 'static'", root.read('/etc/config/network'))
            self.assertEqual(root.calls('uci'), [
                ['uci', 'set', 'network.lan.proto=static'], ['uci', 'commit', 'network'],
                ['uci', 'show', 'network.lan.proto']])


if __name__ == '__main__':
    unittest.main()
