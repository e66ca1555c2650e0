#!/usr/bin/env python3
"""telvarn's digests of files and standard input against md5sum, sha1sum, sha224sum,
sha256sum, sha384sum and sha512sum, SHA-512/224 and SHA-512/256 against Python's
hashlib, its CRCs against Python's zlib and a CRC-16/MCRF4XX of its own, XXH3
against xxhsum, BLAKE2b against b2sum and both BLAKE2s, plain and keyed, against hashlib,
BLAKE3 against b3sum: lines, --tag, -z, options anywhere, unreadable inputs and escaped
names; and the table of algorithms in docs/api.md against the module's.

usage: cli_digests_test.py [--sanitized] COMMAND...   (see cli_support.py)
"""
import hashlib
import os
import random
import re
import shutil
import sys

from cli_support import (GNU_TOOL, HASHLIB_ONLY, LISTED_NAMES, ON_WINE, as_module_case, check, gnu, gnu_messages,
                         python_digest, run, run_area, skip, write, write_inputs)


def test_digests():
    files = write_inputs(random.Random(1208))
    names = LISTED_NAMES
    for algorithm, tool in GNU_TOOL.items():
        code, out, err = run([algorithm] + names)
        _, expected, _ = gnu(tool, names)
        check(code == 0 and out == as_module_case(algorithm, expected), "%s of four files: %r %r" % (algorithm, out, err))
        code, out, _ = run([algorithm, "--tag"] + names)
        _, expected, _ = gnu(tool, ["--tag"] + names)
        check(code == 0 and out.lower() == expected.lower(), "%s --tag: %r" % (algorithm, out))
    for algorithm in ("crc32", "crc16", "crc32c", "crc64") + tuple(HASHLIB_ONLY):
        code, out, _ = run([algorithm] + names)
        expected = "".join("%s  %s\n" % (python_digest(algorithm, files[n]), n) for n in names).encode()
        check(code == 0 and out == expected, "%s of four files: %r" % (algorithm, out))
    for algorithm, (_, tag) in HASHLIB_ONLY.items():
        code, out, _ = run([algorithm, "--tag", "abc.txt"])
        expected = "%s (abc.txt) = %s\n" % (tag, python_digest(algorithm, b"abc"))
        check(code == 0 and out == expected.encode(), "%s --tag: %r" % (algorithm, out))

    code, out, _ = run(["sha256"], stdin=b"abc")
    check(code == 0 and out == as_module_case("sha256", gnu("sha256sum", [], b"abc")[1]), "sha256 of standard input")
    code, out, _ = run(["md5", "-"], stdin=b"")
    check(code == 0 and out == gnu("md5sum", ["-"])[1], "md5 of empty standard input: %r" % out)
    code, out, _ = run(["sha1", "-z", "-b", "abc.txt"])
    check(code == 0 and out.lower() == gnu("sha1sum", ["-z", "-b", "abc.txt"])[1], "-z -b: %r" % out)
    # Options anywhere, and -- before a name that looks like one.
    code, out, _ = run(["sha256", "abc.txt", "--tag"])
    check(code == 0 and out.lower() == gnu("sha256sum", ["abc.txt", "--tag"])[1].lower(), "option after a name")
    code, out, _ = run(["sha256", "--", "-dash.txt"])
    check(code == 0 and out.lower() == gnu("sha256sum", ["--", "-dash.txt"])[1], "-- ends options: %r" % out)

    # Unreadable inputs: coreutils' messages and status 1; the others still digested.
    args = ["abc.txt", "folder", "missing.bin", "random.bin"]
    code, out, err = run(["sha256"] + args)
    gnu_code, gnu_out, gnu_err = gnu("sha256sum", args)
    check((code, out) == (gnu_code, as_module_case("sha256", gnu_out)), "folder and missing file: %d %r" % (code, out))
    check(err == gnu_messages("sha256sum", gnu_err), "their messages: %r, not %r" % (err, gnu_err))
    check(b"Is a directory" in err and b"No such file or directory" in err, "reasons in words: %r" % err)
    # Names with a backslash or a line end are escaped, as coreutils does.
    if ON_WINE:
        skip("escaped names", "a Windows name holds neither a backslash nor a line end")
        return
    code, out, _ = run(["md5", "back\\slash", "new\nline"])
    check(code == 0 and out == gnu("md5sum", ["back\\slash", "new\nline"])[1], "escaped names: %r" % out)
    code, out, _ = run(["md5", "--tag", "new\nline"])
    check(out == gnu("md5sum", ["--tag", "new\nline"])[1], "escaped --tag name: %r" % out)


