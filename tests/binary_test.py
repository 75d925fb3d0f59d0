"""Reads a probe library's export and import tables back from the built file:
--name is the module name (Windows) or the SONAME (Linux) it must carry."""

import argparse
import re
import subprocess
import sys
import unittest

ARGS = None


def tool(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


class WindowsDll(unittest.TestCase):
    def setUp(self):
        self.dump = tool(ARGS.objdump, "-p", ARGS.library)

    def test_export_table(self):
        exports = self.dump[self.dump.index("The Export Tables"):]
        self.assertRegex(exports, r"\nName\s+[0-9a-f]+ %s\n" % re.escape(ARGS.name))
        self.assertRegex(exports, r"\nOrdinal Base\s+1\n")
        addresses = re.findall(r"\[\s*(\d+)\] \+base\[\s*(\d+)\]", exports)
        self.assertEqual(addresses, [("0", "1"), ("1", "2"), ("2", "3"), ("3", "4")])
        names = exports[exports.index("[Ordinal/Name Pointer] Table"):]
        names = re.findall(r"^\s*\[\s*(\d+)\] (\S+)$", names, re.M)
        self.assertEqual(names, [("0", "call_double"), ("1", "call_double_filename"),
                                 ("2", "call_float"), ("3", "call_float_filename")])

    def test_imports_only_kernel32_and_msvcrt_printf(self):
        imports = self.dump[self.dump.index("The Import Tables"):self.dump.index("The Export Tables")]
        sections = re.split(r"\n\s*DLL Name: ", imports)[1:]
        functions = {s.split("\n", 1)[0].strip(): re.findall(r"^\s+[0-9a-f]+\s+\d+\s+(\S+)$", s, re.M)
                     for s in sections}
        self.assertEqual(sorted(functions), ["KERNEL32.dll", "msvcrt.dll"])
        self.assertIn("printf", functions["msvcrt.dll"])
        self.assertFalse({"__mingw_printf", "__mingw_vfprintf", "localeconv"} & set(functions["msvcrt.dll"]))


class LinuxLibrary(unittest.TestCase):
    def test_exports_exactly_the_four_probes(self):
        symbols = tool(ARGS.nm, "-D", "--defined-only", ARGS.library).split("\n")
        self.assertEqual(sorted(line.split()[-1] for line in symbols if line),
                         ["call_double", "call_double_filename", "call_float", "call_float_filename"])

    def test_soname_and_needs_only_libc(self):
        dynamic = tool(ARGS.readelf, "-d", ARGS.library)
        self.assertRegex(dynamic, r"Library soname: \[%s\]" % re.escape(ARGS.name))
        self.assertEqual(re.findall(r"Shared library: \[(\S+)\]", dynamic), ["libc.so.6"])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--library", required=True)
    parser.add_argument("--name", required=True)
    parser.add_argument("--objdump", default="")
    parser.add_argument("--nm", default="")
    parser.add_argument("--readelf", default="")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest])
