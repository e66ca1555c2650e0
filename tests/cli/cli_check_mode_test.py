#!/usr/bin/env python3
"""telvarn's check mode (-c) against sha256sum's and the other coreutils' on the same
lists: results, messages and exit codes under every option set, lists on standard
input, lists of its own digests both ways, CRC and HMAC lists, a byte-order mark and
a line longer than any name.

usage: cli_check_mode_test.py [--sanitized] COMMAND...   (see cli_support.py)
--sanitized: two sets of check options, not nine, and no list on standard input but one.
"""
import hashlib
import random
import sys

from cli_support import (GNU_TOOL, LISTED_NAMES, ON_WINE, SANITIZED, check, check_both, gnu, run, run_area,
                         skip, write, write_inputs)


def test_check_mode():
    write_inputs(random.Random(1208))
    for algorithm, tool in GNU_TOOL.items():
        _, gnu_list, _ = gnu(tool, LISTED_NAMES)
        write("GOOD." + algorithm, gnu_list)
        check_both(tool, algorithm, ["-c", "GOOD." + algorithm], what="valid list")
        # A list written by telvarn (upper-case digests) checks with coreutils too.
        _, own_list, _ = run([algorithm] + LISTED_NAMES)
        write("OWN." + algorithm, own_list)
        code, _, _ = gnu(tool, ["-c", "OWN." + algorithm])
        check(code == 0, "coreutils checks telvarn's %s list" % algorithm)

    _, text_lines, _ = gnu("sha256sum", ["abc.txt", "random.bin"])
    _, binary_lines, _ = gnu("sha256sum", ["-b", "empty.bin"])
    _, tag_lines, _ = gnu("sha256sum", ["--tag", "with space.txt"])
    digest_abc = hashlib.sha256(b"abc").hexdigest()
    write("changed.txt", b"before")
    _, changed_line, _ = gnu("sha256sum", ["changed.txt"])
    write("changed.txt", b"after")
    lists = {
        "text": text_lines,
        "binary": binary_lines,
        "tagged": tag_lines,
        "mixed": text_lines + tag_lines + binary_lines,
        "upper": text_lines.upper().replace(b"ABC.TXT", b"abc.txt").replace(b"RANDOM.BIN", b"random.bin"),
        "comments": b"# a comment\n\n" + text_lines,
        "mismatch": text_lines + changed_line,
        "missing": text_lines + ("%s  missing.bin\n" % digest_abc).encode(),
        "malformed": text_lines + b"not a line\n" + ("%s  \n" % digest_abc[:60]).encode(),
        "nothing": b"not a line\nnor this\n",
        "empty": b"",
        "short": ("%s  abc.txt\n" % digest_abc[:-1]).encode(),
        "folder": ("%s  folder\n" % digest_abc).encode() + text_lines,
        "reversed": ("%s abc.txt\n" % digest_abc).encode(),
        "reversed-mixed": ("%s abc.txt\n" % digest_abc).encode() + text_lines,
        "no-newline": text_lines.rstrip(b"\n"),
        "all-missing": ("%s  missing.bin\n" % digest_abc).encode(),
        "crlf": text_lines.replace(b"\n", b"\r\n") + tag_lines.replace(b"\n", b"\r\n"),
        "tag-spacing": ("SHA256(abc.txt)= %s\nSHA256 (abc.txt) =%s\n" % (digest_abc, digest_abc)).encode(),
        "bad-tag": ("SHA1 (abc.txt) = %s\nSHA256 abc.txt = %s\n" % (digest_abc, digest_abc)).encode(),
    }
    if ON_WINE:
        skip("lists of escaped names", "a Windows name holds neither a backslash nor a line end")
    else:
        write("cr\rname", b"3")
        _, escaped, _ = gnu("sha256sum", ["back\\slash", "new\nline", "cr\rname"])
        lists["escaped"] = escaped
        lists["bad-escape"] = ("\\%s  bad\\qname\n" % digest_abc).encode() + text_lines
    option_sets = [[], ["--quiet"], ["--status"], ["--warn"], ["--strict"], ["--ignore-missing"],
                   ["--quiet", "--ignore-missing"], ["-w", "--strict"], ["--status", "--warn"]]
    if SANITIZED:
        option_sets = [["--quiet", "--ignore-missing"], ["-w", "--strict"]]
    for kind, text in lists.items():
        write("LIST-" + kind, text)
        for options in option_sets:
            check_both("sha256sum", "sha256", ["-c"] + options + ["LIST-" + kind], what=kind)
        # The list on standard input, options after it.
        if not SANITIZED:
            check_both("sha256sum", "sha256", ["--check", "-", "--warn"], stdin=text, what=kind + " on stdin")
    check_both("sha256sum", "sha256", ["-c", "LIST-text", "LIST-mismatch", "LIST-nothing"], what="three lists")
    check_both("sha256sum", "sha256", ["-c", "LIST-none"], what="a list that is not there")
    check_both("sha256sum", "sha256", ["-c"], stdin=text_lines, what="no list: standard input")
    check_both("sha256sum", "sha256", ["-c", "-"], stdin=("%s  -\n" % digest_abc).encode(), what="'-' in stdin list")
    # CRC, HMAC, SHA-512/224, SHA-512/256 and SHA-3 lists have no coreutils twin: telvarn's
    # own lines check, plain and --tag.
    for algorithm, extra in (("crc32", []), ("crc16", []), ("hmac-md5", ["--key", "k"]), ("sha512-224", []),
                             ("sha512-256", []), ("hmac-sha384", ["--key", "k"]), ("sha3-256", []),
                             ("crc32c", []), ("crc64", []), ("hmac-sha3-512", ["--key", "k"])):
        for form in ([], ["--tag"]):
            _, listed, _ = run([algorithm] + extra + form + ["abc.txt", "random.bin"])
            write("LIST." + algorithm, listed)
            code, out, _ = run([algorithm] + extra + ["-c", "LIST." + algorithm])
            check(code == 0 and out == b"abc.txt: OK\nrandom.bin: OK\n", "%s %s check: %r" % (algorithm, form, out))
    # A byte-order mark before the first line, as a Windows editor saves it.
    code, out, err = run(["sha256", "-c", "-"], stdin=b"\xef\xbb\xbf" + lists["crlf"])
    gnu_code, gnu_out, _ = gnu("sha256sum", ["-c", "-"], stdin=lists["crlf"])
    check((code, out) == (gnu_code, gnu_out) and code == 0, "byte-order mark: %d %r %r" % (code, out, err))
    # A line longer than any name is malformed, and not held whole.
    long_line = ("%s  " % digest_abc).encode() + b"n" * (3 << 20) + b"\n"
    code, out, err = run(["sha256", "-c", "--warn", "-"], stdin=long_line + text_lines)
    check(code == 0 and out == b"abc.txt: OK\nrandom.bin: OK\n" and b"'standard input': 1: improperly formatted" in err,
          "a 3 MiB line: %d %r %r" % (code, out, err))
    code, _, err = run(["sha256", "-c", "LIST-nothing"])
    check(code == 1 and b"no properly formatted checksum lines found" in err, "no valid line: %r" % err)


if __name__ == "__main__":
    sys.exit(run_area("check_mode", test_check_mode))
