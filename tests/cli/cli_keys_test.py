#!/usr/bin/env python3
"""telvarn hmac-md5's keys (--key, --key-file, --key-hex, from standard input) against
Python's hmac, and the keys it refuses with status 2; hmac-sha1, hmac-sha256 and
hmac-sha512 and the keyed SHA-224, SHA-384, SHA-512/224, SHA-512/256 and SHA-3 against
`openssl dgst -mac HMAC` and Python's hmac, and in check mode; BLAKE3's keyed hash
against `b3sum --keyed`.

usage: cli_keys_test.py [--sanitized] COMMAND...   (see cli_support.py)
"""
import hashlib
import hmac
import random
import shutil
import subprocess
import sys

from cli_support import check, run, run_area, skip, write, write_inputs

KEYED_SHAS = {"hmac-sha1": hashlib.sha1, "hmac-sha224": hashlib.sha224, "hmac-sha256": hashlib.sha256,
              "hmac-sha384": hashlib.sha384, "hmac-sha512": hashlib.sha512,
              "hmac-sha512-224": lambda data=b"": hashlib.new("sha512_224", data),
              "hmac-sha512-256": lambda data=b"": hashlib.new("sha512_256", data),
              "hmac-sha3-224": hashlib.sha3_224, "hmac-sha3-256": hashlib.sha3_256,
              "hmac-sha3-384": hashlib.sha3_384, "hmac-sha3-512": hashlib.sha3_512}


def test_keys(data):

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


def openssl_hmac(digest, key, name):
    """OpenSSL's HMAC of a file under a key given as hexadecimal digits."""
    result = subprocess.run(["openssl", "dgst", "-" + digest, "-mac", "HMAC", "-macopt", "hexkey:" + key.hex(), name],
                            capture_output=True, check=True)
    return result.stdout.decode().rsplit("= ", 1)[1].strip()


def test_keyed_shas(data):
    rng = random.Random(22)
    has_openssl = shutil.which("openssl") is not None
    if not has_openssl:
        skip("keyed digests against OpenSSL", "no openssl command on this host")
    # An empty key, short ones, one as long as the block of SHA-512 and one longer
    # than any block, which is hashed first.
    keys = [b"", b"Jefe", bytes(rng.randrange(1, 256) for _ in range(64)), bytes(range(1, 129)),
            bytes(rng.randrange(1, 256) for _ in range(4095))]
    for command, digest in KEYED_SHAS.items():
        for key in keys:
            code, out, err = run([command, "--key-hex", key.hex(), "random.bin", "abc.txt"])
            expected = "".join("%s  %s\n" % (hmac.new(key, content, digest).hexdigest(), name)
                               for name, content in (("random.bin", data), ("abc.txt", b"abc")))
            check(code == 0 and out == expected.encode(), "%s, a %d-byte key: %r %r" % (command, len(key), out, err))
            # OpenSSL's command line takes no empty key; Python's hmac has checked that one.
            if has_openssl and key:
                theirs = openssl_hmac(command[5:], key, "random.bin")
                check(out.split(b" ")[0].decode() == theirs, "%s, a %d-byte key, against OpenSSL" % (command, len(key)))
        code, out, _ = run([command, "--key", "Jefe", "--tag", "abc.txt"])
        write("list", out)
        code, out, err = run([command, "--key", "Jefe", "-c", "list"])
        check(code == 0 and out == b"abc.txt: OK\n", "%s -c of its own --tag line: %r %r" % (command, out, err))
        code, out, err = run([command, "--key", "Jef", "-c", "list"])
        check(code == 1 and out == b"abc.txt: FAILED\n", "%s -c under another key: %r" % (command, out))
        code, _, err = run([command, "abc.txt"])
        check(code == 2 and b"needs a key" in err, "%s without a key: %r" % (command, err))


def test_blake3_keys():
    """blake3's keyed hash against b3sum --keyed, under keys from --keyed, --key-hex,
    --key-file and --key (one key holds NUL bytes), in check mode too; keys of any other
    length, and a key from standard input beside a FILE -, refused with status 2."""
    if shutil.which("b3sum") is None:
        skip("keyed blake3 against b3sum --keyed", "no b3sum on this host")
        return
    names = ["abc.txt", "random.bin", "with space.txt"]
    rng = random.Random(32)
    for key in ("".join(rng.choice("abcdefghijkLMNOPQ0123456789") for _ in range(32)).encode(), b"\0" * 3 + rng.randbytes(28) + b"\0"):
        _, expected, _ = run(["--keyed"] + names, stdin=key, command=["b3sum"])
        check(len(expected.splitlines()) == len(names), "b3sum --keyed: %r" % expected)
        write("b3.key", key)
        ways = [(["--keyed"], key), (["--key-hex", key.hex()], b""), (["--key-file", "b3.key"], b""),
                (["--key-file", "-"], key)] + ([(["--key", key.decode()], b"")] if b"\0" not in key else [])
        for option, stdin in ways:
            code, out, err = run(["blake3"] + option + names, stdin=stdin)
            check(code == 0 and out == expected, "blake3 %s, %r: %r %r" % (option[0], key, out, err))
        write("keyed.list", expected)
        code, out, err = run(["blake3", "--keyed", "-c", "keyed.list"], stdin=key)
        check(code == 0 and out == b"".join(b"%s: OK\n" % n.encode() for n in names), "keyed -c: %r %r" % (out, err))
        code, out, _ = run(["blake3", "--key-hex", "ff" * 32, "-c", "keyed.list"])
        check(code == 1 and out.count(b"FAILED") == len(names), "-c under another key: %r" % out)
    for option, stdin, pattern in ((["--key-hex", "ab" * 31], b"", b"exactly 32 bytes"),
                                   (["--key-hex", "ab" * 33], b"", b"exactly 32 bytes"),
                                   (["--key", "ab" * 32], b"", b"this one has 64"),
                                   (["--key", ""], b"", b"this one has 0"),
                                   (["--keyed"], b"k" * 31, b"found 31"), (["--keyed"], b"k" * 33, b"more than 32"),
                                   (["--keyed", "-"], b"k" * 32, b"standard input"),
                                   (["--key-file", "-", "abc.txt", "-"], b"k" * 32, b"standard input")):
        code, out, err = run(["blake3"] + option + (["abc.txt"] if option[0] != "--keyed" or stdin else []),
                             stdin=stdin)
        check(code == 2 and out == b"" and pattern in err, "blake3 %s refused: %d %r %r" % (option, code, out, err))
    code, out, err = run(["blake3", "--keyed"], stdin=b"k" * 32)
    check(code == 2 and out == b"" and b"none of them -" in err, "--keyed reading no FILE: %d %r" % (code, err))


def test_all_keys():
    data = write_inputs(random.Random(1208))["random.bin"]
    test_keys(data)
    test_keyed_shas(data)
    test_blake3_keys()


if __name__ == "__main__":
    sys.exit(run_area("keys", test_all_keys))
