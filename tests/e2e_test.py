#!/usr/bin/env python3
"""Plays the built game as a separate program, the way a person or a bot does: through pipes, and
typed on a terminal, which under Wine gives the program a console as on Windows.

Usage: e2e_test.py [--windows | --wasi] COMMAND...
  --windows: a Windows build run under Wine; --wasi: a WebAssembly build run under a WASI runtime
"""
import os
import pty
import re
import select
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unittest

from mt19937 import secrets_for_seed

WINDOWS = len(sys.argv) > 1 and sys.argv[1] == "--windows"
WASI = len(sys.argv) > 1 and sys.argv[1] == "--wasi"
COMMAND = sys.argv[2:] if WINDOWS or WASI else sys.argv[1:]
SANITIZED = bool(os.environ.get("GUESS_SANITIZED"))
# A 32-bit Linux program's 64-bit clock is out of libfaketime's reach unless an emulator runs it.
CLOCK_UNREACHABLE = bool(os.environ.get("GUESS_CLOCK_UNREACHABLE"))
NL = b"\r\n" if WINDOWS else b"\n"
P = b"Please enter a guess between 1 and 100: "
LOW = b"Your guess was too low." + NL + NL
HIGH = b"Your guess was too high." + NL + NL
HIT = b"Your guess was correct!" + NL + NL
AGAIN = b"Play again? (Y/N)" + NL
LOST = b"guess: could not write to standard output" + NL
HUNG_UP = b"guess: could not read standard input: Input/output error" + NL
# Starts a command with its standard input and output left non-blocking, as a parent may leave them.
NON_BLOCKING = [sys.executable, "-c", "import os, sys; os.set_blocking(0, False); "
                "os.set_blocking(1, False); os.execvp(sys.argv[1], sys.argv[1:])"]
CRLF = b"\r\n"  # a line end on a terminal's screen
# Wine's console draws with escape sequences (cursor hidden while drawing, line cleared) and steps
# over the prompt's trailing blank; it writes CR CR LF where the game wrote CR LF.
CURSOR_FORWARD = re.compile(rb"\x1b\[(\d*)C")
ESCAPE = re.compile(rb"\x1b\[[0-?]*[ -/]*[@-~]|\x1b\][^\x07]*\x07")


def share_clock_state():
    """Starts the process that holds libfaketime's shared state for every game of this run, and
    returns it with the FAKETIME_SHARED that names that state, or "" where it holds none.
    libfaketime keeps the state in a semaphore and shared memory in /dev/shm, named after the
    process it is loaded into, and removes them only if that process calls exit(), which an
    emulator such as qemu-user never does. The holder is an awk that tells the names it made,
    and calls exit() once its input closes, as it does when this run ends, however it ends."""
    tell_then_wait = ('BEGIN { print ENVIRON["FAKETIME_SHARED"]; fflush();'
                      ' while ((getline line) > 0); }')
    holder = subprocess.Popen(["awk", tell_then_wait], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE,
                              env=dict(os.environ, LD_PRELOAD=FAKETIME, FAKETIME="+0"))
    # "" where files left by an earlier process with the same id stood in the way; each game
    # then tries to make its own, as the holder did, and runs without them where it cannot.
    return holder, holder.stdout.readline().decode().strip()


FAKETIME = os.environ.get("GUESS_FAKETIME")  # libfaketime's library, where the tests use it
CLOCK_HOLDER, CLOCK_STATE = share_clock_state() if FAKETIME else (None, "")


def at(moment):
    """The command that runs the game with the clock frozen at `moment` (UTC) by libfaketime,
    preloaded into the game or into the emulator that runs it (which keeps it from its guest)."""
    shared = ["FAKETIME_SHARED=" + CLOCK_STATE] if CLOCK_STATE else []
    return ["env", "TZ=UTC", "LD_PRELOAD=" + FAKETIME, "FAKETIME=" + moment] + shared + COMMAND


