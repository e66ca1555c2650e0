#!/usr/bin/env python3
"""telvarn -j and -r: many files at once, with the lines, messages (in their places
among the lines) and exit status of coreutils run on the same arguments, one file after
another; check lists likewise; files held back by a FIFO the test controls; one
stream under several names read one name after another; memory
bounded by the threads, not by the files; trees walked in the byte order of their
paths, with spaces, links, a loop and unreadable entries.

usage: cli_parallel_test.py [--sanitized] COMMAND...   (see cli_support.py)
--sanitized: no memory figures, which would be the sanitizer's.
"""
import os
import random
import shutil
import subprocess
import sys
import threading

from cli_support import COMMAND, ENV, ON_WINE, RUN_TIMEOUT_SECONDS, SANITIZED, check, run_area, skip, write

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
    if ON_WINE:
        skip("standard input under other names", "Windows has no /dev/stdin")
    else:
        # One stream, whatever its names: the first reader takes all of it.
        streamed = rng.randbytes(3 << 20)
        for listed in (["/dev/stdin", "/dev/stdin"], ["-", "f01", "/dev/stdin"], ["/dev/stdin", "-"]):
            same_as_gnu("sha256sum", "sha256", listed, stdin=streamed, what="standard input under two names")

    good = subprocess.run(["sha256sum"] + names, capture_output=True).stdout.splitlines(keepends=True)
    digest = good[1][:64]
    lines = (good[:3] + [b"not a line\n", digest + b"  missing\n"] + good[3:6] + [b"0" * 64 + b"  f06\n"] +
             [digest + b"  folder\n", b"# comment\n"] + good[6:])
    write("LIST", b"".join(lines))
    for options in ([], ["--warn"], ["--quiet", "--strict"], ["--status"], ["--ignore-missing", "-w"]):
        same_as_gnu("sha256sum", "sha256", ["-c"] + options + ["LIST"], what="check list")
    same_as_gnu("sha256sum", "sha256", ["-c", "-w", "-"], stdin=b"".join(lines), what="check list on stdin")


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
    # Opening a FIFO to write returns once a reader has opened it: "later" opens only
    # when a thread has reached it while "held", earlier in the list, stays shut.
    def write_later():
        with open("later", "wb") as f:
            f.write(contents["later"])
    writer = threading.Thread(target=write_later, daemon=True)
    writer.start()
    writer.join(WAIT_SECONDS)
    if writer.is_alive():
        check(False, "a thread reached the later FIFO while the first was held")
        process.kill()
        process.wait()
        return
    with open("held", "wb") as f:
        f.write(contents["held"])
    code = process.wait(timeout=WAIT_SECONDS)
    with open("out", "rb") as f:
        got = f.read()
    expected = subprocess.run(["sha1sum"] + names, cwd="ref", capture_output=True).stdout
    check(code == 0 and got == expected, "held FIFO: %d %r, coreutils %r" % (code, got, expected))


def test_fifo_named_twice():
    """A FIFO named twice is read twice, one reader after the other: the first reads
    what the first writer wrote, the second the empty input of the next writer."""
    if ON_WINE:
        skip("FIFO named twice", "a Windows program reads a FIFO only through Wine's own pipe emulation")
        return
    os.mkfifo("fifo")
    write("plain", b"plain")
    first = random.Random(33).randbytes(1 << 20)
    results = []
    for command in (["stdbuf", "-o0", "sha256sum"], COMMAND + ["sha256", "-j", "2"], COMMAND + ["sha256", "-j", "5"]):
        stop = threading.Event()

        def feed():
            data = first
            while not stop.is_set():
                # Opening to write waits for a reader, so each open meets the next one.
                with open("fifo", "wb") as f:
                    f.write(data)
                data = b""
        feeder = threading.Thread(target=feed, daemon=True)
        feeder.start()
        code, text = combined(command + ["fifo", "plain", "fifo"])
        stop.set()
        # A reader of the test's own lets the feeder's last open return.
        release = os.open("fifo", os.O_RDONLY | os.O_NONBLOCK)
        feeder.join(WAIT_SECONDS)
        os.close(release)
        results.append((code, text.replace(b"sha256sum: ", b"telvarn: ")))
    check(results[1:] == [results[0]] * 2, "FIFO named twice, -j 2 and -j 5: %r, coreutils %r" % (
        results[1:], results[0]))


