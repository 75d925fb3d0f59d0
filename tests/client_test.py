"""The kit's Python clients (ctypes, cffi), run in this machine's own Pythons
against the native build: each reads a call list by the kit's rules as
--replay does, flushes C's standard output through its FFI, and gives the
result its FFI must give."""

import argparse
import contextlib
import io
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

from host_test import KIT_RULES_LIST, KIT_RULES_OUTPUT, MALFORMED_LISTS

ARGS = None

# What each client's transcript must show, as --check's summary counts it:
# against the exact twin, and against the main library. Python floats are
# doubles: cffi hands a float parameter one, and a float signalling NaN
# (8 in the list) arrives quiet. ctypes builds a c_float from its bits.
RESULTS = {
    "ctypes": ({}, {}),
    "cffi": ({"quieted": 8}, {}),
}

SUMMARY_LINE = re.compile(r"^\s+(\d+)\s+([a-z][a-z0-9-]*)(?:\s|$)")


def summary_counts(out):
    """--check's summary as {id: count}."""
    text = out.decode("latin-1")
    summary = text[text.rindex("Summary: "):].split("\n")[1:] if "Summary: " in text else []
    return {m.group(2): int(m.group(1)) for m in map(SUMMARY_LINE.match, summary) if m}


def run_client(client, library, calls, stdout=subprocess.PIPE, env=None):
    python, script = ARGS.client[client]
    done = subprocess.run([python, script, library, calls], stdin=subprocess.DEVNULL, stdout=stdout,
                          stderr=subprocess.PIPE, timeout=60, env=env)
    return done.returncode, done.stdout, done.stderr


class PythonClients(unittest.TestCase):
    def setUp(self):
        if ARGS.emulator or ARGS.windows:
            self.skipTest("the Python clients load the library into this machine's own Python, "
                          "which cannot load a library built for another target")
        self.folder = pathlib.Path(tempfile.mkdtemp(prefix="quellot-clients-", dir="."))
        self.addCleanup(shutil.rmtree, self.folder)

    def clients(self):
        """The clients whose FFI is installed; each other one is a skipped subtest, saying why."""
        ready = []
        for client in sorted(ARGS.client):
            python = ARGS.client[client][0]
            with self.subTest(client=client):
                if shutil.which(python) is None or \
                        subprocess.run([python, "-c", "import " + client], capture_output=True).returncode != 0:
                    self.skipTest("%s has no %s module (tools/install-deps.sh installs it)" % (python, client))
                ready.append(client)
        return ready

    def test_the_list_reader_follows_the_kit_rules(self):
        """Both clients read the list with replay_ctypes.read_list: every
        malformed list of the host's tests is refused at its line."""
        sys.path.insert(0, str(pathlib.Path(ARGS.client["ctypes"][1]).parent))
        import replay_ctypes
        for number, (text, line, _) in enumerate(MALFORMED_LISTS):
            listing = self.folder / ("list%d.txt" % number)
            listing.write_bytes(b"# first\ncall_float\t3F800000\n" + text.encode("latin-1"))
            with self.subTest(text=text), contextlib.redirect_stderr(io.StringIO()) as err:
                with self.assertRaises(SystemExit) as stop:
                    replay_ctypes.read_list(listing)
                self.assertEqual(stop.exception.code, 2)
                self.assertTrue(err.getvalue().startswith("%s:%d: " % (listing, line)), err.getvalue())

    def test_each_client_reads_the_rules_as_replay_does(self):
        listing = self.folder / "rules.txt"
        listing.write_bytes(KIT_RULES_LIST)
        malformed = self.folder / "malformed.txt"
        malformed.write_bytes(KIT_RULES_LIST + b"\x0c\ncall_float\t3F800000\n")
        for client in self.clients():
            with self.subTest(client=client):
                self.assertEqual(run_client(client, ARGS.library, str(listing)),
                                 (0, KIT_RULES_OUTPUT.encode("latin-1"), b""))
                code, out, err = run_client(client, ARGS.library, str(malformed))
                self.assertEqual((code, out), (2, b""))
                self.assertIn(b":%d: " % (KIT_RULES_LIST.count(b"\n") + 1), err)

    def test_each_client_gives_its_result(self):
        """Against the exact twin and the main library, compared with cmp's
        bytes and counted by --check."""
        golden = pathlib.Path(ARGS.calls).with_suffix(".exact.txt").read_bytes()
        reference = subprocess.run([ARGS.host, "--replay", ARGS.calls], capture_output=True, check=True).stdout
        for client in self.clients():
            for library, expected, counts in ((ARGS.exact_library, golden, RESULTS[client][0]),
                                              (ARGS.library, reference, RESULTS[client][1])):
                with self.subTest(client=client, library=pathlib.Path(library).name):
                    code, out, err = run_client(client, library, ARGS.calls)
                    self.assertEqual((code, err), (0, b""))
                    if not counts:
                        self.assertEqual(out, expected)
                        continue
                    transcript = self.folder / ("%s.txt" % client)
                    transcript.write_bytes(out)
                    check = subprocess.run([ARGS.host, "--library", library, "--check", ARGS.calls,
                                            str(transcript)], capture_output=True)
                    self.assertEqual((check.returncode, summary_counts(check.stdout)), (1, counts),
                                     check.stdout[-2000:])

    def test_each_client_reports_lines_it_could_not_write(self):
        """Buffered, fflush fails; unbuffered (PYTHONUNBUFFERED makes C's
        standard output so), only the stream's error flag tells."""
        for client in self.clients():
            for unbuffered in ("", "1"):
                with self.subTest(client=client, unbuffered=unbuffered), open("/dev/full", "wb") as full:
                    env = dict(os.environ, PYTHONUNBUFFERED=unbuffered)
                    code, _, err = run_client(client, ARGS.exact_library, ARGS.calls, stdout=full, env=env)
                    self.assertEqual(code, 4, err)
                    self.assertIn(b"could not all be written", err)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--exact-library", required=True)
    parser.add_argument("--calls", required=True)
    parser.add_argument("--client", nargs=3, action="append", default=[], metavar=("NAME", "PYTHON", "SCRIPT"),
                        help="a client: its name (ctypes, cffi), the Python that runs it, its script")
    parser.add_argument("--emulator", default="")
    parser.add_argument("--windows", action="store_true")
    ARGS, rest = parser.parse_known_args()
    ARGS.client = {name: (python, script) for name, python, script in ARGS.client}
    result = unittest.main(argv=[sys.argv[0], *rest], verbosity=2, exit=False).result
    if not result.wasSuccessful():
        sys.exit(1)
    sys.exit(77 if result.skipped and len(result.skipped) == result.testsRun else 0)
