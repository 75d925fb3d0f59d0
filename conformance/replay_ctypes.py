#!/usr/bin/env python3
"""Makes every call of a quellot call list through Python's ctypes and leaves
the probes' lines on standard output: a worked example of an FFI client whose
transcript must equal `quellot-call --replay` byte for byte.

    python3 replay_ctypes.py LIBRARY [CALLS]      (CALLS: calls.txt beside this file)

Exit status: 0, every call made and every probe returned 0; 1, a probe
returned something else; 2, a malformed list (nothing called); 4, the lines
could not be written.
"""

import ctypes
import pathlib
import sys

# Each probe's C parameter types, in order.
PROBES = {
    "call_float": [ctypes.c_float],
    "call_float_filename": [ctypes.c_char_p, ctypes.c_float],
    "call_double": [ctypes.c_double],
    "call_double_filename": [ctypes.c_char_p, ctypes.c_double],
}

ESCAPES = {"\\": b"\\", "t": b"\t", "n": b"\n", "r": b"\r"}
HEX = set("0123456789abcdefABCDEF")


def unescape(field):
    """The file name that a FILENAME field writes with \\\\ \\t \\n \\r \\xHH
    (HH of either case)."""
    name, i = b"", 0
    while i < len(field):
        c = field[i]
        if not " " <= c <= "~":
            raise ValueError("FILENAME holds a byte that is not printable ASCII")
        if c != "\\":
            name, i = name + c.encode("ascii"), i + 1
        elif field[i + 1:i + 2] in ESCAPES:
            name, i = name + ESCAPES[field[i + 1]], i + 2
        elif field[i + 1:i + 2] == "x" and len(field[i + 2:i + 4]) == 2 and set(field[i + 2:i + 4]) <= HEX \
                and field[i + 2:i + 4] != "00":
            name, i = name + bytes([int(field[i + 2:i + 4], 16)]), i + 4
        else:
            raise ValueError("FILENAME has a bad escape at %r" % field[i:i + 4])
    return name


def single(probe):
    return probe.startswith("call_float")


def parse_bits(probe, field):
    """BITS as an integer: exactly 8 or 16 hexadecimal digits, either case."""
    width = 8 if single(probe) else 16
    if len(field) != width or not set(field) <= HEX:
        raise ValueError("BITS %r is not %d hexadecimal digits" % (field, width))
    return int(field, 16)


def read_list(path):
    """Every call of the list as (probe, bits, file name or None), all checked
    before any is made; a malformed line ends the program with status 2."""
    calls = []
    with open(path, "rb") as f:
        text = f.read().decode("latin-1")
    for number, line in enumerate(text.split("\n"), 1):
        # One CR before the LF goes first; blank means spaces and tabs only,
        # never what str.strip() takes.
        line = line[:-1] if line.endswith("\r") else line
        if not line.strip(" \t") or line.startswith("#"):
            continue
        fields = line.split("\t")
        try:
            if fields[0] not in PROBES:
                raise ValueError("unknown probe %r" % fields[0])
            if len(fields) != len(PROBES[fields[0]]) + 1:
                raise ValueError("%s takes %d tab-separated fields" % (fields[0], len(PROBES[fields[0]]) + 1))
            name = unescape(fields[2]) if len(fields) == 3 else None
            calls.append((fields[0], parse_bits(fields[0], fields[1]), name))
        except ValueError as error:
            print("%s:%d: %s" % (path, number, error), file=sys.stderr)
            sys.exit(2)
    return calls


def flush_c_stdout():
    """Flushes the C runtime's standard output, where the probes write,
    through the FFI: msvcrt.dll's on Windows, the C library's on Linux (found
    among the process's own symbols). False when any line was lost."""
    runtime = ctypes.CDLL("msvcrt" if sys.platform == "win32" else None)
    runtime.fflush.argtypes = [ctypes.c_void_p]
    flushed = runtime.fflush(None) == 0
    if sys.platform != "win32":
        # An unbuffered stream (Python makes C's so under PYTHONUNBUFFERED)
        # wrote each line at once and leaves fflush nothing to fail on: its
        # error flag tells.
        runtime.ferror.argtypes = [ctypes.c_void_p]
        flushed = flushed and runtime.ferror(ctypes.c_void_p.in_dll(runtime, "stdout")) == 0
    return flushed


def argument(probe, bits):
    """The probe's value with exactly the bit pattern `bits`: built from the
    bits rather than from a Python float, so that even a signalling NaN is
    sent unchanged."""
    raw = (ctypes.c_uint32 if single(probe) else ctypes.c_uint64)(bits)
    return PROBES[probe][-1].from_buffer_copy(raw)


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    calls = read_list(sys.argv[2] if len(sys.argv) == 3 else pathlib.Path(__file__).with_name("calls.txt"))
    library = ctypes.CDLL(sys.argv[1])
    for name, types in PROBES.items():
        getattr(library, name).argtypes = types
        getattr(library, name).restype = ctypes.c_int64
    failed = 0
    for probe, bits, name in calls:
        args = [argument(probe, bits)] if name is None else [name, argument(probe, bits)]
        failed |= getattr(library, probe)(*args)
    # The lines wait in the C runtime's buffer: flush it through the FFI, as
    # any host without C's stdio must, rather than count on the exit to.
    if not flush_c_stdout():
        print("the probes' lines could not all be written to standard output", file=sys.stderr)
        sys.exit(4)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
