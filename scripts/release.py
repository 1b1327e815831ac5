#!/usr/bin/env python3
"""Builds every preset of CMakePresets.json that is not hidden, once and from scratch, in its
own folder (build-PRESET, or BUILDS/PRESET), runs its tests there, which make its package, and
puts the packages, the source tarball (from a clone) and their SHA256SUMS in OUTDIR (default:
out). Every time stamp is the last commit's, so the same commit gives the same bytes.

A package needs the glibc of the machine that builds it (dpkg-shlibdeps writes the newest glibc
symbol version that the program binds), and the README names the release machine's: a release
whose packages need a newer one stops before writing into OUTDIR, unless it is a build of one's
own (RELEASE_OWN_BUILD=1, or --to-check off the release machine).
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
# By the ID and VERSION_ID of its /etc/os-release. Debian 12's glibc 2.36 makes packages that
# need glibc 2.35 (armhf's 2.34).
RELEASE_MACHINE, RELEASE_MACHINE_NAME = ("debian", "12"), "Debian 12"
# dpkg-shlibdeps finds each package's dependencies through its architecture's own C library.
BUILD_PACKAGES = """cmake make g++ dpkg-dev file g++-i686-linux-gnu g++-aarch64-linux-gnu
    g++-arm-linux-gnueabihf g++-mingw-w64-i686 g++-mingw-w64-x86-64 clang lld wasi-libc
    libc++-dev-wasm32 libclang-rt-dev-wasm32 binaryen strip-nondeterminism libc6:i386 libc6:arm64
    libc6:armhf""".split()
# GoogleTest's sources for the cross builds, the emulators, the browsers with a display and a
# screen reader, lintian.
TEST_PACKAGES = """libgtest-dev googletest faketime python3 qemu-user wine64 groff-base lintian
    chromium firefox-esr webkit2gtk-driver xvfb orca at-spi2-core dbus-daemon""".split()


class Refusal(Exception):
    """What must not go on, with the line that says why."""


def run(*command, **options):
    """Runs a command from the project's folder (or cwd), failing where it fails."""
    return subprocess.run(list(map(str, command)), check=True, **{"cwd": ROOT, **options})


def output(*command, **options):
    """What a command that must succeed writes to its standard output."""
    return run(*command, capture_output=True, text=True, **options).stdout


def presets():
    """The release's presets, in their order, each with the cache variables that it sets itself:
    those of CMakePresets.json that are not hidden."""
    configure = json.loads((ROOT / "CMakePresets.json").read_text())["configurePresets"]
    return {preset["name"]: preset.get("cacheVariables", {}) for preset in configure
            if not preset.get("hidden")}


def build_dir(preset, builds=None):
    """Where a preset is built: build-PRESET, or BUILDS/PRESET."""
    return pathlib.Path(builds, preset) if builds else ROOT / f"build-{preset}"


def version():
    """The game's version, as project() in CMakeLists.txt names it."""
    return re.search(r"project\(guess VERSION (\S+)", (ROOT / "CMakeLists.txt").read_text())[1]


def os_release(path=None):
    """The ID and VERSION_ID ("" where none) of an os-release file, by default this machine's."""
    path = path or next(filter(os.path.exists, ["/etc/os-release", "/usr/lib/os-release"]), None)
    values = dict(re.findall(r"^(\w+)=(.*)$", pathlib.Path(path).read_text() if path else "",
                             re.MULTILINE))
    return tuple(values.get(name, "").strip("\"'") for name in ("ID", "VERSION_ID"))


