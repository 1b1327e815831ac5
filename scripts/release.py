#!/usr/bin/env python3
"""Builds, tests and packs a release from scratch: the source tarball, a Debian package for each
Linux target, a tarball of the static program for each portable Linux target, a zip for each
Windows target and one of the web page, with their SHA256SUMS, in OUTDIR (default: out). The
release's builds are the presets of CMakePresets.json that are not hidden, each configured and
built once, in its own folder (build-PRESET, or BUILDS/PRESET), emptied first, where its tests
then run: natively, under qemu-user, Wine or Node.js, and in the browsers. Run from a tree
unpacked from the source tarball, it makes the same packages, but no tarball.

Every time stamp in the packages is the last commit's (or $SOURCE_DATE_EPOCH), so the same
commit gives the same bytes; a tarball carries that time in cmake/commit-time.

Releases are made on the release machine below: a package's glibc floor is the machine's that
builds it (dpkg-shlibdeps writes the newest glibc symbol version that the program binds), and
the README names the release machine's. Where the packages need a newer glibc than the README
names, it stops once they are built, before writing any file into OUTDIR; RELEASE_OWN_BUILD=1
makes them anyway, for a build of one's own, as --to-check does off the release machine for a
release made only to be checked.
"""
import argparse
import concurrent.futures
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
# The release machine, by the ID and VERSION_ID of its /etc/os-release. Debian 12's glibc 2.36
# makes packages that need glibc 2.35 (armhf's need 2.34).
RELEASE_MACHINE = ("debian", "12")
RELEASE_MACHINE_NAME = "Debian 12"
# What every build needs; dpkg-shlibdeps finds each package's dependencies through that
# architecture's own C library.
BUILD_PACKAGES = ["cmake", "make", "g++", "dpkg-dev", "file", "g++-i686-linux-gnu",
                  "g++-aarch64-linux-gnu", "g++-arm-linux-gnueabihf", "g++-mingw-w64-i686",
                  "g++-mingw-w64-x86-64", "clang", "lld", "wasi-libc", "libc++-dev-wasm32",
                  "libclang-rt-dev-wasm32", "binaryen", "strip-nondeterminism",
                  "libc6:i386", "libc6:arm64", "libc6:armhf"]
# What every build's tests need: GoogleTest's sources for the cross builds, the emulators, the
# browsers and a virtual display for the page, and the checks' tools.
TEST_PACKAGES = ["libgtest-dev", "googletest", "faketime", "python3", "qemu-user", "wine64",
                 "unzip", "groff-base", "chromium", "firefox-esr",
                 "webkit2gtk-driver", "xvfb"]


class Refusal(Exception):
    """A release that must not be made, with the line that says why."""


def run(*command, **options):
    """Runs a command, from the project's folder unless told otherwise; fails where it fails."""
    options.setdefault("cwd", ROOT)
    return subprocess.run([str(part) for part in command], check=True, **options)


def output(*command, **options):
    """What a command writes to its standard output, which must succeed."""
    return run(*command, capture_output=True, text=True, **options).stdout


def presets():
    """The release's presets, in the order of CMakePresets.json: each one that is not hidden,
    with its cache variables, inherited ones included and ${sourceDir} filled in."""
    configure = json.loads((ROOT / "CMakePresets.json").read_text())["configurePresets"]
    by_name = {preset["name"]: preset for preset in configure}

    def variables(preset):
        merged = {}
        parents = preset.get("inherits", [])
        for parent in [parents] if isinstance(parents, str) else parents:
            merged.update(variables(by_name[parent]))
        merged.update(preset.get("cacheVariables", {}))
        return {name: str(value).replace("${sourceDir}", str(ROOT))
                for name, value in merged.items()}

    return {preset["name"]: variables(preset) for preset in configure
            if not preset.get("hidden")}


def build_dir(preset, builds=None):
    """Where a preset is built: its own folder, build-PRESET, or BUILDS/PRESET."""
    return pathlib.Path(builds) / preset if builds else ROOT / f"build-{preset}"


def emulator(preset):
    """The command that runs a preset's programs here: its emulator, or none."""
    value = presets()[preset].get("CMAKE_CROSSCOMPILING_EMULATOR")
    return value.split(";") if value else []


def version():
    """The game's version, as project() in CMakeLists.txt names it."""
    found = re.search(r"^project\(guess VERSION (\S+)", (ROOT / "CMakeLists.txt").read_text(),
                      re.MULTILINE)
    if not found:
        raise Refusal("CMakeLists.txt: no line project(guess VERSION ...) names the version")
    return found.group(1)


