"""A Windows program run in the i386 root, killed mid-run, leaves no mount
in this machine's mount table below the build tree, so that `rm -rf` of the
build tree stays safe: every mount the root's runner makes is bubblewrap's
own, in a namespace that ends with the processes inside it."""

import argparse
import subprocess
import sys
import time
import unittest

ARGS = None


def mounts_below(folder):
    """The mount points of this machine's table at or below `folder`
    (mountinfo writes a blank in a path as \\040)."""
    escaped = folder.rstrip("/").replace(" ", "\\040")
    with open("/proc/self/mountinfo") as table:
        points = [line.split()[4] for line in table]
    return [p for p in points if p == escaped or p.startswith(escaped + "/")]


class Mounts(unittest.TestCase):
    def test_a_killed_windows_program_leaves_no_mount(self):
        program = subprocess.Popen([ARGS.wine_run, "cmd.exe", "/c", "pause"], stdin=subprocess.PIPE,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1)
        program.kill()
        program.wait()
        program.stdin.close()
        self.assertEqual(mounts_below(ARGS.build_dir), [])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--build-dir", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest])
