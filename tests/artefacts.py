#!/usr/bin/env python3
"""Checks what a build makes to ship: each check reads the built program with the build's own
binary tools, as CMake names them, or plays it as packaged, and fails saying what it found.

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

The package that cpack made in BUILD, whose program plays under the build's EMULATOR, if any:
  deb BUILD [EMULATOR...]            lintian-clean, laid out as Debian's policy asks of a game
  tarball BUILD [EMULATOR...]        the static program, its manual page, README and licence
  winzip BUILD                       the guess.exe that the build linked
  page BUILD LICENSE [EMULATOR...]   the page as built, each file byte for byte, with the licence
"""
import pathlib
import re
import subprocess
import sys
import tarfile
import tempfile
import zipfile

PROMPT = "Please enter a guess between 1 and 100: "
# Each path of the Debian package, with its mode and owner.
DEB = """drwxr-xr-x root/root ./usr/
drwxr-xr-x root/root ./usr/games/
-rwxr-xr-x root/root ./usr/games/guess
drwxr-xr-x root/root ./usr/share/
drwxr-xr-x root/root ./usr/share/doc/
drwxr-xr-x root/root ./usr/share/doc/guess/
-rw-r--r-- root/root ./usr/share/doc/guess/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/guess/copyright
drwxr-xr-x root/root ./usr/share/man/
drwxr-xr-x root/root ./usr/share/man/man6/
-rw-r--r-- root/root ./usr/share/man/man6/guess.6.gz""".splitlines()


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


def plays(program, emulator):
    """An input that ends before a guess gets two prompts, the line end that closes the game,
    and status 1, as the tests play it."""
    played = subprocess.run([*emulator, program], input="x\n", capture_output=True, text=True)
    if played.stdout != PROMPT * 2 + "\n" or played.returncode != 1:
        raise Finding(f"{program}: played {played.stdout!r} with status {played.returncode}")


def package(build, pattern):
    """The one package in build whose name matches pattern."""
    found = list(pathlib.Path(build).glob(pattern))
    if len(found) != 1:
        raise Finding(f"{len(found)} packages {pattern}, where cpack makes one")
    return found[0]


def deb(build, *emulator):
    made = package(build, "guess_*.deb")
    if subprocess.run(["lintian", "--fail-on", "error,warning", "--display-info", made]).returncode:
        raise Finding(f"{made.name}: lintian finds fault")
    listing = [" ".join((fields[0], fields[1], fields[-1]))
               for fields in map(str.split, read("dpkg-deb", "--contents", made).splitlines())]
    if listing != DEB:
        raise Finding(f"{made.name} holds:\n" + "\n".join(listing))
    with tempfile.TemporaryDirectory() as folder:
        read("dpkg-deb", "--extract", made, folder)
        plays(f"{folder}/usr/games/guess", emulator)
    return f"{made.name}: lintian-clean, laid out as a game, and plays"


def tarball(build, *emulator):
    made = package(build, "guess-*-linux-*.tar.gz")
    top = made.name.removesuffix(".tar.gz")
    with tarfile.open(made) as archive, tempfile.TemporaryDirectory() as folder:
        listing = sorted(archive.getnames())
        if listing != [f"{top}/{name}" for name in ("LICENSE", "README.md", "guess", "guess.6")]:
            raise Finding(f"{made.name} holds {' '.join(listing)}")
        # Python 3.12 and later ask what to trust: plain files and folders.
        archive.extractall(folder, **({"filter": "data"} if hasattr(tarfile, "data_filter") else {}))
        plays(f"{folder}/{top}/guess", emulator)
    return f"{made.name}: the program, its manual page, README and licence; plays"


def winzip(build):
    made = package(build, "guess-*-win*.zip")
    # guess.exe as linked, stripped already and with no time in its header, so the same commit
    # zips the same guess.exe whenever cpack runs.
    with zipfile.ZipFile(made) as archive:
        exe = archive.read(f"{made.name.removesuffix('.zip')}/guess.exe")
    if exe != pathlib.Path(build, "guess.exe").read_bytes():
        raise Finding(f"{made.name}: not the guess.exe that the build linked")
    return f"{made.name}: the guess.exe that the build linked"


def page(build, license, *emulator):
    made = package(build, "guess-*-web.zip")
    top = made.name.removesuffix(".zip")
    built = {f"{top}/{path.name}": path.read_bytes() for path in pathlib.Path(build, "web").iterdir()}
    built[f"{top}/LICENSE"] = pathlib.Path(license).read_bytes()
    with zipfile.ZipFile(made) as archive:
        zipped = {name: archive.read(name) for name in archive.namelist()}
    if zipped != built:
        raise Finding(f"{made.name} holds {' '.join(sorted(zipped))}, not the page as built: "
                      f"{' '.join(sorted(built))}")
    with tempfile.TemporaryDirectory() as folder:
        pathlib.Path(folder, "guess.wasm").write_bytes(zipped[f"{top}/guess.wasm"])
        plays(f"{folder}/guess.wasm", emulator)
    return f"{made.name}: the page as built, whose guess.wasm plays"


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
