#!/usr/bin/env python3
"""Prints why this machine's kernel refuses to start PROGRAM, the emulator that would run a
build's tests (Wine's 32-bit loader on a kernel that runs no 32-bit x86 programs, say), and
nothing where the kernel starts it: a program that starts and then fails is no refusal.

Usage: refusal.py PROGRAM
"""
import errno
import shutil
import subprocess
import sys

program = shutil.which(sys.argv[1]) or sys.argv[1]
try:
    subprocess.run([program, "--version"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60, check=False)
except OSError as error:
    # The kernel's own answer to starting it; a missing program fails the tests instead.
    if error.errno == errno.ENOEXEC:
        with open(program, "rb") as header:
            elf = header.read(5)  # ELF's magic, then its class: 1 for 32-bit, 2 for 64-bit
        bits = elf[4] * 32 if elf[:4] == b"\x7fELF" else 0
        kind = f", a {bits}-bit program" if bits in (32, 64) else ""
        print(f"this kernel refuses to start {program}{kind} ({error.strerror}), so this"
              " build's tests cannot run here")
