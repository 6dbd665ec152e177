"""boardutil in the device root: plain files stand in for /dev/mtd0, /dev/mtd1 and a sparse
/dev/armem, and the ip recorder shows what setwmac programs."""
import os
import random
import struct
import sys
import unittest
import zlib

# The device root module lives in tests/devroot; PYTHONPATH names only tests/.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'devroot'))
from devroot import DeviceRoot, BOARDUTIL
from fwimage import (KERNEL, KERNEL_LZMA, OTHER, PARTITION_TABLE, ROOTFS, Section,
                     build_image, data_positions, payload)

IDS = (0x1234, 0x00a5, 0xabcd, 0xfedc)
NEW_STYLE = 0x20130417
OLD_STYLE = 0x20021103
SYSTEM_MAGIC = 0x20021107
MACS = [bytes([0x00, 0x0A + e, 0xBC, 0xDE, 0xF0, e]) for e in range(8)]
IMAGE = '/var/fw.img'
# The allowed flash region 0x20000..0x1000000.
REGION = ['-p', '0x20000', '-s', '0xfe0000']


def mac_table(macs):
    table = b''.join(m + b'\xff\xff' for m in macs)
    return table + bytes(64 - len(table))


def new_style_mtd0(ids=IDS, macs=MACS, magic=NEW_STYLE):
    block = struct.pack('>I', magic) + bytes(12) + mac_table(macs) + struct.pack('>4H', *ids)
    return bytes(0x2e000) + block + bytes(240 - len(block))


def old_style_mtd0(macs=MACS):
    # Ends before the new block's place, as a smaller flash would.
    return bytes(0x1f800) + struct.pack('>I', OLD_STYLE) + bytes(12) + mac_table(macs)


def system_mtd1(ids=IDS, magic=SYSTEM_MAGIC):
    block = struct.pack('>I', magic) + bytes(12) + struct.pack('>4H', *ids)
    return bytes(0xf800) + block + bytes(52 - len(block))


def mac_text(mac):
    return ':'.join('%02x' % b for b in mac)


class BoardutilCase(unittest.TestCase):
    def setUp(self):
        self.root = DeviceRoot()
        self.addCleanup(self.root.close)

    def boardutil(self, *args):
        return self.root.run([BOARDUTIL, *args], timeout=60)

    def expect(self, r, status, stdout='', stderr=''):
        self.assertEqual((r.returncode, r.stdout, r.stderr), (status, stdout, stderr))

    def new_board(self, **kw):
        self.root.write('/dev/mtd0', new_style_mtd0(**kw))

    def old_board(self, macs=MACS, ids=IDS, system_magic=SYSTEM_MAGIC):
        self.root.write('/dev/mtd0', old_style_mtd0(macs))
        self.root.write('/dev/mtd1', system_mtd1(ids, system_magic))


class CommandLineTest(BoardutilCase):
    def test_usage_errors_give_status_1_and_print_nothing(self):
        self.new_board()
        for args in ([], ['-x', 'getid'], ['frob'], ['getid', 'extra'], ['-i', '0', 'setwmac'],
                     ['-n', '2', 'setwmac'], ['-i', '-1', '-n', '2', 'setwmac'],
                     ['-i', 'x1', '-n', '2', 'setwmac'], ['-i', '0', '-n', '2', 'setwmac', 'x'],
                     ['-i', '4', '-n', '5', 'setwmac'],
                     ['-i', '99999999999999999999', '-n', '1', 'setwmac'],
                     ['ztqimg', IMAGE], REGION + ['ztqimg'], REGION + ['ztqimg', IMAGE, IMAGE],
                     # Options after the subcommand are its arguments.
                     ['getid', '-i', '1']):
            with self.subTest(args=args):
                self.expect(self.boardutil(*args), 1)
        self.assertEqual(self.root.calls('ip'), [])

    def test_ztqimg_without_region_reads_neither_image_nor_flash(self):
        # No /dev/mtd0 and no image: any read would print a message.
        for args in (['-p', '0x20000'], ['-s', '0xfe0000'], ['-p', '0', '-s', '0xfe0000'],
                     ['-p', '0x20000', '-s', '0x100000000'], ['-p', 'junk', '-s', '0xfe0000']):
            with self.subTest(args=args):
                self.expect(self.boardutil(*args, 'ztqimg', IMAGE), 1)


