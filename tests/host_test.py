"""Out-of-process tests: run the hosts and read their standard output and
standard error byte for byte, as a user at a terminal would."""

import argparse
import subprocess
import sys
import unittest
from concurrent.futures import ThreadPoolExecutor

ARGS = None


def run(program, *args):
    """Runs a host program (under the emulator, if any) and returns
    (exit code, stdout bytes, stderr bytes)."""
    command = ([ARGS.emulator] if ARGS.emulator else []) + [program, *args]
    done = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    return done.returncode, done.stdout, done.stderr


def written(text):
    """`text` as the host's standard output carries it: text mode on Windows
    writes every line feed as a carriage return and a line feed."""
    data = text.encode("latin-1")
    return data.replace(b"\n", b"\r\n") if ARGS.windows else data


def run_all(cases):
    """Runs the host once per case, several at a time."""
    with ThreadPoolExecutor(max_workers=4) as pool:
        return list(pool.map(lambda case: run(ARGS.host, *case[0]), cases))


F = "call_float           => MyFloatValue  = "
FF = "call_float_filename  => MyFloatValue  = "
D = "call_double          => MyDoubleValue = "
DF = "call_double_filename => MyDoubleValue = "

CALLS = [
    ([], F + "1234.567749\n" + D + "1234.567800\n"
     + FF + "1234.567749 - filename = sample data.txt\n"
     + DF + "1234.567800 - filename = sample data.txt\n"),
    (["call_float", "1234.5678"], F + "1234.567749\n"),
    (["call_double", "1234.5678"], D + "1234.567800\n"),
    # Rounded once, straight to single precision, as a compiler rounds a literal.
    (["call_float", "16777217.000000001"], F + "16777218.000000\n"),
    (["call_float", "16777217"], F + "16777216.000000\n"),
    (["call_double", "0x1.8p1"], D + "3.000000\n"),
    (["call_float", "-0x1P-2"], F + "-0.250000\n"),
    (["call_float", "1e-40"], F + "0.000000\n"),
    (["call_double", "-0"], D + "-0.000000\n"),
    (["call_float", "-4e-7"], F + "-0.000000\n"),
    (["call_double", "1" + "0" * 300 + "e-300"], D + "1.000000\n"),
    (["--bits", "call_float", "3f800000"], F + "1.000000\n"),
    (["--bits", "call_float", "0x80000000"], F + "-0.000000\n"),
    (["--bits", "call_double", "0x4004000000000000"], D + "2.500000\n"),
    (["--bits", "call_double", "0000000000000001"], D + "0.000000\n"),
    (["--bits", "call_double_filename", "f", "BFF0000000000000"], DF + "-1.000000 - filename = f\n"),
    (["call_double_filename", "my file.txt", "2.5"], DF + "2.500000 - filename = my file.txt\n"),
    (["call_float_filename", "", "0.1"], FF + "0.100000 - filename = \n"),
    (["call_float_filename", "%s%n%d%%", "1"], FF + "1.000000 - filename = %s%n%d%%\n"),
    (["--", "call_double", "-1"], D + "-1.000000\n"),
    (["call_float_filename", "--bits", "-2"], FF + "-2.000000 - filename = --bits\n"),
]

WINDOWS_CALLS = [
    (["--ordinal", "1", "2.5"], D + "2.500000\n"),
    (["--ordinal", "2", "o.txt", "2.5"], DF + "2.500000 - filename = o.txt\n"),
    (["--ordinal", "3", "1234.5678"], F + "1234.567749\n"),
    (["--bits", "--ordinal", "4", "o.txt", "40200000"], FF + "2.500000 - filename = o.txt\n"),
]

