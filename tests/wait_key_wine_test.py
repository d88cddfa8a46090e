#!/usr/bin/env python3
"""The Windows key wait at a console, under Wine on a pseudo-terminal of the test's own.

Under Wine, a program whose standard streams are a terminal gets a console that the
terminal feeds: its CONIN$ reads what is written to the terminal's master side. Each
run starts a cross-built program there, in a session of its own with the terminal as
its controlling terminal, answers its prompts and watches the screen. Every run has a
time limit, and its process group is killed when it ends, however it ends.

    wait_key_wine_test.py LOADER BUILD_DIR

LOADER is Wine's loader (/usr/lib/wine/wine64 on Debian); WINEPREFIX and the other
Wine settings come from the environment, as the test run's fixture sets them.
"""
import fcntl
import os
import re
import select
import signal
import struct
import sys
import termios
import time

LIMIT = 60  # seconds for one run: Wine's start is slow on a busy machine
QUIET = 1.0  # seconds in which a wait that should go on must not end

FIBTERM_PROMPT = "enter value to find fibonacci term of value:"
FIBTERM_RESULT = "10 nin fibonaccisi: 55"

# Keys as a terminal sends them; each must end the wait on its own.
KEYS = [
    ("a letter", b"x"),
    ("Escape", b"\x1b"),
    ("the up arrow", b"\x1b[A"),
    ("F5", b"\x1b[15~"),
]


class Screen:
    """The text that Wine's console draws on the terminal, as lines.

    Wine draws character by character with cursor movements and erasures rather
    than plain text, so the bytes are played onto a grid: printable characters,
    CR, LF, backspace, CSI cursor movement (A B C D H f), erasure (J K); other
    control sequences change nothing that is read here."""

    CSI = re.compile(rb"\x1b\[([0-9;?]*)([@-~])")

    def __init__(self):
        self.lines = [[]]
        self.row = 0
        self.col = 0

    def feed(self, data):
        i = 0
        while i < len(data):
            byte = data[i]
            if byte == 0x1B:
                match = self.CSI.match(data, i)
                if match:
                    self._control(match.group(1).decode(), match.group(2).decode())
                    i = match.end()
                else:
                    i += 2
                continue
            if byte == 0x0D:
                self.col = 0
            elif byte == 0x0A:
                self._move(self.row + 1, self.col)
            elif byte == 0x08:
                self.col = max(0, self.col - 1)
            elif byte >= 0x20:
                self._put(chr(byte))
            i += 1

    def text(self):
        return ["".join(line).rstrip() for line in self.lines]

    def _move(self, row, col):
        self.row, self.col = max(0, row), max(0, col)
        while len(self.lines) <= self.row:
            self.lines.append([])

    def _put(self, char):
        line = self.lines[self.row]
        while len(line) < self.col:
            line.append(" ")
        if self.col < len(line):
            line[self.col] = char
        else:
            line.append(char)
        self.col += 1

    def _control(self, params, final):
        if params.startswith("?"):
            return
        numbers = [int(p) if p else 0 for p in params.split(";")] if params else []
        count = max(1, numbers[0]) if numbers else 1
        if final == "A":
            self._move(self.row - count, self.col)
        elif final == "B":
            self._move(self.row + count, self.col)
        elif final == "C":
            self._move(self.row, self.col + count)
        elif final == "D":
            self._move(self.row, self.col - count)
        elif final in "Hf":
            row = numbers[0] if numbers else 1
            col = numbers[1] if len(numbers) > 1 else 1
            self._move(max(1, row) - 1, max(1, col) - 1)
        elif final == "K":
            mode = numbers[0] if numbers else 0
            line = self.lines[self.row]
            if mode == 0:
                del line[self.col:]
            elif mode == 1:
                line[: self.col + 1] = [" "] * min(len(line), self.col + 1)
            else:
                line.clear()
        elif final == "J":
            mode = numbers[0] if numbers else 0
            if mode == 0:
                del self.lines[self.row][self.col:]
                del self.lines[self.row + 1:]
            else:
                self.lines = [[] for _ in self.lines]


class Failure(Exception):
    pass


