#!/usr/bin/env python3
"""telvarn --progress: a line on standard error while an input is read, erased before
the result; nothing without the option; with -j, the bytes of every file in flight
counted together. The inputs are pipes the test holds open, so the line is seen while
the jobs are known to be running.

usage: cli_progress_test.py [--sanitized] COMMAND...   (see cli_support.py)
"""
import base64
import hashlib
import os
import re
import subprocess
import sys
import time

from cli_support import COMMAND, ENV, ON_WINE, check, run, run_area, skip, write

# Generous: a sanitized program, or one under Wine, on a loaded machine starts slowly.
WAIT_SECONDS = 120


def held_run(args, first, rest):
    """Runs telvarn ARGS on standard input from a pipe: writes `first`, waits until a
    progress line shows on standard error, then writes `rest` and ends the input.
    Returns the exit code, the output, the messages and whether the line was seen
    while the input was held. Output and messages go to files, which a Wine server
    cannot keep open past the program's end."""
    with open("out", "wb") as out, open("err", "wb") as err:
        process = subprocess.Popen(COMMAND + args, stdin=subprocess.PIPE, stdout=out, stderr=err, env=ENV)
    process.stdin.write(first)
    process.stdin.flush()
    deadline = time.monotonic() + WAIT_SECONDS
    seen = False
    # The pause only paces the polling of the messages file.
    while not seen and time.monotonic() < deadline and process.poll() is None:
        time.sleep(0.05)
        with open("err", "rb") as f:
            seen = b"standard input: " in f.read()
    process.stdin.write(rest)
    process.stdin.close()
    code = process.wait(timeout=WAIT_SECONDS)
    with open("out", "rb") as out, open("err", "rb") as err:
        return code, out.read(), err.read(), seen


def test_progress():
    first, rest = os.urandom(3 << 20), os.urandom(1 << 20)
    code, out, err, seen = held_run(["sha256", "--progress"], first, rest)
    expected = hashlib.sha256(first + rest).hexdigest()
    check(code == 0 and out == ("%s  -\n" % expected).encode(), "sha256 --progress: %d %r %r" % (code, out, err))
    check(seen, "the progress line shows while the input is held: %r" % err)
    lines = [line for line in err.split(b"\r") if line.strip()]
    check(all(re.fullmatch(rb"standard input: \d+(\.\d)? (B|KiB|MiB)(, \d+(\.\d)? (B|KiB|MiB|GiB)/s)? *", line)
              for line in lines), "only progress lines: %r" % err)
    check(err.endswith(b"\r") and err.rsplit(b"\r", 2)[-2].strip() == b"", "the line is erased at the end: %r" % err)

    code, out, err, seen = held_run(["base64", "--progress"], first, rest)
    check(code == 0 and out.replace(b"\n", b"") == base64.b64encode(first + rest), "base64 --progress output")
    check(seen and err.endswith(b"\r"), "base64 --progress line, erased: %r" % err[-80:])

    write("file", first)
    for args in (["sha256", "file"], ["base64", "file"], ["sha256", "--progress", "file"]):
        code, out, err = run(args)
        if args[1] != "--progress":
            check(code == 0 and err == b"", "no line without --progress: %s: %r" % (args, err))
        else:
            # The line, if one was drawn before the job ended, is erased; nothing else.
            check(code == 0 and all(not line.strip() or line.startswith(b"file: ") for line in err.split(b"\r")),
                  "%s: %r" % (args, err))


def mebibytes(text):
    number, unit = text.split()
    return float(number) * {b"B": 1, b"KiB": 1 << 10, b"MiB": 1 << 20, b"GiB": 1 << 30}[unit] / (1 << 20)


def test_files_in_flight():
    """Two FIFOs, each given 1 MiB and held open: the line counts both together."""
    if ON_WINE:
        skip("--progress of files in flight", "a Windows program reads a FIFO only through Wine's pipe emulation")
        return
    first, rest = os.urandom(1 << 20), os.urandom(1000)
    for name in ("one", "two"):
        os.mkfifo(name)
    with open("out", "wb") as out, open("err", "wb") as err:
        process = subprocess.Popen(COMMAND + ["md5", "-j", "2", "--progress", "one", "two"], stdout=out,
                                   stderr=err, env=ENV)
    # Opening a FIFO waits for its reader: both are read at once, or this never returns.
    writers = [open(name, "wb") for name in ("one", "two")]
    for writer in writers:
        writer.write(first)
        writer.flush()
    deadline = time.monotonic() + WAIT_SECONDS
    most = 0.0
    # The pause only paces the polling of the messages file.
    while most < 1.5 and time.monotonic() < deadline and process.poll() is None:
        time.sleep(0.05)
        with open("err", "rb") as f:
            shown = re.findall(rb"2 files: (\d+(?:\.\d)? (?:B|KiB|MiB))", f.read())
        most = max([most] + [mebibytes(text) for text in shown])
    check(most >= 1.5, "the line counts both files' bytes together: at most %.2f MiB seen" % most)
    for writer in writers:
        writer.write(rest)
        writer.close()
    code = process.wait(timeout=WAIT_SECONDS)
    with open("out", "rb") as f:
        out = f.read()
    expected = "".join("%s  %s\n" % (hashlib.md5(first + rest).hexdigest(), name) for name in ("one", "two"))
    check(code == 0 and out == expected.encode(), "md5 -j 2 --progress of two FIFOs: %d %r" % (code, out))


def main():
    def body():
        test_progress()
        test_files_in_flight()
    return run_area("progress", body)


if __name__ == "__main__":
    sys.exit(main())