def statically_linked(path):
    """Whether the ELF program at `path` is statically linked: it names no interpreter."""
    with open(path, "rb") as program:
        header = program.read(64)
        wide, order = header[4] == 2, "<" if header[5] == 1 else ">"
        (table,) = struct.unpack_from(order + ("Q" if wide else "I"), header, 32 if wide else 28)
        size, count = struct.unpack_from(order + "HH", header, 54 if wide else 42)
        program.seek(table)
        entries = program.read(size * count)
    PT_INTERP = 3
    return all(struct.unpack_from(order + "I", entries, i * size)[0] != PT_INTERP
               for i in range(count))


def preloaded():
    """Whether libfaketime, preloaded, is loaded into the process that runs the game. A
    statically linked program (the emulator that runs the game, say) loads nothing; a dynamically
    linked one that does not load it is a fault of the tests."""
    game = subprocess.Popen(at("2026-01-01 00:00:00"), stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE)
    with game.stdin, game.stdout:
        game.stdout.read(len(P))  # it waits for a guess
        with open(f"/proc/{game.pid}/maps") as maps:
            loaded = os.path.basename(FAKETIME) in maps.read()
        static = statically_linked(f"/proc/{game.pid}/exe")
        game.kill()
    game.wait()
    if not loaded and not static:
        raise AssertionError(f"{FAKETIME} is not loaded into the game's dynamic program")
    return loaded


def why_no_frozen_clock():
    """Why libfaketime cannot freeze the game's clock here, or "" where it can."""
    if WINDOWS:
        return "libfaketime freezes the clock of Linux programs only"
    if SANITIZED:
        return "libfaketime's start-up deadlocks in AddressSanitizer's allocator"
    if CLOCK_UNREACHABLE:
        return "libfaketime cannot reach this program's 64-bit clock"
    if not preloaded():
        return "libfaketime cannot be preloaded into the program that runs the game, a static one"
    return ""


NO_FROZEN_CLOCK = why_no_frozen_clock()


class Game:
    """The game running with pipes on its standard streams."""

    ENTER = NL

    def __init__(self, command=COMMAND, stdout=subprocess.PIPE):
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=stdout,
                                        stderr=subprocess.PIPE)
        self.output = self.process.stdout

    def send(self, data):
        self.process.stdin.write(data)
        self.process.stdin.flush()

    def shows(self, output, typed=b""):
        """What is seen of the game writing `output` after `typed` was typed."""
        return output

    def read(self, *endings, seconds=30, piece=65536, pause=0):
        """Reads what is seen, at most `piece` bytes every `pause` seconds, until it shows one of
        `endings` last, or until the output ends."""
        endings = tuple(map(self.shows, endings))
        output = b""
        while not endings or not self.seen(output).endswith(endings):
            if not select.select([self.output], [], [], seconds)[0]:
                self.process.kill()
                raise AssertionError(f"no output for {seconds} s after {output!r}")
            try:
                chunk = os.read(self.output.fileno(), piece)
            except OSError:  # a terminal whose game side is closed
                chunk = b""
            if not chunk:
                self.output.close()
                break
            output += chunk
            time.sleep(pause)
        return self.seen(output)

    @staticmethod
    def seen(output):
        return output

    def peak_memory_kib(self):
        with open(f"/proc/{self.process.pid}/status") as status:
            return next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))

    def processor_seconds(self):
        """The processor time the game has used so far, user plus system."""
        with open(f"/proc/{self.process.pid}/stat") as stat:
            fields = stat.read().rpartition(")")[2].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def finish(self):
        """Closes the game's input and returns its exit status and what it wrote as errors."""
        self.process.stdin.close()
        with self.process.stderr as errors:
            return self.process.wait(timeout=30), errors.read()


class WasiGame(Game):
    """The WebAssembly game under a runner that tells how much memory the game holds; the
    process's own is mostly Node.js's, whose buffers grow with the input they pass on."""

    def __init__(self):
        self.folder = tempfile.TemporaryDirectory()
        self.memory_file = os.path.join(self.folder.name, "memory")
        runner, program = COMMAND
        super().__init__([runner, f"--memory-file={self.memory_file}", program])

    def peak_memory_kib(self):
        with open(self.memory_file) as memory:
            return int(memory.read())


