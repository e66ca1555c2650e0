#!/usr/bin/env python3
"""telvarn base64 against GNU base64 both ways: every wrap width on sizes around the
line and chunk boundaries, --crlf, the module's own lines, decoding from files and
pipes, the malformed texts it refuses, and 20 MiB streams past what the decoder holds
in memory.

usage: cli_base64_test.py [--sanitized] COMMAND...   (see cli_support.py)
"""
import base64
import random
import sys

from cli_support import check, gnu, run, run_area, write


def module_lines(data):
    text = base64.b64encode(data)
    lines = b"".join(text[i:i + 72] + b"\r\n" for i in range(0, len(text), 72))
    return lines + b"\r\n" if len(data) % 54 == 0 else lines


def test_base64():
    rng = random.Random(1208)
    sizes = [0, 1, 2, 3, 4, 53, 54, 55, 56, 57, 58, 108, 1000, 100000, 884735, 884736, 884737, 1769472]
    for size in sizes:
        data = rng.randbytes(size)
        write("data.bin", data)
        for options in ([], ["-w", "0"], ["-w", "10"], ["--wrap=1"], ["-w72"]):
            code, out, err = run(["base64"] + options + ["data.bin"])
            _, expected, _ = gnu("base64", options + ["data.bin"])
            check(code == 0 and out == expected,
                  "base64 %s of %d bytes: exit %d, %r, %r" % (options, size, code, out[:200], err[:200]))
        code, out, _ = run(["base64", "encode", "--crlf", "-"], stdin=data)
        check(code == 0 and out == gnu("base64", [], data)[1].replace(b"\n", b"\r\n"), "--crlf of %d bytes" % size)
        code, lines, _ = run(["base64", "--module-lines", "data.bin"])
        check(code == 0 and lines == module_lines(data), "--module-lines of %d bytes" % size)
        for text in (gnu("base64", ["data.bin"])[1], gnu("base64", ["-w", "0", "data.bin"])[1], lines,
                     gnu("base64", ["-w", "7", "data.bin"])[1].replace(b"\n", b"\r\n")):
            write("text.b64", text)
            code, out, err = run(["base64", "decode", "text.b64"])
            check(code == 0 and out == data,
                  "decode of %d bytes from a file: exit %d, %d bytes, %r" % (size, code, len(out), err))
            code, out, err = run(["base64", "-d"], stdin=text)
            check(code == 0 and out == data,
                  "decode of %d bytes from a pipe: exit %d, %d bytes, %r" % (size, code, len(out), err))
    for text, why in ((b"Zg", b"group of four"), (b"Zg=", b"group of four"), (b"Zm9v!", b"'!' at byte 4"),
                      (b"Zm 9v", b"' ' at byte 2"), (b"Zg==Zg", b"group of four"), (b"Zm9v\r", b"CR"),
                      (b"Zm\r9v", b"CR not followed by LF"), (b"Z===", b"'='"), (b"Zm=v", b"inside the padding"),
                      (b"=", b"'='"), (b"Zm9v\tYmFy", b"0x09"), (b"Zm9vYmFy\x00", b"0x00")):
        for args, stdin in ((["base64", "-d"], text), (["base64", "decode", "bad.b64"], b"")):
            write("bad.b64", text)
            code, out, err = run(args, stdin)
            check(code == 1 and out == b"" and b"invalid input" in err and why in err,
                  "malformed %r refused (%s): %d %r %r" % (text, args[-1], code, out, err))
    # Past what the decoder holds in memory, the decoded bytes wait in a temporary file.
    data = rng.randbytes(20 << 20)
    text = gnu("base64", [], data)[1]
    code, out, _ = run(["base64", "-d"], stdin=text)
    check(code == 0 and out == data, "decode of 20 MiB from a pipe")
    code, out, _ = run(["base64", "-d"], stdin=text[:-3] + b"!\n")
    check(code == 1 and out == b"", "a bad byte at the end of 27 MiB of text writes nothing")
    code, out, _ = run(["base64", "-"], stdin=data)
    check(code == 0 and out == text, "encode of 20 MiB from a pipe")


if __name__ == "__main__":
    sys.exit(run_area("base64", test_base64))
