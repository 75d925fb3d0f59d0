#!/usr/bin/env python3
"""Runs the ctypes client on every cross-compiled Linux target with that
target's own CPython, and prints a table: the target, its Debian
architecture, the CPython, cmp's verdict and --check's summary against both
of the target's libraries.

    python3 tools/survey_abi.py [PRESET...]      (every linux-* cross preset)

The CPython comes from a Debian 12 root of the target's architecture,
unpacked without being run: `debootstrap --foreign` downloads it and unpacks
its base, and every package it downloaded is then unpacked with `dpkg-deb
-x`. The client runs under the target's qemu with `-L ROOT`. Each preset's
libraries and quellot-call are built first; roots are kept in
build/survey/roots. A target without a Debian 12 architecture in the main
archive is listed as such.
"""

import json
import os
import pathlib
import shutil
import subprocess
import sys
import time

from survey import CALLS, SOURCE, check_summary, cmp_verdict

MIRROR = "http://deb.debian.org/debian"

# GNU triple -> (Debian architecture, its multiarch folder), for the
# architectures of Debian 12's main archive.
DEBIAN = {
    "i686-linux-gnu": ("i386", "i386-linux-gnu"),
    "aarch64-linux-gnu": ("arm64", "aarch64-linux-gnu"),
    "arm-linux-gnueabihf": ("armhf", "arm-linux-gnueabihf"),
    "arm-linux-gnueabi": ("armel", "arm-linux-gnueabi"),
    "s390x-linux-gnu": ("s390x", "s390x-linux-gnu"),
    "powerpc64le-linux-gnu": ("ppc64el", "powerpc64le-linux-gnu"),
    "mipsel-linux-gnu": ("mipsel", "mipsel-linux-gnu"),
    "mips64el-linux-gnuabi64": ("mips64el", "mips64el-linux-gnuabi64"),
}


def cross_presets():
    """(preset, GNU triple, qemu program) of every Linux preset run under qemu."""
    presets = json.loads((SOURCE / "CMakePresets.json").read_text())["configurePresets"]
    return [(p["name"], p["cacheVariables"]["QUELLOT_TARGET_TRIPLE"], p["cacheVariables"]["QUELLOT_QEMU"])
            for p in presets if not p.get("hidden") and "QUELLOT_QEMU" in p.get("cacheVariables", {})]


def log(*words):
    print("survey:", *words, file=sys.stderr, flush=True)


def root_with_python(arch, roots):
    """The unpacked Debian 12 root of `arch` with python3, made if missing."""
    root = roots / arch
    if (root / "usr" / "bin" / "python3").exists():
        return root
    log("downloading a Debian 12 root of", arch, "into", root)
    subprocess.run(["debootstrap", "--foreign", "--variant=minbase", "--include=python3", "--arch=" + arch,
                    "bookworm", str(root), MIRROR], check=True, stdout=subprocess.DEVNULL)
    archives = root / "var" / "cache" / "apt" / "archives"
    for deb in sorted(archives.glob("*.deb")):
        subprocess.run(["dpkg-deb", "-x", str(deb), str(root)], check=True)
        deb.unlink()
    return root


def build(preset):
    build_dir = SOURCE / "build" / preset
    if not (build_dir / "CMakeCache.txt").exists():
        subprocess.run(["cmake", "--preset", preset], cwd=SOURCE, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", preset, "--target", "quellot", "quellot_exact", "quellot-call"],
                   cwd=SOURCE, check=True, stdout=subprocess.DEVNULL)
    return build_dir


def survey(names):
    roots = SOURCE / "build" / "survey" / "roots"
    roots.mkdir(parents=True, exist_ok=True)
    rows = []
    for preset, triple, qemu in cross_presets():
        if names and preset not in names:
            continue
        if triple not in DEBIAN:
            rows.append([preset, "none", "no Debian 12 architecture in the main archive", "", "", "", "", ""])
            continue
        started = time.monotonic()
        arch, multiarch = DEBIAN[triple]
        build_dir = build(preset)
        root = root_with_python(arch, roots)
        # Paths are looked up in ROOT first (qemu's -L); the library path keeps
        # the loader off this machine's /etc/ld.so.cache.
        python = [qemu, "-L", str(root), "-E", "LD_LIBRARY_PATH=/lib/%s:/usr/lib/%s" % (multiarch, multiarch),
                  str(root / "usr" / "bin" / "python3")]
        version = subprocess.run(python + ["-c", "import sys; print(sys.version.split()[0])"],
                                 capture_output=True, text=True).stdout.strip() or "?"
        host = [str(build_dir / "qemu-run"), str(build_dir / "bin" / "quellot-call")]
        row = [preset, arch, "CPython " + version]
        for library in ("libquellot_exact.so.1", "libquellot.so.1"):
            library = str(build_dir / "bin" / library)
            expected = CALLS.with_suffix(".exact.txt").read_bytes() if "exact" in library else \
                subprocess.run(host + ["--library", library, "--replay", str(CALLS)], capture_output=True).stdout
            done = subprocess.run(python + [str(SOURCE / "conformance" / "replay_ctypes.py"), library, str(CALLS)],
                                  capture_output=True, timeout=600)
            transcript = build_dir / ("survey-%s.txt" % pathlib.Path(library).name.split(".")[0])
            transcript.write_bytes(done.stdout)
            verdict = cmp_verdict(done.stdout, expected) + ("" if done.returncode == 0 else
                                                            " (exit %d)" % done.returncode)
            row += [verdict, check_summary(host, library, transcript)]
        rows.append(row + ["%.0f s" % (time.monotonic() - started)])
    header = ["preset", "Debian", "Python", "exact twin: cmp", "exact twin: --check", "main library: cmp",
              "main library: --check", "time"]
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for row in rows:
        print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    if os.geteuid() != 0:
        sys.exit("survey: debootstrap needs root")
    if shutil.which("debootstrap") is None:
        subprocess.run(["apt-get", "install", "-y", "--no-install-recommends", "debootstrap"], check=True,
                       stdout=sys.stderr, env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
    survey(sys.argv[1:])
