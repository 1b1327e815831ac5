#!/usr/bin/env python3
"""Plays one long game fed from a file through the game and through the plain baseline beside
it (bench/baseline.cpp), checks both outputs byte for byte and prints medians and ratios.

Usage: bench/run.py [--rounds N] [--runs K] [--before REV] [--portable] [--web]
"""
import argparse
from math import nan
import os
import pathlib
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = ROOT / "build-bench"
sys.path.insert(0, str(ROOT / "tests"))
from mt19937 import secrets_for_seed  # noqa: E402

CLOCK, SEED = "2026-01-01 00:00:00", 1767225600  # the frozen clock, in seconds since 1970
PROMPT = b"Please enter a guess between 1 and 100: "
LOW = b"Your guess was too low.\n\n"
HIGH = b"Your guess was too high.\n\n"
HIT = b"Your guess was correct!\n\n"
AGAIN = b"Play again? (Y/N)\n"


def make_game(rounds):
    """The input of `rounds` rounds played by halving, the output it must draw, and its guesses."""
    given, expected, guesses = [], [], 0
    for number, secret in enumerate(secrets_for_seed(SEED, rounds), 1):
        low, high, guess = 1, 100, 0
        while guess != secret:
            guess, guesses = (low + high) // 2, guesses + 1
            given.append(b"%d\n" % guess)
            expected += [PROMPT, LOW if guess < secret else HIGH if guess > secret else HIT]
            low, high = (guess + 1, high) if guess < secret else (low, guess - 1)
        given.append(b"n\n" if number == rounds else b"y\n")
        expected.append(AGAIN + b"\n")
    return b"".join(given), b"".join(expected), guesses


def frozen(program):
    """The command that runs `program` (a command) with libfaketime preloaded, its clock frozen
    at CLOCK."""
    return ["env", "TZ=UTC", "LD_PRELOAD=" + FAKETIME, "FAKETIME=" + CLOCK, *map(str, program)]


def play(program, game, output):
    """Plays the game from its file once; returns the seconds it took."""
    with open(game, "rb") as given, open(output, "wb") as written:
        start = time.perf_counter()
        subprocess.run(frozen(program), stdin=given, stdout=written, check=True)
        return time.perf_counter() - start


def write_calls(program, game, trace):
    with open(game, "rb") as given:
        subprocess.run(["strace", "-f", "-qq", "-e", "trace=write", "-o", trace] + frozen(program),
                       stdin=given, stdout=subprocess.DEVNULL, check=True)
    with open(trace) as calls:
        return sum(line.split(None, 1)[-1].startswith("write(1,") for line in calls)


def peak_kib(program, game):
    with open(game, "rb") as given:
        result = subprocess.run(["/usr/bin/time", "-f", "%M"] + frozen(program), stdin=given,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=True)
    return int(result.stderr.split()[-1])


def startup_seconds(program):
    """Time from start to the first prompt on a pipe."""
    start = time.perf_counter()
    process = subprocess.Popen(program, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    shown = b""
    while not shown.endswith(PROMPT):
        shown += os.read(process.stdout.fileno(), 4096)
    elapsed = time.perf_counter() - start
    process.kill()
    process.wait()
    return elapsed


def build(source, build, *options):
    subprocess.run(["cmake", "-S", source, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                    "-DBUILD_TESTING=OFF", *options], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "-j", str(os.cpu_count())], check=True,
                   stdout=subprocess.DEVNULL)