def glibc(mode, machine, readme, depends, own_build=False):
    """Decides on the glibc that readme names ("glibc 2.NN or later") against the packages'
    Depends lines, on a machine given by its os-release ID and VERSION_ID. "check": on the
    release machine the two must be the same; elsewhere it says what it left uncompared.
    "release": the packages may need no newer glibc than readme names, unless own_build.
    Returns the line to say, or raises Refusal with it."""
    name = pathlib.Path(readme).name
    named = sorted(set(re.findall(r"glibc (2\.\d+) or later", pathlib.Path(readme).read_text())))
    if len(named) != 1:
        raise Refusal(f"{name} names the packages' glibc as {','.join(named) or 'nothing'}, "
                      'where it should name one ("glibc 2.NN or later")')
    needs = []
    for line in depends:
        found = re.search(r"libc6 \(>= ([\d.]+)\)", line)
        if not found:
            raise Refusal(f"a package depends on glibc of no version (Depends: {line})")
        needs.append(found.group(1))
    number = lambda figure: tuple(map(int, figure.split(".")))  # noqa: E731
    named, needed = named[0], max(needs, key=number)
    if tuple(machine) == RELEASE_MACHINE:
        why = (f"packages built here on {RELEASE_MACHINE_NAME}, where releases are made, need "
               f"glibc {needed}; {name} names {named}")
        remedy = f"name glibc {needed} there"
        if mode == "check" and named != needed:
            raise Refusal(f"{why}: {remedy}")
        if mode == "check":
            return f"{name} names glibc {needed} or later for the packages, the highest they depend on"
    else:
        why = (f"packages built here need glibc {needed}; releases are made on "
               f"{RELEASE_MACHINE_NAME}, whose packages need {named}")
        remedy = f"make the release on {RELEASE_MACHINE_NAME}"
        if mode == "check":
            return f"did not compare the glibc that {name} names with the packages': {why}"
    if number(needed) <= number(named):
        return f"release: packages built here need glibc {needed}; {name} names {named}"
    if own_build:
        return f"release: {why}; made anyway, as a build of one's own (RELEASE_OWN_BUILD=1)"
    raise Refusal(f"release: {why}; {remedy}, or set RELEASE_OWN_BUILD=1 for a build of your own")


def depends(debs):
    """Each Debian package's Depends line."""
    return [output("dpkg-deb", "--field", deb, "Depends").strip() for deb in debs]


def install(*packages):
    """Installs the Debian packages that are missing."""
    run(ROOT / "scripts/install-packages", *packages)


def wine32_not_run():
    """Installs wine32 beside wine64, or returns why the 32-bit Windows tests cannot run here: the
    last line of install-packages, which fails with status 3 where lists could not be fetched."""
    tried = subprocess.run([ROOT / "scripts/install-packages", "wine32:i386"],
                           stderr=subprocess.PIPE, text=True)
    sys.stderr.write(tried.stderr)
    if tried.returncode not in (0, 3):
        raise subprocess.CalledProcessError(tried.returncode, "install-packages wine32:i386")
    if tried.returncode == 0:
        return ""
    reason = tried.stderr.strip().splitlines()[-1].removeprefix("install-packages: ")
    return f"{reason}; the 32-bit build's tests cannot run here without it"


def source_date_epoch(clone):
    """The last commit's time: $SOURCE_DATE_EPOCH, or as `git archive` wrote it into
    cmake/commit-time, or asked of git; never the current time."""
    written = os.environ.get("SOURCE_DATE_EPOCH") or (ROOT / "cmake/commit-time").read_text().strip()
    if written.isdigit():
        return written
    if not clone:
        raise Refusal("release: neither git nor cmake/commit-time tells the last commit's time; "
                      "set SOURCE_DATE_EPOCH to it")
    return output("git", "log", "-1", "--format=%ct").strip()


def logged(log, what, *steps, **options):
    """Runs each command of steps, writing what it says into log, which is shown where one
    fails; returns how long they took."""
    started = time.monotonic()
    with open(log, "w") as written:
        for step in steps:
            if subprocess.run(list(map(str, step)), stdout=written, stderr=written,
                              stdin=subprocess.DEVNULL, **{"cwd": ROOT, **options}).returncode:
                raise Refusal(f"{pathlib.Path(log).read_text()}{what}: does not build")
    return time.monotonic() - started


def build(preset, builds, tests, not_run=""):
    """Configures and builds a preset in its emptied folder, logged in its build.log."""
    folder = build_dir(preset, builds)
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    options = [f"-DBUILD_TESTING={'ON' if tests else 'OFF'}", f"-DGUESS_TESTS_NOT_RUN={not_run}"]
    if "GUESS_REFERENCE_GAME" in presets()[preset]:  # the native game, whose bytes the page shows
        options.append(f"-DGUESS_REFERENCE_GAME={build_dir('linux', builds) / 'guess'}")
    seconds = logged(folder / "build.log", preset, ["cmake", "--preset", preset, "-B", folder,
                     *options], ["cmake", "--build", folder, "-j", os.cpu_count()])
    return f"{preset}: built in {seconds:.0f} s"