class Run:
    """One program under Wine on a new pseudo-terminal of 80 by 24."""

    def __init__(self, loader, program):
        self.master, self.slave = os.openpty()
        fcntl.ioctl(self.slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
        self.settings = termios.tcgetattr(self.slave)
        self.screen = Screen()
        self.raw = b""
        self.status = None
        self.deadline = time.monotonic() + LIMIT
        self.pid = os.fork()
        if self.pid == 0:
            try:
                os.setsid()
                fcntl.ioctl(self.slave, termios.TIOCSCTTY, 0)
                for fd in (0, 1, 2):
                    os.dup2(self.slave, fd)
                os.closerange(3, 256)
                os.execv(loader, [loader, program])
            finally:
                os._exit(127)

    def type(self, data):
        """Writes what a person types, once Wine's console reads the terminal. Wine
        puts the terminal in raw mode only as a read starts, just after the prompt
        is drawn; before that the terminal itself would turn Enter's CR into a LF,
        which Wine's console takes as Ctrl-J."""
        while termios.tcgetattr(self.slave)[3] & termios.ICANON:
            if self.status is not None or time.monotonic() >= self.deadline:
                raise Failure(f"Wine's console did not read the terminal: {self.screen.text()!r}")
            self.pump(0.01)
        os.write(self.master, data)

    def pump(self, seconds):
        """Reads what the program draws for up to the given time, and reaps it if it
        has ended; returns early once it has ended."""
        end = min(time.monotonic() + seconds, self.deadline)
        while self.status is None:
            remaining = end - time.monotonic()
            if remaining <= 0:
                return
            ready, _, _ = select.select([self.master], [], [], min(remaining, 0.05))
            if ready:
                data = os.read(self.master, 65536)
                self.raw += data
                self.screen.feed(data)
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid == self.pid:
                self.status = os.waitstatus_to_exitcode(status)
                self.pump_drawn()

    def pump_drawn(self):
        """What was drawn before the end and is still to be read."""
        while select.select([self.master], [], [], 0.05)[0]:
            data = os.read(self.master, 65536)
            if not data:
                return
            self.raw += data
            self.screen.feed(data)

    def wait_for_line(self, line):
        while line not in self.screen.text():
            if self.status is not None or time.monotonic() >= self.deadline:
                raise Failure(f"no line {line!r} on the screen: {self.screen.text()!r}")
            self.pump(0.1)

    def wait_for_end(self):
        self.pump(LIMIT)
        if self.status is None:
            raise Failure(f"still running after {LIMIT} s: {self.screen.text()!r}")
        return self.status

    def close(self):
        try:
            os.killpg(self.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        if self.status is None:
            os.waitpid(self.pid, 0)
        os.close(self.master)
        os.close(self.slave)


def key_ends_wait(loader, build_dir, key):
    run = Run(loader, os.path.join(build_dir, "fibterm.exe"))
    try:
        run.wait_for_line(FIBTERM_PROMPT)
        run.type(b"10\r")
        run.wait_for_line(FIBTERM_RESULT)
        # The Enter that ended the entry is not the key.
        run.pump(QUIET)
        if run.status is not None:
            raise Failure(f"the wait ended without a key, status {run.status}")
        drawn = run.screen.text()
        run.type(key)
        status = run.wait_for_end()
        if status != 0:
            raise Failure(f"status {status} after the key")
        if run.screen.text() != drawn:
            raise Failure(f"the key changed the screen: {drawn!r} became {run.screen.text()!r}")
        settings = termios.tcgetattr(run.slave)
        if settings != run.settings:
            raise Failure(f"terminal settings {run.settings!r} became {settings!r}")
    finally:
        run.close()


def diagnostic_on_its_own_line(loader, build_dir):
    run = Run(loader, os.path.join(build_dir, "divcheck.exe"))
    try:
        run.wait_for_line("enter sayi:")
        run.type(b"10\r")
        run.wait_for_line("enter bolen:")
        run.type(b"0\r")
        status = run.wait_for_end()
        if status != 1:
            raise Failure(f"status {status}, not 1: {run.screen.text()!r}")
        if "divcheck: the divisor can't be zero" not in run.screen.text():
            raise Failure(f"no diagnostic line on the screen: {run.screen.text()!r}")
    finally:
        run.close()


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    loader, build_dir = sys.argv[1:]
    cases = [(f"{name} ends the wait, unechoed, the terminal as it was",
              lambda key=key: key_ends_wait(loader, build_dir, key)) for name, key in KEYS]
    cases.append(("divcheck's zero divisor: status 1, the diagnostic on a line of its own",
                  lambda: diagnostic_on_its_own_line(loader, build_dir)))
    failed = 0
    for name, case in cases:
        started = time.monotonic()
        try:
            case()
            print(f"ok   {name} ({time.monotonic() - started:.1f} s)", flush=True)
        except Failure as failure:
            failed += 1
            print(f"FAIL {name}: {failure}", flush=True)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