def test_xxhsum():
    """xxh3 and xxh128 against xxhsum -H3 and -H128, byte for byte: their default
    lines (BSD lines for XXH3, GNU lines for XXH128) and --tag; and check mode on
    the lists xxhsum writes in each form."""
    if shutil.which("xxhsum") is None:
        skip("xxh3 and xxh128 against xxhsum", "no xxhsum on this host")
        return
    names = LISTED_NAMES  # as test_digests wrote them
    ok_lines = b"".join(b"%s: OK\n" % name.encode() for name in names)
    for algorithm, option in (("xxh3", "-H3"), ("xxh128", "-H128")):
        for form in ([], ["--tag"]):
            code, out, err = run([algorithm] + form + names)
            _, expected, _ = gnu("xxhsum", [option] + form + names)
            check(code == 0 and out == expected, "%s %s: %r %r, xxhsum %r" % (algorithm, form, out, err, expected))
            write("xxhsum.list", expected)
            code, out, err = run([algorithm, "-c", "xxhsum.list"])
            check(code == 0 and out == ok_lines, "%s -c on xxhsum %s %s: %r %r" % (algorithm, option, form, out, err))
            # One digit of the first line's digest changed: the last of a BSD line's, the
            # first of a GNU line's.
            at = expected.index(b"\n") - 1 if b" = " in expected else 0
            digit = b"1" if expected[at:at + 1] == b"0" else b"0"
            write("changed.list", expected[:at] + digit + expected[at + 1:])
            code, out, _ = run([algorithm, "-c", "changed.list"])
            check(code == 1 and b"FAILED" in out, "%s -c on a changed list: %d %r" % (algorithm, code, out))


def test_b2sum():
    """blake2b against b2sum byte for byte (lines, --tag, check mode on its lists in
    both forms), blake2s against hashlib in the same forms, and the own keyed mode
    of both against hashlib's key=, with keys too long or holding a NUL refused."""
    names = LISTED_NAMES  # as test_digests wrote them
    contents = {n: open(n, "rb").read() for n in names}
    ok_lines = b"".join(b"%s: OK\n" % name.encode() for name in names)
    for algorithm, tag, hash_of in (("blake2b", "BLAKE2b", hashlib.blake2b), ("blake2s", "BLAKE2s", hashlib.blake2s)):
        for form in ([], ["--tag"]):
            code, out, err = run([algorithm] + form + names)
            if algorithm == "blake2b" and shutil.which("b2sum") is not None:
                expected = gnu("b2sum", form + names)[1]
            else:
                line = "%s (%s) = %s\n" if form else "%.0s%s  %s\n"
                expected = "".join(line % ((tag, n, hash_of(contents[n]).hexdigest()) if form else
                                           (tag, hash_of(contents[n]).hexdigest(), n)) for n in names).encode()
            check(code == 0 and out == expected, "%s %s: %r %r, expected %r" % (algorithm, form, out, err, expected))
            write("b2.list", expected)
            code, out, err = run([algorithm, "-c", "b2.list"])
            check(code == 0 and out == ok_lines, "%s -c on %s lines: %r %r" % (algorithm, form, out, err))
        most = hash_of.MAX_KEY_SIZE
        write("key.bin", b"k" * most)
        for key in (b"Jefe", b"k" * most):
            expected = "".join("%s  %s\n" % (hash_of(contents[n], key=key).hexdigest(), n) for n in names).encode()
            for option in (["--key", key.decode()], ["--key-hex", key.hex()], ["--key-file", "key.bin"]):
                if option[0] == "--key-file" and key != b"k" * most:
                    continue
                code, out, err = run([algorithm] + option + names)
                check(code == 0 and out == expected, "%s %s: %r %r" % (algorithm, option[0], out, err))
        code, out, _ = run([algorithm, "--key", "", "abc.txt"])
        check(code == 0 and out == b"%s  abc.txt\n" % hash_of(b"abc").hexdigest().encode(), "the empty key: %r" % out)
        for option in (["--key", "k" * (most + 1)], ["--key-hex", "6b00"]):
            code, out, err = run([algorithm] + option + ["abc.txt"])
            check(code == 2 and out == b"", "%s %s refused: %d %r %r" % (algorithm, option[0], code, out, err))
        code, _, _ = run(["hmac-" + algorithm, "--key", "k", "abc.txt"])
        check(code == 2, "no hmac-%s: %d" % (algorithm, code))


