#!/usr/bin/env python3
"""telvarn's usage errors (status 2 and coreutils' wording), --help of every command,
--version and the module it names, and write errors on a full device.

usage: cli_errors_test.py [--sanitized] COMMAND...   (see cli_support.py)
"""
import os
import random
import re
import shutil
import subprocess
import sys

from cli_support import COMMAND, ON_WINE, check, gnu, run, run_area, skip, write, write_inputs


def test_errors_and_help():
    for args, pattern in ((["sha256", "--bogus"], rb"unrecognized option '--bogus'\nTry 'telvarn sha256 --help'"),
                          (["sha256", "-x"], rb"invalid option -- 'x'"),
                          (["sha256", "--tag", "-c", "x"], rb"--tag option is meaningless"),
                          (["sha256", "--quiet", "x"], rb"--quiet option is meaningful only when verifying"),
                          (["sha256", "-j", "0", "x"], rb"invalid number of jobs: '0'"),
                          (["md5", "x", "--jobs=2x"], rb"invalid number of jobs: '2x'"),
                          (["sha256", "-c", "-r", "x"], rb"the --recursive option is meaningless when verifying"),
                          (["frobnicate"], rb"unknown command 'frobnicate'"),
                          ([], rb"a command is missing"),
                          (["base64", "--bogus"], rb"unrecognized option '--bogus'"),
                          (["base64", "-w", "x"], rb"invalid wrap size"),
                          (["base64", "a", "b"], rb"extra operand")):
        code, _, err = run(args)
        check(code == 2 and re.search(pattern, err), "%s: status 2 and %r: %d %r" % (args, pattern, code, err))
    for command in ("crc32", "crc16", "md5", "sha1", "sha256", "sha512", "hmac-md5", "base64"):
        code, out, _ = run([command, "--help"])
        check(code == 0 and out.startswith(b"usage: telvarn " + command.encode()), "%s --help: %r" % (command, out[:60]))
    code, out, _ = run(["--help"])
    check(code == 0 and b"usage: telvarn" in out and b"lower-case" in out, "--help")
    code, out, _ = run(["--version"])
    version = re.match(rb"telvarn \d+\.\d+\.\d+\n(TelvarnHX(64)?\.hpi) \d+\.\d+\.\d+.*\nwith xxHash (\d+\.\d+\.\d+) ", out)
    check(code == 0 and version, "--version: %r" % out)
    if shutil.which("xxhsum") is None:
        skip("xxHash's version", "no xxhsum")
    elif version:
        xxhsum = subprocess.run(["xxhsum", "--version"], capture_output=True)
        check(b"xxhsum " + version.group(3) + b" " in xxhsum.stderr + xxhsum.stdout,
              "--version names the xxHash of Debian's xxhsum: %r" % (xxhsum.stderr[:30]))
    if ON_WINE and version:
        module = os.path.join(os.path.dirname(os.path.abspath(COMMAND[-1])), version.group(1).decode())
        check(os.path.isfile(module), "--version names %s, the module beside the program" % module)
    # Write errors end with status 2 and say so.
    if not os.path.exists("/dev/full"):
        skip("write errors", "no /dev/full")
        return
    write_inputs(random.Random(1208))
    write("LIST-text", gnu("sha256sum", ["abc.txt", "random.bin"])[1])
    for args in (["sha256", "abc.txt"], ["sha256", "-c", "LIST-text"], ["base64", "random.bin"],
                 ["base64", "-d", "-"], ["--help"]):
        with open("/dev/full", "wb") as full:
            code, _, err = run(args, stdin=b"Zm9v\n", stdout=full)
        check(code == 2 and b"write error: No space left on device" in err, "%s > /dev/full: %d %r" % (args, code, err))


if __name__ == "__main__":
    sys.exit(run_area("errors", test_errors_and_help))