def os_release(path=None):
    """The ID and VERSION_ID of a machine's os-release file (this machine's by default), each
    unquoted, or "" where it names none."""
    candidates = [path] if path else ["/etc/os-release", "/usr/lib/os-release"]
    for candidate in map(pathlib.Path, candidates):
        if candidate.exists():
            values = dict(re.findall(r"^(\w+)=(.*)$", candidate.read_text(), re.MULTILINE))
            return tuple(values.get(name, "").strip("\"'") for name in ("ID", "VERSION_ID"))
    return ("", "")


def glibc(mode, machine, readme, depends, own_build=False):
    """Decides on the glibc that README names ("glibc 2.NN or later") against the packages'
    Depends lines, on a machine given by its os-release ID and VERSION_ID. mode "check" (for
    check-release): on the release machine the two must be the same; elsewhere it says what it
    left uncompared. mode "release": the packages may not need a newer glibc than README names,
    unless own_build. Returns the line to say; raises Refusal with it where the answer is no."""
    name = pathlib.Path(readme).name
    named = sorted(set(re.findall(r"glibc (2\.\d+) or later", pathlib.Path(readme).read_text())))
    if len(named) != 1:
        raise Refusal(f"{name} names the packages' glibc as {','.join(named) or 'nothing'}, "
                      "where it should name one (\"glibc 2.NN or later\")")
    named = named[0]
    if not depends:
        raise Refusal("no package's Depends line given")
    needs = []
    for line in depends:
        found = re.search(r"libc6 \(>= ([\d.]+)\)", line)
        if not found:
            raise Refusal(f"a package depends on glibc of no version (Depends: {line})")
        needs.append(found.group(1))
    needed = max(needs, key=lambda v: tuple(map(int, v.split("."))))
    newer = tuple(map(int, needed.split("."))) > tuple(map(int, named.split(".")))
    if tuple(machine) == RELEASE_MACHINE:
        why = (f"packages built here on {RELEASE_MACHINE_NAME}, where releases are made, need "
               f"glibc {needed}; {name} names {named}")
        remedy = f"name glibc {needed} there"
        if mode == "check":
            if named != needed:
                raise Refusal(f"{why}: {remedy}")
            return f"{name} names glibc {needed} or later for the packages, the highest they depend on"
    else:
        why = (f"packages built here need glibc {needed}; releases are made on "
               f"{RELEASE_MACHINE_NAME}, whose packages need {named}")
        remedy = f"make the release on {RELEASE_MACHINE_NAME}"
        if mode == "check":
            return f"did not compare the glibc that {name} names with the packages': {why}"
    if newer and own_build:
        return f"release: {why}; made anyway, as a build of one's own (RELEASE_OWN_BUILD=1)"
    if newer:
        raise Refusal(f"release: {why}; {remedy}, or set RELEASE_OWN_BUILD=1 for a build of your own")
    return f"release: packages built here need glibc {needed}; {name} names {named}"


def depends(debs):
    """The Depends line of each Debian package."""
    return [output("dpkg-deb", "--field", deb, "Depends").strip() for deb in debs]


def install(*packages):
    """Installs the Debian packages that are missing (scripts/install-packages)."""
    run(ROOT / "scripts/install-packages", *packages)


def wine32_not_run():
    """Installs wine32 beside wine64, and returns "" where it is there, or why the 32-bit Windows
    build's tests cannot run here: a mirror being synced, whose i386 lists apt-get could not
    fetch (install-packages then fails with status 3 and says so in one line)."""
    tried = subprocess.run([ROOT / "scripts/install-packages", "wine32:i386"],
                           stderr=subprocess.PIPE, text=True)
    sys.stderr.write(tried.stderr)
    if tried.returncode == 0:
        return ""
    if tried.returncode != 3:
        raise subprocess.CalledProcessError(tried.returncode, "install-packages wine32:i386")
    return tried.stderr.strip().splitlines()[-1].removeprefix("install-packages: ")


def source_date_epoch(clone):
    """The last commit's time: $SOURCE_DATE_EPOCH, or as `git archive` wrote it into
    cmake/commit-time, or asked of git."""
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return os.environ["SOURCE_DATE_EPOCH"]
    written = (ROOT / "cmake/commit-time").read_text().strip()
    if written.isdigit():
        return written
    if not clone:
        raise Refusal("release: neither git nor cmake/commit-time tells the last commit's time; "
                      "set SOURCE_DATE_EPOCH to it")
    return output("git", "log", "-1", "--format=%ct").strip()