def build_before(revision):
    """Builds the game as it was at a git revision, beside the current one; returns it."""
    source = BUILD / "before-source"
    shutil.rmtree(source, ignore_errors=True)
    source.mkdir(parents=True)
    archive = subprocess.run(["git", "-C", ROOT, "archive", revision], check=True,
                             stdout=subprocess.PIPE).stdout
    subprocess.run(["tar", "-x", "-C", source], input=archive, check=True)
    build(source, BUILD / "before")
    return [BUILD / "before/guess"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=20000)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--before", metavar="REV",
                        help="also measure the game as built from this git revision")
    parser.add_argument("--portable", action="store_true",
                        help="also measure the start-up of the static program (no other figure:"
                        " a preloaded library cannot freeze its clock)")
    parser.add_argument("--web", action="store_true",
                        help="also measure the WebAssembly build under Node.js, and the web page"
                        " in headless Chromium (bench/web.mjs)")
    args = parser.parse_args()
    subprocess.run([ROOT / "scripts/install-packages", "cmake", "make", "g++", "faketime",
                    "strace", "time"], check=True)
    build(ROOT, BUILD, "-DGUESS_BENCH=ON")
    global FAKETIME  # found by the build, which knows where this machine keeps libfaketime
    cache = (BUILD / "CMakeCache.txt").read_text()
    FAKETIME = re.search(r"^GUESS_FAKETIME:FILEPATH=(.*)$", cache, re.MULTILINE)[1]
    programs = {"guess": [BUILD / "guess"], "baseline": [BUILD / "bench/guess_baseline"]}
    if args.before:
        programs["before"] = build_before(args.before)
    if args.portable:
        build(ROOT, BUILD / "portable", "-DGUESS_PORTABLE=ON")
        programs["portable"] = [BUILD / "portable/guess"]
    if args.web:
        subprocess.run([ROOT / "scripts/install-packages", "clang", "lld", "wasi-libc",
                        "libc++-dev-wasm32", "libclang-rt-dev-wasm32", "binaryen", "chromium"],
                       check=True)
        subprocess.run(["npm", "ci", "--no-audit", "--no-fund"], cwd=ROOT, check=True)
        toolchain = ROOT / "cmake/toolchains/wasm32-wasi.cmake"
        build(ROOT, BUILD / "wasm", f"-DCMAKE_TOOLCHAIN_FILE={toolchain}")
        programs["wasm"] = [ROOT / "tests/run_wasi", BUILD / "wasm/guess.wasm"]
    frozen_games = {name: program for name, program in programs.items() if name != "portable"}

    given, expected, guesses = make_game(args.rounds)
    figures = {name: {} for name in programs}
    with tempfile.TemporaryDirectory() as scratch:
        game, output = pathlib.Path(scratch, "game"), pathlib.Path(scratch, "output")
        game.write_bytes(given)
        for _ in range(args.runs):  # alternate the programs, so that all see the same machine
            for name, program in frozen_games.items():
                seconds = play(program, game, output)
                if output.read_bytes() != expected:
                    sys.exit(f"{name}: the output differs from the expected game")
                figures[name].setdefault("ns per guess", []).append(seconds / guesses * 1e9)
        for _ in range(10 * args.runs):
            for name, program in programs.items():
                figures[name].setdefault("startup ms", []).append(startup_seconds(program) * 1e3)
        for name, program in frozen_games.items():
            trace = pathlib.Path(scratch, "trace")
            figures[name]["write calls"] = [write_calls(program, game, trace)]
            figures[name]["peak KiB"] = [peak_kib(program, game) for _ in range(args.runs)]

    median = {name: {key: statistics.median(values) for key, values in rows.items()}
              for name, rows in figures.items()}
    ours, base = median["guess"], median["baseline"]
    with open("/proc/cpuinfo") as info:
        cpu = next((line.split(":", 1)[1].strip() for line in info
                    if line.startswith("model name")), "unknown CPU")
    print(f"{cpu}, {os.cpu_count()} cores; {args.rounds} rounds, {guesses} guesses, "
          f"{len(expected)} bytes out; medians of {args.runs} runs (startup: {10 * args.runs})")
    games = [name for name in programs if name != "baseline"]
    print(f"{'':16}" + "".join(f"{name:>12}" for name in programs)
          + "".join(f"{name + ' ratio':>15}" for name in games))
    for key in ours:
        print(f"{key:16}" + "".join(f"{median[name].get(key, nan):12.1f}" for name in programs)
              + "".join(f"{median[name].get(key, nan) / base[key]:15.3f}" for name in games))
    goals = [
        ("time per guess at most 0.5 of the baseline's",
         ours["ns per guess"] <= 0.5 * base["ns per guess"]),
        ("write calls at most one per round plus a constant (16)",
         ours["write calls"] <= args.rounds + 16),
        ("peak memory under 4 MiB", ours["peak KiB"] < 4096),
        ("startup within 1.5 times the baseline's", ours["startup ms"] <= 1.5 * base["startup ms"]),
    ]
    for goal, met in goals:
        print(f"{'met' if met else 'MISSED':7}{goal}")
    page = 0
    if args.web:
        page = subprocess.run(["node", ROOT / "bench/web.mjs", BUILD / "wasm/web"]).returncode
    return 0 if all(met for _, met in goals) and page == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
