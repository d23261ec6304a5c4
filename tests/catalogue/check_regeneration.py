#!/usr/bin/env python3
"""Runs the catalogue generator into a temporary folder, twice, and compares the
result with the committed catalogue: same file names, same bytes."""

import filecmp
import os
import subprocess
import sys
import tempfile


def generate(script, out_dir):
    subprocess.run([sys.executable, script, out_dir], check=True)
    return sorted(os.listdir(out_dir))


def main(script, committed):
    with tempfile.TemporaryDirectory() as first, tempfile.TemporaryDirectory() as second:
        names = generate(script, first)
        if generate(script, second) != names:
            print("two runs made different file sets")
            return 1
        expected = sorted(os.listdir(committed))
        if names != expected:
            print("file sets differ: only generated %s, only committed %s"
                  % (sorted(set(names) - set(expected)), sorted(set(expected) - set(names))))
            return 1
        for name in names:
            for other in (second, committed):
                if not filecmp.cmp(os.path.join(first, name), os.path.join(other, name),
                                   shallow=False):
                    print("%s differs from %s" % (name, other))
                    return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
