"""Exits 0 where this kernel runs i386 programs: it writes the smallest i386
Linux program (exit(0) by int 0x80) to a temporary file and runs it. A 64-bit
x86 kernel built or booted without 32-bit support refuses it (ENOEXEC); this
then prints why on one line and exits 1."""

import errno
import os
import struct
import subprocess
import sys
import tempfile

BASE = 0x08048000
CODE = bytes([0xB8, 0x01, 0x00, 0x00, 0x00,  # mov eax, 1 (exit)
              0x31, 0xDB,                    # xor ebx, ebx
              0xCD, 0x80])                   # int 0x80
HEADERS = 52 + 32
SIZE = HEADERS + len(CODE)
ELF = (struct.pack("<4sBBBB8xHHIIIIIHHHHHH", b"\x7fELF", 1, 1, 1, 0, 2, 3, 1, BASE + HEADERS, 52, 0, 0,
                   52, 32, 1, 0, 0, 0)
       + struct.pack("<IIIIIIII", 1, 0, BASE, BASE, SIZE, SIZE, 5, 0x1000) + CODE)

with tempfile.TemporaryDirectory() as folder:
    program = os.path.join(folder, "exit0")
    with open(program, "wb") as f:
        f.write(ELF)
    os.chmod(program, 0o700)
    try:
        code = subprocess.run([program]).returncode
    except OSError as error:
        if error.errno != errno.ENOEXEC:
            raise
        print("this kernel runs no i386 program (running one: %s)" % error.strerror)
        sys.exit(1)
if code != 0:
    print("an i386 program that exits with 0 exited with %d here" % code)
    sys.exit(1)
