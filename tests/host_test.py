"""Out-of-process tests: run the hosts and read their standard output and
standard error byte for byte, as a user at a terminal would."""

import argparse
import hashlib
import os
import pathlib
import random
import re
import resource
import shlex
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree
from concurrent.futures import ThreadPoolExecutor

ARGS = None


def run(program, *args, env=None, stdin=None):
    """Runs a host program (under the emulator, if any), with `stdin` bytes
    on its standard input, and returns (exit code, stdout bytes, stderr bytes)."""
    command = ([ARGS.emulator] if ARGS.emulator else []) + [program, *args]
    source = {"stdin": subprocess.DEVNULL} if stdin is None else {"input": stdin}
    done = subprocess.run(command, capture_output=True, timeout=60, env=env, **source)
    return done.returncode, done.stdout, done.stderr


def build(*command, env=None):
    """Runs a build step, failing the test with its output if it fails."""
    done = subprocess.run(command, capture_output=True, text=True, env=env)
    if done.returncode != 0:
        raise AssertionError("%s failed:\n%s%s" % (" ".join(command), done.stdout, done.stderr))


def work_dir():
    """A fresh folder below the current one: a host under Wine reads paths
    relative to the current folder, not absolute Linux paths."""
    return pathlib.Path(os.path.relpath(tempfile.mkdtemp(prefix="quellot-test-", dir=".")))


def written(text):
    """`text` as the host's standard output carries it: text mode on Windows
    writes every line feed as a carriage return and a line feed."""
    data = text.encode("latin-1")
    return data.replace(b"\n", b"\r\n") if ARGS.windows else data


def run_to_full_disk(*args):
    """Runs the host with standard output on a full disk; returns (exit code,
    stderr bytes)."""
    command = ([ARGS.emulator] if ARGS.emulator else []) + [ARGS.host, *args]
    with open("/dev/full", "wb") as full:
        done = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=full, stderr=subprocess.PIPE,
                              timeout=60)
    return done.returncode, done.stderr


def run_all(cases):
    """Runs the host once per case, several at a time."""
    with ThreadPoolExecutor(max_workers=4) as pool:
        return list(pool.map(lambda case: run(ARGS.host, *case[0]), cases))


# Host logic that no ABI changes (options, call lists, error lines, paths)
# is tried natively, under Wine, and on the one emulated target that differs
# from x86-64 in the two ways known to matter to this code: a 32-bit size_t
# and an unsigned char. (The host reads and writes no data in the target's
# byte order across processes, so big-endian s390x adds nothing here.) Under
# qemu every start of the host costs more than the case.
HOST_LOGIC_TARGET = "linux-armhf"


def skip_host_logic_under_emulation(test):
    if ARGS.emulator and not ARGS.windows and ARGS.target != HOST_LOGIC_TARGET:
        test.skipTest("host logic that no ABI changes: tried natively, under Wine and on " + HOST_LOGIC_TARGET)


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
    (["call_double", "0x1.8p1"], D + "3.000000\n"),
    (["call_double", "-0"], D + "-0.000000\n"),
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
    (["call_float", "--1"], "VALUE '--1' is not a number"),
    (["call_float", "1e39"], "VALUE '1e39' is out of range for single precision"),
    (["call_double_filename", "f", "-1" + "0" * 400], "out of range for double precision"),
    (["--bits", "call_float", "3f80000"], "bit pattern of 8 hexadecimal digits"),
    (["--bits", "call_double", "3f800000"], "is not a double precision bit pattern of 16 hexadecimal digits"),
    (["--bits"], "--bits needs a PROBE and a VALUE"),
    (["--frobnicate"], "unknown option '--frobnicate'"),
    (["--library"], "--library needs a value"),
    (["--library", "", "call_float", "1"], "--library needs a value, not an empty one"),
    (["--replay", ""], "--replay needs a value, not an empty one"),
    (["--replay", "x", "--replay", ""], "option '--replay' is given twice"),
    (["--ordinal", ""], "--ordinal needs a value, not an empty one"),
    (["--replay", "x", "--replay", "y"], "option '--replay' is given twice"),
    (["--library", "x", "--library", "y", "call_float", "1"], "option '--library' is given twice"),
    (["--bits", "--bits", "call_float", "3f800000"], "option '--bits' is given twice"),
]

# Refused values reach the command line's error line by their first 200
# bytes and their length: a huge one is not copied whole. (ValueText in
# the GoogleTest suite tries every form that is refused; a Windows command
# line holds at most 32767 characters.)
USAGE_ERRORS += [
    (["call_double", "1" * 20000], "VALUE '%s...' (20000 bytes) is out of range for double precision" % ("1" * 200)),
    (["--help", "call_float"], "--help takes no other argument"),
    (["call_float", "1", "--help"], "got 2 arguments"),
    (["--generate", "x1"], "--generate 'x1' is not a whole number"),
    (["--seed", "1"], "--seed goes with --generate"),
    (["--accept", "quieted", "call_float", "1"], "--accept goes with --check"),
    (["--accept", "quieted,nonsense", "--check", "a", "b"], "--accept: 'nonsense' is not a diagnosis id"),
    (["call_float", "0xinf"], "VALUE '0xinf' is not a number"),
    (["call_double_filename", "f", "nan(123)"], "VALUE 'nan(123)' is not a number"),
]

# Control bytes in a message are escaped, so that it stays one whole line.
USAGE_ERRORS += [
    (["call_float", "1\r2"], "VALUE '1\\r2' is not a number"),
    (["call_double", "\n1"], "VALUE '\\n1' is not a number"),
    (["call\nfloat", "1"], "unknown probe 'call\\nfloat'"),
    (["call_float\t", "1"], "unknown probe 'call_float\\t'"),
    (["--replay", "no\r\nlist"], "cannot read call list 'no\\r\\nlist'"),
    (["--frob\x7f"], "unknown option '--frob\\x7F'"),
]

LINUX_USAGE_ERRORS = [
    (["--ordinal", "1", "1"], "the Linux library has no ordinals"),
]

