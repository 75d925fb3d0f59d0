#!/usr/bin/env python3
"""Runs every client of the kit against a native build's two libraries and
prints a table: each FFI's version, cmp's verdict and --check's summary for
the exact twin and for the main library. Installs what each client needs
first (Debian packages with apt-get, as root; npm packages, with the binaries
they ship, into the survey's folder). It measures and asserts nothing: third
parties' versions change, so it is not part of the tests.

    python3 tools/survey.py [BUILD]      (BUILD: build/native)

Its work files are in BUILD/../survey.
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys
import time

SOURCE = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(SOURCE / "tests"))
from host_test import KIT_RULES_LIST  # noqa: E402  (the rules that clients used to guess)

CLIENTS_DIR = SOURCE / "conformance" / "clients"
CALLS = SOURCE / "conformance" / "calls.txt"
PYTHON = "/usr/bin/python3"  # Debian's, which has Debian's cffi


class Client:
    """An FFI's client: what it needs installed, how its version is read, how
    it is built (if it is) and run; LIBRARY and CALLS in `run` stand for the
    library and the call list."""

    def __init__(self, name, packages, version, run, build=None, program=None, pattern=r"^(\S+ \S+)", label="{}"):
        self.name, self.packages, self.version, self.run, self.build = name, packages, version, run, build
        self.program = program or run[0]
        # The version: `pattern`'s groups in the first line of `version`'s output, put in `label`.
        self.pattern, self.label = pattern, label


def clients(work):
    modules = work / "node_modules"
    return [
        Client("Python ctypes", ["python3"], [PYTHON, "-c", "import sys; print('CPython', sys.version.split()[0])"],
               [PYTHON, str(SOURCE / "conformance" / "replay_ctypes.py"), "LIBRARY", "CALLS"]),
        Client("Python cffi", ["python3", "python3-cffi"], [PYTHON, "-c", "import cffi; print(cffi.__version__)"],
               [PYTHON, str(CLIENTS_DIR / "python_cffi.py"), "LIBRARY", "CALLS"], pattern="(.*)",
               label="cffi {}"),
        Client("Node koffi", ["npm:koffi"],
               ["node", "-p", "'Node ' + process.versions.node + ', koffi ' + "
                "JSON.parse(require('fs').readFileSync('node_modules/koffi/package.json')).version"],
               ["node", str(CLIENTS_DIR / "node_koffi.mjs"), "LIBRARY", "CALLS"], pattern=r"^(.*)"),
        Client("Deno `Deno.dlopen`", ["npm:deno"], [str(modules / ".bin" / "deno"), "--version"],
               [str(modules / ".bin" / "deno"), "run", "--allow-read", "--allow-ffi",
                str(CLIENTS_DIR / "deno_dlopen.mjs"), "LIBRARY", "CALLS"]),
        Client("Java JNA", ["default-jre-headless", "libjna-java"],
               ["sh", "-c", "dpkg-query -W -f 'JNA ${Version}, ' libjna-java; java -version 2>&1"],
               ["java", "-cp", "/usr/share/java/jna.jar", str(CLIENTS_DIR / "Jna.java"), "LIBRARY", "CALLS"],
               pattern=r'^JNA (\S+), \S+ version "([^"]+)"', label="JNA {}, Java {}"),
        Client("LuaJIT ffi, values as cdata", ["luajit"], ["luajit", "-v"],
               ["luajit", str(CLIENTS_DIR / "luajit_ffi.lua"), "LIBRARY", "CALLS"]),
        Client("Rust, std and dlopen", ["rustc"], ["/usr/bin/rustc", "--version"],
               [str(work / "bin" / "rust_dlopen"), "LIBRARY", "CALLS"],
               build=["/usr/bin/rustc", "-O", "-o", str(work / "bin" / "rust_dlopen"),
                      str(CLIENTS_DIR / "rust_dlopen.rs")], program="/usr/bin/rustc"),
        Client("Go, cgo and dlopen", ["golang-go"], ["/usr/bin/go", "version"],
               [str(work / "bin" / "go_cgo"), "LIBRARY", "CALLS"],
               build=["/usr/bin/go", "build", "-o", str(work / "bin" / "go_cgo"), str(CLIENTS_DIR / "go_cgo.go")],
               program="/usr/bin/go", pattern=r"^go version (\S+)"),
    ]


def installed(package):
    done = subprocess.run(["dpkg-query", "-W", "-f", "${Status}", package], capture_output=True, text=True)
    return "install ok installed" in done.stdout


def install(all_clients, work):
    """The Debian packages that are missing, then the npm packages."""
    debian = sorted({p for c in all_clients for p in c.packages if not p.startswith("npm:")})
    if shutil.which("node") is None:
        debian += ["nodejs", "npm"]
    missing = [p for p in debian if not installed(p)]
    if missing:
        if os.geteuid() != 0:
            print("survey: not root, so not installing:", " ".join(missing), file=sys.stderr)
        else:
            print("survey: installing", " ".join(missing), file=sys.stderr)
            subprocess.run(["apt-get", "install", "-y", "--no-install-recommends", *missing], check=False,
                           env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"), stdout=sys.stderr)
    npm = sorted({p[4:] for c in all_clients for p in c.packages if p.startswith("npm:")})
    if npm and shutil.which("npm"):
        # Their install scripts are not needed: both packages ship their
        # binaries (koffi's prebuilt modules, deno's executable).
        subprocess.run(["npm", "install", "--no-audit", "--no-fund", "--ignore-scripts", "--prefix", str(work),
                        *npm], check=False, stdout=sys.stderr)


def version(client, env):
    done = subprocess.run(client.version, capture_output=True, text=True, env=env, cwd=env["QUELLOT_SURVEY"])
    match = re.match(client.pattern, (done.stdout or done.stderr).split("\n")[0])
    return client.label.format(*match.groups()) if done.returncode == 0 and match else "?"


def cmp_verdict(mine, expected):
    if mine == expected:
        return "identical"
    at = next((i for i, (a, b) in enumerate(zip(mine, expected)) if a != b), min(len(mine), len(expected)))
    return "differs at byte %d" % (at + 1)


def check_summary(host, library, transcript):
    """--check's summary in one cell: '210 of 210 identical' or the ids and
    counts; `host` is the command that runs quellot-call."""
    out = subprocess.run([*host, "--library", library, "--check", str(CALLS), str(transcript)],
                         capture_output=True, text=True, errors="replace").stdout
    if "Summary: " not in out:
        return "no summary"
    lines = out[out.rindex("Summary: "):].split("\n")
    found = [m.groups() for m in map(re.compile(r"^\s+(\d+)\s+([a-z][a-z0-9-]*)").match, lines[1:]) if m]
    head = lines[0][len("Summary: "):].replace(" calls identical", " identical")
    return head + "".join("; %s `%s`" % f for f in found)


def command(client, library, calls):
    return [{"LIBRARY": str(library), "CALLS": str(calls)}.get(a, a) for a in client.run]


def rules_verdict(client, host, library, env, work):
    """Whether the client reads lists as --replay does: a list of the rules
    that clients used to guess, and the same list with a line that only a
    wider idea of a blank would skip."""
    good, bad = work / "rules.txt", work / "rules-malformed.txt"
    good.write_bytes(KIT_RULES_LIST)
    bad.write_bytes(KIT_RULES_LIST + b"\x0c\ncall_float\t3F800000\n")
    for listing in (good, bad):
        reference = subprocess.run([host, "--library", library, "--replay", str(listing)], capture_output=True)
        done = subprocess.run(command(client, library, listing), capture_output=True, env=env, cwd=work,
                              timeout=300)
        if (done.returncode, done.stdout) != (reference.returncode, reference.stdout):
            return "differs on %s (exit %d)" % (listing.name, done.returncode)
    return "as --replay"


def survey(build):
    build = build.resolve()
    work = build.parent / "survey"
    (work / "bin").mkdir(parents=True, exist_ok=True)
    env = dict(os.environ, QUELLOT_SURVEY=str(work), GOCACHE=str(work / "go-cache"), GOPATH=str(work / "go"),
               GO111MODULE="off", DENO_DIR=str(work / "deno"), DENO_NO_UPDATE_CHECK="1")
    all_clients = clients(work)
    install(all_clients, work)
    host = str(build / "bin" / "quellot-call")
    libraries = [str(build / "bin" / "libquellot_exact.so.1"), str(build / "bin" / "libquellot.so.1")]
    expected = [CALLS.with_suffix(".exact.txt").read_bytes(),
                subprocess.run([host, "--replay", str(CALLS)], capture_output=True, check=True).stdout]
    rows = []
    for client in all_clients:
        started = time.monotonic()
        if shutil.which(client.program, path=env["PATH"]) is None and not os.path.exists(client.program):
            rows.append([client.name, "not installed", "", "", "", "", "", ""])
            continue
        if client.build:
            built = subprocess.run(client.build, capture_output=True, text=True, env=env, cwd=work)
            if built.returncode != 0:
                rows.append([client.name, version(client, env), "build failed: " + built.stderr.strip()[:60],
                             "", "", "", "", ""])
                continue
        row = [client.name, version(client, env)]
        for library, reference in zip(libraries, expected):
            transcript = work / ("%s-%s.txt" % (re.sub(r"\W+", "-", client.name).strip("-").lower(),
                                                pathlib.Path(library).name.split(".")[0]))
            with open(transcript, "wb") as out:
                done = subprocess.run(command(client, library, CALLS), stdout=out,
                                      stderr=subprocess.PIPE, env=env, cwd=work, timeout=300)
            verdict = cmp_verdict(transcript.read_bytes(), reference)
            if done.returncode != 0:
                verdict += " (exit %d)" % done.returncode
            row += [verdict, check_summary([host], library, transcript)]
        row.append(rules_verdict(client, host, libraries[1], env, work))
        rows.append(row + ["%.1f s" % (time.monotonic() - started)])
    header = ["FFI", "version", "exact twin: cmp", "exact twin: --check", "main library: cmp",
              "main library: --check", "rules", "time"]
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for row in rows:
        print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    survey(pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else SOURCE / "build" / "native"))
