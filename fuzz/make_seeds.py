#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/, from the cases
of the unit and end-to-end tests. Run it again after changing the cases below.

usage: make_seeds.py [TARGET...]   (default: every target; a target's folder is replaced)"""
import hashlib
import os
import shutil
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, 'tests', 'e2e'))
from fwimage import KERNEL, KERNEL_LZMA, OTHER, PARTITION_TABLE, ROOTFS, Section, build_image, payload  # noqa: E402


def read(path):
    with open(os.path.join(ROOT, path), 'rb') as f:
        return f.read()


def catalogue_seeds():
    sep = b'\x1e'
    title = read('catalogue/default/zelk_title.txt')
    data = read('catalogue/default/zelk_data.txt')
    return [
        title + sep + data,
        b'n;1;6=SSID\nx\n\nm=Main\n' + sep + b'v;1;3=a=b\nv;1;6=y\n',
        b'n;1;6=SSID' + sep + b'v;1;6=\nv;1;7=a\r\n',
        b'm=Main\n' + sep + b'v;1=a\nx;1=b\n',
        b'm=Main\nmn;1=Both\nvn;1;2=x\nm;1;3\n' + sep + b'v;1;2;3;4=deep\nv;31;31=last\n',
        b'm=Main\nn;1;1' + b';' * 23 + b'=t\n' + sep + b'v;1=' + b'a' * 40 + b'\n',
        # A tag repeated in one file, as a hand-edited catalogue may hold.
        b'n;1;1=a\nn;1;1=b\n' + sep,
    ]


def key_script_seeds():
    # The key script, then the typed lines; after a NUL byte what every query prints.
    return [
        b'1;3:7;0;5;2:Lab;~;3;5:8080;!;4;1:10.0.0.9;e',
        b"1;3:'a;b';e",
        b"1;3:'a;4:2;e",
        b'1;2:echo a|echo b;e',
        b';1;;99;3:8;;x;4:9;\n;\n;;\n5:1;e\n',
        b'\n1\n3:5\n\n   \ne\n',
        b'1;3;e\n42 s\n',
        b'1;3:[New name];e',
        b'3;6:[Web server];e',
        b'2;2:[x];3:[03:30];!;1;6:[n];e',
        b'1;3:7;4:[Checks];s',
        b'1;r;0;3;!;e',
        b'1;10:0.5.1;12:y;e',
        b'1;10:0.5.1;12:y;e\x00AccessPoint\n',
        b'1;6:y;3\n45\n',
        b'1;6:y;12\nn\n',
        b'2;3:06:54;5:y',
        b'2;2:1;5:y;5:y;e',
        b'1;14:1;!;2;5:y\x001 Hour By Time 07:00\n',
        # A watch armed with an interval of 0 repeats its checks without sleeping.
        b'1;3:0;9:y',
    ]


def key_line_seeds():
    # The key scripts of the README's sets and gets (as apmenu --test=4 builds them), and
    # its interactive lines typed after an empty script.
    return key_script_seeds() + [
        b'0;3;1:abc;e', b'0;3;5:8080;e', b'!;1;10:0.3.5;12:y;e', b'!;1;10:0.3.1;12:y;e',
        b'\n3\n5\n8080\ns\n0\n1\ne\n',
    ]


def code_number_seeds():
    return [s.encode() for s in (
        '0', '0;', '0;1;6', '0;0;1;6', '0;1;12', '0;1;31', '0;32', '0;1;a', '0;a;1', '1;2',
        '00;1', '0;;5', '0;40;x', '0;1;2;3;4;5', '0;1;1;1;1;11', '0;1;3;2;14', '0;30;30;30',
        '0;0000000000000000001')]


IDS = (0x1234, 0x00a5, 0xabcd, 0xfedc)
NEW_STYLE = 0x20130417
OLD_STYLE = 0x20021103
SYSTEM_MAGIC = 0x20021107
MACS = b''.join(bytes([0x00, 0x0A + e, 0xBC, 0xDE, 0xF0, e]) + b'\xff\xff' for e in range(8))


def board_head(style, region=(0x20000, 0xfe0000), flags=None, cut=0):
    """Region, block flags, cut, then the new, old and system blocks (240, 80, 52 bytes)."""
    new = struct.pack('>I', NEW_STYLE) + bytes(12) + MACS + struct.pack('>4H', *IDS)
    new += bytes(240 - len(new))
    old = struct.pack('>I', OLD_STYLE) + bytes(12) + MACS
    system = struct.pack('>I', SYSTEM_MAGIC) + bytes(12) + struct.pack('>4H', *IDS)
    system += bytes(52 - len(system))
    if flags is None:
        flags = 1 if style == 'new' else 2 | 4
    return struct.pack('<2I', *region) + bytes([flags, cut]) + new + old + system


def image_check_seeds():
    kernel = Section(0x680000, payload(KERNEL, 64))
    lzma = Section(0x30000, payload(KERNEL_LZMA, 32))
    rootfs = Section(0x780000, payload(ROOTFS, 96))
    table = Section(0x20000, payload(PARTITION_TABLE, 32))
    other = Section(0xe00000, payload(OTHER, 8))
    short = Section(0xf00000, b'\x27')
    return [
        board_head('new') + build_image([kernel, rootfs, other, short], ids=IDS),
        board_head('old') + build_image([table, kernel, rootfs], ids=IDS),
        board_head('old') + build_image([table, lzma, rootfs], ids=IDS, crc=False),
        board_head('new') + build_image([kernel, rootfs], ids=IDS, terminated=False),
        board_head('new', region=(0x20000, 0x100000)) + build_image([kernel, rootfs], ids=IDS),
        board_head('new', flags=1 | 8, cut=1) + build_image([kernel], ids=IDS),
        board_head('old', flags=2) + build_image([rootfs], ids=(0, 0, 0, 0)),
    ]


