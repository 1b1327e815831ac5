#!/usr/bin/env python3
"""Checks what a build makes to ship, without running it: each check reads the built program
with the build's own binary tools, as CMake names them, and fails saying what it found.

  windows EXE OBJDUMP MAGIC [CLOCK]  a console program (PE magic 010b for PE32, 020b for PE32+)
                                     importing nothing beyond KERNEL32.dll and msvcrt.dll; a
                                     32-bit one reads the clock with CLOCK only
  resource EXE WINDRES VERSION       the version resource names VERSION as ProductVersion
  clock64 PROGRAM OBJDUMP            a 32-bit Linux program reads the clock with 64 bits
  hardened PROGRAM READELF           position-independent, stack protected, with read-only
                                     relocations and immediate binding
  static PROGRAM READELF LIBRARY PIE linked statically, hardened as far as a static program
                                     can be (a static PIE where PIE is 1), its code (LIBRARY)
                                     calling the stack protector
  install BUILD CMAKE                installs into an empty prefix the program and its manual
                                     page and nothing else, and the manual page renders cleanly
"""
import pathlib
import re
import subprocess
import sys
import tempfile


class Finding(Exception):
    """What a check found wrong."""


def read(*command):
    """What a command writes to its standard output, which must succeed."""
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def windows(exe, objdump, magic, clock=None):
    header = read(objdump, "-p", exe)
    # The fields of the PE header are read by name and value, which no version of objdump
    # words otherwise; subsystem 3 is the Windows console.
    if not re.search(rf"^Magic\s+{magic}\s", header, re.MULTILINE) or \
            not re.search(r"^Subsystem\s+0+3\s", header, re.MULTILINE):
        raise Finding("\n".join(re.findall(r"^(?:Magic|Subsystem).*$", header, re.MULTILINE)))
    imports = sorted(set(re.findall(r"DLL Name: (\S+)", header)))
    if imports != ["KERNEL32.dll", "msvcrt.dll"]:
        raise Finding(f"imports {' '.join(imports)}")
    said = f"console program (PE magic {magic}) importing {' '.join(imports)}"
    if clock:
        # The 32-bit msvcrt's plain `time`, like `_time32`, stops at 2038; `_time64` goes on.
        # An imported function's name is the last field of its line.
        clocks = sorted({line.split()[-1] for line in header.splitlines()
                         if re.fullmatch(r"_?time(32|64)?", (line.split() or [""])[-1])})
        if clocks != [clock]:
            raise Finding(f"reads the clock with {' '.join(clocks) or 'no known function'}")
        said += f", reading the clock with {clock}"
    return said


def resource(exe, windres, version):
    rc = read(windres, "--input", exe, "--output-format", "rc")
    if f'VALUE "ProductVersion", "{version}"' not in rc:
        raise Finding(f"no version resource for {version}")
    return f"carries version {version} in its properties"


def clock64(program, objdump):
    # 32-bit glibc's plain `time` counts the seconds in 32 bits, which run out in January 2038.
    imports = {line.split()[-1] for line in read(objdump, "-T", program).splitlines() if line.split()}
    if not imports & {"__time64", "__clock_gettime64"} or imports & {"time", "clock_gettime"}:
        raise Finding("a 32-bit program that reads a 32-bit clock")
    return "reads the clock as 64 bits"


def hardened(program, readelf):
    # What hardening-check reads: a position-independent program, the stack protector called,
    # read-only relocations and immediate binding.
    headers = read(readelf, "--wide", "--file-header", "--program-headers", "--dynamic", program)
    symbols = read(readelf, "--wide", "--dyn-syms", program)
    for mark, what in (("Type: *DYN", "not position-independent"),
                       ("GNU_RELRO", "no read-only relocations"),
                       (r"\(FLAGS\).*BIND_NOW|FLAGS_1.*\bNOW\b", "no immediate binding")):
        if not re.search(mark, headers):
            raise Finding(what)
    if not re.search(r"UND __stack_chk_fail\b", symbols):
        raise Finding("no stack protector")
    return "position-independent, stack protected, read-only relocations, immediate binding"


def static(program, readelf, library, pie):
    headers = read(readelf, "--wide", "--file-header", "--program-headers", "--dynamic", program)
    # A static PIE where the target's C library can start one (not Debian's armhf).
    required = ["GNU_RELRO"] + (["Type: *DYN", "BIND_NOW"] if pie == "1" else [])
    for mark in required:
        if not re.search(mark, headers):
            raise Finding(f"no {mark}")
    if re.search("INTERP|NEEDED", headers):
        raise Finding("not statically linked")
    if not re.search(r"UND __stack_chk_fail", read(readelf, "--wide", "--symbols", library)):
        raise Finding(f"{library}: the game's code has no stack protector")
    return f"statically linked, hardened ({' '.join(required)})"


def install(build, cmake):
    with tempfile.TemporaryDirectory() as prefix:
        read(cmake, "--install", build, "--prefix", prefix, "--strip")
        root = pathlib.Path(prefix)
        installed = sorted(str(path.relative_to(root)) for path in root.rglob("*") if path.is_file())
        if installed != ["bin/guess", "share/man/man6/guess.6"]:
            raise Finding(f"installed: {' '.join(installed)}")
        rendered = subprocess.run(["groff", "-man", "-ww", "-z", root / "share/man/man6/guess.6"],
                                  capture_output=True, text=True)
        if rendered.stderr or rendered.returncode:
            raise Finding(rendered.stderr)
    return "installs bin/guess and share/man/man6/guess.6; the manual page renders cleanly"


def main(check, subject, *facts):
    try:
        print(f"{subject}: {globals()[check](subject, *facts)}")
    except Finding as finding:
        print(f"{subject}: {finding}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
