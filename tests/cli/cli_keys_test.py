#!/usr/bin/env python3
"""telvarn hmac-md5's keys (--key, --key-file, --key-hex, from standard input) against
Python's hmac, and the keys it refuses with status 2; hmac-sha1, hmac-sha256 and
hmac-sha512 and the keyed SHA-224, SHA-384, SHA-512/224, SHA-512/256 and SHA-3 against
`openssl dgst -mac HMAC` and Python's hmac, and in check mode.

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


def test_all_keys():
    data = write_inputs(random.Random(1208))["random.bin"]
    test_keys(data)
    test_keyed_shas(data)


if __name__ == "__main__":
    sys.exit(run_area("keys", test_all_keys))