class BoardRecordTest(BoardutilCase):
    def test_getid_prints_id_1_in_hex_without_newline(self):
        self.new_board()
        self.expect(self.boardutil('getid'), 0, 'a5')
        self.new_board(ids=(0, 0x7f00, 0, 0))
        self.expect(self.boardutil('getid'), 0, '7f00')

    def test_old_style_board_takes_its_ids_from_the_system_block(self):
        self.old_board(ids=(1, 0xbeef, 3, 4))
        self.expect(self.boardutil('getid'), 0, 'beef')

    def test_each_failure_message_on_every_board_subcommand(self):
        root = self.root
        cases = [
            ("Couldn't get board params!\n", lambda: None),
            ("Couldn't read board params!\n", lambda: root.write('/dev/mtd0', b'')),
            ("Board params not found!\n", lambda: root.write(
                '/dev/mtd0', new_style_mtd0(magic=0x17041320))),
            ("Couldn't get system params!\n", lambda: root.write('/dev/mtd0', old_style_mtd0())),
            ("Couldn't read system params!\n", lambda: root.write(
                '/dev/mtd1', system_mtd1()[:-1])),
            ("System params not found!\n", lambda: root.write(
                '/dev/mtd1', system_mtd1(magic=0x07110220))),
        ]
        root.write(IMAGE, build_image([Section(0x680000, payload(KERNEL, 8))], ids=IDS))
        for message, prepare in cases:
            prepare()
            for args in (['getid'], ['-i', '0', '-n', '1', 'setwmac'], REGION + ['ztqimg', IMAGE]):
                with self.subTest(message=message, args=args):
                    self.expect(self.boardutil(*args), 1, '', message)
        self.assertEqual(root.calls('ip'), [])


class SetwmacTest(BoardutilCase):
    def ip_calls(self):
        return [(c[4], c[6]) for c in self.root.calls('ip')
                if c[:4] == ['ip', 'link', 'set', 'dev'] and c[5] == 'address']

    def test_interfaces_count_from_0_and_entries_from_i(self):
        self.new_board()
        self.expect(self.boardutil('-i', '2', '-n', '3', 'setwmac'), 0)
        self.assertEqual(self.root.calls('ip'), [
            ['ip', 'link', 'set', 'dev', 'wifi%d' % k, 'address', mac_text(MACS[2 + k])]
            for k in range(3)])
        self.assertEqual(mac_text(MACS[2]), '00:0c:bc:de:f0:02')

    def test_table_ends_at_an_entry_with_three_zero_bytes(self):
        macs = [MACS[0], MACS[1], bytes([0, 0, 0, 1, 2, 3]), MACS[3]]
        self.new_board(macs=macs)
        self.expect(self.boardutil('-i', '0', '-n', '4', 'setwmac'), 0)
        self.assertEqual(self.ip_calls(), [('wifi0', mac_text(MACS[0])),
                                           ('wifi1', mac_text(MACS[1]))])

    def test_old_style_board_and_all_eight_entries(self):
        self.old_board()
        self.expect(self.boardutil('-i', '0', '-n', '8', 'setwmac'), 0)
        self.assertEqual(self.ip_calls(), [('wifi%d' % k, mac_text(MACS[k])) for k in range(8)])

    def test_failing_ip_does_not_stop_the_loop(self):
        self.new_board()
        self.root.add_standin('ip', 'exit 2\n')
        self.expect(self.boardutil('-i', '6', '-n', '2', 'setwmac'), 0)
        self.assertEqual(self.ip_calls(), [('wifi0', mac_text(MACS[6])),
                                           ('wifi1', mac_text(MACS[7]))])