WINDOWS_USAGE_ERRORS = [
    (["--ordinal", "1", "--ordinal", "1", "1"], "option '--ordinal' is given twice"),
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
        skip_host_logic_under_emulation(self)
        cases = USAGE_ERRORS + (WINDOWS_USAGE_ERRORS if ARGS.windows else LINUX_USAGE_ERRORS)
        for (args, message), (code, out, err) in zip(cases, run_all(cases)):
            with self.subTest(args=[arg[:40] for arg in args]):
                self.assertEqual((code, out), (2, b""))
                self.assert_one_error_line(err, message)

    def test_load_and_resolve_errors_exit_3_with_the_reason(self):
        missing = "no-such-dir/no-such-library"
        cases = [
            (["--library", missing, "call_float", "1"], "cannot load library '" + missing + "': "),
            (["--library", "no\nlibrary\r", "call_float", "1"], "cannot load library 'no\\nlibrary\\r': "),
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

    def test_help_that_cannot_be_written_is_a_failure(self):
        code, err = run_to_full_disk("--help")
        self.assertEqual(code, 4)
        self.assert_one_error_line(err, "cannot write the help to standard output")

    def test_generated_lists_are_the_same_bytes_on_every_target(self):
        code, out, err = run(ARGS.host, "--generate", "3000", "--seed", "5")
        self.assertEqual((code, err), (0, b""))
        self.assertEqual(hashlib.sha256(out).hexdigest(), GENERATED_3000_SEED_5)
        folder = work_dir()
        self.addCleanup(shutil.rmtree, folder)
        (folder / "g.txt").write_bytes(out)
        self.assertEqual(run(ARGS.host, "--replay", str(folder / "g.txt"))[0], 0)
        for probe in (F, FF, D, DF):
            self.assertIn(probe.split()[0].encode() + b"\t", out)
        for byte in range(1, 256):
            self.assertIn(b"\\n" if byte == 10 else escape(byte), out)

    def assert_one_error_line(self, err, message):
        text = err.decode("latin-1")
        self.assertTrue(text.startswith("quellot-call: "), text)
        self.assertIn(message, text)
        self.assertEqual(text.rstrip("\r\n").count("\n"), 0, text)


C_HOST_OUTPUT = ("host: before\n"
                 + F + "1234.567749\n"
                 + "host: between\n"
                 + DF + "2.500000 - filename = linked.txt\n"
                 + FF + "-0.000000 - filename = \n"
                 + D + "0.100000\n"
                 + "host: after, results 0\n")
C_HOST_EXACT_OUTPUT = ("host: before\n"
                       + F + "0x449a522b\n"
                       + "host: between\n"
                       + DF + "0x4004000000000000 - filename = linked.txt\n"
                       + FF + "0x80000000 - filename = \n"
                       + D + "0x3fb999999999999a\n"
                       + "host: after, results 0\n")


# Values sent as raw bits: NaN payloads, infinities, subnormals, extremes.
# Each must print its line and return 0; what NaN and infinity print as, and
# how many exact digits the largest values get, is up to the runtime.
HOSTILE_BITS = [
    ("call_float", "7FC00001", "nan"), ("call_float", "7F800001", "nan"), ("call_float", "FFBFFFFF", "nan"),
    ("call_float", "FFC00000", "nan"), ("call_double", "7FF8000000000001", "nan"),
    ("call_double", "7FF0000000000001", "nan"), ("call_double", "FFF7FFFFFFFFFFFF", "nan"),
    ("call_double_filename", "7FF4000000000000", "nan"), ("call_float_filename", "7FA00000", "nan"),
    ("call_float", "7F800000", "inf"), ("call_double_filename", "FFF0000000000000", "-inf"),
    ("call_float", "00000001", "0.000000"), ("call_float_filename", "807FFFFF", "-0.000000"),
    ("call_double", "000FFFFFFFFFFFFF", "0.000000"), ("call_double_filename", "8000000000000001", "-0.000000"),
    ("call_float", "7F7FFFFF", "max"), ("call_float_filename", "FF7FFFFF", "max"),
    ("call_double", "7FEFFFFFFFFFFFFF", "max"), ("call_double_filename", "FFEFFFFFFFFFFFFF", "max"),
]


def value_is(text, kind, bits):
    """Whether a printed value is what the bits must print as."""
    lower = text.lower()
    if kind in ("nan", "+nan", "-nan"):
        sign = {"nan": "-?", "+nan": "", "-nan": "-"}[kind]
        return re.fullmatch(sign + r"[^-\s]*(nan|ind)\S*", lower) is not None
    if kind in ("inf", "-inf"):
        return "inf" in lower and lower.startswith("-") == (kind == "-inf") and " " not in lower
    if kind == "max":
        value = struct.unpack(">f" if len(bits) == 8 else ">d", bytes.fromhex(bits))[0]
        digits = 39 if len(bits) == 8 else 309
        return re.fullmatch(r"-?\d{%d}\.000000" % digits, text) is not None and float(text) == value
    return text == kind


# The values that are not finite numbers, spelt as VALUE.
SPECIAL_VALUES = [("inf", "inf"), ("-inf", "-inf"), ("nan", "+nan"), ("-nan", "-nan")]


class HostileInput(unittest.TestCase):
    def test_inf_and_nan_are_taken_as_written(self):
        cases = [([probe, text], kind) for probe in ("call_float", "call_double") for text, kind in SPECIAL_VALUES]
        for (args, kind), (code, out, err) in zip(cases, run_all(cases)):
            with self.subTest(args=args):
                prefix = (F if args[0] == "call_float" else D).encode()
                self.assertEqual((code, err), (0, b""))
                self.assertTrue(out.startswith(prefix) and out.endswith(written("\n")), out)
                self.assertTrue(value_is(out[len(prefix):].decode().rstrip(), kind, ""), out)

    def test_raw_bits_print_their_line_and_return_0(self):
        cases = [(["--bits", probe] + (["f"] if "filename" in probe else []) + [bits], probe, kind)
                 for probe, bits, kind in HOSTILE_BITS]
        for (args, probe, kind), (code, out, err) in zip(cases, run_all(cases)):
            with self.subTest(args=args):
                prefix = {"call_float": F, "call_float_filename": FF, "call_double": D,
                          "call_double_filename": DF}[probe].encode()
                suffix = written(" - filename = f\n" if "filename" in probe else "\n")
                self.assertEqual((code, err), (0, b""))
                self.assertTrue(out.startswith(prefix) and out.endswith(suffix), out)
                self.assertTrue(value_is(out[len(prefix):-len(suffix)].decode(), kind, args[-1]), out)

    def test_lost_output_is_exit_4_after_every_call(self):
        """Standard output on a full disk, and closed: the probes return 0, the
        host makes every call and then reports the lines lost."""
        message = b"quellot-call: cannot write the probes' lines to standard output"
        for args in (["call_float", "1"], ["call_double_filename", "x", "2"], ["--replay", ARGS.calls], []):
            with self.subTest(args=args):
                code, err = run_to_full_disk(*args)
                self.assertEqual(code, 4)
                self.assertTrue(err.startswith(message) and err.count(b"\n") == 1, err)
                command = ([ARGS.emulator] if ARGS.emulator else []) + [ARGS.host, *args]
                done = subprocess.run(command, stdin=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                      preexec_fn=lambda: os.close(1), timeout=60)
                self.assertEqual(done.returncode, 4)
                self.assertTrue(done.stderr.startswith(message), done.stderr)

    def test_a_closed_pipe_is_lost_output(self):
        """The reader of the pipe goes after 10 bytes: every call is still
        made, and the exit status and its line say the output was lost."""
        if ARGS.windows:
            self.skipTest("Windows has no SIGPIPE")
        skip_host_logic_under_emulation(self)
        folder = work_dir()
        self.addCleanup(shutil.rmtree, folder)
        listing = folder / "calls.txt"
        listing.write_bytes(pathlib.Path(ARGS.calls).read_bytes() * 60)
        command = ([ARGS.emulator] if ARGS.emulator else []) + [ARGS.host, "--replay", str(listing)]
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        child.stdout.read(10)
        child.stdout.close()
        err = child.stderr.read()
        self.assertEqual(child.wait(timeout=60), 4)
        self.assertTrue(err.startswith(b"quellot-call: cannot write the probes' lines to standard output: "), err)
        self.assertEqual(err.count(b"\n"), 1, err)

    def test_a_folder_path_near_the_linux_limit(self):
        """quellot-call in a folder whose path is about 4,080 characters: the
        path of the library beside it is too long to look at, which must not
        abort."""
        if ARGS.windows:
            self.skipTest("Linux's path limit; Paths runs the host from a long Windows path")
        skip_host_logic_under_emulation(self)
        folder = work_dir()
        deep = folder
        # Folder names of up to 200 characters, and never empty: an empty
        # name would not lengthen the path, and the loop would never end.
        while len(os.path.abspath(deep)) < 4080:
            deep = deep / ("d" * max(1, min(200, 4080 - len(os.path.abspath(deep)) - 1)))
        deep.mkdir(parents=True)
        shutil.copy(ARGS.host, deep / "quellot-call")
        library = os.path.abspath(ARGS.library)

        def run_deep(*args):
            command = ([ARGS.emulator] if ARGS.emulator else []) + ["./quellot-call", *args]
            done = subprocess.run(command, cwd=deep, stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=60)
            return done.returncode, done.stdout, done.stderr

        code, out, err = run_deep("--help")
        self.assertEqual((code, err), (0, b""))
        self.assertIn(b"Exit status", out)
        self.assertEqual(run_deep("--library", library, "call_float", "1"), (0, written(F + "1.000000\n"), b""))
        code, out, err = run_deep("call_float", "1")
        self.assertEqual((code, out), (3, b""))
        self.assertTrue(err.startswith(b"quellot-call: cannot load library") and err.count(b"\n") == 1, err)
        shutil.rmtree(folder)

    def test_libraries_that_are_not_quellot(self):
        cases = [["--library", ".", "call_float", "1"], ["--library", ARGS.calls, "call_float", "1"]]
        for args, (code, out, err) in zip(cases, run_all([(c, None) for c in cases])):
            with self.subTest(args=args):
                self.assertEqual((code, out), (3, b""))
                self.assertTrue(err.startswith(b"quellot-call: cannot load library"), err)


class LibraryUnderTest(unittest.TestCase):
    """quellot-call pointed at libraries that are not what they should be."""

    def test_a_non_zero_result_is_exit_1_with_the_call_and_the_result(self):
        folder = work_dir()
        listing = folder / "calls.txt"
        # 300 comment lines: the first failing call's line number is found
        # beyond them.
        listing.write_bytes(b"call_double_filename\t3FF0000000000000\tz\n" + b"#\n" * 300 + b"call_float\t3F800000\n"
                            b"call_float_filename\t3F800000\ta\\tb\ncall_double\t3FF0000000000000\n")
        lib = ["--library", ARGS.nonzero_library]
        cases = [
            (["call_float", "1"], "nonzero call_float 1.000000\n",
             "call_float(bits 3F800000) returned 0x0000000100000000, not 0"),
            (["call_double", "1"], "nonzero call_double 1.000000\n",
             "call_double(bits 3FF0000000000000) returned 0x0000000000000100, not 0"),
            (["call_float_filename", "a\tb", "-1"], "nonzero call_float_filename -1.000000 a\tb\n",
             'call_float_filename("a\\tb", bits BF800000) returned 0xFFFFFFFFFFFFFFFF, not 0'),
            (["call_double_filename", "z", "1"], "nonzero call_double_filename 1.000000 z\n", None),
            (["--replay", str(listing)], "nonzero call_double_filename 1.000000 z\nnonzero call_float 1.000000\n"
             "nonzero call_float_filename 1.000000 a\tb\nnonzero call_double 1.000000\n",
             "%s:302: call_float(bits 3F800000) returned 0x0000000100000000, not 0 (and 2 later calls too)"
             % listing),
        ]
        for (args, output, message), (code, out, err) in zip(cases, run_all([(lib + c[0],) for c in cases])):
            with self.subTest(args=args):
                self.assertEqual((code, out), (0 if message is None else 1, written(output)))
                if message is None:
                    self.assertEqual(err, b"")
                else:
                    self.assertEqual(err, written("quellot-call: " + message + "\n"))
        shutil.rmtree(folder)

    def test_a_non_zero_result_and_lost_output_each_have_their_line(self):
        code, err = run_to_full_disk("--library", ARGS.nonzero_library, "call_double", "1")
        self.assertEqual(code, 4)
        self.assertEqual(err.split(written("\n"))[0], b"quellot-call: call_double(bits 3FF0000000000000) returned"
                         b" 0x0000000000000100, not 0")
        self.assertTrue(err.split(written("\n"))[1].startswith(b"quellot-call: cannot write the probes' lines"), err)

    def test_a_missing_probe_is_refused_before_any_call(self):
        folder = work_dir()
        listing = folder / "calls.txt"
        listing.write_bytes(b"call_float\t3F800000\ncall_double\t3FF0000000000000\ncall_float\t3F800000\n")
        lib = ["--library", ARGS.float_only_library]
        cases = [([], "has no export 'call_double'"), (["--replay", str(listing)], "has no export 'call_double'")]
        if ARGS.windows:
            cases.append((["--ordinal", "2", "f", "1"], "has no export with ordinal 2"))
        for (args, message), (code, out, err) in zip(cases, run_all([(lib + c[0],) for c in cases])):
            with self.subTest(args=args):
                self.assertEqual((code, out), (3, b""))
                self.assertIn(message.encode(), err)
        self.assertEqual(run(ARGS.host, *lib, "call_float", "1"), (0, written("float-only call_float 1.000000\n"), b""))
        shutil.rmtree(folder)


class Paths(unittest.TestCase):
    """The host, its library and a call list in a folder outside the ANSI
    code page, and in one whose path is over Windows' old limit of 260
    characters: the default library, --library, --replay and a load error."""

    def setUp(self):
        skip_host_logic_under_emulation(self)

    def check_folder(self, folder):
        folder.mkdir(parents=True)
        host = folder / os.path.basename(ARGS.host)
        shutil.copy(ARGS.host, host)
        library = folder / (os.path.basename(ARGS.library) if ARGS.windows else "libquellot.so.1")
        shutil.copy(ARGS.library, library)
        (folder / "calls.txt").write_bytes(b"call_double\t3FF0000000000000\n")
        missing = str(folder / "none.dll")
        cases = [
            ([str(host), "call_float", "1"], (0, written(F + "1.000000\n"), b"")),
            ([ARGS.host, "--library", str(library), "call_float", "2"], (0, written(F + "2.000000\n"), b"")),
            ([ARGS.host, "--replay", str(folder / "calls.txt")], (0, written(D + "1.000000\n"), b"")),
        ]
        for args, expected in cases:
            with self.subTest(args=args[1:]):
                self.assertEqual(run(*args), expected)
        code, out, _ = run(str(host), "--help")
        self.assertEqual((code, out.count(b"Exit status")), (0, 1))
        code, out, err = run(ARGS.host, "--library", missing, "call_float", "1")
        self.assertEqual((code, out), (3, b""))
        self.assertTrue(err.startswith(("quellot-call: cannot load library '%s': " % missing).encode()), err)

    def folder(self):
        """A work folder, removed when the test ends, passed or not."""
        folder = work_dir()
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        return folder

    def test_a_folder_outside_the_ansi_code_page(self):
        self.check_folder(self.folder() / "\u65e5\u672c")

    def test_a_folder_path_over_260_characters(self):
        deep = self.folder()
        while len(os.path.abspath(deep)) < 320:
            deep = deep / ("d" * 100)
        self.check_folder(deep)


class LinkedCHost(unittest.TestCase):
    def test_c_host_shares_the_stream_in_call_order(self):
        self.assertEqual(run(ARGS.c_host), (0, written(C_HOST_OUTPUT), b""))


MALFORMED_LISTS = [
    ("call_int\t3F800000\n", 3, "unknown probe 'call_int'"),
    ("call_float\t3F800000\tname\n", 3, "call_float takes 2 tab-separated fields, got 3"),
    ("call_float_filename\t3F800000\n", 3, "call_float_filename takes 3 tab-separated fields, got 2"),
    ("call_float\n", 3, "call_float takes 2 tab-separated fields, got 1"),
    ("call_float\t3F80000\n", 3, "'3F80000' is not a single precision bit pattern of 8"),
    ("call_double\t3F800000\n", 3, "'3F800000' is not a double precision bit pattern of 16"),
    ("call_float\t0x3F800000\n", 3, "'0x3F800000' is not a single precision bit pattern of 8 hexadecimal"
     " digits (a call list writes them without 0x)"),
    ("call_double\t0X3FF0000000000000\n", 3, "'0X3FF0000000000000' is not a double precision bit pattern"),
    ("  # not a comment\n", 3, "unknown probe '  # not a comment'"),
    ("call_float \t3F800000\n", 3, "unknown probe 'call_float '"),
    ("call_float_filename\t3F800000\ta\\qb\n", 3, "FILENAME has a bad escape at '\\qb'"),
    ("call_float_filename\t3F800000\ta\\x4\n", 3, "FILENAME has a bad escape at '\\x4'"),
    ("call_float_filename\t3F800000\ta\\\n", 3, "FILENAME has a bad escape at '\\'"),
    ("call_float_filename\t3F800000\t\\x00\n", 3, "FILENAME cannot hold \\x00"),
    ("call_float_filename\t3F800000\tcaf\xe9\n", 3, "FILENAME holds a byte that is not printable ASCII"),
    ("\n# more\r\ncall_double\t4004000000000000\r\ncall_float\tnan\n", 6, "'nan' is not a single precision bit pattern"),
    # Control bytes in a message are escaped, so that it stays one whole line.
    ("call_float\x00\t3F800000\n", 3, "unknown probe 'call_float\\x00': expected"),
    ("call_float\t3F\x0b00000\n", 3, "'3F\\x0B00000' is not a single precision bit pattern"),
    ("call_float\r\t3F800000\n", 3, "unknown probe 'call_float\\r'"),
    # Blanks are spaces and tabs only; one CR goes before a line is judged.
    ("\x0c\n", 3, "unknown probe '\\x0C'"),
    (" \x0b\t\n", 3, "unknown probe ' \\x0B'"),
    (" \xa0 \n", 3, "unknown probe ' "),
    ("\t#\n", 3, "unknown probe ''"),
    ("call_float\t3F800000\r\r\n", 3, "'3F800000\\r' is not a single precision bit pattern"),
    ("call_float_filename\t3F800000\t\\X41\n", 3, "FILENAME has a bad escape at '\\X41'"),
]

# The rules a client could otherwise guess: a FILENAME's \xHH in either case,
# spaces that begin or end a name kept, and one CR dropped before a line is
# judged blank.
KIT_RULES_LIST = (b"call_float_filename\t3F800000\t\\x41\\x6a\\xfF\\xE9  \r\n"
                  b" \t \r\n\r\n\t\r\n#\r\n"
                  b"call_double\t3ff0000000000000\r\n"
                  b"call_double_filename\tbff0000000000000\t \\x20 \n")
KIT_RULES_OUTPUT = (FF + "1.000000 - filename = Aj\xff\xe9  \n" + D + "1.000000\n"
                    + DF + "-1.000000 - filename =    \n")


class ConformanceKit(unittest.TestCase):
    def test_replay_makes_every_call_in_order(self):
        folder = work_dir()
        listing = folder / "calls.txt"
        listing.write_bytes(b"# comment\n\ncall_float\t449A522B\r\n \n\t\r\n \t \t\n"
                            b"call_double_filename\t4004000000000000\ta\\tb\\\\c\\x25s\\nd\\xFF\n"
                            b"call_float_filename\t80000000\t\n"
                            b"call_double\t3FB999999999999A")
        self.assertEqual(run(ARGS.host, "--replay", str(listing)), (0, written(
            F + "1234.567749\n"
            + DF + "2.500000 - filename = a\tb\\c%s\nd\xff\n"
            + FF + "-0.000000 - filename = \n"
            + D + "0.100000\n"), b""))
        shutil.rmtree(folder)

    def test_replay_reads_the_rules_that_clients_guess(self):
        folder = work_dir()
        listing = folder / "rules.txt"
        listing.write_bytes(KIT_RULES_LIST)
        self.assertEqual(run(ARGS.host, "--replay", str(listing)), (0, written(KIT_RULES_OUTPUT), b""))
        shutil.rmtree(folder)

    def test_replay_refuses_a_malformed_list_before_any_call(self):
        skip_host_logic_under_emulation(self)
        folder = work_dir()
        for number, (text, line, message) in enumerate(MALFORMED_LISTS):
            listing = folder / ("list%d.txt" % number)
            listing.write_bytes(b"# first\ncall_float\t3F800000\n" + text.encode("latin-1"))
            with self.subTest(text=text):
                code, out, err = run(ARGS.host, "--replay", str(listing))
                self.assertEqual((code, out), (2, b""))
                self.assertIn(("%s:%d: %s" % (listing, line, message)).encode("latin-1"), err)
        # A byte-order mark is refused by name, its bytes shown.
        listing = folder / "bom.txt"
        listing.write_bytes(b"\xef\xbb\xbfcall_float\t3F800000\n")
        code, out, err = run(ARGS.host, "--replay", str(listing))
        self.assertEqual((code, out), (2, b""))
        self.assertIn(b":1: the list starts with a UTF-8 byte-order mark (the bytes \\xEF\\xBB\\xBF)", err)
        self.assertNotIn(b"\xef", err)
        for args in (["--replay", str(folder / "none.txt")], ["--replay", "x", "call_float", "1"],
                     ["--bits", "--replay", "x"]):
            with self.subTest(args=args):
                self.assertEqual(run(ARGS.host, *args)[:2], (2, b""))
        shutil.rmtree(folder)

    def test_a_list_that_cannot_be_read_whole_is_refused(self):
        cases = [(["--replay", "."], "cannot read call list '.': ")]
        if not ARGS.windows:
            cases.append((["--replay", "/proc/self/mem"], "cannot read call list '/proc/self/mem': "))
        for (args, message), (code, out, err) in zip(cases, run_all([(c[0],) for c in cases])):
            with self.subTest(args=args):
                self.assertEqual((code, out), (2, b""))
                self.assertTrue(err.startswith(b"quellot-call: " + message.encode()), err)
                self.assertGreater(len(err.rstrip()), len("quellot-call: " + message))

    def test_a_list_too_large_for_memory_is_refused_before_any_call(self):
        """A list that memory cannot hold: a read that ran out of memory part
        way was once taken for the end of the list, and its first calls made."""
        if ARGS.windows:
            self.skipTest("Wine cannot start under an address-space limit")
        if ARGS.emulator:
            self.skipTest("qemu-user cannot start under an address-space limit: its code buffer alone takes 128 MiB")
        folder = work_dir()
        listing = folder / "large.txt"
        with open(listing, "wb") as f:
            f.write(b"call_float\t3F800000\ncall_float_filename\t3F800000\t")
            f.write(b"a" * (96 << 20))
            f.write(b"\ncall_int\t3F800000\n")
        limit = 64 << 20

        def limited(*args):
            done = subprocess.run([ARGS.host, *args], stdin=subprocess.DEVNULL, capture_output=True, timeout=60,
                                  preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS, (limit, limit)))
            return done.returncode, done.stdout, done.stderr

        # The limit leaves room for the host itself.
        self.assertEqual(limited("call_float", "1"), (0, written(F + "1.000000\n"), b""))
        code, out, err = limited("--replay", str(listing))
        self.assertEqual((code, out), (2, b""))
        self.assertTrue(err.startswith(("quellot-call: cannot read call list '%s': " % listing).encode()), err)
        shutil.rmtree(folder)

    def test_long_lists_and_long_lines_replay_whole(self):
        """Lists read a chunk at a time: lines across chunks, a line longer
        than a chunk, and line numbers far apart."""
        once = run(ARGS.host, "--replay", ARGS.calls)
        self.assertEqual(once[0], 0)
        text = pathlib.Path(ARGS.calls).read_bytes()
        name = bytes(range(0x21, 0x7f)).replace(b"\\", b"") * 3000
        cases = [
            (text * 60, once[1] * 60),
            (b"call_float_filename\t3F800000\t" + name + b"\n", written(FF + "1.000000 - filename = ") + name
             + written("\n")),
            (b"#\n" * 100000 + b"call_double\t3FF0000000000000", written(D + "1.000000\n")),
        ]
        folder = work_dir()
        for number, (listing, expected) in enumerate(cases):
            path = folder / ("list%d.txt" % number)
            path.write_bytes(listing)
            with self.subTest(size=len(listing)):
                self.assertEqual(run(ARGS.host, "--replay", str(path)), (0, expected, b""))
        shutil.rmtree(folder)

    def test_a_list_from_a_pipe(self):
        if ARGS.windows:
            self.skipTest("Windows has no /dev/stdin to name")
        text = pathlib.Path(ARGS.calls).read_bytes() * 30
        done = run(ARGS.host, "--replay", "/dev/stdin", stdin=text)
        reference = run(ARGS.host, "--replay", ARGS.calls)
        self.assertEqual(done, (0, reference[1] * 30, b""))

    def test_the_call_list_replays_whole(self):
        code, out, err = run(ARGS.host, "--replay", ARGS.calls)
        self.assertEqual((code, err), (0, b""))
        calls = [line for line in pathlib.Path(ARGS.calls).read_text().split("\n")
                 if line and not line.startswith("#")]
        lines = out.split(written("\n"))
        self.assertEqual(lines.pop(), b"")
        prefixes = [p.encode() for p in (F, FF, D, DF)]
        reports = [line for line in lines if any(line.startswith(p) for p in prefixes)]
        self.assertEqual(len(reports), len(calls))
        self.assertEqual([r.split(b" ")[0].decode() for r in reports], [c.split("\t")[0] for c in calls])


class ExactKit(unittest.TestCase):
    """The exact library's transcript of the call list depends on nothing but
    the list, so it is shipped; every way of making it must give those bytes."""

    def golden(self):
        return pathlib.Path(ARGS.calls).with_suffix(".exact.txt").read_bytes()

    def test_reference_replay_equals_the_golden_transcript(self):
        code, out, err = run(ARGS.host, "--library", ARGS.exact_library, "--replay", ARGS.calls)
        self.assertEqual((code, err), (0, b""))
        if ARGS.windows:
            self.assertNotIn(b"\n", out.replace(b"\r\n", b""))
            out = out.replace(b"\r\n", b"\n")
        self.assertEqual(out, self.golden())

    def test_values_arrive_bit_for_bit_from_the_command_line(self):
        cases = [(["--bits", "call_float", "7f800001"], F + "0x7f800001\n"),
                 (["--bits", "call_float_filename", "n", "FFA00000"], FF + "0xffa00000 - filename = n\n"),
                 (["--bits", "call_double", "7ff0000000000001"], D + "0x7ff0000000000001\n"),
                 (["--bits", "call_double_filename", "n", "fff8000000000001"],
                  DF + "0xfff8000000000001 - filename = n\n"),
                 (["call_float", "-0"], F + "0x80000000\n"),
                 (["call_double", "0.1"], D + "0x3fb999999999999a\n"),
                 (["call_float", "1e-45"], F + "0x00000001\n")]
        cases = [(["--library", ARGS.exact_library] + args, expected) for args, expected in cases]
        cases += [(["--exact", "call_float", "1234.5678"], F + "0x449a522b\n")]
        for (args, expected), (code, out, err) in zip(cases, run_all(cases)):
            with self.subTest(args=args):
                self.assertEqual((code, out, err), (0, written(expected), b""))

    def test_the_kit_keeps_its_exact_bytes(self):
        """An editor that strips trailing blanks, or a checkout that converts
        line ends, silently breaks the kit."""
        listing = pathlib.Path(ARGS.calls).read_bytes()
        self.assertIn(b"\t\n", listing)
        self.assertIn(b" \n", listing)
        for data in (listing, self.golden()):
            self.assertNotIn(b"\r\n", data)
        if shutil.which("git") is None or not (pathlib.Path(ARGS.source_dir) / ".git").exists():
            self.skipTest("not a git checkout: no attributes to read")
        attributes = subprocess.run(["git", "-C", ARGS.source_dir, "check-attr", "text", "whitespace", "--",
                                     "conformance/calls.txt", "conformance/calls.exact.txt"],
                                    capture_output=True, text=True, check=True).stdout
        self.assertEqual(attributes.count(": text: unset"), 2, attributes)
        self.assertEqual(attributes.count("-blank-at-eol"), 2, attributes)


# Each fault that the broken host makes for real, and the diagnosis ids that
# --check must give its transcript: with the main library, and with the exact
# twin where that differs. "%f" prints a quieted signalling NaN and a flushed
# subnormal as it prints the value sent, so with the main library those
# transcripts check clean.
CHECKED_FAULTS = [
    ("none", set(), None),
    ("double-as-float", {"double-as-float"}, None),
    ("float-as-double", {"float-as-double"}, None),
    ("narrowed", {"narrowed"}, None),
    # A NaN through a decimal text arrives as the default NaN: with the twin,
    # that is a rebuilt NaN, not a number of digits.
    ("decimal-6", {"decimal-6"}, {"decimal-6", "payload-lost"}),
    ("decimal-15", {"decimal-15"}, {"decimal-15", "payload-lost"}),
    ("sign-lost", {"sign-lost"}, None),
    ("quieted", set(), {"quieted"}),
    ("flushed", set(), {"flushed"}),
    ("shifted", {"shifted"}, None),
    # Each value arrives as +0; the summary names the slot after the pointer.
    ("after-pointer", {"zero", "after-pointer"}, None),
    ("name-reencoded", {"name-reencoded"}, None),
    ("name-truncated", {"name-truncated"}, None),
    ("name-null", {"name-null"}, None),
    ("missing", {"missing"}, None),
    ("extra", {"extra"}, None),
    ("order", {"order"}, None),
]

# Targets where a float passed to a double probe leaves half of the double
# it reads to whatever an earlier call left there: the next stack slot on
# i386 and m68k, s1 beside s0 on armhf, the right half of f0 on s390x, the
# high half of $f12 on MIPS o32, %f0 beside %f1 on sparc64. The main
# library's "%f" line does not show that half, so --check cannot confirm
# float-as-double there (the twin's line shows it).
HALF_LEFT_OVER = {"linux-i386", "linux-armhf", "linux-s390x", "linux-mipsel", "linux-mips", "linux-sparc64",
                  "linux-m68k"}

# Targets where the value after a pointer goes to another place for a float
# than for a double. A value of the wrong width passed to a file-name probe
# lands where the probe does not look, and the probe reads a register that
# the caller left as it was: what arrives is left over, and no diagnosis
# can confirm it. There double-as-float and float-as-double are checked on
# the one-argument probes, and the file-name probes are stated invisible.
PLACED_BY_WIDTH = {
    "linux-armel": "r1 for a float, r2:r3 for a double",
    "linux-mipsel": "$a1 for a float, $a2:$a3 for a double",
    "linux-mips": "$a1 for a float, $a2:$a3 for a double",
}
WIDTH_FAULTS = {"double-as-float", "float-as-double"}

# Targets that give a float and a double different registers even as the
# only argument: a value of the wrong width reaches no probe's register, and
# what arrives is left over, so double-as-float and float-as-double cannot
# be named there on any probe.
WIDTH_INVISIBLE = {
    "linux-hppa": "fr4 for a float, fr5 for a double as the only argument, fr5 and fr7 after a pointer",
}

# Faults that arrive as another, or not at all, on a target: the ids that
# --check gives them there with the main library and with the twin, and why.
HELD_AS_DOUBLE = {"linux-ppc64el", "linux-ppc64", "linux-powerpc", "linux-alpha"}
ARRIVES_OTHERWISE = {}
for target in HELD_AS_DOUBLE:
    ARRIVES_OTHERWISE[(target, "double-as-float")] = (
        set(), set(), "invisible: a floating-point register holds a float in double format, so the double "
                      "of a float is the float itself")
    ARRIVES_OTHERWISE[(target, "float-as-double")] = (
        {"narrowed"}, {"narrowed"}, "a float is held in double format: the double probe receives the value "
                                    "rounded to single precision")
ARRIVES_OTHERWISE[("linux-alpha", "double-as-float")] = (
    set(), {"double-as-float"}, "the float probe's store of the register gives back only numbers of single "
                                "range: subnormal floats arrive changed, which the twin's line shows")


def sign_changed(transcript, golden):
    """Whether a value of an exact transcript arrived with another sign than
    in the golden transcript, line for line."""
    def negative(line):
        return line[42:43] in b"89abcdef"
    return any(negative(got) != negative(want)
               for got, want in zip(transcript.split(b"\n"), golden.split(b"\n")) if got != want)


# Under qemu every program start costs about 0.1 s of both cores, so there
# only the faults whose outcome depends on the ABI are made: where a value
# of the wrong width or after a pointer lands, what quiets a NaN, and what
# is lost unflushed. The others depend on the checker alone and run natively
# and under Wine.
ABI_FAULTS = {"none", "double-as-float", "float-as-double", "after-pointer", "quieted", "missing"}

# Faults (and whether with the main library) whose transcripts hold values
# that print exactly like another call's report: the alignment pairs some of
# those otherwise (order, missing and extra), so only the leading diagnosis
# is required.
NOISY_FAULTS = {("shifted", True), ("shifted", False)}

SUMMARY_LINE = re.compile(r"^\s+(\d+)\s+([a-z][a-z0-9-]*)(?:\s|$)")


def diagnoses(out):
    """The diagnosis ids counted in --check's summary, and the summary's text."""
    text = out.decode("latin-1").replace("\r\n", "\n")
    summary = text[text.rindex("Summary: "):] if "Summary: " in text else ""
    ids = {match.group(2) for match in map(SUMMARY_LINE.match, summary.split("\n")[1:]) if match}
    return ids, summary


class Checker(unittest.TestCase):
    """quellot-call --check against transcripts of known faults, made for
    real by the broken host, and against transcripts that are right."""

    def folder(self):
        """A work folder that is removed when the test ends, passed or not."""
        folder = work_dir()
        self.addCleanup(shutil.rmtree, folder)
        return folder

    def call_count(self):
        return sum(1 for line in pathlib.Path(ARGS.calls).read_bytes().split(b"\n")
                   if line.strip(b" \t\r") and not line.startswith(b"#"))

    def assert_checks(self, result, ids, summary_start=None, noisy=False):
        code, out, err = result
        found, summary = diagnoses(out)
        if noisy:
            # The fault's diagnosis leads the summary; some of its values
            # print like a neighbour's and are lined up otherwise.
            self.assertEqual((code, err), (1, b""), summary)
            self.assertLessEqual(ids, found, summary)
            first = SUMMARY_LINE.match(summary.split("\n")[1]).group(2)
            self.assertIn(first, ids, summary)
            return
        self.assertEqual((code, found, err), (1 if ids else 0, ids, b""), summary or out[-2000:])
        if summary_start:
            self.assertTrue(summary.startswith(summary_start), summary)

    # Faults whose transcripts are also checked through standard input: raw
    # bytes, a cut-off last line and clean. Every other one only through a
    # file, which reads the same bytes; under an emulator each run counts.
    THROUGH_STDIN = ("none", "name-reencoded", "missing")

    def test_each_fault_gets_its_diagnoses(self):
        """Through a file (and some through standard input), with both libraries."""
        folder = self.folder()
        emulated = bool(ARGS.emulator) and not ARGS.windows
        cases = [(fault, library, exact if library == ARGS.exact_library and exact is not None else main)
                 for fault, main, exact in CHECKED_FAULTS for library in (ARGS.library, ARGS.exact_library)
                 if (not emulated or fault in ABI_FAULTS)
                 and not (ARGS.target in WIDTH_INVISIBLE and fault in WIDTH_FAULTS)]

        one_argument = folder / "one-argument.txt"
        one_argument.write_bytes(b"".join(line for line in pathlib.Path(ARGS.calls).read_bytes().splitlines(True)
                                          if b"_filename\t" not in line))
        placed_by_width = PLACED_BY_WIDTH.get(ARGS.target)

        def make_and_check(case):
            fault, library, _ = case
            calls = str(one_argument) if placed_by_width and fault in WIDTH_FAULTS else ARGS.calls
            made = run(ARGS.broken_host, library, calls, fault)
            transcript = folder / ("%s-%s.txt" % (fault, pathlib.Path(library).stem))
            transcript.write_bytes(made[1])
            check = ["--library", library, "--check", calls]
            by_file = run(ARGS.host, *check, str(transcript))
            by_stdin = run(ARGS.host, *check, "-", stdin=made[1]) if fault in self.THROUGH_STDIN else by_file
            return made, by_file, by_stdin

        with ThreadPoolExecutor(max_workers=4) as pool:
            results = list(pool.map(make_and_check, cases))
        if ARGS.target in WIDTH_INVISIBLE:
            with self.subTest(faults=", ".join(sorted(WIDTH_FAULTS))):
                self.skipTest("invisible on %s, which passes a value in %s: a value of the wrong width lands "
                              "where no probe looks, and the probe reads what an earlier call left there"
                              % (ARGS.target, WIDTH_INVISIBLE[ARGS.target]))
        if placed_by_width:
            with self.subTest(faults=", ".join(sorted(WIDTH_FAULTS)), probes="file-name"):
                self.skipTest("invisible on %s: after the pointer the value goes to %s, so a value of the "
                              "wrong width lands where the probe does not look, and it reads what an earlier "
                              "call left; checked on the one-argument probes" % (ARGS.target, placed_by_width))
        if emulated:
            with self.subTest(faults="independent of the ABI"):
                self.skipTest("under qemu only the faults that depend on the ABI are made (%s); the others "
                              "run natively and under Wine" % ", ".join(sorted(ABI_FAULTS)))
        # "%f" prints every NaN of a sign alike: the main library shows a
        # quieted NaN only where this target's quieting changes its sign
        # (MIPS and RISC-V, whose operations give a positive default NaN),
        # as the twin's transcript of the same fault shows.
        golden = pathlib.Path(ARGS.calls).with_suffix(".exact.txt").read_bytes()
        quieted_sign = any(fault == "quieted" and library == ARGS.exact_library and sign_changed(made[1], golden)
                           for (fault, library, _), (made, _, _) in zip(cases, results))
        for (fault, library, ids), (made, by_file, by_stdin) in zip(cases, results):
            with self.subTest(fault=fault, library=pathlib.Path(library).name):
                if (ARGS.target, fault) in ARRIVES_OTHERWISE:
                    ids = ARRIVES_OTHERWISE[(ARGS.target, fault)][0 if library == ARGS.library else 1]
                if fault == "quieted" and quieted_sign:
                    ids = {"quieted"}
                if fault == "float-as-double" and library == ARGS.library and ARGS.target in HALF_LEFT_OVER:
                    self.skipTest("on %s the double's other half is left over from earlier calls, "
                                  "which the main library's line does not show" % ARGS.target)
                self.assertEqual((made[0], made[2]), (0, b""))
                self.assertEqual((by_stdin[0], diagnoses(by_stdin[1])[0]), (by_file[0], diagnoses(by_file[1])[0]))
                self.assert_checks(by_file, ids, noisy=bool(ids) and (fault, library == ARGS.library) in NOISY_FAULTS)

    def test_the_reference_transcripts_check_clean(self):
        """Without --library, the exact twin's transcript is recognised."""
        folder = self.folder()
        clean = "Summary: %d of %d calls identical\n" % (self.call_count(), self.call_count())
        for library, check_with in ((ARGS.library, ["--library", ARGS.library]),
                                    (ARGS.exact_library, ["--library", ARGS.exact_library]),
                                    (ARGS.exact_library, [])):
            with self.subTest(library=library, check_with=check_with):
                code, out, err = run(ARGS.host, "--library", library, "--replay", ARGS.calls)
                self.assertEqual((code, err), (0, b""))
                transcript = folder / "reference.txt"
                transcript.write_bytes(out)
                self.assert_checks(run(ARGS.host, *check_with, "--check", ARGS.calls, str(transcript)), set(), clean)

    def test_line_ends_that_the_runtime_does_not_write_are_one_finding(self):
        """CR LF where the runtime writes LF is one finding; LF where it
        writes CR LF is what the README's conversion for cmp gives, and
        passes: the shipped LF golden transcript passes everywhere."""
        code, out, _ = run(ARGS.host, "--replay", ARGS.calls)
        self.assertEqual(code, 0)
        if ARGS.windows:
            self.assert_checks(run(ARGS.host, "--check", ARGS.calls, "-", stdin=out.replace(b"\r\n", b"\n")),
                               set())
        else:
            result = run(ARGS.host, "--check", ARGS.calls, "-", stdin=out.replace(b"\n", b"\r\n"))
            self.assert_checks(result, {"line-ends"})
            self.assertRegex(diagnoses(result[1])[1], r"\n\s+1\s+line-ends\s")
        golden = str(pathlib.Path(ARGS.calls).with_suffix(".exact.txt"))
        self.assert_checks(run(ARGS.host, "--library", ARGS.exact_library, "--check", ARGS.calls, golden), set())

    def test_a_transcript_of_another_list_is_missing_and_extra_reports(self):
        folder = self.folder()
        listing = folder / "other.txt"
        listing.write_bytes(b"call_float_filename\t40400000\tanother list\n"
                            b"call_double_filename\t401C000000000000\tanother list\n")
        code, out, err = run(ARGS.host, "--replay", str(listing))
        self.assertEqual((code, err), (0, b""))
        self.assert_checks(run(ARGS.host, "--check", ARGS.calls, "-", stdin=out), {"missing", "extra"})

    def test_a_transcript_that_cannot_be_read_is_refused(self):
        folder = self.folder()
        for transcript in (str(folder / "none.txt"), str(folder)):
            with self.subTest(transcript=transcript):
                code, out, err = run(ARGS.host, "--check", ARGS.calls, transcript)
                self.assertEqual((code, out), (2, b""))
                self.assertTrue(err.startswith(b"quellot-call: cannot read transcript '"), err)
                self.assertEqual(err.count(b"\n"), 1, err)

    def test_a_client_that_died_part_way(self):
        """Quieted signalling NaNs, then the transcript ends: the quieted
        reports are not taken for later calls that print like them, and the
        calls after the cut are missing, at the end."""
        skip_host_logic_under_emulation(self)
        made = run(ARGS.broken_host, ARGS.exact_library, ARGS.calls, "quieted")
        self.assertEqual((made[0], made[2]), (0, b""))
        cut = b"".join(line + b"\n" for line in made[1].split(b"\n")[:134])
        code, out, err = run(ARGS.host, "--library", ARGS.exact_library, "--check", ARGS.calls, "-", stdin=cut)
        self.assert_checks((code, out, err), {"quieted", "missing"}, "Summary: 132 of 210 calls identical\n")
        self.assertRegex(diagnoses(out)[1], r"\n\s+76\s+missing\s.*\n\s+2\s+quieted\s")
        self.assertIn(b"every missing report is at the end", out)

    def test_its_own_failures_are_said(self):
        """A reference that cannot be captured is refused before anything is
        printed (exit 4), and leaves nothing behind; the header names the
        library loaded; --exact is honoured; a probe that returns non-zero
        is said on standard error, as --replay says it."""
        skip_host_logic_under_emulation(self)
        folder = self.folder()
        code, golden_list, _ = run(ARGS.host, "--replay", ARGS.calls)
        transcript = folder / "main.txt"
        transcript.write_bytes(golden_list)
        check = ["--check", ARGS.calls, str(transcript)]
        command = ([ARGS.emulator] if ARGS.emulator else []) + [ARGS.host, *check]
        closed = subprocess.run(command, stdin=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                preexec_fn=lambda: os.close(1), timeout=60)
        self.assertEqual(closed.returncode, 4)
        # (Under Wine a closed standard output still takes a handle: the
        # findings are what cannot be written.)
        self.assertTrue(closed.stderr.startswith(b"quellot-call: cannot write the findings" if ARGS.windows else
                                                 b"quellot-call: cannot capture the reference's output: "),
                        closed.stderr)
        exact = run(ARGS.host, "--exact", *check)
        self.assertEqual(exact[0], 1)
        self.assertIn(b"with the reference made by the exact library", exact[1])
        named = run(ARGS.host, "--library", ARGS.library, "--check", ARGS.calls,
                    str(pathlib.Path(ARGS.calls).with_suffix(".exact.txt")))
        self.assertIn(b"with the reference made by the main library", named[1])
        nonzero = run(ARGS.host, "--library", ARGS.nonzero_library, *check)
        self.assertEqual(nonzero[0], 1)
        self.assertRegex(nonzero[2], rb"^quellot-call: .*calls.txt:21: call_float\(bits 00000000\) returned "
                                     rb"0x0000000100000000, not 0 \(and \d+ later calls too\)\r?\n$")
        if ARGS.windows:
            self.skipTest("TMPDIR and signals are Linux's: Wine's temporary folder is its prefix's")
        empty = folder / "tmp"
        empty.mkdir()
        cases = [(str(folder / "none"), b"no folder for temporary files"), (str(empty), None)]
        for tmpdir, message in cases:
            with self.subTest(tmpdir=tmpdir):
                code, out, err = run(ARGS.host, *check, env=dict(os.environ, TMPDIR=tmpdir))
                if message:
                    self.assertEqual((code, out), (4, b""))
                    self.assertIn(message, err)
                else:
                    self.assertEqual((code, err), (0, b""))
                self.assertEqual(sorted(p.name for p in folder.iterdir()), ["main.txt", "tmp"])
                self.assertEqual(list(empty.iterdir()), [])
        # A temporary folder that fills up: files may not grow past 4 KiB.
        def small_files():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))
        full = subprocess.run(([ARGS.emulator] if ARGS.emulator else []) + [ARGS.host, *check],
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=60, preexec_fn=small_files,
                              env=dict(os.environ, TMPDIR=str(empty)))
        self.assertEqual((full.returncode, full.stdout), (4, b""))
        self.assertTrue(full.stderr.startswith(b"quellot-call: cannot capture the reference's output: cannot write"),
                        full.stderr)
        self.assertEqual(list(empty.iterdir()), [])
        # Ended by a signal while it checks a long transcript.
        big_list, big = folder / "big-list.txt", folder / "big.txt"
        big_list.write_bytes(pathlib.Path(ARGS.calls).read_bytes() * 400)
        big.write_bytes(golden_list * 400)
        for signal_number in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=signal_number):
                child = subprocess.Popen(([ARGS.emulator] if ARGS.emulator else []) +
                                         [ARGS.host, "--check", str(big_list), str(big)],
                                         stdout=subprocess.DEVNULL, env=dict(os.environ, TMPDIR=str(empty)))
                time.sleep(0.2)
                child.send_signal(signal_number)
                child.wait(timeout=60)
                self.assertEqual(list(empty.iterdir()), [])

    def test_malformed_lists_are_refused_as_replay_refuses_them(self):
        """Both read the list through the same code, so one list of each kind
        of refusal is tried here (ConformanceKit tries them all on --replay):
        a missing file, a field count, a 0x pattern, an escape, a line number
        after CRLF lines, and a NUL byte."""
        skip_host_logic_under_emulation(self)
        folder = self.folder()
        transcript = folder / "transcript.txt"
        transcript.write_bytes(b"")
        lists = [folder / "none.txt"]
        kinds = ("fields, got 3", "without 0x", "escape at '\\qb'", "'nan' is not", "'call_float\\x00'")
        chosen = [(number, text) for number, (text, _, message) in enumerate(MALFORMED_LISTS)
                  if any(kind in message for kind in kinds)]
        self.assertEqual(len(chosen), len(kinds))
        for number, text in chosen:
            lists.append(folder / ("list%d.txt" % number))
            lists[-1].write_bytes(b"# first\ncall_float\t3F800000\n" + text.encode("latin-1"))
        for listing in lists:
            with self.subTest(listing=listing.name):
                replayed = run(ARGS.host, "--replay", str(listing))
                self.assertEqual(replayed[:2], (2, b""))
                self.assertEqual(run(ARGS.host, "--check", str(listing), str(transcript)), replayed)


