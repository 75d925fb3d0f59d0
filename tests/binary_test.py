"""Reads a probe library's tables back from the built file with the target's
own binary tools: --name is the module name (Windows) or the SONAME (Linux)
it must carry; its exports and imports; and, from the disassembly, where a
probe's argument arrives on the --target."""

import argparse
import re
import subprocess
import sys
import unittest

ARGS = None

PROBES = ["call_double", "call_double_filename", "call_float", "call_float_filename"]


def tool(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


# The machine each Windows target's DLLs are built for, as objdump names
# their file format.
PE_FORMAT = {"windows-x64": "pei-x86-64", "windows-x86": "pei-i386"}


class WindowsDll(unittest.TestCase):
    def setUp(self):
        self.dump = tool(ARGS.objdump, "-p", ARGS.library)

    def test_machine(self):
        self.assertRegex(self.dump, r"file format %s\n" % PE_FORMAT[ARGS.target])

    def test_export_table(self):
        exports = self.dump[self.dump.index("The Export Tables"):]
        self.assertRegex(exports, r"\nName\s+[0-9a-f]+ %s\n" % re.escape(ARGS.name))
        self.assertRegex(exports, r"\nOrdinal Base\s+1\n")
        addresses = re.findall(r"\[\s*(\d+)\] \+base\[\s*(\d+)\]", exports)
        self.assertEqual(addresses, [("0", "1"), ("1", "2"), ("2", "3"), ("3", "4")])
        names = exports[exports.index("[Ordinal/Name Pointer] Table"):]
        names = re.findall(r"^\s*\[\s*(\d+)\] (\S+)$", names, re.M)
        self.assertEqual(names, [(str(i), name) for i, name in enumerate(PROBES)])

    def test_imports_only_kernel32_and_msvcrt_printf(self):
        imports = self.dump[self.dump.index("The Import Tables"):self.dump.index("The Export Tables")]
        sections = re.split(r"\n\s*DLL Name: ", imports)[1:]
        functions = {s.split("\n", 1)[0].strip(): re.findall(r"^\s+[0-9a-f]+\s+\d+\s+(\S+)$", s, re.M)
                     for s in sections}
        self.assertEqual(sorted(functions), ["KERNEL32.dll", "msvcrt.dll"])
        self.assertIn("printf", functions["msvcrt.dll"])
        self.assertFalse({"__mingw_printf", "__mingw_vfprintf", "localeconv"} & set(functions["msvcrt.dll"]))


# 64-bit big-endian POWER (ELFv1) exports a function as a descriptor, data
# in .opd that holds the code's address (nm's type D); objdump names the
# code with a dot before the function's name.
DESCRIPTOR_TARGETS = {"linux-ppc64"}


def code_symbol(function):
    return "." + function if ARGS.target in DESCRIPTOR_TARGETS else function


class LinuxLibrary(unittest.TestCase):
    def test_exports_exactly_the_four_probes(self):
        symbols = [line.split() for line in tool(ARGS.nm, "-D", "--defined-only", ARGS.library).split("\n") if line]
        self.assertEqual(sorted(symbol[-1] for symbol in symbols), PROBES)
        kind = "D" if ARGS.target in DESCRIPTOR_TARGETS else "T"
        self.assertEqual({symbol[-2] for symbol in symbols}, {kind}, symbols)

    def test_soname_and_needs_only_libc(self):
        dynamic = tool(ARGS.readelf, "-d", ARGS.library)
        self.assertEqual(re.findall(r"Library soname: \[(\S+)\]", dynamic), [ARGS.name])
        # The C library alone, under its SONAME on the target: libc.so.6, or
        # libc.so.6.1 on alpha.
        needed = re.findall(r"Shared library: \[(\S+)\]", dynamic)
        self.assertEqual(len(needed), 1, needed)
        self.assertRegex(needed[0], r"^libc\.so\.6(\.1)?$")


def i386_entry_offsets(instructions):
    """The stack offsets, relative to the stack pointer on entry, that the
    instructions address through %esp (the return address is at 0)."""
    depth = 0
    offsets = set()
    for line in instructions:
        for displacement in re.findall(r"(-?0x[0-9a-f]+|-?\d+)?\(%esp\)", line):
            offsets.add(int(displacement or "0", 0) - depth)
        if re.search(r"\bpush", line):
            depth += 4
        elif re.search(r"\bpop", line):
            depth -= 4
        elif change := re.search(r"\b(sub|add)\s+\$(0x[0-9a-f]+|\d+),%esp", line):
            depth += (1 if change.group(1) == "sub" else -1) * int(change.group(2), 0)
    return offsets


def m68k_entry_offsets(instructions):
    """The stack offsets, relative to the stack pointer on entry, that the
    instructions read through %sp (the return address is at 0): each push
    (%sp@-), pop (%sp@+) and lea on %sp moves the stack pointer after the
    instruction's source operand is read."""
    depth = 0
    offsets = set()
    for line in instructions:
        for displacement in re.findall(r"%sp@(?:\((-?\d+)\))?(?![-+])", line):
            offsets.add(int(displacement or "0") - depth)
        if push := re.match(r"(\w+?)([lwbsdx]?)\s+(\S+),%sp@-$", line):
            if push.group(1) == "movem":
                registers = 0
                for part in push.group(3).split("/"):
                    ends = [int(r[2:]) for r in part.split("-")]
                    registers += ends[-1] - ends[0] + 1
                depth += 4 * registers
            else:
                depth += {"d": 8, "x": 12, "w": 2, "b": 2}.get(push.group(2), 4)
        elif re.match(r"\w+\s+%sp@\+,", line):
            depth -= 8 if line.startswith("fmoved") else 4
        elif change := re.match(r"lea %sp@\((-?\d+)\),%sp$", line):
            depth -= int(change.group(1))
        elif line.startswith("pea "):
            depth += 4
    return offsets


def reads(register, stores):
    """A test that instructions read `register`: as a source operand after the
    destination, or as the register that a store (a mnemonic matching
    `stores`) writes to memory, which comes first."""
    pattern = re.compile(r",\s*{0}\b|^(?:{1})\s+{0}\b".format(re.escape(register), stores), re.M)
    return lambda body: pattern.search(body)


def reads_or_passes(register, stores, calls):
    """A test that instructions read `register`, as `reads` tells, or leave
    it as it arrived for the first call (a mnemonic matching `calls`): no
    instruction before that call names it first, where a destination stands.
    The exact twin hands a value that arrived in an integer register on to
    printf in the same register, with no instruction of its own."""
    read = reads(register, stores)
    call = re.compile(r"^(?:{0})\s".format(calls))
    writes = re.compile(r"^(?!(?:{0})\s)\S+\s+{1}(?![\w.])".format(stores, re.escape(register)))

    def test(body):
        if read(body):
            return True
        for line in body.split("\n"):
            if call.match(line):
                return True
            if writes.match(line):
                return False
        return False
    return test


def reads_att(register):
    """The same in x86's AT&T syntax, where every source operand comes first."""
    pattern = re.compile(r"\s{0},".format(re.escape(register)))
    return lambda body: pattern.search(body)


# Where the value of call_float_filename(p, v) arrives on each target, as the
# table in docs/platforms.md says, and how to see that the probe reads it from there (on
# i386, from the stack slot after the pointer's).
FLOAT_AFTER_POINTER = {
    "linux-x86_64": ("%xmm0", reads_att("%xmm0")),
    "windows-x64": ("%xmm1", reads_att("%xmm1")),
    "windows-x86": ("8(%esp)", lambda body: 8 in i386_entry_offsets(body.split("\n"))),
    "linux-i386": ("8(%esp)", lambda body: 8 in i386_entry_offsets(body.split("\n"))),
    "linux-aarch64": ("s0", reads("s0", r"st[rpu]\S*")),
    "linux-armhf": ("s0", reads("s0", r"v?st[rm]\S*|vpush")),
    "linux-riscv64": ("fa0", reads("fa0", r"fs[wd]")),
    "linux-s390x": ("%f0", reads("%f0", r"st[ed]y?")),
    "linux-armel": ("r1", reads_or_passes("r1", r"str\S*|stm\S*|push", r"bl|blx")),
    "linux-mipsel": ("$a1", reads_or_passes("a1", r"s[bhwd]|swc1|sdc1|d?mtc1|mthc1", r"jalr|bal|jal")),
    "linux-mips64el": ("$f13", reads("$f13", r"s[wd]c1|d?mfc1")),
    "linux-ppc64el": ("f1", lambda body: reads("f1", r"stf[sd]\S*")(body) or reads("vs1", r"stxs\S*")(body)),
    "linux-ppc64": ("f1", reads("f1", r"stf[sd]\S*")),
    "linux-mips": ("$a1", reads_or_passes("a1", r"s[bhwd]|swc1|sdc1|d?mtc1|mthc1", r"jalr|bal|jal")),
    "linux-powerpc": ("f1", reads("f1", r"stf[sd]\S*")),
    "linux-sparc64": ("%f3", reads("%f3", r"st\S*")),
    "linux-m68k": ("8(%sp)", lambda body: 8 in m68k_entry_offsets(body.split("\n"))),
    "linux-hppa": ("fr5", reads_att("fr5")),
    "linux-alpha": ("$f17", reads_att("$f17")),
}


class ArgumentPlaces(unittest.TestCase):
    def disassembly(self, function):
        """The instructions of `function`, one a line, without addresses or bytes."""
        # 32-bit Windows' C names carry a leading underscore in the symbol table.
        symbol = ("_" if ARGS.target == "windows-x86" else "") + function
        dump = tool(ARGS.objdump, "-d", "--no-show-raw-insn", "--disassemble=" + symbol, ARGS.library)
        lines = dump[dump.index("<%s>:\n" % symbol):].split("\n")[1:]
        # The function ends where the next symbol's or section's heading starts.
        end = next((i for i, line in enumerate(lines) if line and "\t" not in line), len(lines))
        return "\n".join(line.split("\t", 1)[1] for line in lines[:end] if "\t" in line)

    def test_float_after_a_pointer_is_read_where_the_table_says(self):
        place, reads_it = FLOAT_AFTER_POINTER[ARGS.target]
        body = self.disassembly(code_symbol("call_float_filename"))
        self.assertTrue(body, "no instructions for call_float_filename")
        self.assertTrue(reads_it(body), "call_float_filename does not read %s:\n%s" % (place, body))

    def test_32_bit_windows_probes_are_cdecl(self):
        """A cdecl function leaves its arguments for the caller to remove:
        it returns with a plain ret, where a stdcall one has ret $N."""
        if ARGS.target != "windows-x86":
            self.skipTest("only 32-bit Windows has a calling convention to choose")
        for probe in PROBES:
            body = self.disassembly(probe)
            self.assertRegex(body, r"(?m)^ret\s*$", probe)
            self.assertNotRegex(body, r"(?m)^ret\s+\$", probe)

    def test_the_twin_moves_values_on_32_bit_x86_as_integers(self):
        """An x87 load quiets a signalling NaN: the twin's probes copy each
        argument's stack slot with integer moves and touch no x87 register."""
        if not ARGS.exact or ARGS.target not in ("windows-x86", "linux-i386"):
            self.skipTest("only the exact twin on 32-bit x86 has arguments that an x87 load could change")
        for probe in PROBES:
            body = self.disassembly(probe)
            self.assertTrue(body, "no instructions for " + probe)
            self.assertNotRegex(body, r"(?m)^f\w+", "%s uses the x87 unit:\n%s" % (probe, body))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--library", required=True)
    parser.add_argument("--name", required=True)
    parser.add_argument("--target", default="", help="the target's name, e.g. linux-aarch64")
    parser.add_argument("--objdump", default="")
    parser.add_argument("--nm", default="")
    parser.add_argument("--readelf", default="")
    parser.add_argument("--exact", action="store_true", help="the library is the exact twin")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest])