def peak_kib(args):
    """Peak resident memory of telvarn alone, as GNU time measures it."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + COMMAND + args, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, env=ENV, timeout=RUN_TIMEOUT_SECONDS)
    return int(result.stderr.split()[-1])


def test_bounded_memory():
    if ON_WINE or SANITIZED or not os.path.exists("/usr/bin/time"):
        skip("memory of 10,000 files", "GNU time measures Wine's loader, and a sanitizer's shadow, not the program")
        return
    os.mkdir("many")
    names = ["many/%05d" % i for i in range(10000)]
    for name in names:
        write(name, b"x" * 3000)
    few = peak_kib(["sha256", "-j", "4"] + names[:100])
    many = peak_kib(["sha256", "-j", "4"] + names)
    # The names themselves (the arguments, and one copy) take about 0.3 MiB.
    check(many - few < 4096, "10,000 files peak at %d KiB, 100 files at %d KiB" % (many, few))


def tree_files(root, locked):
    """The paths -r digests under root in the order `LC_ALL=C sort` gives them, each with
    None, or a folder named in `locked` with its reason, where its paths would sort."""
    items = []
    for folder, folders, files in os.walk(root):
        for name in sorted(folders):
            path = os.path.join(folder, name)
            if name in locked:
                items.append((path, "Permission denied"))
                folders.remove(name)
        items += [(os.path.join(folder, name), None) for name in files if os.path.isfile(os.path.join(folder, name))]
    return sorted(items, key=lambda item: (item[0] + ("/" if item[1] else "")).encode())


def as_nobody():
    """The command as the user nobody runs it, and the prefix that makes a command run
    so; (COMMAND, []) where the test does not run as root, or nobody cannot run it here.
    The program runs from a copy in this area's folder: the build folder may lie below
    one that nobody cannot enter (a checkout in a mktemp -d folder), and an emulator
    that the kernel hands a 32-bit program to opens it by its path as that user."""
    if os.geteuid() != 0 or ON_WINE:
        return COMMAND, []
    os.chmod(".", 0o755)
    as_user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
    os.mkdir("program")
    os.chmod("program", 0o755)
    copy = os.path.join(os.path.abspath("program"), os.path.basename(COMMAND[-1]))
    shutil.copy2(COMMAND[-1], copy)
    command = COMMAND[:-1] + [copy]
    code, text = combined(as_user + command + ["--version"])
    if code != 0:
        skip("-r run as nobody", "nobody cannot run a program in %s: status %d, %r" % (os.getcwd(), code, text))
        return COMMAND, []
    return command, as_user


def test_recursive():
    # Run as nobody where the test runs as root, to whom no folder is unreadable.
    command, as_user = as_nobody()
    for folder in ("tree/a", "tree/a b", "tree/empty", "tree/locked", "tree/deep/er/est"):
        os.makedirs(folder)
    for name in ("tree/a file.txt", "tree/a-b", "tree/a/x", "tree/a b/y", "tree/locked/z", "tree/deep/er/est/f",
                 "tree/deep/er.txt", "single.txt", "tree/secret"):
        write(name, name.encode() * 100)
    # Wine shows a link as a reparse point, and lists no dangling one.
    os.symlink("../single.txt", "tree/link-to-file")
    os.symlink("a", "tree/link-to-folder")
    os.symlink(".", "tree/loop")
    os.symlink("nowhere", "tree/dangling")
    os.symlink("tree", "linked-tree")
    os.chmod("tree/locked", 0)
    os.chmod("tree/secret", 0)
    locked = set()
    if as_user or os.geteuid() != 0:
        locked.add("locked")
    else:
        skip("an unreadable folder in a tree", "root reads every folder, and Wine's prefix is root's")
    operands = ["tree", "single.txt", "linked-tree/"]
    expected_code, expected = 0, b""
    for operand in operands:
        items = tree_files(operand, locked) if os.path.isdir(operand) else [(operand, None)]
        for path, reason in items:
            if reason:
                expected_code, expected = 1, expected + b"telvarn: cannot read directory '%s': %s\n" % (
                    path.encode(), reason.encode())
                continue
            code, text = combined(as_user + ["stdbuf", "-o0", "sha256sum", path])
            expected_code = max(expected_code, code)
            expected += text.replace(b"sha256sum: ", b"telvarn: ")
    check(b"tree/a b/y" in expected and expected.index(b"a b/y") < expected.index(b"a-b") < expected.index(b"a/x"),
          "the tree's paths in byte order: %r" % expected)
    for jobs in ("1", "3"):
        for recursive in ("-r", "--recursive"):
            got = combined(as_user + command + ["sha256", recursive, "-j", jobs] + operands)
            check(got == (expected_code, expected), "sha256 %s -j %s: %r, expected %r" % (
                recursive, jobs, got, (expected_code, expected)))
    same_as_gnu("sha256sum", "sha256", ["tree", "single.txt"], what="a folder without -r")


def test_parallel():
    test_order_and_errors()
    test_held_fifo()
    test_fifo_named_twice()
    test_bounded_memory()
    test_recursive()


if __name__ == "__main__":
    sys.exit(run_area("parallel", test_parallel))
