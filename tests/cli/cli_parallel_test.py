#!/usr/bin/env python3
"""telvarn -j: many files at once, with the lines, messages (in their places among the
lines) and exit status of coreutils run on the same arguments, one file after another;
check lists likewise; files held back by a FIFO the test controls; memory bounded by
the threads, not by the files.

usage: cli_parallel_test.py [--sanitized] COMMAND...   (see cli_support.py)
"""
import errno
import os
import random
import subprocess
import sys
import time

from cli_support import COMMAND, ENV, ON_WINE, RUN_TIMEOUT_SECONDS, check, run_area, skip, write

# Generous: a sanitized program, or one under Wine, on a loaded machine starts slowly.
WAIT_SECONDS = 120


def combined(command, stdin=b""):
    """Exit code and what the command wrote to standard output and standard error, both
    into one file, in the order written."""
    with open("combined", "w+b") as out:
        code = subprocess.run(command, input=stdin, stdout=out, stderr=out, timeout=RUN_TIMEOUT_SECONDS,
                              env=ENV).returncode
        out.seek(0)
        return code, out.read()


def gnu_combined(tool, args, stdin=b""):
    """coreutils with its standard output unbuffered, so that its messages fall among its
    lines where they were written, and its name replaced by telvarn's."""
    code, text = combined(["stdbuf", "-o0", tool] + args, stdin)
    return code, text.replace(tool.encode() + b": ", b"telvarn: ")


def same_as_gnu(tool, algorithm, args, stdin=b"", what=""):
    expected = gnu_combined(tool, args, stdin)
    for jobs in ("1", "2", "5"):
        got = combined(COMMAND + [algorithm, "-j", jobs] + args, stdin)
        check(got == expected, "%s -j %s %s: %r, coreutils %r" % (what, jobs, args, got, expected))


def test_order_and_errors():
    rng = random.Random(31)
    # Sizes from nothing past the module's read-ahead, so that jobs end out of order.
    sizes = [0, 1, 4096, 65537, 1 << 20, 40 << 20, 3, 200000, 0, 5 << 20, 123456]
    names = ["f%02d" % i for i in range(len(sizes))]
    for name, size in zip(names, sizes):
        write(name, rng.randbytes(size))
    os.mkdir("folder")
    listed = names[:5] + ["missing", names[5], "folder"] + names[6:]
    same_as_gnu("sha256sum", "sha256", listed, what="files, a missing one and a folder")
    same_as_gnu("md5sum", "md5", ["f05", "-", "f01", "-", "f00"], stdin=b"read once", what="standard input twice")

    good = subprocess.run(["sha256sum"] + names, capture_output=True).stdout.splitlines(keepends=True)
    digest = good[1][:64]
    lines = (good[:3] + [b"not a line\n", digest + b"  missing\n"] + good[3:6] + [b"0" * 64 + b"  f06\n"] +
             [digest + b"  folder\n", b"# comment\n"] + good[6:])
    write("LIST", b"".join(lines))
    for options in ([], ["--warn"], ["--quiet", "--strict"], ["--status"], ["--ignore-missing", "-w"]):
        same_as_gnu("sha256sum", "sha256", ["-c"] + options + ["LIST"], what="check list")
    same_as_gnu("sha256sum", "sha256", ["-c", "-w", "-"], stdin=b"".join(lines), what="check list on stdin")


def reader_opened(fifo):
    """Whether a reader holds the FIFO open: opening it to write without blocking fails
    with ENXIO while nobody reads."""
    try:
        os.close(os.open(fifo, os.O_WRONLY | os.O_NONBLOCK))
        return True
    except OSError as error:
        if error.errno != errno.ENXIO:
            raise
        return False


def test_held_fifo():
    """The second name is a FIFO held shut while a later FIFO is read and released first:
    the later files are done before the held one, and still come after it."""
    if ON_WINE:
        skip("held FIFO", "a Windows program reads a FIFO only through Wine's own pipe emulation")
        return
    rng = random.Random(32)
    contents = {"a": rng.randbytes(5000), "held": rng.randbytes(70000), "b": b"", "c": rng.randbytes(300),
                "later": rng.randbytes(9000), "d": rng.randbytes(100000)}
    os.mkdir("ref")
    for name, data in contents.items():
        write(os.path.join("ref", name), data)
        if name not in ("held", "later"):
            write(name, data)
    os.mkfifo("held")
    os.mkfifo("later")
    names = list(contents)
    with open("out", "wb") as out:
        process = subprocess.Popen(COMMAND + ["sha1", "-j", "3"] + names, stdout=out, stderr=out, env=ENV)
    deadline = time.monotonic() + WAIT_SECONDS
    # The pause only paces the polling; the deadline is for a program that never gets there.
    while not reader_opened("later") and time.monotonic() < deadline and process.poll() is None:
        time.sleep(0.02)
    check(reader_opened("later"), "a thread reached the later FIFO while the first was held")
    for fifo in ("later", "held"):
        with open(fifo, "wb") as f:
            f.write(contents[fifo])
    code = process.wait(timeout=WAIT_SECONDS)
    with open("out", "rb") as f:
        got = f.read()
    expected = subprocess.run(["sha1sum"] + names, cwd="ref", capture_output=True).stdout
    check(code == 0 and got == expected, "held FIFO: %d %r, coreutils %r" % (code, got, expected))


def peak_kib(args):
    """Peak resident memory of telvarn alone, as GNU time measures it."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + COMMAND + args, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, env=ENV, timeout=RUN_TIMEOUT_SECONDS)
    return int(result.stderr.split()[-1])


def test_bounded_memory():
    if ON_WINE or not os.path.exists("/usr/bin/time"):
        skip("memory of 10,000 files", "GNU time measures Wine's loader, not the program")
        return
    os.mkdir("many")
    names = ["many/%05d" % i for i in range(10000)]
    for name in names:
        write(name, b"x" * 3000)
    few = peak_kib(["sha256", "-j", "4"] + names[:100])
    many = peak_kib(["sha256", "-j", "4"] + names)
    # The names themselves (the arguments, and one copy) take about 0.3 MiB.
    check(many - few < 4096, "10,000 files peak at %d KiB, 100 files at %d KiB" % (many, few))


def test_parallel():
    test_order_and_errors()
    test_held_fifo()
    test_bounded_memory()


if __name__ == "__main__":
    sys.exit(run_area("parallel", test_parallel))
