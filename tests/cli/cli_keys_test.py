#!/usr/bin/env python3
"""telvarn hmac-md5's keys (--key, --key-file, --key-hex, from standard input) against
Python's hmac, and the keys it refuses with status 2.

usage: cli_keys_test.py [--sanitized] COMMAND...   (see cli_support.py)
"""
import hashlib
import hmac
import random
import sys

from cli_support import check, run, run_area, write, write_inputs


def test_keys():
    data = write_inputs(random.Random(1208))["random.bin"]

    def expected(key):
        return ("%s  random.bin\n" % hmac.new(key, data, hashlib.md5).hexdigest()).encode()

    write("key.bin", b"\x01\x02secret\xff")
    write("long.key", b"k" * 4095)
    write("toolong.key", b"k" * 4096)
    write("zero.key", b"ab\x00cd")
    for args, key in ((["--key", "Jefe"], b"Jefe"), (["--key=Jefe"], b"Jefe"), (["--key", ""], b""),
                      (["--key", "clé ü"], "clé ü".encode()), (["--key-file", "key.bin"], b"\x01\x02secret\xff"),
                      (["--key-file=long.key"], b"k" * 4095), (["--key-hex", "4A656665"], b"Jefe"),
                      (["--key-hex=0102ff"], b"\x01\x02\xff")):
        code, out, err = run(["hmac-md5"] + args + ["random.bin"])
        check(code == 0 and out == expected(key), "hmac-md5 %s: %r %r" % (args, out, err))
    code, out, _ = run(["hmac-md5", "random.bin", "--key-file", "-"], stdin=b"piped key")
    check(code == 0 and out == expected(b"piped key"), "key from standard input")
    for args, pattern in ((["--key-file", "toolong.key"], b"longer than 4095 bytes"),
                          (["--key", "k" * 4096], b"longer than 4095 bytes"),
                          (["--key-file", "zero.key"], b"NUL"), (["--key-hex", "610062"], b"NUL"),
                          (["--key-hex", "abc"], b"odd number"), (["--key-hex", "zz"], b"hexadecimal"),
                          (["--key-file", "nokey"], b"No such file or directory"), ([], b"needs a key"),
                          (["--key", "a", "--key-hex", "62"], b"give the key once"), (["--key"], b"requires")):
        code, out, err = run(["hmac-md5"] + (args + ["random.bin"] if args != ["--key"] else args))
        check(code == 2 and out == b"" and pattern in err, "hmac-md5 %s refused: %d %r" % (args, code, err))
    code, _, err = run(["sha256", "--key", "x", "abc.txt"])
    check(code == 2, "--key is not an option of sha256: %r" % err)


if __name__ == "__main__":
    sys.exit(run_area("keys", test_keys))