class MemoryTest(BoardutilCase):
    ARMEM_SIZE = 0x100000008

    def setUp(self):
        super().setUp()
        self.armem = self.root.host_path('/dev/armem')
        with open(self.armem, 'wb') as f:
            f.truncate(self.ARMEM_SIZE)

    def poke(self, address, data):
        with open(self.armem, 'r+b') as f:
            f.seek(address)
            f.write(data)

    def peek(self, address, n=4):
        with open(self.armem, 'rb') as f:
            f.seek(address)
            return f.read(n)

    def test_mm_writes_big_endian_and_md_reads_it_back(self):
        self.expect(self.boardutil('mm', '1000', '0x12345678'), 0)
        self.assertEqual(self.peek(0xffe, 8), b'\0\0\x12\x34\x56\x78\0\0')
        self.expect(self.boardutil('mm', '0x1004', 'FFFFFFFE'), 0)
        self.expect(self.boardutil('md', '0x1000', '3'), 0,
                    '00001000 : 0x12345678    305419896\n'
                    '00001004 : 0xfffffffe           -2\n'
                    '00001008 : 0x00000000            0\n')
        self.expect(self.boardutil('md', '1004'), 0, '00001004 : 0xfffffffe           -2\n')

    def test_addresses_past_4_gib(self):
        self.poke(0xfffffffc, bytes.fromhex('8000000101020304'))
        self.expect(self.boardutil('md', '0xfffffffc', '2'), 0,
                    'fffffffc : 0x80000001  -2147483647\n'
                    '100000000 : 0x01020304     16909060\n')
        self.expect(self.boardutil('mm', '100000004', 'a'), 0)
        self.assertEqual(self.peek(0x100000004), b'\0\0\0\x0a')

    def test_md_stops_with_read_error_at_the_end_of_the_device(self):
        r = self.boardutil('md', '%x' % (self.ARMEM_SIZE - 6), '2')
        self.expect(r, 255, '100000002 : 0x00000000            0\n', 'read error!\n')

    def test_mm_reports_a_short_write(self):
        os.unlink(self.armem)
        os.symlink('/dev/full', self.armem)
        self.expect(self.boardutil('mm', '0', '1'), 255, '', 'write error!\n')

    def test_bad_arguments_and_unreachable_addresses_give_255_silently(self):
        for args in (['md'], ['md', '0', '1', '2'], ['mm', '0'], ['mm', '0', '1', '2'],
                     ['md', 'zz'], ['md', '0', '-1'], ['md', '0', '0x2'], ['md', '-4'],
                     ['mm', '0', '100000000'], ['mm', 'g', '1'], ['mm', '0', '-1'],
                     ['md', '8000000000000000'], ['mm', 'ffffffffffffffff', '1']):
            with self.subTest(args=args):
                self.expect(self.boardutil(*args), 255)
        self.assertEqual(self.peek(0, 4), bytes(4))
        os.unlink(self.armem)
        self.expect(self.boardutil('md', '0'), 255)
        self.expect(self.boardutil('mm', '0', '1'), 255)
        self.assertFalse(os.path.exists(self.armem))


def kernel(offset=0x680000, size=1024, kind=KERNEL):
    return Section(offset, payload(kind, size))


def rootfs(offset=0x780000, size=2048):
    return Section(offset, payload(ROOTFS, size))


def partition_table(offset=0x20000, size=256):
    return Section(offset, payload(PARTITION_TABLE, size))


def listing(sections, labels, skip=()):
    """Expected ztqimg lines of the first len(labels) sections; those whose index is in
    skip print nothing."""
    lines = ''
    for k, (s, pos) in enumerate(zip(sections[:len(labels)], data_positions(sections))):
        if k not in skip:
            lines += '%s%d %d %d\n' % (labels[k], pos, s.offset, s.size)
    return lines


