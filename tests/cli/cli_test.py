#!/usr/bin/env python3
"""The telvarn command against Python's hashlib, hmac, zlib and base64.

usage: cli_test.py COMMAND...   (the program, e.g. "wine build/win32/telvarn.exe")
"""
import base64
import hashlib
import hmac
import os
import random
import subprocess
import sys
import tempfile
import zlib

COMMAND = sys.argv[1:]
failures = []


def run(args, stdin=b""):
    result = subprocess.run(COMMAND + args, input=stdin, capture_output=True, timeout=300)
    return result.returncode, result.stdout, result.stderr


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def crc16_mcrf4xx(data):
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0x8408 if crc & 1 else crc >> 1
    return "%04X" % crc


DIGESTS = {
    "crc32": lambda d: "%08X" % zlib.crc32(d),
    "crc16": crc16_mcrf4xx,
    "md5": lambda d: hashlib.md5(d).hexdigest(),
    "sha1": lambda d: hashlib.sha1(d).hexdigest().upper(),
    "sha256": lambda d: hashlib.sha256(d).hexdigest().upper(),
    "sha512": lambda d: hashlib.sha512(d).hexdigest().upper(),
}


def main():
    rng = random.Random(1208)
    os.chdir(tempfile.mkdtemp(prefix="telvarn-cli-"))
    files = {"empty.bin": b"", "abc.txt": b"abc", "random.bin": bytes(rng.randrange(256) for _ in range(100000))}
    for name, data in files.items():
        with open(name, "wb") as f:
            f.write(data)
    names = list(files)

    for algorithm, digest in DIGESTS.items():
        code, out, err = run([algorithm] + names)
        expected = "".join("%s  %s\n" % (digest(files[n]), n) for n in names)
        check(code == 0 and out.decode() == expected, "%s of three files: %r %r" % (algorithm, out, err))

    code, out, _ = run(["sha256"], stdin=b"abc")
    check(code == 0 and out == (DIGESTS["sha256"](b"abc") + "  -\n").encode(), "sha256 of standard input")
    code, out, _ = run(["md5", "-"], stdin=b"")
    check(code == 0 and out == b"d41d8cd98f00b204e9800998ecf8427e  -\n", "md5 of empty standard input")

    code, out, _ = run(["hmac-md5", "--key", "Jefe"] + names)
    expected = "".join("%s  %s\n" % (hmac.new(b"Jefe", files[n], hashlib.md5).hexdigest(), n) for n in names)
    check(code == 0 and out.decode() == expected, "hmac-md5 of three files")
    code, _, err = run(["hmac-md5", "abc.txt"])
    check(code == 2 and b"--key" in err, "hmac-md5 without a key is an error")

    code, out, err = run(["crc32", "abc.txt", "missing.bin", "random.bin"])
    check(code == 2, "a missing file gives exit status 2")
    check(b"missing.bin" in err and err.count(b"\n") == 1, "one line on standard error names it: %r" % err)
    check(out.decode() == "352441C2  abc.txt\n%s  random.bin\n" % DIGESTS["crc32"](files["random.bin"]),
          "the other files are still digested: %r" % out)

    code, out, _ = run(["sha1"] + names)
    with open("SUMS", "wb") as f:
        f.write(out)
    code, out, _ = run(["sha1", "--check", "SUMS"])
    check(code == 0 and out == b"empty.bin: OK\nabc.txt: OK\nrandom.bin: OK\n", "check passes: %r" % out)
    with open("abc.txt", "wb") as f:
        f.write(b"abd")
    code, out, _ = run(["sha1", "--check", "SUMS"])
    check(code == 1 and b"abc.txt: FAILED\n" in out and b"random.bin: OK" in out, "a changed file fails: %r" % out)
    os.remove("random.bin")
    code, out, err = run(["sha1", "--check", "SUMS"])
    check(code == 2 and b"random.bin: FAILED open or read" in out and b"random.bin" in err, "a missing file is an error")
    with open("BAD", "wb") as f:
        f.write(b"not a sums line\n")
    code, _, err = run(["sha1", "--check", "BAD"])
    check(code == 2 and b"BAD:1" in err, "a malformed line is reported")

    for size in (0, 1, 2, 3, 53, 54, 55, 108, 1000, 100000):
        data = bytes(rng.randrange(256) for _ in range(size))
        with open("data.bin", "wb") as f:
            f.write(data)
        code, out, _ = run(["base64", "encode", "data.bin"])
        check(code == 0 and out == base64.b64encode(data) + b"\n", "base64 encode of %d bytes" % size)
        code, wrapped, _ = run(["base64", "encode", "--wrap", "data.bin"])
        text = base64.b64encode(data)
        lines = b"".join(text[i:i + 72] + b"\r\n" for i in range(0, len(text), 72))
        if size % 54 == 0:
            lines += b"\r\n"
        check(code == 0 and wrapped == lines, "base64 encode --wrap of %d bytes" % size)
        code, decoded, _ = run(["base64", "decode"], stdin=wrapped)
        check(code == 0 and decoded == data, "base64 decode of %d bytes" % size)
    code, _, err = run(["base64", "decode"], stdin=b"Zm9v!!==")
    check(code == 2 and b"not Base64" in err, "text outside the alphabet is refused")

    code, out, _ = run(["--help"])
    check(code == 0 and b"usage: telvarn" in out, "--help")
    code, out, _ = run(["sha512", "--help"])
    check(code == 0 and b"--check" in out, "sha512 --help")
    code, _, err = run([])
    check(code == 2 and b"usage" in err, "no arguments")
    code, _, err = run(["sha3", "x"])
    check(code == 2 and b"unknown command" in err, "unknown command")

    print("cli: all checks passed" if not failures else "cli: %d checks failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
