#!/usr/bin/env python3
"""Makes every call of a quellot call list through Python's cffi, in its ABI
mode (no compiler), and leaves the probes' lines on standard output.

    python3 python_cffi.py LIBRARY [CALLS]      (CALLS: calls.txt of the kit)

cffi hands a float parameter a Python float, a double: a float signalling NaN
arrives quiet (--check says "quieted"); every other value arrives intact.
Exit status as replay_ctypes.py's.
"""

import pathlib
import sys

from cffi import FFI

KIT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(KIT))
from replay_ctypes import read_list, single  # noqa: E402  (the kit's list reader)

ffi = FFI()
ffi.cdef("""
    int64_t call_float(float value);
    int64_t call_float_filename(const char *filename, float value);
    int64_t call_double(double value);
    int64_t call_double_filename(const char *filename, double value);
    int fflush(void *stream);
    int ferror(void *stream);
    extern void *stdout;
""")


def argument(probe, bits):
    """The value with the bits `bits`, read back from memory that holds them."""
    kind = "float" if single(probe) else "double"
    raw = ffi.new("uint32_t *" if single(probe) else "uint64_t *", bits)
    return ffi.cast(kind + " *", raw)[0]


def flushed(runtime):
    """fflush(NULL) through the FFI, and on Linux the stream's error flag too
    (an unbuffered stream leaves fflush nothing to fail on)."""
    ok = runtime.fflush(ffi.NULL) == 0
    return ok and (sys.platform == "win32" or runtime.ferror(runtime.stdout) == 0)


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    calls = read_list(sys.argv[2] if len(sys.argv) == 3 else KIT / "calls.txt")
    library = ffi.dlopen(sys.argv[1])
    runtime = ffi.dlopen("msvcrt" if sys.platform == "win32" else None)
    failed = 0
    for probe, bits, name in calls:
        value = argument(probe, bits)
        failed |= getattr(library, probe)(*([value] if name is None else [name, value]))
    if not flushed(runtime):
        print("the probes' lines could not all be written to standard output", file=sys.stderr)
        sys.exit(4)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