USAGE_ERRORS = [
    (["call_int", "1"], "unknown probe 'call_int'"),
    (["call_float"], "call_float takes VALUE, got 0 arguments"),
    (["call_float", "1", "2"], "got 2 arguments"),
    (["call_float_filename", "1"], "call_float_filename takes FILENAME VALUE"),
    (["call_double_filename", "a", "b", "1"], "got 3 arguments"),
    (["call_float", "abc"], "VALUE 'abc' is not a number"),
    (["call_float", "1.5x"], "is not a number"),
    (["call_float", "+1"], "is not a number"),
    (["call_float", " 1"], "is not a number"),
    (["call_float", ""], "is not a number"),
    (["call_float", "-"], "is not a number"),
    (["call_float", "--1"], "VALUE '--1' is not a number"),
    (["call_double", "-0x-1p1"], "is not a number"),
    (["call_double", "0x"], "is not a number"),
    (["call_float", "1e39"], "VALUE '1e39' is out of range for single precision"),
    (["call_float", "-3.5e38"], "out of range for single precision"),
    (["call_float", "1e-50"], "out of range for single precision"),
    (["call_double", "1e309"], "out of range for double precision"),
    (["call_double_filename", "f", "-1" + "0" * 400], "out of range for double precision"),
    (["--bits", "call_float", "3f80000"], "is not 8 hexadecimal digits"),
    (["--bits", "call_double", "3f800000"], "is not 16 hexadecimal digits"),
    (["--bits", "call_float", "3f80000g"], "is not 8 hexadecimal digits"),
    (["--bits", "call_float", "-3f80000"], "is not 8 hexadecimal digits"),
    (["--bits", "call_float", "1.0"], "is not 8 hexadecimal digits"),
    (["--bits"], "--bits needs a PROBE and a VALUE"),
    (["--frobnicate"], "unknown option '--frobnicate'"),
    (["--library"], "--library needs a value"),
]

LINUX_USAGE_ERRORS = [
    (["--ordinal", "1", "1"], "the Linux library has no ordinals"),
]

WINDOWS_USAGE_ERRORS = [
    (["--ordinal", "5", "1"], "--ordinal '5' is not an ordinal from 1 to 4"),
    (["--ordinal", "0", "1"], "is not an ordinal from 1 to 4"),
    (["--ordinal", "x", "1"], "is not an ordinal from 1 to 4"),
    (["--ordinal", "4", "1"], "call_float_filename takes FILENAME VALUE"),
    (["--ordinal"], "--ordinal needs a value"),
]


class ReferenceHost(unittest.TestCase):
    def test_calls_print_exactly_the_probes_lines(self):
        cases = CALLS + (WINDOWS_CALLS if ARGS.windows else [])
        for (args, expected), (code, out, err) in zip(cases, run_all(cases)):
            with self.subTest(args=args):
                self.assertEqual((code, out, err), (0, written(expected), b""))

    def test_usage_errors_exit_2_with_one_line_on_stderr(self):
        cases = USAGE_ERRORS + (WINDOWS_USAGE_ERRORS if ARGS.windows else LINUX_USAGE_ERRORS)
        for (args, message), (code, out, err) in zip(cases, run_all(cases)):
            with self.subTest(args=args):
                self.assertEqual((code, out), (2, b""))
                self.assert_one_error_line(err, message)

    def test_load_and_resolve_errors_exit_3_with_the_reason(self):
        missing = "no-such-dir/no-such-library"
        cases = [
            (["--library", missing, "call_float", "1"], "cannot load library '" + missing + "': "),
            (["--library", ARGS.empty_library, "call_float", "1"],
             "library '" + ARGS.empty_library + "' has no export 'call_float'"),
            (["--library", ARGS.empty_library], "has no export 'call_float'"),
        ]
        if ARGS.windows:
            cases.append((["--library", ARGS.empty_library, "--ordinal", "2", "f", "1"],
                          "has no export with ordinal 2"))
        for (args, message), (code, out, err) in zip(cases, run_all(cases)):
            with self.subTest(args=args):
                self.assertEqual((code, out), (3, b""))
                self.assert_one_error_line(err, message)
                self.assertGreater(len(err.rstrip()), len("quellot-call: ") + len(message))

    def test_help_explains_every_form(self):
        code, out, err = run(ARGS.host, "--help")
        self.assertEqual((code, err), (0, b""))
        for word in [b"--library", b"--bits", b"--ordinal", b"call_double_filename", b"0x1.8p1", b"Exit status"]:
            self.assertIn(word, out)

    def assert_one_error_line(self, err, message):
        text = err.decode("latin-1")
        self.assertTrue(text.startswith("quellot-call: "), text)
        self.assertIn(message, text)
        self.assertEqual(text.rstrip("\r\n").count("\n"), 0, text)


class LinkedCHost(unittest.TestCase):
    def test_c_host_shares_the_stream_in_call_order(self):
        code, out, err = run(ARGS.c_host)
        self.assertEqual((code, err), (0, b""))
        self.assertEqual(out, written(
            "host: before\n"
            + F + "1234.567749\n"
            + "host: between\n"
            + DF + "2.500000 - filename = linked.txt\n"
            + FF + "-0.000000 - filename = \n"
            + D + "0.100000\n"
            + "host: after, results 0\n"))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--c-host", required=True)
    parser.add_argument("--empty-library", required=True)
    parser.add_argument("--emulator", default="")
    parser.add_argument("--windows", action="store_true")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest])
