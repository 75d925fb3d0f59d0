#!/usr/bin/env python3
"""Measures what a probe call costs against the printf it must make, and
prints the figures.

Linux: instructions counted by callgrind, taken as the difference between
runs of N and 11*N calls so that start-up cancels out; the same for loading
and unloading the library against an empty library built the same way.
Windows, under Wine: the same comparison timed in-process (a rough figure:
Wine is not Windows). Last, the sizes of the stripped libraries.

    run_bench.py --native build/native [--windows build/windows]
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

PROBES = ["call_float", "call_float_filename", "call_double", "call_double_filename"]
TARGET = 1.005


def instructions(program, *args):
    """Instructions that callgrind counts for one run, standard output discarded."""
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "callgrind.out")
        subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out, program, *args],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(out) as f:
            return int(re.search(r"^(?:summary|totals): (\d+)", f.read(), re.M).group(1))


def per_call(program, n, *args):
    """Instructions of one more call: (I(11n) - I(n)) / 10n."""
    return (instructions(program, *args, str(11 * n)) - instructions(program, *args, str(n))) / (10 * n)


def stripped_size(strip, path):
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "stripped")
        subprocess.run([strip, "-o", out, path], check=True)
        return os.path.getsize(out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--native", required=True)
    parser.add_argument("--windows")
    parser.add_argument("--calls", type=int, default=2000, help="N, for the probe and printf runs")
    parser.add_argument("--loads", type=int, default=20, help="N, for the load and unload runs")
    parser.add_argument("--timed-calls", type=int, default=200000, help="calls per round under Wine")
    args = parser.parse_args()
    bench = os.path.join(args.native, "bin", "probe_cost")

    print("Linux, instructions per call (valgrind --tool=callgrind; runs of %d and %d calls)"
          % (args.calls, 11 * args.calls))
    print("%-22s %12s %12s %8s" % ("probe", "probe", "printf", "ratio"))
    worst = 0.0
    for probe in PROBES:
        probe_cost = per_call(bench, args.calls, "probe", probe)
        printf_cost = per_call(bench, args.calls, "printf", probe)
        worst = max(worst, probe_cost / printf_cost)
        print("%-22s %12.1f %12.1f %8.4f" % (probe, probe_cost, printf_cost, probe_cost / printf_cost))
    print("highest ratio %.4f (target: at most %.3f): %s"
          % (worst, TARGET, "met" if worst <= TARGET else "NOT MET"))

    library = os.path.join(args.native, "bin", "libquellot.so.1")
    empty = os.path.join(args.native, "bin", "libquellot_empty.so")
    quellot_load = per_call(bench, args.loads, "load", library)
    empty_load = per_call(bench, args.loads, "load", empty)
    print("\nLinux, instructions per load and unload (runs of %d and %d)" % (args.loads, 11 * args.loads))
    print("%-22s %12.0f\n%-22s %12.0f\n%-22s %12.0f"
          % ("libquellot.so.1", quellot_load, "empty library", empty_load, "difference", quellot_load - empty_load))

    print("\nStripped sizes, bytes")
    print("%-22s %12d" % ("libquellot.so.1", stripped_size("strip", os.path.realpath(library))))
    if args.windows:
        dll = os.path.join(args.windows, "bin", "quellot_x64.dll")
        print("%-22s %12d" % ("quellot_x64.dll", stripped_size("x86_64-w64-mingw32-strip", dll)))

        # A file, not /dev/null: msvcrt.dll leaves a character device
        # unbuffered, and under Wine every unbuffered write is a server call.
        print("\nWindows under Wine, timed in-process with QueryPerformanceCounter (best of 5 rounds"
              " of %d calls; standard output to a file)" % args.timed_calls)
        sys.stdout.flush()
        with tempfile.TemporaryFile() as sink:
            done = subprocess.run([os.path.join(args.windows, "wine-run"),
                                   os.path.join(args.windows, "bin", "probe_cost.exe"), "timed",
                                   str(args.timed_calls)],
                                  stdout=sink, stderr=subprocess.PIPE, text=True, check=True)
        print(done.stderr.replace("\r", ""), end="")
    return 0 if worst <= TARGET else 1


if __name__ == "__main__":
    if shutil.which("valgrind") is None:
        sys.exit("run_bench.py needs valgrind")
    sys.exit(main())