class ImageCheckTest(BoardutilCase):
    def setUp(self):
        super().setUp()
        self.new_board()

    def check(self, image, region=REGION):
        self.root.write(IMAGE, image)
        return self.boardutil(*region, 'ztqimg', IMAGE)

    def check_sections(self, sections, **kw):
        return self.check(build_image(sections, ids=IDS, **kw))

    def test_valid_image_lists_its_sections(self):
        # A section shorter than four bytes is of no kind, whatever bytes follow it.
        sections = [kernel(size=1048576), rootfs(), Section(0xe00000, b'\x27'),
                    Section(0xf00000, bytes.fromhex('051956') + payload(OTHER, 5))]
        self.expect(self.check_sections(sections), 0,
                    listing(sections, ['kernel ', 'rootfs ', 'partition ', 'partition ']))
        self.assertTrue(self.root.read(IMAGE).startswith('\0QVK'))
        self.assertIn('kernel 120 6815744 1048576\n', self.check_sections(sections).stdout)

    def test_sections_below_0x30000_on_new_and_old_style_boards(self):
        sections = [partition_table(0x20000), Section(0x20000, payload(OTHER, 7)),
                    kernel(0x30000, kind=KERNEL_LZMA), rootfs()]
        labels = ['partition_table ', 'partition ', 'kernel ', 'rootfs ']
        self.expect(self.check_sections(sections), 0, listing(sections, labels, skip=(0, 1)))
        self.old_board()
        self.expect(self.check_sections(sections), 0, listing(sections, labels))

    def test_partition_table_is_required_on_old_style_boards_only(self):
        sections = [kernel(), rootfs()]
        expected = listing(sections, ['kernel ', 'rootfs '])
        self.expect(self.check_sections(sections), 0, expected)
        self.old_board()
        self.expect(self.check_sections(sections), 1, expected,
                    'Required partition missing in the upgrade image\n')
        # On a new-style board a table below 0x30000 is not seen either way.
        self.new_board()
        for sections in ([kernel()], [rootfs()], [partition_table(0x40000), rootfs()]):
            with self.subTest(sections=len(sections)):
                r = self.check_sections(sections)
                self.assertEqual((r.returncode, r.stderr),
                                 (1, 'Required partition missing in the upgrade image\n'))

    def test_header_must_fit_the_board(self):
        sections = [kernel(), rootfs()]
        self.expect(self.check(build_image(sections, ids=IDS, magic=b'\x00QVL')), 1, '',
                    'Bad firmware format!\n')
        for k in range(4):
            ids = list(IDS)
            ids[k] ^= 0x0100
            with self.subTest(id=k):
                self.expect(self.check(build_image(sections, ids=ids)), 1, '',
                            'Bad firmware format!\n')
        self.expect(self.boardutil(*REGION, 'ztqimg', '/var/none.img'), 1, '',
                    "Couldn't open file /var/none.img!\n")

    def test_crc_covers_every_byte_but_its_own_field(self):
        image = build_image([kernel(), rootfs(size=3000)], ids=IDS)
        for pos in (8, 15, 24, 39, 40, 52, 120, 200, len(image) // 2, len(image) - 1):
            changed = bytearray(image)
            changed[pos] ^= 0x01
            with self.subTest(pos=pos):
                self.expect(self.check(bytes(changed)), 1, '', 'Bad firmware format, CRC error!\n')
        changed = bytearray(image)
        changed[5] ^= 0x40
        self.expect(self.check(bytes(changed)), 1, '', 'Bad firmware format, CRC error!\n')

    def test_crc_0_skips_the_check(self):
        image = bytearray(build_image([kernel(), rootfs()], ids=IDS, crc=False))
        image[-1] ^= 0xff
        self.assertEqual(image[4:8], bytes(4))
        self.assertEqual(self.check(bytes(image)).returncode, 0)

    def test_crc_agrees_with_zlib_on_random_data(self):
        rng = random.Random(7)
        sizes = [0, 1, 3, 4, 7, 8, 9, 983, 984, 985, 1023, 1024, 1025, 2047, 65535, 65536,
                 65537, 131072 - 87, 200003] + [rng.randrange(4, 300000) for _ in range(8)]
        for size in sizes:
            data = ROOTFS + rng.randbytes(size)
            image = build_image([kernel(size=4), Section(0x780000, data)], ids=IDS)
            with self.subTest(size=size, crc='%08x' % zlib.crc32(image)):
                r = self.check(image)
                self.assertEqual((r.returncode, r.stderr), (0, ''))

    def test_section_offsets(self):
        first = kernel()
        for offset in (0x28000, 0x10000, 0x20001, 0):
            sections = [first, Section(offset, payload(ROOTFS, 8)), rootfs()]
            with self.subTest(offset=hex(offset)):
                self.expect(self.check_sections(sections), 1, listing(sections, ['kernel ']),
                            'Invalid section offset 0x%08x\n' % offset)

    def test_section_must_lie_in_the_region(self):
        message = 'Section not in firmware region, offset 0x%08x, size 0x%08x, real_size 0x%08x\n'
        # Ending exactly at the region's end passes; one byte more does not.
        sections = [kernel(), Section(0xf00000, payload(ROOTFS, 4096), 0x100000)]
        self.expect(self.check_sections(sections), 0, listing(sections, ['kernel ', 'rootfs ']))
        for offset, size, real_size in ((0xf00000, 4096, 0x100001), (0x700000, 4096, 4095),
                                        (0x100000, 16, 0xfff00000), (0xff0000, 4, 0xffffffff)):
            sections = [kernel(), Section(offset, payload(ROOTFS, size), real_size)]
            with self.subTest(offset=hex(offset), real_size=hex(real_size)):
                self.expect(self.check_sections(sections), 1, listing(sections, ['kernel ']),
                            message % (offset, size, real_size))

    def test_offsets_of_2_gib_and_more_print_unsigned(self):
        # The region 0x20000..0x100000000 ends exactly at 4 GiB.
        sections = [Section(0x80000000, payload(OTHER, 4)), kernel(), rootfs(0xfff00000)]
        r = self.check(build_image(sections, ids=IDS), ['-p', '131072', '-s', '0xfffe0000'])
        self.expect(r, 0, listing(sections, ['partition ', 'kernel ', 'rootfs ']))
        self.assertIn('partition 104 2147483648 4\n', r.stdout)

    def test_partition_table_size_limit(self):
        self.old_board()
        sections = [partition_table(size=0x10000), kernel(), rootfs()]
        self.expect(self.check_sections(sections), 0,
                    listing(sections, ['partition_table ', 'kernel ', 'rootfs ']))
        sections = [kernel(), partition_table(size=0x10001), rootfs()]
        self.expect(self.check_sections(sections), 1, listing(sections, ['kernel ']),
                    'Invalid partition table size 0x00010001\n')

    def test_kernel_start(self):
        for kind in (KERNEL, KERNEL_LZMA):
            for offset in (0x40000, 0x700000):
                sections = [rootfs(), kernel(offset, kind=kind)]
                with self.subTest(kind=kind.hex(), offset=hex(offset)):
                    self.expect(self.check_sections(sections), 1, listing(sections, ['rootfs ']),
                                'The upgrade image kernel start is invalid 0x%08x\n' % offset)

    def test_malformed_layouts_are_bad_format(self):
        bad = (1, '', 'Bad firmware format!\n')
        image = build_image([kernel(), rootfs()], ids=IDS, crc=False)
        full = build_image([rootfs(0x780000 + 0x10000 * k, 64) for k in range(8)], ids=IDS,
                           terminated=False)
        for name, data in (('short header', image[:39]), ('table cut', image[:80]),
                           ('data cut', image[:-1]), ('no terminator', full)):
            with self.subTest(name):
                r = self.check(data)
                self.assertEqual((r.returncode, r.stderr), bad[::2])


if __name__ == '__main__':
    unittest.main()
