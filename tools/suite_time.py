#!/usr/bin/env python3
"""Measures how long every suite of the given targets (preset names) takes
after a build: `ctest --preset PRESET` for each, one target after the other,
with its wall time and the processor time of everything it ran that it
waited for (Wine's background servers are not counted). Their sums are the
figures for all targets. It only measures: the build trees must be built
(make test), and a failing suite stops it. The machine's load average is
printed before and after, since other work on the machine slows the wall
times; the processor times change much less with it."""

import os
import pathlib
import resource
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent


def processor_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def main(presets):
    print("load average before: %.2f %.2f %.2f" % os.getloadavg())
    total_wall = total_cpu = 0.0
    for preset in presets:
        if not (ROOT / "build" / preset / "CTestTestfile.cmake").exists():
            sys.exit("build/%s is not built: run make test-%s first" % (preset, preset))
        log = ROOT / "build" / preset / "suite-time.log"
        cpu, start = processor_seconds(), time.monotonic()
        with open(log, "wb") as out:
            code = subprocess.run(["ctest", "--preset", preset], cwd=ROOT, stdout=out,
                                  stderr=subprocess.STDOUT).returncode
        wall, cpu = time.monotonic() - start, processor_seconds() - cpu
        if code != 0:
            sys.stderr.write(log.read_text(errors="replace"))
            sys.exit("the suites of %s failed" % preset)
        total_wall += wall
        total_cpu += cpu
        print("%-14s %6.1f s wall %6.1f s processor" % (preset, wall, cpu))
    print("%-14s %6.1f s wall %6.1f s processor" % ("all", total_wall, total_cpu))
    print("load average after: %.2f %.2f %.2f" % os.getloadavg())


if __name__ == "__main__":
    main(sys.argv[1:])
