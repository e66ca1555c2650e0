#!/usr/bin/env python3
"""telvarn on pipes far larger than the memory it may take: sha256 of 256 MiB and
base64 of 96 MiB, their output against hashlib, and their peak resident memory, which
must stay far below the input's size. (scripts/cli-bench.sh runs the same with 1 GiB.)

usage: cli_memory_test.py [--sanitized] COMMAND...   (see cli_support.py)
--sanitized: 32 MiB streams, whose peak is shown, not held against the input's size.
"""
import hashlib
import subprocess
import sys
import tempfile

from cli_support import COMMAND, ENV, SANITIZED, check, run_area

STREAM_MIB = 32 if SANITIZED else 256


def max_rss_kib(args, feed_bytes, chunk=1 << 20):
    """Runs the program on a stream of feed_bytes zero bytes; its exit code, output and
    peak resident memory in KiB. GNU time measures the peak: a child that this process
    starts itself (subprocess uses vfork) inherits this process's own peak in its
    ru_maxrss, while time forks from a small process of its own."""
    with tempfile.TemporaryFile() as out, tempfile.NamedTemporaryFile("r") as peak:
        process = subprocess.Popen(["/usr/bin/time", "-q", "-f", "%M", "-o", peak.name] + COMMAND + args,
                                   stdin=subprocess.PIPE, stdout=out, stderr=subprocess.DEVNULL, env=ENV)
        block = bytes(chunk)
        left = feed_bytes
        while left > 0:
            n = min(left, chunk)
            process.stdin.write(block[:n])
            left -= n
        process.stdin.close()
        process.wait()
        out.seek(0)
        return process.returncode, out.read(), int(peak.read().split()[-1])


def test_bounded_memory():
    # The whole stream is never held: the peak stays far below the input's size.
    # The peak is compared with the input only where the input is well above it.
    size = STREAM_MIB << 20
    code, out, peak = max_rss_kib(["sha256"], size)
    expected = hashlib.sha256(bytes(size)).hexdigest() + "  -\n"
    check(code == 0 and out == expected.encode(), "sha256 of %d MiB from a pipe: %r" % (STREAM_MIB, out))
    check(STREAM_MIB < 192 or peak < 96 * 1024, "sha256 of %d MiB from a pipe peaked at %d KiB" % (STREAM_MIB, peak))
    print("bounded memory: sha256 of a %d MiB pipe peaked at %d KiB" % (STREAM_MIB, peak))
    size = (STREAM_MIB * 3 // 8) << 20
    code, out, peak = max_rss_kib(["base64"], size)
    text_length = 4 * ((size + 2) // 3)
    check(code == 0 and len(out) == text_length + -(-text_length // 76), "base64 of %d bytes" % size)
    check(STREAM_MIB < 192 or peak < 96 * 1024, "base64 of a %d-byte pipe peaked at %d KiB" % (size, peak))
    print("bounded memory: base64 of a %d MiB pipe peaked at %d KiB" % (size >> 20, peak))


if __name__ == "__main__":
    sys.exit(run_area("memory", test_bounded_memory))