def release(out, builds, tests, own_build):
    """Makes the release into out."""
    clone = (ROOT / ".git").exists()
    install(*BUILD_PACKAGES, *(TEST_PACKAGES if tests else []), *(["git"] if clone else []))
    not_run = {"win32": wine32_not_run()} if tests else {}
    if tests:  # Node.js 20 or later: Debian's, unless the machine has its own
        install(*([] if shutil.which("npm") else ["nodejs", "npm"]))
        run("npm", "ci", "--no-audit", "--no-fund")
    os.environ["SOURCE_DATE_EPOCH"] = epoch = source_date_epoch(clone)
    os.umask(0o022)  # as dpkg-buildpackage does: what is packaged is readable by all
    folders = {preset: build_dir(preset, builds) for preset in presets()}
    # A build for each processor at a time: configuring runs one process after another.
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count()) as pool:
        for said in pool.map(lambda preset: build(preset, builds, tests, not_run.get(preset, "")),
                             folders):
            print(said, flush=True)
    for preset, variables in presets().items():
        if not tests:
            run("cpack", cwd=folders[preset])
            continue
        # The tests make the package and check it; Wine's share one Wine server, the page's a display.
        wrapper = "with-wine" if "wine" in variables.get("CMAKE_CROSSCOMPILING_EMULATOR", "") else \
            "with-display" if "GUESS_REFERENCE_GAME" in variables else None
        run(*([ROOT / "tests" / wrapper] if wrapper else []), "ctest", "--test-dir", folders[preset],
            "--output-on-failure", "--no-tests=error", "-j", os.cpu_count())
    files = {kind: sorted(path for folder in folders.values() for path in folder.glob(kind))
             for kind in ("guess_*.deb", "guess-*-linux-*.tar.gz", "guess-*.zip")}
    print(glibc("release", os_release(), ROOT / "README.md", depends(files["guess_*.deb"]),
                own_build), file=sys.stderr)

    out.mkdir(parents=True, exist_ok=True)
    names = []
    if clone:
        names.append(f"guess-{version()}.tar.gz")
        # Exactly what git holds at this commit; gzip -n leaves out the name and time of its input.
        archive = run("git", "archive", "--format=tar", f"--prefix=guess-{version()}/", "HEAD",
                      capture_output=True).stdout
        (out / names[0]).write_bytes(run("gzip", "-9n", input=archive, capture_output=True).stdout)
    # CPack's zips keep the order in which the files were found and their owners and modes.
    run("strip-nondeterminism", "--type", "zip", "--timestamp", epoch, *files["guess-*.zip"])
    for path in sum(files.values(), []):
        shutil.copy(path, out)
        names.append(path.name)
    (out / "SHA256SUMS").write_text(output("sha256sum", *names, cwd=out))
    print((out / "SHA256SUMS").read_text(), end="")
    origin = output("git", "describe", "--always", "--dirty").strip() if clone else ""
    print(f"{out}: release of {origin or 'an unpacked tarball'}, time stamps {epoch}")


def reported(step, *args):
    """Runs step(*args): exit status 1 where it refuses or a command fails, saying why, else 0."""
    try:
        return step(*args) or 0
    except Refusal as refusal:
        print(refusal, file=sys.stderr)
    except subprocess.CalledProcessError as failed:
        print(f"{' '.join(map(str, failed.cmd))}: failed with status {failed.returncode}",
              file=sys.stderr)
    return 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--no-tests", action="store_true", help="build and pack; run no test")
    parser.add_argument("--builds", help="build each preset in BUILDS/PRESET")
    parser.add_argument("--to-check", action="store_true", help="a release made to be checked: "
                        "off the release machine, a build of one's own")
    parser.add_argument("out", nargs="?", default=ROOT / "out", help="where the release goes")
    args = parser.parse_args()
    own_build = os.environ.get("RELEASE_OWN_BUILD") == "1" or \
        (args.to_check and os_release() != RELEASE_MACHINE)
    return reported(release, pathlib.Path(args.out).resolve(),
                    args.builds and pathlib.Path(args.builds).resolve(), not args.no_tests, own_build)


if __name__ == "__main__":
    sys.exit(main())