class Terminal(Game):
    """The game with a pseudo-terminal on its standard streams, on which keys are typed; under
    Wine the program gets a console on it, as on Windows."""

    ENTER = b"\r"

    def __init__(self, command=COMMAND, canonical=True, minimum=1, tenths=0, errors=None):
        """`errors`: where standard error goes, if not to the terminal."""
        screen, terminal = pty.openpty()
        # Without line editing a read waits for `minimum` keys, or `tenths` of a second after the
        # last; with neither, as after `stty -icanon min 0 time 0`, it returns at once.
        modes = termios.tcgetattr(terminal)
        modes[3] = modes[3] | termios.ICANON if canonical else modes[3] & ~termios.ICANON
        modes[6][termios.VMIN], modes[6][termios.VTIME] = minimum, tenths
        if WINDOWS:  # else the terminal takes Ctrl-Z, and the line typed so far, as its suspend key
            modes[6][termios.VSUSP] = b"\0"  # _POSIX_VDISABLE
        termios.tcsetattr(terminal, termios.TCSANOW, modes)
        self.process = subprocess.Popen(command, stdin=terminal, stdout=terminal,
                                        stderr=errors or terminal, start_new_session=True)
        os.close(terminal)
        self.output = open(screen, "rb", buffering=0)

    def send(self, data):
        # Wine's console makes the terminal raw at the game's first read; keys typed earlier
        # would reach it cooked, with Enter as ^J.
        for _ in range(3000):
            if not WINDOWS or not termios.tcgetattr(self.output)[3] & termios.ICANON:
                break
            time.sleep(0.01)
        os.write(self.output.fileno(), data)

    def shows(self, output, typed=b""):
        return (typed + output).replace(NL, CRLF)

    @staticmethod
    def seen(output):
        if not WINDOWS:
            return output
        output = CURSOR_FORWARD.sub(lambda blanks: b" " * int(blanks[1] or 1), output)
        return ESCAPE.sub(b"", output).replace(b"\r" + CRLF, CRLF)

    def finish(self):
        return self.process.wait(timeout=30)


