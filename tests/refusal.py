#!/usr/bin/env python3
"""Prints why this machine's kernel refuses to start PROGRAM, the emulator that would run a
build's tests, and nothing otherwise. A refusal counts only where PROGRAM is a 32-bit x86 ELF
program, as its header says, and the kernel answers its start with ENOEXEC: Wine's 32-bit loader
on a kernel that runs no 32-bit x86 programs. Any other program that fails to start (an empty
file, a script without `#!`, a program for another processor) or that starts and then fails is
no refusal: the build's tests are registered, and fail.

Usage: refusal.py PROGRAM
"""
import errno
import os
import shutil
import struct
import subprocess
import sys

ELFCLASS32 = 1  # e_ident[EI_CLASS] of a 32-bit program
EM_386 = 3  # e_machine of a 32-bit x86 program


def is_32_bit_x86(path):
    """Whether the file at `path` is an ELF program for 32-bit x86, as its header says."""
    try:
        with open(path, "rb") as program:
            header = program.read(20)  # e_ident (16 bytes), e_type, e_machine
    except OSError:
        return False
    if len(header) < 20 or header[:4] != b"\x7fELF" or header[5] not in (1, 2):
        return False
    order = "<" if header[5] == 1 else ">"  # e_ident[EI_DATA]: 1 little-endian, 2 big-endian
    (machine,) = struct.unpack_from(order + "H", header, 18)
    return header[4] == ELFCLASS32 and machine == EM_386


def refusal(program, error):
    """Why the kernel refuses to start `program`, whose start failed with the error number
    `error` (None where it started), or "" where that is no refusal."""
    if error != errno.ENOEXEC or not is_32_bit_x86(program):
        return ""
    return (f"this kernel refuses to start {program}, a 32-bit x86 program"
            f" ({os.strerror(error)}), so this build's tests cannot run here")


def start_error(program):
    """The error number with which starting `program` failed, or None where it started."""
    try:
        subprocess.run([program, "--version"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60,
                       check=False)
    except OSError as error:
        return error.errno
    except subprocess.TimeoutExpired:  # it started, and was stopped
        pass
    return None


if __name__ == "__main__":
    emulator = shutil.which(sys.argv[1]) or sys.argv[1]
    reason = refusal(emulator, start_error(emulator))
    if reason:
        print(reason)