# What quellot-call --generate 3000 --seed 5 writes, on every target.
GENERATED_3000_SEED_5 = "a0bcfad3491e8e96f39f095658f6047f40b62b09def7c5a544f2c26c4995d15d"


def report_sizes(listing):
    """Lines of each call's report in a call list: one, and one for each
    line feed in its file name."""
    def feeds(field):
        return sum(1 for escape in re.findall(rb"\\(\\|n|t|r|x..)", field) if escape == b"n")

    return [1 + feeds(line.split(b"\t")[2]) if line.count(b"\t") == 2 else 1
            for line in listing.split(b"\n") if line.strip(b" \t\r") and not line.startswith(b"#")]


def reports_of(transcript, sizes):
    """A transcript cut into its calls' reports."""
    lines = [line + b"\n" for line in transcript.split(b"\n")[:-1]]
    reports, at = [], 0
    for size in sizes:
        reports.append(b"".join(lines[at:at + size]))
        at += size
    return reports


def missing_lines(out):
    """The call-list lines that --check names without a report."""
    return [int(n) for n in re.findall(rb":(\d+), no report\r?\n", out)]


class CheckerDamage(unittest.TestCase):
    """--check of a generated list's twin transcript, damaged in known ways:
    one table of (damage, expected diagnoses)."""

    def setUp(self):
        skip_host_logic_under_emulation(self)
        self.folder = work_dir()
        self.addCleanup(shutil.rmtree, self.folder)
        code, listing, err = run(ARGS.host, "--generate", "24", "--seed", "11")
        self.assertEqual((code, err), (0, b""))
        self.listing = self.write("calls.txt", listing)
        code, self.reference, err = run(ARGS.host, "--library", ARGS.exact_library, "--replay", self.listing)
        self.assertEqual((code, err), (0, b""))
        self.numbers = [n for n, line in enumerate(listing.split(b"\n"), 1)
                        if line.strip(b" \t\r") and not line.startswith(b"#")]
        self.reports = reports_of(self.reference, report_sizes(listing))

    def write(self, name, data):
        path = self.folder / name
        path.write_bytes(data)
        return str(path)

    def check(self, transcripts, *options):
        """--check of each transcript, several at a time."""
        cases = [(["--library", ARGS.exact_library, *options, "--check", self.listing,
                   self.write("t%d.txt" % n, data)],) for n, data in enumerate(transcripts)]
        return run_all(cases)

    def test_cut_at_every_point_names_the_calls_after_it_missing(self):
        cuts = range(len(self.reports) + 1)
        for cut, (code, out, err) in zip(cuts, self.check([b"".join(self.reports[:cut]) for cut in cuts])):
            with self.subTest(cut=cut):
                ids, summary = diagnoses(out)
                self.assertEqual((code, ids, err), (int(cut < len(self.reports)),
                                                    {"missing"} if cut < len(self.reports) else set(), b""), summary)
                self.assertEqual(missing_lines(out), self.numbers[cut:])
                if 0 < cut < len(self.reports):
                    self.assertIn(b"every missing report is at the end", out)
                if cut == 0:
                    self.assertIn(b"the transcript is empty", out)

    def test_each_damage_gets_its_findings(self):
        reports = self.reports
        # A report that a float probe printed in place of a double one.
        wrong = next(n for n, report in enumerate(reports) if report.startswith(D.encode()))
        shuffled = list(reports)
        random.Random(5).shuffle(shuffled)
        lf = self.reference.replace(b"\r\n", b"\n") if ARGS.windows else self.reference
        crlf = lf.replace(b"\n", b"\r\n")
        native = crlf if ARGS.windows else lf
        other = lf if ARGS.windows else crlf
        one_other = native.replace(written("\n"), b"\n" if ARGS.windows else b"\r\n", 1)
        cases = [
            ("moved 1 place", reports[1:2] + reports[:1] + reports[2:], {"order"}),
            ("moved 2 places", reports[1:3] + reports[:1] + reports[3:], {"order"}),
            ("moved to the end", reports[1:] + reports[:1], {"order"}),
            ("moved from the end", reports[-1:] + reports[:-1], {"order"}),
            ("fully shuffled", shuffled, {"order"}),
            ("printed twice", [r for r in reports for _ in (0, 1)], {"extra"}),
            ("a line dropped", reports[:5] + reports[6:], {"missing"}),
            ("a wrong probe", reports[:wrong] + [reports[wrong].replace(D.encode(), F.encode()[:len(D)])]
             + reports[wrong + 1:], {"wrong-probe"}),
            # An LF transcript on a CR LF runtime is what the README's
            # conversion gives: it passes, as it passes cmp.
            ("the other line ends", [other], set() if ARGS.windows else {"line-ends"}),
            ("one line with the other end", [one_other], {"line-ends"}),
            ("cut between CR and LF", [crlf[:-1]], {"missing"} if ARGS.windows else {"line-ends", "missing"}),
        ]
        results = self.check([b"".join(transcript) for _, transcript, _ in cases])
        for (name, _, ids), (code, out, err) in zip(cases, results):
            with self.subTest(damage=name):
                found, summary = diagnoses(out)
                self.assertEqual((code, found, err), (1 if ids else 0, ids, b""), out.decode("latin-1")[-3000:])
        counts = {name: len(re.findall(rb"diagnosis: order", out)) for (name, _, _), (_, out, _) in zip(cases, results)}
        self.assertEqual([counts["moved 2 places"], counts["moved to the end"], counts["moved from the end"]], [1, 1, 1])
        self.assertIn(b"the report was cut off", results[-1][1])

    def test_wrong_reports_in_place_are_no_calls_moved(self):
        """As many reports as calls, each wrong: each is its own call's, even
        where one prints like a neighbour's report, and is accepted only if
        all its diagnoses are."""
        listing = self.write("floats.txt", b"".join(b"call_float\t%s\n" % bits for bits in
                                                    (b"7FD85884", b"80000000", b"3A29CAC2", b"7078A38D")))
        # What a client that passes a double for each float prints: the low
        # 32 bits of the value's double.
        received = self.write("floats-out.txt", b"".join(
            F.encode() + b"0x%s\n" % bits for bits in (b"80000000", b"00000000", b"40000000", b"a0000000")))
        empty = self.write("empty.txt", b"")
        results = run_all([(["--exact", "--check", listing, received],),
                           (["--exact", "--accept", "double-as-float", "--check", listing, received],),
                           (["--check", listing, empty],)])
        (code, out, err), (accepted_code, accepted, _), (_, empty_out, _) = results
        text = out.decode("latin-1")
        self.assertEqual((code, err), (1, b""))
        self.assertEqual(re.findall(r"floats\.txt:(\d+), \S+floats-out\.txt:(\d+)", text),
                         [(str(n), str(n)) for n in range(1, 5)])
        self.assertEqual(re.findall(r"diagnosis: (\S+):", text), ["double-as-float"] * 4)
        self.assertIn("Summary: 0 of 4 calls identical", text)
        # Two of them also read as another fault: those are not accepted.
        self.assertEqual(accepted_code, 1)
        self.assertIn(b"(2 of 4 accepted)", accepted)
        self.assertEqual(len(re.findall(rb"not accepted: it would take --accept \S+ too", accepted)), 2)
        self.assertIn(b"the transcript is empty; --exact judges against the exact library", empty_out)

    def test_reports_that_print_alike(self):
        """With "%f" a quarter of the calls print "0.000000", and a name that
        starts with a line feed prints a first line that is the whole report
        of a call with an empty name: shuffled, every report is found in
        order; some dropped, side by side too, only those are missing."""
        calls = []
        for k in range(240):
            calls.append([b"call_float\t%08X\n" % (k + 1), b"call_double_filename\t0000000000000000\t\n",
                          b"call_double_filename\t0000000000000000\t\\n%d\n" % k,
                          b"call_float\t%08X\n" % (0x3F800000 + k)][k % 4])
        listing = self.write("alike.txt", b"".join(calls))
        code, reference, err = run(ARGS.host, "--library", ARGS.library, "--replay", listing)
        self.assertEqual((code, err), (0, b""))
        reports = reports_of(reference, report_sizes(b"".join(calls)))
        shuffled = list(reports)
        random.Random(3).shuffle(shuffled)
        dropped = {10, 11, 12, 50, 52, 101, 102, 200}
        kept = [report for n, report in enumerate(reports) if n not in dropped]
        results = run_all([(["--library", ARGS.library, "--check", listing, self.write(name, b"".join(data))],)
                           for name, data in (("shuffled.txt", shuffled), ("dropped.txt", kept))])
        (shuffled_code, shuffled_out, _), (dropped_code, dropped_out, _) = results
        self.assertEqual((shuffled_code, diagnoses(shuffled_out)[0]), (1, {"order"}), diagnoses(shuffled_out)[1])
        self.assertEqual((dropped_code, diagnoses(dropped_out)[0]), (1, {"missing"}), diagnoses(dropped_out)[1])
        self.assertEqual(len(missing_lines(dropped_out)), len(dropped))

    def test_many_line_feeds_in_a_name(self):
        name = "a\\n" * 300 + "end"
        listing = self.write("feeds.txt", ("call_double_filename\t3FF0000000000000\t%s\ncall_float\t3F800000\n"
                                          % name).encode())
        cut = self.write("cut.txt", ("call_double_filename\t3FF0000000000000\t%s\ncall_float\t3F800000\n"
                                     % name[:3 * 150]).encode())
        transcripts = []
        for calls in (listing, cut):
            code, out, err = run(ARGS.host, "--library", ARGS.exact_library, "--replay", calls)
            self.assertEqual((code, err), (0, b""))
            transcripts.append(self.write("feeds-%d.txt" % len(transcripts), out))
        results = run_all([(["--library", ARGS.exact_library, "--check", listing, transcript],)
                           for transcript in transcripts])
        self.assertEqual((results[0][0], diagnoses(results[0][1])[0]), (0, set()))
        self.assertEqual((results[1][0], diagnoses(results[1][1])[0]), (1, {"name-truncated"}))
        self.assertNotIn(b"a line of no call", results[1][1])

    def test_accepted_findings_and_the_junit_report(self):
        """A signalling NaN quieted on the way, accepted or not; the JUnit
        report read back with an XML parser."""
        made = run(ARGS.broken_host, ARGS.exact_library, self.listing, "quieted")
        self.assertEqual((made[0], made[2]), (0, b""))
        transcript = self.write("quieted.txt", made[1])
        junit = [str(self.folder / name) for name in ("failed.xml", "accepted.xml", "other.xml")]
        results = run_all([(["--junit", junit[0], "--check", self.listing, transcript],),
                           (["--junit", junit[1], "--accept", "quieted", "--check", self.listing, transcript],),
                           (["--junit", junit[2], "--accept", "zero,payload-lost", "--check", self.listing,
                             transcript],)])
        self.assertEqual([(code, diagnoses(out)[0], err) for code, out, err in results],
                         [(1, {"quieted"}, b""), (0, {"quieted"}, b""), (1, {"quieted"}, b"")])
        self.assertIn(b"accepted: a known limitation", results[1][1])
        self.assertIn(b"(accepted)", results[1][1])
        quieted = len(re.findall(rb"diagnosis: quieted", results[0][1]))
        for path, failures in zip(junit, (quieted, 0, quieted)):
            root = xml.etree.ElementTree.parse(path).getroot()
            cases = root.findall("./testsuite/testcase")
            self.assertEqual([case.get("name").split(" (")[0] for case in cases],
                             ["calls 1 to 24", "the transcript's lines of no call and line ends"])
            found = sum(int(failure.get("message").split()[0]) for failure in root.iter("failure"))
            self.assertEqual((found, int(root.get("failures"))), (failures, int(failures > 0)), path)

