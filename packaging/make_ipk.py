#!/usr/bin/env python3
"""Builds the .ipk packages of a board build, as OpenWrt's package tools make them.

usage: packaging/make_ipk.py BUILD_DIR OUT_DIR

The build's install tree (cmake --install, prefix /usr, stripped: what `make install`
gives) is staged in a temporary folder. Each package of packaging/openwrt/Makefile takes
the files that its install section names, and its control fields come from the same
Makefile, so both ways of packaging install the same. Its Depends are the Makefile's
DEPENDS and the C library when its programs need it (read from their dynamic sections:
a static program needs nothing), and a program that is not code for the architecture's
core (big-endian MIPS32r2 at most, soft float) or needs another library is refused. A
package is a gzip'd tar of debian-binary, data.tar.gz and control.tar.gz (control and,
where the Makefile lists any, conffiles). Every member is owned by root and dated SOURCE_DATE_EPOCH (default 0), so a
build gives the same bytes each time. Prints the path of each package made.
"""
import glob
import gzip
import io
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
PACKAGE_MAKEFILE = os.path.join(HERE, 'openwrt', 'Makefile')
ARCHITECTURE = 'mips_24kc'
DEBIAN_BINARY = b'2.0\n'
# The shared libraries a program of the architecture may need, and their packages.
LIBRARY_PACKAGES = {'libc.so': 'libc'}
READELF = os.environ.get('READELF', 'mips-linux-gnu-readelf')
# The install commands of an OpenWrt install section, with the modes they give.
INSTALL_MODES = {'INSTALL_BIN': 0o755, 'INSTALL_DATA': 0o644, 'INSTALL_CONF': 0o600}
DIR_MODE = 0o755
CONTROL_MODE = 0o644
INSTALL_TIMEOUT = 300   # seconds for cmake --install
# ELF identification of the board's programs: 32-bit, big-endian, MIPS.
ELF_MAGIC = b'\x7fELF'
ELF_CLASS_32 = 1
ELF_BIG_ENDIAN = 2
EM_MIPS = 8
# e_flags: the ISA level, and the levels that the 24Kc core runs (MIPS I to MIPS32r2).
EF_MIPS_ARCH = 0xf0000000
ARCHITECTURE_LEVELS = {0x00000000, 0x10000000, 0x50000000, 0x70000000}
SOFT_FLOAT = 'Soft float'


class PackagingError(Exception):
    """The build or the package Makefile cannot be packaged."""


def read_makefile(path):
    """The Makefile's simple variables (NAME:=value), its define blocks (name -> lines)
    and the packages it builds, in order."""
    variables, defines, packages = {}, {}, []
    with open(path) as f:
        lines = f.read().splitlines()
    block = None
    for line in lines:
        if block is not None:
            if line.strip() == 'endef':
                block = None
            else:
                defines[block].append(line)
            continue
        m = re.match(r'define\s+(\S+)\s*$', line)
        if m:
            block = m.group(1)
            defines[block] = []
            continue
        m = re.match(r'([A-Z_][A-Z0-9_]*)\s*:=\s*(.*?)\s*$', line)
        if m:
            variables[m.group(1)] = m.group(2)
            continue
        m = re.search(r'\$\(call BuildPackage,([^)]+)\)', line)
        if m:
            packages.append(m.group(1).strip())
    return variables, defines, packages


def package_fields(defines, name):
    """KEY:=value lines of define Package/<name>."""
    fields = {}
    for line in defines.get(f'Package/{name}', []):
        m = re.match(r'\s*([A-Z_]+)\s*:=\s*(.*?)\s*$', line)
        if m:
            fields[m.group(1)] = m.group(2)
    return fields


def depends_list(depends_text, needed_packages=()):
    """The control file's list: the packages of the libraries the programs need (the C
    library), then OpenWrt's DEPENDS (+name ...)."""
    names = list(needed_packages)
    for word in depends_text.split():
        if not re.fullmatch(r'\+[A-Za-z0-9][A-Za-z0-9._+-]*', word):
            raise PackagingError(f'DEPENDS word {word!r}: only +package is understood')
        if word[1:] not in names:
            names.append(word[1:])
    return names


def expand(word, stage, pkg_root):
    return word.replace('$(PKG_INSTALL_DIR)', stage).replace('$(1)', pkg_root)


