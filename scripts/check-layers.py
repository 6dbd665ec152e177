#!/usr/bin/env python3
"""Keeps the layers of the sources: a folder includes only itself and the folders below it.

usage: scripts/check-layers.py [SOURCE_DIR]

Reads every #include "..." of the product's folders (tests beside the code included) and
prints each one that reaches a folder above its own, or across between apmenu and boardutil,
as FILE:LINE: ...; exits 1 when there is any.
"""
import os
import re
import sys

# apmenu's folders from the ground up: each may include the ones before it.
APMENU_LAYERS = ['common', 'state', 'catalogue', 'netsetup', 'services', 'console']
# boardutil stands alone: it includes nothing of apmenu, and apmenu nothing of it.
ALONE = ['boardutil']
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_SUFFIXES = ('.cpp', '.hpp', '.h', '.cc')


def allowed(folder):
    """The folders that a file of folder may include."""
    if folder in ALONE:
        return {folder}
    return set(APMENU_LAYERS[:APMENU_LAYERS.index(folder) + 1])


def faults(source_dir):
    found = []
    for folder in APMENU_LAYERS + ALONE:
        top = os.path.join(source_dir, folder)
        for base, dirs, files in os.walk(top):
            dirs.sort()
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(base, name)
                with open(path, encoding='utf-8', errors='replace') as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m or '/' not in m.group(1):
                            continue
                        target = m.group(1).split('/')[0]
                        if target in allowed(folder) or target not in APMENU_LAYERS + ALONE:
                            continue
                        where = os.path.relpath(path, source_dir)
                        found.append(f'{where}:{number}: {folder}/ includes "{m.group(1)}", '
                                     f'from {target}/, which is not below it')
    return found


def main(argv):
    source_dir = argv[1] if len(argv) > 1 else os.path.dirname(os.path.dirname(
        os.path.abspath(__file__)))
    found = faults(source_dir)
    for line in found:
        print(line)
    if found:
        print(f'{len(found)} include(s) break the layers: '
              + ' < '.join(APMENU_LAYERS) + '; ' + ', '.join(ALONE) + ' alone')
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