def escape(byte):
    """A file-name byte as a call list writes it."""
    special = {0x5c: b"\\\\", 0x09: b"\\t", 0x0a: b"\\n", 0x0d: b"\\r"}
    if byte in special:
        return special[byte]
    return bytes([byte]) if 0x20 <= byte <= 0x7e else b"\\x%02X" % byte


class InstalledTree(unittest.TestCase):
    """Installs into a temporary prefix, moves the tree elsewhere, and builds
    and runs a C consumer against it through the CMake package and through
    pkg-config."""

    def test_install_and_consume(self):
        folder = work_dir()
        build("cmake", "--install", ARGS.build_dir, "--prefix", str(folder / "staged"))
        (folder / "staged").rename(folder / "tree")
        tree = (folder / "tree").resolve()
        library_dir = tree / ("bin" if ARGS.windows else "lib")
        expected = ["include/quellot.h", "lib/cmake/quellot/quellotConfig.cmake",
                    "lib/cmake/quellot/quellotConfigVersion.cmake", "lib/pkgconfig/quellot.pc",
                    "lib/pkgconfig/quellot-exact.pc"]
        # windows-x64 or windows-x86: the DLLs' names end in _x64 or _x86.
        arch = ARGS.target.rsplit("-", 1)[-1]
        expected += (["bin/quellot-call.exe"] + [name % (library, arch) for name in
                                                 ("bin/%s_%s.dll", "lib/lib%s_%s.dll.a", "lib/%s.def%.0s")
                                                 for library in ("quellot", "quellot_exact")]
                     if ARGS.windows else
                     ["bin/quellot-call"] + [name % library for name in
                                             ("lib/lib%s.so", "lib/lib%s.so.1", "lib/lib%s.so.1.0.0")
                                             for library in ("quellot", "quellot_exact")])
        for path in expected:
            self.assertTrue((tree / path).exists(), path)

        # The installed reference host finds the installed library by itself.
        host = str(tree / "bin" / ("quellot-call.exe" if ARGS.windows else "quellot-call"))
        self.assertEqual(run(host, "call_float", "1234.5678")[:2], (0, written(F + "1234.567749\n")))
        self.assertEqual(run(host, "--exact", "call_float", "1234.5678")[:2], (0, written(F + "0x449a522b\n")))

        consumer = pathlib.Path(ARGS.source_dir) / "tests" / "consumer"
        configure = ["cmake", "-S", str(consumer), "-B", str(folder / "cmake-build"),
                     "-DCMAKE_PREFIX_PATH=" + str(tree), "-DCMAKE_BUILD_TYPE=Release"]
        if ARGS.toolchain:
            configure += ["-DCMAKE_TOOLCHAIN_FILE=" + ARGS.toolchain, "-DCMAKE_FIND_ROOT_PATH=" + str(tree)]
        configure += ARGS.configure_arg
        build(*configure)
        build("cmake", "--build", str(folder / "cmake-build"))
        suffix = ".exe" if ARGS.windows else ""
        run_env = dict(os.environ, LD_LIBRARY_PATH=str(library_dir))
        for package, output in (("quellot", C_HOST_OUTPUT), ("quellot-exact", C_HOST_EXACT_OUTPUT)):
            with self.subTest(package=package):
                target = "exact" if package == "quellot-exact" else "quellot"
                program = folder / "cmake-build" / ("consumer_" + target + suffix)
                self.assertEqual(run(str(program)), (0, written(output), b""))

                env = dict(os.environ, PKG_CONFIG_PATH=str(tree / "lib" / "pkgconfig"), PKG_CONFIG_LIBDIR="")
                # pkg-config writes for a shell: a blank in a path is escaped.
                flags = shlex.split(subprocess.run(["pkg-config", "--cflags", "--libs", package], env=env,
                                                   check=True, capture_output=True, text=True).stdout)
                program = folder / ("pkg-" + package + suffix)
                build(ARGS.c_compiler, "-D__USE_MINGW_ANSI_STDIO=0", "-o", str(program),
                      str(pathlib.Path(ARGS.source_dir) / "tests" / "c_host.c"), *flags)
                if ARGS.windows:
                    for dll in library_dir.glob("*.dll"):
                        shutil.copy(dll, folder)
                self.assertEqual(run(str(program), env=run_env), (0, written(output), b""))
        shutil.rmtree(folder)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--c-host", required=True)
    parser.add_argument("--broken-host", required=True)
    parser.add_argument("--empty-library", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--exact-library", required=True)
    parser.add_argument("--nonzero-library", required=True)
    parser.add_argument("--float-only-library", required=True)
    parser.add_argument("--calls", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--c-compiler", required=True)
    parser.add_argument("--toolchain", default="")
    parser.add_argument("--emulator", default="")
    parser.add_argument("--target", default="", help="the target's name, e.g. linux-armhf")
    parser.add_argument("--configure-arg", action="append", default=[],
                        help="an argument for configuring the consumer project (e.g. the target's cache variables)")
    parser.add_argument("--windows", action="store_true")
    ARGS, rest = parser.parse_known_args()
    # Each test and each skip's reason is listed; a suite none of whose
    # tests can run on this target tells CTest so (exit 77), so that it is
    # counted as skipped, not passed.
    result = unittest.main(argv=[sys.argv[0], *rest], verbosity=2, exit=False).result
    if not result.wasSuccessful():
        sys.exit(1)
    # Skips of whole tests, or of whole classes (which run no test), not of
    # single cases within a test.
    whole = [test for test, _ in result.skipped if not hasattr(test, "test_case")]
    ran = result.testsRun - sum(isinstance(test, unittest.TestCase) for test in whole)
    sys.exit(77 if whole and ran == 0 else 0)