def run_install_section(lines, stage, pkg_root):
    """Carries out an install section's commands: files of the staged tree into pkg_root."""
    for line in lines:
        words = line.split()
        if not words:
            continue
        m = re.fullmatch(r'\$\((\w+)\)', words[0])
        command = m.group(1) if m else None
        args = [expand(w, stage, pkg_root) for w in words[1:]]
        if '$' in ''.join(args):
            raise PackagingError(f'install line {line.strip()!r}: unknown variable')
        if command == 'INSTALL_DIR':
            for d in args:
                os.makedirs(d, mode=DIR_MODE, exist_ok=True)
        elif command in INSTALL_MODES and len(args) >= 2:
            sources = []
            for pattern in args[:-1]:
                found = sorted(glob.glob(pattern))
                if not found:
                    raise PackagingError(f'install line {line.strip()!r}: no file {pattern}')
                sources += found
            dest = args[-1]
            into_dir = dest.endswith('/') or os.path.isdir(dest)
            if not into_dir and len(sources) > 1:
                raise PackagingError(f'install line {line.strip()!r}: several files, one name')
            for source in sources:
                target = os.path.join(dest, os.path.basename(source)) if into_dir else dest
                shutil.copyfile(source, target)
                os.chmod(target, INSTALL_MODES[command])
        else:
            raise PackagingError(f'install line {line.strip()!r}: not understood')


def readelf(option, path):
    r = subprocess.run([READELF, option, path], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                       timeout=INSTALL_TIMEOUT)
    if r.returncode != 0:
        raise PackagingError(f'{READELF} {option} {path}: ' + r.stderr.decode(errors='replace'))
    return r.stdout.decode(errors='replace')


def board_program_packages(path):
    """The packages that a program needs on the device ([] for a static one, or for a file
    that is no program); refuses a program that is not code for the architecture."""
    with open(path, 'rb') as f:
        head = f.read(40)
    if head[:4] != ELF_MAGIC:
        return []
    machine = int.from_bytes(head[18:20], 'big' if head[5] == ELF_BIG_ENDIAN else 'little')
    if head[4] != ELF_CLASS_32 or head[5] != ELF_BIG_ENDIAN or machine != EM_MIPS:
        raise PackagingError(f'{path}: not a program for the board (32-bit big-endian MIPS); '
                             'package the shipped build')
    flags = int.from_bytes(head[36:40], 'big')
    fp = re.search(r'FP ABI:\s*(.*?)\s*$', readelf('-A', path), re.M)
    if flags & EF_MIPS_ARCH not in ARCHITECTURE_LEVELS or not fp or fp.group(1) != SOFT_FLOAT:
        raise PackagingError(f'{path}: not code for {ARCHITECTURE} (MIPS32r2, soft float); '
                             'package the shipped build')
    packages = []
    for library in re.findall(r'\(NEEDED\).*\[(.*)\]', readelf('-d', path)):
        if library not in LIBRARY_PACKAGES:
            raise PackagingError(f'{path} needs {library}, which the device does not have')
        packages.append(LIBRARY_PACKAGES[library])
    return packages


def tree_entries(root):
    """(archive name, host path) of every folder and file under root, './' first, sorted."""
    entries = [('./', root)]
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        rel = os.path.relpath(folder, root)
        prefix = './' if rel == '.' else './' + rel + '/'
        for name in sorted(dirs):
            entries.append((prefix + name + '/', os.path.join(folder, name)))
        for name in sorted(files):
            entries.append((prefix + name, os.path.join(folder, name)))
    return sorted(entries)


def tar_gz(members, mtime):
    """A gzip'd tar of (name, bytes or None for a folder, mode); owner root, fixed time."""
    raw = io.BytesIO()
    with gzip.GzipFile(filename='', mode='wb', fileobj=raw, mtime=0) as gz:
        with tarfile.open(fileobj=gz, mode='w', format=tarfile.GNU_FORMAT) as tar:
            for name, data, mode in members:
                info = tarfile.TarInfo(name)
                info.uid = info.gid = 0
                info.uname = info.gname = ''
                info.mtime = mtime
                info.mode = mode
                if data is None:
                    info.type = tarfile.DIRTYPE
                    tar.addfile(info)
                else:
                    info.size = len(data)
                    tar.addfile(info, io.BytesIO(data))
    return raw.getvalue()


