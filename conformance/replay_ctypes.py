#!/usr/bin/env python3
"""Makes every call of a quellot call list through Python's ctypes and leaves
the probes' lines on standard output: a worked example of an FFI client whose
transcript must equal `quellot-call --replay` byte for byte.

    python3 replay_ctypes.py LIBRARY [CALLS]      (CALLS: calls.txt beside this file)
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
    """The file name that a FILENAME field writes with \\\\ \\t \\n \\r \\xHH."""
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


def value(probe, bits):
    """The probe's argument with exactly the bit pattern `bits`: built from the
    bits rather than from a Python float, so that even a signalling NaN is
    sent unchanged."""
    single = PROBES[probe][-1] is ctypes.c_float
    if len(bits) != (8 if single else 16) or not set(bits) <= HEX:
        raise ValueError("BITS %r is not %d hexadecimal digits" % (bits, 8 if single else 16))
    raw = (ctypes.c_uint32 if single else ctypes.c_uint64)(int(bits, 16))
    return PROBES[probe][-1].from_buffer_copy(raw)


def read_calls(path):
    """Every call of the list as (probe, arguments), all checked before any is made."""
    calls = []
    with open(path, "rb") as f:
        for number, line in enumerate(f.read().decode("latin-1").split("\n"), 1):
            line = line[:-1] if line.endswith("\r") else line
            if not line.strip(" \t") or line.startswith("#"):
                continue
            fields = line.split("\t")
            try:
                if fields[0] not in PROBES:
                    raise ValueError("unknown probe %r" % fields[0])
                if len(fields) != len(PROBES[fields[0]]) + 1:
                    raise ValueError("%s takes %d tab-separated fields" % (fields[0], len(PROBES[fields[0]]) + 1))
                args = [value(fields[0], fields[1])]
                if len(fields) == 3:
                    args.insert(0, unescape(fields[2]))
                calls.append((fields[0], args))
            except ValueError as error:
                print("%s:%d: %s" % (path, number, error), file=sys.stderr)
                sys.exit(2)
    return calls


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    calls = read_calls(sys.argv[2] if len(sys.argv) == 3 else pathlib.Path(__file__).with_name("calls.txt"))
    library = ctypes.CDLL(sys.argv[1])
    for name, types in PROBES.items():
        getattr(library, name).argtypes = types
        getattr(library, name).restype = ctypes.c_int64
    failed = 0
    for probe, args in calls:
        failed |= getattr(library, probe)(*args)
    # The lines wait in the C runtime's buffer; exiting through Python
    # flushes it, after Python's own stream, which this script leaves empty.
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