def text_helper_seeds():
    # Delimiter, index (16-bit little-endian), length (16-bit little-endian), then the text.
    def seed(delim, index, length, text):
        return delim.encode() + struct.pack('<Hh', index, length) + text.encode()
    return [
        seed(';', 1, 3, '0;1;6'),
        seed(';', 0, -1, ';;a;;b;'),
        seed(' ', 2, 10, 'Tue Dec  8 06:52:55 2026'),
        seed(' ', 9, 200, 'Mon Jan 10 23:59:59 12345'),
        seed('=', 1, 0, 'path=/etc/apmenu'),
        seed(':', 0, 4, "it's a $(reboot) `x` ;"),
        seed('.', 0, 2, '0x1F'),
        seed('.', 0, 2, '101b'),
        seed('|', 300, 32767, 'a|b|c'),
    ]


def ip_packet(header_len, icmp_len, icmp_type=0, identifier=0x1234):
    """An IPv4 header of header_len bytes (TTL 64), then an echo reply of icmp_len bytes
    (sequence 7, send time 100 s 250000 us in this machine's order), cut to its size."""
    header = bytes([0x40 | header_len // 4]) + bytes(7) + bytes([64]) + bytes(header_len - 9)
    icmp = struct.pack('>BBHHH', icmp_type, 0, 0, identifier, 7) + struct.pack('=II', 100, 250000)
    return (header + icmp + bytes(64))[:header_len + icmp_len]


def echo_reply_seeds():
    # The watchdog's identifier is 0 until it starts; 0x1234 stands for another's.
    return [
        ip_packet(20, 64, identifier=0), ip_packet(24, 64, identifier=0),
        ip_packet(60, 64, identifier=0), ip_packet(20, 8, identifier=0),
        ip_packet(20, 64), ip_packet(20, 7, identifier=0), ip_packet(20, 64, 8, identifier=0),
        ip_packet(20, 64, 3, identifier=0), bytes([0x4f]) + bytes(7) + bytes([64]) + bytes(11),
    ]


def config_query_seeds():
    # Capacity, flags (bit 0: no command starts; bits 1-2: ssid rounds; bits 3-7: n), the
    # argument and a line feed, then what every command prints.
    def seed(capacity, flags, arg, output):
        return bytes([capacity, flags]) + arg.encode() + b'\n' + output.encode()
    network = ('network.lan=interface\nnetwork.lan.proto=static\nnetwork.lan.note=a=b\n'
               'network.vlan10=interface\nnetwork.vlan10.ifname=eth0.10 ath2.10\n'
               'network.vlansw3=interface\nnetwork.vlansw3.ifname=eth0.3 ath2\n'
               'network.vlan30=interface\nnetwork.vlan30.ifname=eth0.30 ath2\n')
    wireless = ('wireless.@wifi-iface[0].ssid=Office\nwireless.@wifi-iface[1].ssid=Guest\n'
                'wireless.@wifi-iface[2].ssid=Lab\n')
    ifconfig = ('          inet addr:192.168.1.20  Bcast:192.168.1.255  Mask:255.255.255.0\n'
                '          inet addr:10.1.2.300  Mask:255.0.0.0\n')
    return [
        seed(64, 0, 'network.lan.proto', network),
        seed(192, 2, 'Guest', wireless),
        seed(28, 8, 'lan', ifconfig),
        seed(64, 0, 'it', '3:it\n12:it is\nBinary file (standard input) matches\n' + '9' * 130 + ':x\n'),
        seed(8, 0, 'ath2', network),
        seed(5, 6, 'ath2', network + wireless),
        seed(192, 8, 'x', 'vlan.@vlan[1].bridge=br-vlan10\n'),
        seed(64, 1, 'network.lan.ipaddr', network),
    ]


def shell_quote_seeds():
    # Values of the tests: plain words, and values that would reach the shell unquoted.
    return [s.encode() for s in (
        'network.lan.ipaddr', 'br-lan', '192.168.1.1/24', '', "it's", 'a;evil', '$(evil)',
        '`evil`', "x'; evil; echo '", 'a b|evil', 'line\nfeed', '~root', '-n', 'a\\b', '"q"',
        'nul\0cut')]


TARGETS = {
    'catalogue_load_fuzz': catalogue_seeds,
    'key_script_fuzz': key_script_seeds,
    'key_lines_fuzz': key_line_seeds,
    'code_number_fuzz': code_number_seeds,
    'image_check_fuzz': image_check_seeds,
    'text_helpers_fuzz': text_helper_seeds,
    'echo_reply_fuzz': echo_reply_seeds,
    'config_queries_fuzz': config_query_seeds,
    'shell_quote_fuzz': shell_quote_seeds,
}


def main():
    for target in sys.argv[1:] or TARGETS:
        make = TARGETS[target]
        folder = os.path.join(HERE, 'corpus', target)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for seed in make():
            name = hashlib.sha1(seed).hexdigest()[:16]
            with open(os.path.join(folder, name), 'wb') as f:
                f.write(seed)


if __name__ == '__main__':
    main()