class GameProcessTest(unittest.TestCase):
    def find_secret(self, game):
        """Halves the range until the secret is hit, checking every reply byte for byte."""
        low, high = 1, 100
        while low <= high:
            guess = (low + high) // 2
            line = b"%d" % guess
            game.send(line + game.ENTER)
            reply = game.read(P, AGAIN)
            if reply == game.shows(LOW + P, line + NL):
                low = guess + 1
            elif reply == game.shows(HIGH + P, line + NL):
                high = guess - 1
            else:
                self.assertEqual(reply, game.shows(HIT + AGAIN, line + NL))
                return guess
        self.fail("the replies point to no secret")

    def play_rounds(self, rounds, command=COMMAND):
        """Plays by sending each guess only after the whole reply; returns the secrets."""
        game = Game(command)
        self.assertEqual(game.read(P), P)
        secrets = []
        for answer in [b"y", b"Y", b"x"][: rounds - 1] + [b"n"]:
            secrets.append(self.find_secret(game))
            game.send(answer + NL)
            self.assertEqual(game.read(P), NL + P if answer != b"n" else NL)
        self.assertEqual(game.finish(), (0, b""))
        return secrets

    def assert_waits_asleep(self, game, seconds=1):
        """Lets `seconds` pass and checks that the game waited all along, using next to no
        processor time: it sleeps until its stream is ready rather than asking again and again."""
        before = game.processor_seconds()
        time.sleep(seconds)
        self.assertIsNone(game.process.poll(), "the game ended rather than waiting")
        used = game.processor_seconds() - before
        self.assertLess(used, seconds / 10, f"processor time used during a wait of {seconds} s")

    def test_plays_rounds_through_pipes_without_stalling(self):
        self.assertEqual(len(self.play_rounds(3)), 3)

    @unittest.skipIf(NO_FROZEN_CLOCK, NO_FROZEN_CLOCK)
    def test_secrets_follow_the_low_32_bits_of_the_clock(self):
        secrets = self.play_rounds(4, at("2026-01-01 00:00:00"))
        self.assertEqual(secrets, secrets_for_seed(1767225600, 4))
        self.assertEqual(self.play_rounds(4, at("2026-01-01 00:00:00")), secrets)
        self.assertEqual(self.play_rounds(4, at("2162-02-07 06:28:16")), secrets)  # 2^32 s on
        self.assertNotEqual(self.play_rounds(4, at("2026-01-01 00:00:01")), secrets)

    def test_plays_a_round_typed_on_a_terminal(self):
        game = Terminal()
        self.assertEqual(game.read(P), P)  # before any key is typed
        self.find_secret(game)
        game.send(b"n" + game.ENTER)
        self.assertEqual(game.read(), game.shows(NL, b"n" + NL))
        self.assertEqual(game.finish(), 0)

    def test_end_of_input_typed_on_a_terminal_ends_the_game_on_a_typed_line_too(self):
        if WINDOWS:  # Ctrl-Z then Enter, echoed as ^Z; 0 is too low whatever the clock picks
            # Wine's console draws no blank at the end of a line, as after the last prompt here.
            rows = [(1, b"\x1a\r", b"^Z" + NL), (1, b"-\x1a\r", b"-^Z" + NL),
                    (1, b"0\x1a\r", b"0^Z" + NL + LOW + P.rstrip())]
        else:  # Ctrl-D, which with line editing ends the input whatever MIN is; the first secret
            # with the clock frozen at 2026-01-01 00:00:00 is 71
            rows = [(1, b"\x04", b""), (0, b"\x04", b""), (1, b"-\x04\x04", b"-"),
                    (1, b"50\x04\x04", b"50" + LOW + P), (1, b"71\x04\x04", b"71" + HIT + AGAIN)]
        for minimum, keys, output in rows:
            with self.subTest(keys=keys, minimum=minimum):
                if not WINDOWS and NO_FROZEN_CLOCK and keys[:1].isdigit():
                    self.skipTest("the secret needs a frozen clock: " + NO_FROZEN_CLOCK)
                frozen = not NO_FROZEN_CLOCK
                game = Terminal(at("2026-01-01 00:00:00") if frozen else COMMAND, minimum=minimum)
                self.assertEqual(game.read(P), P)
                game.send(keys)
                self.assertEqual((game.read(), game.finish()), (game.shows(output + NL), 1))

    @unittest.skipIf(WINDOWS, "terminal modes are POSIX matters; Wine's console sets its own")
    @unittest.skipIf(WASI, "WASI has no terminal modes, so a WASI program cannot tell a terminal"
                     " at MIN 0, whose reads return at once, or one that hung up, from the end of"
                     " its input")
    def test_a_terminal_is_waited_on_until_it_hangs_up_which_is_reported(self):
        # Terminals as programs leave them: at MIN 0, as a crashed full-screen program may, where
        # a read that returns nothing is no end of input; non-blocking; or the game stopped
        # (Ctrl-Z) when the terminal hangs up.
        for canonical, minimum, tenths, non_blocking, stopped in [
                (False, 0, 0, False, False), (True, 1, 0, True, False), (False, 0, 3, True, False),
                (True, 1, 0, False, True)]:
            with self.subTest(canonical=canonical, minimum=minimum, tenths=tenths,
                              non_blocking=non_blocking, stopped=stopped):
                game = Terminal((NON_BLOCKING if non_blocking else []) + COMMAND, canonical,
                                minimum, tenths, errors=subprocess.PIPE)
                self.assertEqual(game.read(P), P)
                self.assert_waits_asleep(game)
                for line, reply in [(b"0", LOW + P), (b"101", HIGH + P)]:
                    game.send(line + game.ENTER)
                    self.assertEqual(game.read(P), game.shows(reply, line + NL))
                if stopped:
                    game.process.send_signal(signal.SIGSTOP)
                game.output.close()  # the terminal hangs up
                if stopped:
                    game.process.send_signal(signal.SIGCONT)
                self.assertEqual((game.finish(), game.process.stderr.read()), (1, HUNG_UP + LOST))

    def test_skips_bad_lines_judges_huge_numbers_and_fails_at_the_end(self):
        game = Game()
        self.assertEqual(game.read(P), P)
        for line, reply in [(b"abc", P), (b"99999999999", HIGH + P),
                            (b"\0\xff" + NL + b"-99999999999", P + LOW + P),
                            # Windows' text mode ends piped input at a Ctrl-Z byte; nothing after
                            # it is read, and the game's answer is the closing line end below.
                            (b"x\x1ay" + NL + b"0", b"" if WINDOWS else P + LOW + P)]:
            game.send(line + NL)
            self.assertEqual(game.read(reply), reply)
        self.assertEqual(game.finish(), (1, b""))
        self.assertEqual(game.read(), NL)

    def test_unwritable_output_fails_with_a_message(self):
        for full in [True, False]:
            with open("/dev/full", "wb") as device:
                game = Game(stdout=device if full else subprocess.PIPE)
            if not full:
                game.process.stdout.close()  # the reader goes away
            self.assertEqual(game.finish(), (1, LOST))
        if not WINDOWS:  # started with standard output closed, as by >&-
            result = subprocess.run(COMMAND, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.PIPE, preexec_fn=lambda: os.close(1),
                                    timeout=30)
            self.assertEqual((result.returncode, result.stderr), (1, LOST))

    @unittest.skipIf(WINDOWS, "non-blocking streams and these read errors are POSIX matters")
    def test_failed_reads_are_reported_and_end_the_game(self):
        directory = os.open("/", os.O_RDONLY)
        self.addCleanup(os.close, directory)
        # node:wasi refuses to read a directory as a file descriptor that reads nothing.
        in_directory = b"Bad file descriptor" if WASI else b"Is a directory"
        for options, reason in [(dict(stdin=directory), in_directory),
                                (dict(stdin=subprocess.DEVNULL, preexec_fn=lambda: os.close(0)),
                                 b"Bad file descriptor")]:
            result = subprocess.run(COMMAND, capture_output=True, timeout=30, **options)
            self.assertEqual((result.returncode, result.stdout, result.stderr),
                             (1, P + NL, b"guess: could not read standard input: " + reason + NL))

    @unittest.skipIf(WINDOWS, "non-blocking streams and these read errors are POSIX matters")
    def test_non_blocking_streams_wait_asleep_and_lose_nothing(self):
        game = Game(NON_BLOCKING + COMMAND)
        self.assertEqual(game.read(P), P)
        self.assert_waits_asleep(game)  # for the first guess, rather than taking it as the end
        guesses = 30000  # 2 MB of replies, all between two reads of input
        game.send((b"0" + NL) * guesses)
        game.process.stdin.close()
        self.assert_waits_asleep(game)  # the replies fill the pipe, and the game waits for a reader
        # A reader that takes 16 KiB at a time leaves room for only part of most writes.
        self.assertEqual(game.read(piece=16384, pause=0.001), (LOW + P) * guesses + NL)
        self.assertEqual(game.finish(), (1, b""))

    @unittest.skipIf(WINDOWS or SANITIZED, "only the game's own memory counts")
    def test_endless_input_keeps_memory_small(self):
        for data, output in [(b"x" * (64 << 20), NL), (b"9" * (64 << 20), HIGH + P + NL)]:
            game = WasiGame() if WASI else Game()
            self.assertEqual(game.read(P), P)
            # Under an emulator the process's memory is mostly the emulator's, there from the start.
            at_start = game.peak_memory_kib()
            game.send(data)
            self.assertLess(game.peak_memory_kib() - at_start, 4 * 1024)
            self.assertEqual(game.finish()[0], 1)
            self.assertEqual(game.read(), output)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
