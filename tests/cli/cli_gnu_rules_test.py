#!/usr/bin/env python3
"""telvarn where printing data would not be true, and GNU's option rules, each
side by side with coreutils 9.1 and GNU base64 on the same inputs: read errors, check
mode's unreadable files, the bits under Base64 padding, malformed list lines among good
ones, NUL bytes in list lines, abbreviated and bundled options, --version everywhere,
--tag with -b/--text, -z with -c, huge wrap widths and names quoted in messages; on
Windows, file patterns expanded as the Windows builds of the GNU tools expand them.

usage: cli_gnu_rules_test.py [--sanitized] COMMAND...   (see cli_support.py)
"""
import hashlib
import hmac
import os
import sys

from cli_support import COMMAND, ON_WINE, check, gnu, gnu_messages, run, run_area, skip, write

SUMS = {"md5": "md5sum", "sha1": "sha1sum", "sha256": "sha256sum", "sha512": "sha512sum"}


def same_as_gnu(tool, telvarn_args, gnu_args=None, stdin=b"", what="", messages=True):
    """Exit status (0 or not), output and, when asked, messages (after the program's
    name) against the GNU tool's."""
    code, out, err = run(telvarn_args, stdin)
    gnu_code, gnu_out, gnu_err = gnu(tool, telvarn_args[1:] if gnu_args is None else gnu_args, stdin)
    check((code == 0) == (gnu_code == 0), "%s %s: exit %d, GNU %d (%r)" % (what, telvarn_args, code, gnu_code, err))
    check(out == gnu_out, "%s %s: output %r, GNU %r" % (what, telvarn_args, out, gnu_out))
    if messages:
        # GNU quotes with the locale's quotation marks where telvarn writes ASCII ones.
        expected = gnu_messages(tool, gnu_err) if tool != "base64" else gnu_err.replace(
            b"base64: ", b"telvarn: ").replace(b"Try 'base64 --help'", b"Try 'telvarn base64 --help'")
        expected = expected.replace("\u2018".encode(), b"'").replace("\u2019".encode(), b"'")
        check(err == expected, "%s %s: messages %r, GNU %r" % (what, telvarn_args, err, expected))
    return code, out, err


def test_read_errors():
    """A file that opens but cannot be read gives no digest, its reason, and status 1."""
    if ON_WINE:
        skip("read errors of /proc/self/mem", "a Windows program cannot name /proc/self/mem")
        return
    write("a", b"a")
    for algorithm, tool in SUMS.items():
        code, out, err = same_as_gnu(tool, [algorithm, "/proc/self/mem", "a"], what="read error")
        check(code == 1, "%s read error: status %d" % (algorithm, code))
    for algorithm in ("crc32", "crc16"):
        code, out, err = run([algorithm, "/proc/self/mem", "a"])
        check(code == 1 and out.endswith(b"  a\n") and out.count(b"\n") == 1, "%s read error: %r" % (algorithm, out))
        check(err == b"telvarn: /proc/self/mem: Input/output error\n", "%s read error message: %r" % (algorithm, err))
    with open("mem.md5", "w") as f:
        f.write("%s  /proc/self/mem\n%s  a\n" % (hashlib.md5(b"").hexdigest(), hashlib.md5(b"a").hexdigest()))
    same_as_gnu("md5sum", ["md5", "-c", "mem.md5"], what="check mode read error")