def build(preset, builds, tests, not_run=""):
    """Configures and builds one preset in its emptied folder, with or without its tests. What
    CMake says goes into the folder's build.log, which is shown where the build fails."""
    folder = build_dir(preset, builds)
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    options = [f"-DBUILD_TESTING={'ON' if tests else 'OFF'}", f"-DGUESS_TESTS_NOT_RUN={not_run}"]
    if "GUESS_REFERENCE_GAME" in presets()[preset]:  # the native game, whose bytes the page shows
        options.append(f"-DGUESS_REFERENCE_GAME={build_dir('linux', builds) / 'guess'}")
    started = time.monotonic()
    with open(folder / "build.log", "w") as log:
        for step in (["cmake", "--preset", preset, "-B", folder, *options],
                     ["cmake", "--build", folder, "-j", os.cpu_count()]):
            if subprocess.run(list(map(str, step)), cwd=ROOT, stdout=log, stderr=subprocess.STDOUT,
                              stdin=subprocess.DEVNULL).returncode:
                raise Refusal(f"{(folder / 'build.log').read_text()}{preset}: does not build")
    return f"{preset}: built in {time.monotonic() - started:.0f} s"


def test(preset, folder):
    """Runs a build's tests: a Windows build's under one Wine server, the page's on a virtual
    display."""
    wrapper = []
    if preset.startswith("win"):
        wrapper = [ROOT / "scripts/with-wine"]
    elif "GUESS_REFERENCE_GAME" in presets()[preset]:
        wrapper = [ROOT / "scripts/with-display"]
    run(*wrapper, "ctest", "--test-dir", folder, "--output-on-failure", "--no-tests=error",
        "-j", os.cpu_count())


def release(out, builds, tests, own_build):
    """Makes the release into out, refusing packages that need a newer glibc than the README
    names unless own_build."""
    clone = (ROOT / ".git").exists()
    install(*BUILD_PACKAGES, *(TEST_PACKAGES if tests else []), *(["git"] if clone else []))
    not_run = {"win32": wine32_not_run()} if tests else {}
    if tests:
        if not shutil.which("npm"):  # Node.js 20 or later: Debian's unless the machine has its own
            install("nodejs", "npm")
        run("npm", "ci", "--no-audit", "--no-fund")
    os.environ["SOURCE_DATE_EPOCH"] = source_date_epoch(clone)
    os.umask(0o022)  # as dpkg-buildpackage does: what is packaged is readable by all
    folders = {preset: build_dir(preset, builds) for preset in presets()}
    # A build for each processor at a time: configuring runs one process after another.
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count()) as pool:
        for said in pool.map(lambda preset: build(preset, builds, tests, not_run.get(preset, "")),
                             folders):
            print(said, flush=True)
    for preset, folder in folders.items():
        if tests:
            test(preset, folder)
        run("cpack", cwd=folder)

    debs = sorted(path for folder in folders.values() for path in folder.glob("guess_*.deb"))
    print(glibc("release", os_release(), ROOT / "README.md", depends(debs), own_build), file=sys.stderr)

    out.mkdir(parents=True, exist_ok=True)
    names = []
    if clone:
        name = f"guess-{version()}.tar.gz"
        # Exactly what git holds at this commit; gzip -n leaves out the name and time of its input.
        archive = run("git", "archive", "--format=tar", f"--prefix=guess-{version()}/", "HEAD",
                      capture_output=True).stdout
        (out / name).write_bytes(run("gzip", "-9n", input=archive, capture_output=True).stdout)
        names.append(name)
    portables = [path for folder in folders.values() for path in folder.glob("guess-*-linux-*.tar.gz")]
    zips = [path for folder in folders.values() for path in folder.glob("guess-*.zip")]
    # CPack's zips keep the order in which the files were found and their owners and modes.
    run("strip-nondeterminism", "--type", "zip", "--timestamp", os.environ["SOURCE_DATE_EPOCH"],
        *zips)
    for path in debs + portables + zips:
        shutil.copy(path, out)
        names.append(path.name)
    sums = output("sha256sum", *names, cwd=out)
    (out / "SHA256SUMS").write_text(sums)
    print(sums, end="")
    origin = output("git", "describe", "--always", "--dirty").strip() if clone else ""
    print(f"{out}: release of {origin or 'an unpacked tarball'}, "
          f"time stamps {os.environ['SOURCE_DATE_EPOCH']}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--no-tests", action="store_true", help="build and pack; run no test")
    parser.add_argument("--builds", help="build each preset in BUILDS/PRESET")
    parser.add_argument("--to-check", action="store_true",
                        help="a release made only to be checked: off the release machine, made "
                             "as a build of one's own")
    parser.add_argument("out", nargs="?", default=ROOT / "out", help="where the release goes")
    args = parser.parse_args()
    own_build = os.environ.get("RELEASE_OWN_BUILD") == "1" or \
        (args.to_check and os_release() != RELEASE_MACHINE)
    try:
        release(pathlib.Path(args.out).resolve(), args.builds and pathlib.Path(args.builds).resolve(),
                not args.no_tests, own_build)
    except Refusal as refusal:
        print(refusal, file=sys.stderr)
        return 1
    except subprocess.CalledProcessError as failed:
        print(f"{' '.join(map(str, failed.cmd))}: failed with status {failed.returncode}",
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
