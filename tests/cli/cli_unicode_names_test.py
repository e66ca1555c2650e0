#!/usr/bin/env python3
"""telvarn on files with non-ASCII names against coreutils: digests, check mode,
messages and Base64, and (under Wine, on a terminal) names written to a console as
characters.

usage: cli_unicode_names_test.py [--sanitized] COMMAND...   (see cli_support.py)
"""
import shutil
import sys

from cli_support import COMMAND, ON_WINE, as_module_case, check, check_both, gnu, run, run_area, skip, write


def test_unicode_names():
    names = ["grüße.txt", "日本語.txt", "emoji 😀.bin", "Ελληνικά"]
    for i, name in enumerate(names):
        write(name, ("contents %d" % i).encode() * (i + 1))
    for algorithm, tool in (("sha256", "sha256sum"), ("md5", "md5sum")):
        code, out, err = run([algorithm] + names)
        _, gnu_out, _ = gnu(tool, names)
        check(code == 0 and out == as_module_case(algorithm, gnu_out), "Unicode names, %s: %r %r" % (algorithm, out, err))
    _, listed, _ = gnu("sha256sum", names)
    write("LIST-unicode", listed)
    check_both("sha256sum", "sha256", ["-c", "LIST-unicode"], what="Unicode names")
    code, _, err = run(["sha256", "nié.txt"])
    check(code == 1 and err == "telvarn: nié.txt: No such file or directory\n".encode(), "Unicode in a message: %r" % err)
    code, out, _ = run(["base64", "日本語.txt"])
    check(code == 0 and out == gnu("base64", ["日本語.txt"])[1], "base64 of a Unicode name")
    if not ON_WINE:
        return
    if not shutil.which("script"):
        skip("names on a console", "no script program to give Wine a terminal")
        return
    # On a terminal Wine gives the program a console, which takes characters: the
    # names must come out as themselves, not as their UTF-8 bytes in a code page.
    code, out, _ = run(["-qec", " ".join(COMMAND + ["md5", "grüße.txt", "日本語.txt", "nié"]), "/dev/null"],
                       command=["script"])
    text = out.decode(errors="replace")
    check("grüße.txt" in text and "日本語.txt" in text and "telvarn: nié: No such file" in text,
          "names on a console: %r" % text)


if __name__ == "__main__":
    sys.exit(run_area("unicode_names", test_unicode_names))