def test_base64_padding():
    """The bits under the padding carry no byte: RFC 4648 decoding, as GNU base64's."""
    texts = [b"YWJ=", b"QUJ=", b"QUJDREW=", b"YR==", b"YWJjZA==YWJj", b"YQ==YQ==", b"YQ==\nYQ==", b"YQ=\n=",
             b"YWJj", b"", b"YQ==YQ", b"YQ=", b"YQ===", b"Y===", b"=", b"YQ=*=", b"Y Q=="]
    for text in texts:
        code, out, _ = run(["base64", "-d"], stdin=text)
        gnu_code, gnu_out, _ = gnu("base64", ["-d"], stdin=text)
        if gnu_code == 0:
            check(code == 0 and out == gnu_out, "base64 -d %r: %d %r, GNU %r" % (text, code, out, gnu_out))
        else:
            # GNU writes what it decoded before the fault; telvarn writes nothing.
            check(code == 1 and out == b"", "base64 -d %r refused: %d %r" % (text, code, out))
        write("text.b64", text)
        check(run(["base64", "-d", "text.b64"])[:2] == (code, out), "base64 -d of a file %r as of a pipe" % text)
    for text in (b"YQ=*=", b"Y*Q==", b"YQ==*YQ==", b"Y\rQ\n==", b"*", b"YW\r\nJj"):
        for option in ("-i", "--ignore-garbage", "--ig"):
            same_as_gnu("base64", ["base64", "-d", option], stdin=text, what="ignore garbage")


def test_list_lines():
    """Every list line parsed on its own; NUL bytes as GNU reads them; digests of
    every length in both forms, with --warn's messages."""
    write("empty", b"")
    good = hashlib.sha256(b"").hexdigest()
    write("one-bad.sha256", ("%s  a\n%s  empty\n" % (good[1:], good)).encode())
    same_as_gnu("sha256sum", ["sha256", "-c", "one-bad.sha256"], what="a malformed line before a good one")
    write("nulbyte.sha256", good.encode() + b"  empty\0x\n")
    same_as_gnu("sha256sum", ["sha256", "-c", "nulbyte.sha256"], what="NUL in a list line")
    lines = []
    for length in range(0, 131):
        digest = (good * 3)[:length]
        lines += [digest + "  empty", digest + " *empty", "SHA256 (empty) = " + digest, digest + " empty"]
    for bad in ("g", " ", "\t", "-"):
        lines.append(good[:10] + bad + good[11:] + "  empty")
    lines += ["\\" + good + "  em\\pty", "\\" + good + "  empty\\", "SHA256 () = " + good, "SHA256 (empty) " + good,
              "# comment", "", "\r", good + "  empty\r"]
    write("lines.sha256", "\n".join(lines).encode() + b"\n")
    same_as_gnu("sha256sum", ["sha256", "-c", "--warn", "lines.sha256"], what="lines of every digest length")


def test_option_rules():
    write("f", b"abc")
    write("f.sha256", ("%s  f\n" % hashlib.sha256(b"abc").hexdigest()).encode())
    for option in ("--stat", "--sta", "--ignore", "--qu", "--wa", "--st", "--s", "--ch", "--ta", "--bin",
                   "--te", "--t", "--statu=1", "--nonesuch", "--c=1"):
        same_as_gnu("sha256sum", ["sha256", option, "f"], what="abbreviation")
        same_as_gnu("sha256sum", ["sha256", "-c", option, "f.sha256"], what="abbreviation in check mode")
    for args in (["--tag", "-b"], ["--tag", "--text"], ["--tag", "-t"], ["-b", "--tag"], ["--text", "--tag"],
                 ["-b", "-t"], ["-t", "-b"], ["-z", "--tag"], ["-bz"]):
        same_as_gnu("sha256sum", ["sha256"] + args + ["f"], what="markers")
    for args in (["-z", "-c"], ["-c", "-z"], ["--tag", "-c"], ["-b", "-c"], ["-cw"], ["-c", "--strict", "--quiet"]):
        same_as_gnu("sha256sum", ["sha256"] + args + ["f.sha256"], what="check options")
    for args in (["-dw0"], ["-w0d"], ["--dec"], ["--wr=5"], ["--wr", "5"], ["-w", "99999999999999999999"],
                 ["-w", "9999999999"], ["-w", "+5"], ["-w", "-1"], ["-w", "5x"], ["-w", ""], ["--w"], ["-w"],
                 ["-x"], ["--d", "--i"]):
        data = b"YWJjZGVm" if "-d" in "".join(args) or "--d" in args else b"abcdef" * 20
        same_as_gnu("base64", ["base64"] + args, stdin=data, what="base64 options")
    for command in ("md5", "sha1", "sha256", "sha512", "crc32", "crc16", "hmac-md5", "base64"):
        code, out, _ = run([command, "--version"])
        check(code == 0 and out.startswith(b"telvarn "), "%s --version: %d %r" % (command, code, out))
    code, out, _ = run(["sha256", "f"])
    check(code == 0 and out == gnu("sha256sum", ["f"])[1], "lower case by default: %r" % out)
    code, out, _ = run(["sha256", "--upper", "f"])
    expected = gnu("sha256sum", ["f"])[1]
    check(code == 0 and out == expected[:64].upper() + expected[64:], "--upper: %r" % out)


