"""The board's packages: packaging/make_ipk.py packs the board build as OpenWrt's package
tools do, and the programs installed from the packages run in a device root under qemu.

A device root holds only the board's /etc, /var, /proc and /dev: a package's /etc files
are unpacked where the board has them, its /usr and /lib files under INSTALLED, and the
programs run from there."""
import io
import os
import shlex
import shutil
import subprocess
import sys
import tarfile
import tempfile
import unittest

# The device root module lives in tests/devroot; PYTHONPATH names only tests/.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'devroot'))
from devroot import DeviceRoot, EMULATOR, HOST_BUILD, SOURCE_DIR  # noqa: E402
from fwimage import build_image  # noqa: E402
from test_boardutil import IDS, REGION, kernel, listing, new_style_mtd0, rootfs  # noqa: E402

BUILD_DIR = os.environ.get('BUILD_DIR', '')
MAKE_IPK = os.path.join(SOURCE_DIR, 'packaging', 'make_ipk.py')
CATALOGUE_DIR = os.path.join(SOURCE_DIR, 'catalogue', 'default')
INSTALLED = '/var/installed'
TIMEOUT = 300
VERSION = '0.1-1'
OUTER_MEMBERS = ['./debian-binary', './data.tar.gz', './control.tar.gz']
CONFFILES = ['/etc/apmenu/zelk_title.txt', '/etc/apmenu/zelk_data.txt']

# Each package's data tree: archive names (folders end with '/') and modes.
FOLDERS = {'./': 0o755, './usr/': 0o755, './usr/sbin/': 0o755}
LAYOUT = {
    'apmenu': dict(FOLDERS, **{
        './usr/sbin/apmenu': 0o755,
        './etc/': 0o755, './etc/apmenu/': 0o755,
        './etc/apmenu/zelk_title.txt': 0o644, './etc/apmenu/zelk_data.txt': 0o644,
        './lib/': 0o755, './lib/upgrade/': 0o755, './lib/upgrade/keep.d/': 0o755,
        './lib/upgrade/keep.d/apmenu': 0o644}),
    'boardutil': dict(FOLDERS, **{'./usr/sbin/boardutil': 0o755}),
}
# The shipped programs are static: they need nothing on the device, so no Depends.
CONTROL = {
    'apmenu': {'Package': 'apmenu'},
    'boardutil': {'Package': 'boardutil'},
}
COMMON_CONTROL = {'Version': VERSION, 'Source': 'package/apmenu', 'License': 'Proprietary',
                  'Section': 'utils', 'Architecture': 'mips_24kc'}


def readelf(option, path):
    return subprocess.run(['mips-linux-gnu-readelf', option, path], check=True, text=True,
                          stdout=subprocess.PIPE, timeout=TIMEOUT).stdout


def tar_members(data):
    """{name: (TarInfo, bytes or None)} of a gzip'd tar, in archive order."""
    members = {}
    with tarfile.open(fileobj=io.BytesIO(data), mode='r:gz') as tar:
        for info in tar.getmembers():
            name = info.name + '/' if info.isdir() and not info.name.endswith('/') else info.name
            members[name] = (info, tar.extractfile(info).read() if info.isfile() else None)
    return members


def control_fields(text):
    """The control file's fields; continuation lines join their field."""
    fields, last = {}, None
    for line in text.splitlines():
        if line.startswith(' ') and last:
            fields[last] += '\n' + line[1:]
        else:
            last, _, value = line.partition(': ')
            fields[last] = value
    return fields


class Package:
    """One .ipk taken apart."""

    def __init__(self, path):
        with open(path, 'rb') as f:
            self.outer = tar_members(f.read())
        self.control_archive = tar_members(self.outer['./control.tar.gz'][1])
        self.data = tar_members(self.outer['./data.tar.gz'][1])
        self.control = control_fields(self.control_archive['./control'][1].decode())
        conffiles = self.control_archive.get('./conffiles')
        self.conffiles = conffiles[1].decode().splitlines() if conffiles else []

    def files(self):
        return {name: body for name, (_, body) in self.data.items() if body is not None}