def test_b3sum():
    """blake3 against b3sum byte for byte on inputs around its block (64 bytes) and
    chunk (1 KiB) and of a few MiB, names with a space, a backslash or a line end;
    check mode on b3sum's list and on --tag's BSD lines."""
    if shutil.which("b3sum") is None:
        skip("blake3 against b3sum", "no b3sum on this host")
        return
    rng = random.Random(19)
    names = []
    for size in (0, 1, 63, 64, 65, 1023, 1024, 1025, 2049, 3 << 20 | 5):
        names.append("b3 %d.bin" % size)
        write(names[-1], rng.randbytes(size))
    if not ON_WINE:
        names += ["back\\slash", "new\nline"]
    code, out, err = run(["blake3"] + names)
    _, expected, _ = gnu("b3sum", names)
    check(code == 0 and out == expected, "blake3 of %d files: %r %r, b3sum %r" % (len(names), out, err, expected))
    write("b3sum.list", expected)
    code, out, err = run(["blake3", "-c", "b3sum.list"])
    check(code == 0 and out.count(b": OK\n") == len(names) and b"FAILED" not in out,
          "blake3 -c on b3sum's list: %r %r" % (out, err))
    # b3sum has no --tag: telvarn writes BLAKE3 (NAME) = DIGEST and reads it back.
    plain = [n for n in names if "\\" not in n and "\n" not in n]
    code, out, _ = run(["blake3", "--tag"] + plain)
    tagged = b"".join(b"BLAKE3 (%s) = %s\n" % (n.encode(), line.split(b"  ")[0])
                      for n, line in zip(plain, expected.splitlines()))
    check(code == 0 and out == tagged, "blake3 --tag: %r" % out)
    write("tag.list", out)
    code, out, err = run(["blake3", "-c", "tag.list"])
    check(code == 0 and out.count(b": OK\n") == len(plain), "blake3 -c on its --tag lines: %r %r" % (out, err))


def test_documented_algorithms():
    """Each row of the module's table of algorithms is a row of docs/api.md's, and
    telvarn has a command for it."""
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    with open(os.path.join(source, "src", "boundary", "algorithm_table.inc")) as table:
        rows = re.findall(r'^TELVARN_ALGORITHM\((\d+), (\w+), "([^"]+)", "([^"]+)", (\d+), KeyForm::(\w+),', table.read(), re.M)
    with open(os.path.join(source, "docs", "api.md")) as doc:
        documented = re.findall(r"^\| (\d+) \| ([^|]+) \| (\d+) [^|]*\| [^|]+\| `TELVARN_ALGORITHM_(\w+)` \|$",
                                doc.read(), re.M)
    check(len(rows) >= 16, "the table of algorithms: %d rows" % len(rows))
    check(sorted((int(n), name, int(digits), id_) for n, id_, name, _, digits, _ in rows) ==
          sorted((int(n), name.strip(), int(digits), id_) for n, name, digits, id_ in documented),
          "docs/api.md lists the algorithms of algorithm_table.inc: %r" % documented)
    for _, _, _, command, digits, keyed in rows:
        for word in [command] + (["hmac-" + command] if keyed == "kHmac" else []):
            code, out, err = run([word, "--key", "k", "abc.txt"] if word.startswith("hmac-") else [word, "abc.txt"])
            # The digest opens a GNU line and closes a BSD line (XXH3's default).
            digest = out.split(b" = ")[-1].strip() if b" = " in out else out.split(b" ")[0]
            check(code == 0 and len(digest) == int(digits), "telvarn %s: %r %r" % (word, out, err))


def test_all():
    test_digests()
    test_xxhsum()
    test_b2sum()
    test_b3sum()
    test_documented_algorithms()


if __name__ == "__main__":
    sys.exit(run_area("digests", test_all))
