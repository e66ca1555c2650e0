#!/usr/bin/env python3
"""telvarn --progress: a line on standard error while an input is read, erased before
the result; nothing without the option. The input is a named pipe the test holds
open, so the line is seen while the job is known to be running.

usage: cli_progress_test.py [--sanitized] COMMAND...   (see cli_support.py)
"""
import hashlib
import os
import re
import subprocess
import sys
import threading
import time

from cli_support import COMMAND, ENV, ON_WINE, check, run, run_area, skip, write

# Generous: a sanitized program under a loaded machine starts slowly.
WAIT_SECONDS = 120


def held_run(args, first, rest):
    """Runs telvarn ARGS on a FIFO: writes `first`, waits until a progress line shows
    on standard error, then writes `rest` and ends the input. Returns the exit code,
    the output, the messages and whether the line was seen while the input was held."""
    os.mkfifo("held")
    err_read, err_write = os.pipe()
    with open("out", "wb") as out:
        process = subprocess.Popen(COMMAND + args + ["held"], stdout=out, stderr=err_write, env=ENV)
    os.close(err_write)
    messages = bytearray()
    reader = threading.Thread(target=lambda: [messages.extend(chunk) for chunk in iter(
        lambda: os.read(err_read, 4096), b"")])
    reader.start()
    with open("held", "wb") as fifo:
        fifo.write(first)
        fifo.flush()
        deadline = time.monotonic() + WAIT_SECONDS
        while b"held: " not in messages and time.monotonic() < deadline and process.poll() is None:
            time.sleep(0.05)
        seen = b"held: " in messages
        fifo.write(rest)
    code = process.wait(timeout=WAIT_SECONDS)
    reader.join()
    os.close(err_read)
    os.unlink("held")
    with open("out", "rb") as f:
        return code, f.read(), bytes(messages), seen


def test_progress():
    if ON_WINE:
        skip("--progress on a held named pipe", "a Windows program cannot open a POSIX FIFO under Wine")
        return
    first, rest = os.urandom(3 << 20), os.urandom(1 << 20)
    code, out, err, seen = held_run(["sha256", "--progress"], first, rest)
    expected = hashlib.sha256(first + rest).hexdigest()
    check(code == 0 and out == ("%s  held\n" % expected).encode(), "sha256 --progress: %d %r %r" % (code, out, err))
    check(seen, "the progress line shows while the input is held: %r" % err)
    lines = [line for line in err.split(b"\r") if line.strip()]
    check(all(re.fullmatch(rb"held: \d+(\.\d)? (B|KiB|MiB)(, \d+(\.\d)? (B|KiB|MiB|GiB)/s)? *", line)
              for line in lines), "only progress lines: %r" % err)
    check(err.endswith(b"\r") and err.rsplit(b"\r", 2)[-2].strip() == b"", "the line is erased at the end: %r" % err)

    code, out, err, seen = held_run(["base64", "--progress"], first, rest)
    import base64
    check(code == 0 and out.replace(b"\n", b"") == base64.b64encode(first + rest), "base64 --progress output")
    check(seen and err.endswith(b"\r"), "base64 --progress line, erased: %r" % err[-80:])

    write("file", first)
    for args in (["sha256", "file"], ["base64", "file"], ["sha256", "--progress", "file"]):
        code, out, err = run(args)
        check(code == 0 and (err == b"" or args[1] == "--progress"), "%s: %r" % (args, err))
        if args[1] == "--progress":
            # The line, if one was drawn before the job ended, is erased; nothing else.
            check(all(not line.strip() or line.startswith(b"file: ") for line in err.split(b"\r")), "%r" % err)


def main():
    return run_area("progress", test_progress)


if __name__ == "__main__":
    sys.exit(main())
