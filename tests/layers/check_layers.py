"""Fails when a source file includes a header of a layer above its own.

Velmora's layers point one way: the front ends (app, cli) over update, over bootmode, over serial
and image; cli alone also stands on record (the records of runs), which stands on serial and
image. A layer may include its own headers and those of the layers it stands on; anything else
is reported with the file and line.

Usage: check_layers.py SRC_DIR
       check_layers.py SRC_DIR --self-test   (plants an upward include in a copy and expects it
                                              to be caught)
"""

import os
import re
import shutil
import sys
import tempfile

# What each layer may include besides itself.
BELOW = {
    "serial": set(),
    "image": {"serial"},
    "bootmode": {"image", "serial"},
    "update": {"bootmode", "image", "serial"},
    # The records of runs: beside update, for velmora-cli alone.
    "record": {"image", "serial"},
    "app": {"update", "bootmode", "image", "serial"},
    "cli": {"update", "bootmode", "image", "serial", "record"},
}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([A-Za-z_]+)/')
SOURCES = (".h", ".cpp", ".rc", ".in")


def violations(src_dir):
    found = []
    for layer in sorted(BELOW):
        root = os.path.join(src_dir, layer)
        for directory, _, files in os.walk(root):
            for name in sorted(files):
                if not name.endswith(SOURCES):
                    continue
                path = os.path.join(directory, name)
                with open(path, encoding="utf-8", errors="replace") as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = match.group(1)
                        if target in BELOW and target != layer and target not in BELOW[layer]:
                            found.append("%s:%d: %s includes %s, a layer above it"
                                         % (os.path.relpath(path, src_dir), number, layer, target))
    return found


def self_test(src_dir):
    with tempfile.TemporaryDirectory() as copy:
        tree = os.path.join(copy, "src")
        shutil.copytree(src_dir, tree)
        planted = os.path.join(tree, "serial", "planted_upward_include.cpp")
        with open(planted, "w") as source:
            source.write('#include "bootmode/mod_update_1527.h"\n')
        found = violations(tree)
    if any("planted_upward_include.cpp:1" in problem for problem in found):
        print("the planted upward include was caught")
        return 0
    print("the planted upward include was NOT caught: %s" % found)
    return 1


def main():
    src_dir = sys.argv[1]
    if "--self-test" in sys.argv[2:]:
        return self_test(src_dir)
    found = violations(src_dir)
    for problem in found:
        print(problem)
    if not found:
        print("every include points down or sideways within its layer")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