def read_bytes(path):
    with open(path, 'rb') as f:
        return f.read()


def control_text(name, version, fields, variables, defines, installed_size, needed_packages):
    description = [l.strip() for l in defines.get(f'Package/{name}/description', [])]
    description = [l for l in description if l] or [fields.get('TITLE', name)]
    depends = depends_list(fields.get('DEPENDS', ''), needed_packages)
    lines = [
        f'Package: {name}',
        f'Version: {version}',
    ] + (['Depends: ' + ', '.join(depends)] if depends else []) + [
        f'Source: package/{variables["PKG_NAME"]}',
        f'License: {variables.get("PKG_LICENSE", "")}',
        f'Section: {fields.get("SECTION", "")}',
        f'Architecture: {ARCHITECTURE}',
        f'Installed-Size: {installed_size}',
        'Description: ' + description[0],
    ] + [' ' + l for l in description[1:]]
    return ('\n'.join(lines) + '\n').encode()


def make_package(name, variables, defines, stage, work, out_dir, mtime):
    pkg_root = os.path.join(work, name)
    os.makedirs(pkg_root)
    install = defines.get(f'Package/{name}/install')
    if install is None:
        raise PackagingError(f'the Makefile has no install section for {name}')
    run_install_section(install, stage, pkg_root)

    data_members, installed_size, needed_packages = [], 0, []
    for arc_name, path in tree_entries(pkg_root):
        if os.path.isdir(path):
            data_members.append((arc_name, None, DIR_MODE))
        else:
            needed_packages += [p for p in board_program_packages(path)
                                if p not in needed_packages]
            data = read_bytes(path)
            installed_size += len(data)
            data_members.append((arc_name, data, os.stat(path).st_mode & 0o7777))

    version = f'{variables["PKG_VERSION"]}-{variables["PKG_RELEASE"]}'
    fields = package_fields(defines, name)
    control_members = [('./', None, DIR_MODE),
                       ('./control', control_text(name, version, fields, variables, defines,
                                                  installed_size, needed_packages),
                        CONTROL_MODE)]
    conffiles = [l.strip() for l in defines.get(f'Package/{name}/conffiles', []) if l.strip()]
    if conffiles:
        control_members.append(('./conffiles', ('\n'.join(conffiles) + '\n').encode(),
                                CONTROL_MODE))

    outer = tar_gz([('./debian-binary', DEBIAN_BINARY, CONTROL_MODE),
                    ('./data.tar.gz', tar_gz(data_members, mtime), CONTROL_MODE),
                    ('./control.tar.gz', tar_gz(control_members, mtime), CONTROL_MODE)],
                   mtime)
    path = os.path.join(out_dir, f'{name}_{version}_{ARCHITECTURE}.ipk')
    with open(path, 'wb') as f:
        f.write(outer)
    return path


def stage_install(build_dir, stage):
    """The build's install tree, as `make install DESTDIR=stage` gives it."""
    env = dict(os.environ, DESTDIR=stage)
    r = subprocess.run(['cmake', '--install', build_dir, '--prefix', '/usr', '--strip'],
                       env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                       timeout=INSTALL_TIMEOUT)
    if r.returncode != 0:
        raise PackagingError('cmake --install failed:\n' + r.stdout.decode(errors='replace'))


def make_packages(build_dir, out_dir, makefile=PACKAGE_MAKEFILE):
    """Builds every package of the Makefile from build_dir; returns their paths."""
    variables, defines, packages = read_makefile(makefile)
    if not packages:
        raise PackagingError(f'{makefile}: no package')
    mtime = int(os.environ.get('SOURCE_DATE_EPOCH', '0'))
    os.makedirs(out_dir, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix='ipk-') as work:
        stage = os.path.join(work, 'stage')
        stage_install(build_dir, stage)
        return [make_package(name, variables, defines, stage, work, out_dir, mtime)
                for name in packages]


def main(argv):
    if len(argv) != 3:
        sys.stderr.write('usage: packaging/make_ipk.py BUILD_DIR OUT_DIR\n')
        return 2
    try:
        for path in make_packages(argv[1], argv[2]):
            print(path)
    except (PackagingError, OSError, subprocess.SubprocessError) as e:
        sys.stderr.write(f'make_ipk: {e}\n')
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
