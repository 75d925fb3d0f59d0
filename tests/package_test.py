"""Makes the build's archives with CPack, unpacks each as a user would and runs
the reference host from the unpacked tree."""

import argparse
import os
import pathlib
import shutil
import subprocess
import sys
import tarfile
import tempfile
import unittest
import zipfile

ARGS = None

LINE = b"call_float_filename  => MyFloatValue  = 1234.567749 - filename = packaged\n"


def run(*command):
    done = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    return done.returncode, done.stdout, done.stderr


class Archives(unittest.TestCase):
    def setUp(self):
        # Below the current folder: a host under Wine reads relative paths.
        self.folder = pathlib.Path(os.path.relpath(tempfile.mkdtemp(prefix="quellot-package-", dir=".")))
        code, out, err = run(ARGS.cpack, "--config", ARGS.config, "-B", str(self.folder))
        self.assertEqual(code, 0, (out + err).decode(errors="replace"))

    def tearDown(self):
        shutil.rmtree(self.folder)

    def expected_archives(self):
        """The archive's name says the version and the target; a Debian
        package, made for this machine's own target only, uses Debian's names."""
        names = ["quellot-%s-%s.%s" % (ARGS.version, ARGS.target, "zip" if ARGS.windows else "tar.gz")]
        if not ARGS.emulator:
            architecture = subprocess.run(["dpkg", "--print-architecture"], check=True,
                                          capture_output=True, text=True).stdout.strip()
            names.append("quellot_%s_%s.deb" % (ARGS.version, architecture))
        return sorted(names)

    def test_every_archive_unpacks_to_a_tree_whose_host_runs(self):
        archives = sorted(p.name for p in self.folder.iterdir() if p.is_file())
        self.assertEqual(archives, self.expected_archives())
        for name in archives:
            with self.subTest(archive=name):
                root = self.folder / ("unpacked-" + name)
                if name.endswith(".deb"):
                    self.assertEqual(run("dpkg-deb", "-x", str(self.folder / name), str(root))[0], 0)
                    tree = root / "usr"
                    self.check_deb_fields(self.folder / name)
                else:
                    opener = zipfile.ZipFile if name.endswith(".zip") else tarfile.open
                    with opener(self.folder / name) as archive:
                        archive.extractall(root)
                    # One top folder, named as the archive is.
                    self.assertEqual([p.name for p in root.iterdir()], [name.rsplit(".", 2 if ".tar." in name else 1)[0]])
                    tree = next(root.iterdir())
                self.assertTrue((tree / "include" / "quellot.h").is_file())
                host = tree / "bin" / ("quellot-call.exe" if ARGS.windows else "quellot-call")
                command = ([ARGS.emulator] if ARGS.emulator else []) + [str(host)]
                code, out, err = run(*command, "call_float_filename", "packaged", "1234.5678")
                expected = LINE.replace(b"\n", b"\r\n") if ARGS.windows else LINE
                self.assertEqual((code, out, err), (0, expected, b""))

    def check_deb_fields(self, deb):
        fields = {}
        for field in ("Package", "Version", "Depends"):
            fields[field] = run("dpkg-deb", "--field", str(deb), field)[1].decode().strip()
        self.assertEqual((fields["Package"], fields["Version"]), ("quellot", ARGS.version))
        self.assertIn("libc6", fields["Depends"])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--cpack", required=True)
    parser.add_argument("--config", required=True, help="the build's CPackConfig.cmake")
    parser.add_argument("--version", required=True)
    parser.add_argument("--target", required=True, help="the target's name, e.g. linux-aarch64")
    parser.add_argument("--emulator", default="")
    parser.add_argument("--windows", action="store_true")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest])