def test_quoted_names():
    """Names in messages quoted as coreutils quotes them: no name splits a message."""
    names = ["plain", "a b", "a'b", "no\nsuch", "a\x1bb", "~x", "a\tb", "a'b$", "#x", "x#", "\u00fc"]
    if ON_WINE:
        skip("names with control bytes in messages", "Windows names cannot hold control characters")
        names = ["plain", "a b", "a'b", "~x", "a'b$", "#x", "\u00fc"]
    for name in names:
        same_as_gnu("md5sum", ["md5", "--", name], what="quoted name")
    if not ON_WINE:
        same_as_gnu("md5sum", ["md5", "--", os.fsdecode(b"\xff\xfe")], what="quoted bytes that are not UTF-8")


def test_patterns():
    """Windows shells leave * and ? to the program: unquoted in a file operand's last
    component they expand to the names they match, sorted; a pattern that matches
    nothing stays as given; a quoted one, and an option's value, stay literal."""
    if not ON_WINE:
        skip("file patterns", "the shell expands patterns before a Linux program starts")
        return
    os.mkdir("sub")
    contents = {"b2.txt": b"two", "b10.txt": b"ten", "B1.txt": b"one", "c1.dat": b"c", "sub/x1.bin": b"x1",
                "sub/x2.bin": b"x2", "other.txt": b"other"}
    for name, data in contents.items():
        write(name, data)
    # Wine hands the arguments over unquoted; Windows matches names in any case.
    expanded = ["B1.txt", "b10.txt", "b2.txt", "c1.dat", "sub/x1.bin", "sub/x2.bin", "nomatch*.txt"]
    code, out, err = run(["sha256", "b*.txt", "c?.dat", "sub/x*.bin", "nomatch*.txt"])
    _, gnu_out, gnu_err = gnu("sha256sum", expanded)
    check(code == 1 and out == gnu_out and err == gnu_messages("sha256sum", gnu_err),
          "sha256 b*.txt c?.dat sub/x*.bin nomatch*.txt: %d %r %r, coreutils %r %r" % (
              code, out, err, gnu_out, gnu_err))
    code, out, err = run(["hmac-sha256", "--key", "b*.txt", "other.txt"])
    expected = hmac.new(b"b*.txt", b"other", hashlib.sha256).hexdigest() + "  other.txt\n"
    check(code == 0 and out == expected.encode(), "a key is not a pattern: %d %r %r" % (code, out, err))
    # cmd runs a batch file's line as written, quotes and all: the quoted pattern
    # reaches the program inside double quotes.
    program = "Z:" + COMMAND[-1].replace("/", "\\")
    write("quoted.bat", ('@"%s" sha256 "b*.txt" b?0.txt\r\n@exit /b %%errorlevel%%\r\n' % program).encode())
    code, out, err = run([], command=COMMAND[:-1] + ["cmd", "/c", "quoted.bat"])
    _, gnu_out, gnu_err = gnu("sha256sum", ["b*.txt", "b10.txt"])
    check(code == 1 and out == gnu_out and err == gnu_messages("sha256sum", gnu_err),
          "a quoted pattern stays literal: %d %r %r, coreutils %r %r" % (code, out, err, gnu_out, gnu_err))


def main():
    def body():
        test_read_errors()
        test_base64_padding()
        test_list_lines()
        test_option_rules()
        test_quoted_names()
        test_patterns()
    return run_area("gnu_rules", body)


if __name__ == "__main__":
    sys.exit(main())