def install_tree(build_dir, destdir):
    """{archive name: (mode, bytes or None)} of `make install DESTDIR=destdir`."""
    subprocess.run(['cmake', '--install', build_dir, '--prefix', '/usr', '--strip'], check=True,
                   env=dict(os.environ, DESTDIR=destdir), stdout=subprocess.DEVNULL,
                   timeout=TIMEOUT)
    tree = {'./': (0o755, None)}
    for folder, dirs, files in os.walk(destdir):
        rel = os.path.relpath(folder, destdir)
        prefix = './' if rel == '.' else './' + rel + '/'
        for name in dirs:
            tree[prefix + name + '/'] = (0o755, None)   # the packages' folders are 0755
        for name in files:
            path = os.path.join(folder, name)
            with open(path, 'rb') as f:
                tree[prefix + name] = (os.stat(path).st_mode & 0o7777, f.read())
    return tree


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if HOST_BUILD or not BUILD_DIR:
            raise unittest.SkipTest('the packages are made of the board build')
        cls.work = tempfile.mkdtemp(prefix='package-test-')
        out = os.path.join(cls.work, 'ipk')
        r = subprocess.run([sys.executable, MAKE_IPK, BUILD_DIR, out], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=TIMEOUT)
        if r.returncode != 0:
            shutil.rmtree(cls.work, ignore_errors=True)
            raise AssertionError('make_ipk.py failed: ' + r.stderr.decode())
        cls.paths = r.stdout.decode().split()
        cls.packages = {name: Package(os.path.join(out, f'{name}_{VERSION}_mips_24kc.ipk'))
                        for name in LAYOUT}
        cls.tree = install_tree(BUILD_DIR, os.path.join(cls.work, 'tree'))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_each_package_is_what_opkg_reads(self):
        self.assertEqual(sorted(map(os.path.basename, self.paths)),
                         ['apmenu_0.1-1_mips_24kc.ipk', 'boardutil_0.1-1_mips_24kc.ipk'])
        for name, package in self.packages.items():
            with self.subTest(package=name):
                self.assertEqual(list(package.outer), OUTER_MEMBERS)
                self.assertEqual(package.outer['./debian-binary'][1], b'2.0\n')
                for archive in (package.outer, package.control_archive, package.data):
                    for member, (info, _) in archive.items():
                        self.assertEqual((info.uid, info.gid), (0, 0), member)
                fields = dict(package.control)
                self.assertTrue(fields.pop('Description'))
                size = sum(len(body) for body in package.files().values())
                self.assertEqual(fields, dict(COMMON_CONTROL, **CONTROL[name],
                                              **{'Installed-Size': str(size)}))
        self.assertEqual(self.packages['apmenu'].conffiles, CONFFILES)
        self.assertEqual(self.packages['boardutil'].conffiles, [])

    def test_packages_hold_exactly_the_install_tree(self):
        union = {}
        for name, package in self.packages.items():
            layout = {member: info.mode for member, (info, _) in package.data.items()}
            self.assertEqual(layout, LAYOUT[name], name)
            union.update({member: (info.mode, body)
                          for member, (info, body) in package.data.items()})
        self.assertEqual(union, self.tree)

        files = self.packages['apmenu'].files()
        self.assertEqual(files['./lib/upgrade/keep.d/apmenu'], b'/etc/apmenu/\n')
        for conffile in CONFFILES:
            with open(os.path.join(CATALOGUE_DIR, os.path.basename(conffile)), 'rb') as f:
                self.assertEqual(files['.' + conffile], f.read())

    def install(self, root):
        """Unpacks every package into root as opkg would: /etc where the board has it,
        the rest under INSTALLED."""
        for package in self.packages.values():
            for member, (info, body) in package.data.items():
                path = member[1:].rstrip('/')
                if not path:
                    continue
                board_path = path if path.startswith('/etc/') or path == '/etc' \
                    else INSTALLED + path
                if body is None:
                    root.mkdir(board_path)
                else:
                    root.write(board_path, body, mode=info.mode)

    def test_programs_are_static_soft_float_code_for_the_core(self):
        # qemu's 24Kc model has no FPU and no library of the host is reachable: what runs
        # here runs on a stock device.
        self.assertEqual(shlex.split(EMULATOR), ['qemu-mips-static', '-cpu', '24Kc'])
        for name, package in self.packages.items():
            for member, body in package.files().items():
                if not member.startswith('./usr/sbin/'):
                    continue
                with self.subTest(program=member):
                    path = os.path.join(self.work, name + '-' + os.path.basename(member))
                    with open(path, 'wb') as f:
                        f.write(body)
                    attributes = readelf('-A', path)
                    self.assertIn('FP ABI: Soft float', attributes)
                    self.assertIn('ISA: MIPS32r2', attributes)
                    self.assertNotIn('NEEDED', readelf('-d', path))
                    self.assertNotIn('INTERP', readelf('-l', path))

    def run_installed(self, root, script):
        """Runs a shell script in root; $EMU runs a board program."""
        return root.run(['sh', '-c', f'EMU={shlex.quote(EMULATOR)}\n' + script],
                        timeout=TIMEOUT)

    def test_installed_programs_run_from_their_folders(self):
        with DeviceRoot() as root:
            self.install(root)
            r = self.run_installed(root, f'''set -e
cd /etc/apmenu
$EMU {INSTALLED}/usr/sbin/apmenu --test=4 --set --oid=0.3.5 --val=8080
$EMU {INSTALLED}/usr/sbin/apmenu --test=4 --get --oid=0.3.5
''')
            self.assertEqual((r.returncode, r.stdout, r.stderr), (0, '[0.3.5]=8080\n', ''))
            self.assertIn('v;3;5=8080\n', root.read('/etc/apmenu/zelk_data.txt'))

            sections = [kernel(), rootfs()]
            image = build_image(sections, ids=IDS)
            root.write('/dev/mtd0', new_style_mtd0())
            root.write('/var/fw.img', image)
            root.write('/var/bad.img', image[:-1] + bytes([image[-1] ^ 1]))
            check = f'$EMU {INSTALLED}/usr/sbin/boardutil {shlex.join(REGION)} ztqimg'
            r = self.run_installed(root, f'{check} /var/fw.img')
            self.assertEqual((r.returncode, r.stdout, r.stderr),
                             (0, listing(sections, ['kernel ', 'rootfs ']), ''))
            r = self.run_installed(root, f'{check} /var/bad.img')
            self.assertEqual((r.returncode, r.stdout, r.stderr),
                             (1, '', 'Bad firmware format, CRC error!\n'))


if __name__ == '__main__':
    unittest.main()
