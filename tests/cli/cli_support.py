"""What every area of the telvarn command-line tests shares: the command under test
and how to run it and coreutils, the count of checks, the module's letter case,
reference digests, the inputs several areas digest, and an area's run in a
temporary directory of its own.

An area script takes: [--sanitized] COMMAND...   (the program, after what runs it,
if anything: "scripts/wine-run.sh win64 build/win64/telvarn.exe", "build/native/telvarn")
--sanitized is for the sanitizer builds, slow to start and on much data: the areas
run a smaller set where they say so.
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zlib

SANITIZED = sys.argv[1:2] == ["--sanitized"]
# Absolute, since each area runs in a directory of its own.
COMMAND = [os.path.abspath(part) if os.path.isfile(part) else part
           for part in (sys.argv[2:] if SANITIZED else sys.argv[1:])]
# A Windows program (under Wine, whatever runs it) takes names in UTF-16, and its
# module is a file beside it.
ON_WINE = bool(COMMAND) and COMMAND[-1].lower().endswith(".exe")
ENV = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
# Under the areas' ctest time-outs, so that a run that hangs is named by its
# command line rather than cut short with the rest of its area.
RUN_TIMEOUT_SECONDS = 300

failures = []
skipped = []
checks = 0


def run(args, stdin=b"", stdout=None, command=None):
    """Exit code, output and messages. They are caught in files, not pipes: a Wine
    server that the program starts keeps the descriptors it was given, and a pipe
    would then not end with the program."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run((command or COMMAND) + args, input=stdin, stdout=stdout or out, stderr=err,
                              timeout=RUN_TIMEOUT_SECONDS, env=ENV).returncode
        out.seek(0)
        err.seek(0)
        return code, out.read(), err.read()


def gnu(tool, args, stdin=b""):
    return run(args, stdin, command=[tool])


def check(condition, what):
    global checks
    checks += 1
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def skip(what, reason):
    """A check this host or build cannot make: said, and counted apart from those made."""
    skipped.append(what)
    print("SKIPPED (%s): %s" % (reason, what))


def crc16_mcrf4xx(data):
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0x8408 if crc & 1 else crc >> 1
    return "%04x" % crc


# The letter case of telvarn's digest lines: lower, as coreutils writes them (--upper
# gives upper case).
CASE = {"crc32": str.lower, "crc16": str.lower, "md5": str.lower, "sha1": str.lower, "sha224": str.lower,
        "sha256": str.lower, "sha384": str.lower, "sha512": str.lower, "hmac-md5": str.lower}
GNU_TOOL = {"md5": "md5sum", "sha1": "sha1sum", "sha224": "sha224sum", "sha256": "sha256sum",
            "sha384": "sha384sum", "sha512": "sha512sum"}
# The digests no coreutils program computes, with hashlib's name and the tag telvarn
# writes on BSD lines: the command in upper case, as for the others (OpenSSL names
# them SHA2-512/224 and SHA2-512/256, but writes no BSD lines).
HASHLIB_ONLY = {"sha512-224": ("sha512_224", "SHA512-224"), "sha512-256": ("sha512_256", "SHA512-256"),
                "sha3-224": ("sha3_224", "SHA3-224"), "sha3-256": ("sha3_256", "SHA3-256"),
                "sha3-384": ("sha3_384", "SHA3-384"), "sha3-512": ("sha3_512", "SHA3-512")}


def reflected_crc(width, polynomial, data):
    """A reflected CRC with initial value and final XOR all ones, a bit at a time:
    the reference of CRC-32C (width 32, polynomial 0x82F63B78) and CRC-64/XZ (64,
    0xC96C5795D7870F42), which neither zlib nor hashlib computes."""
    ones = (1 << width) - 1
    crc = ones
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ polynomial if crc & 1 else crc >> 1
    return "%0*x" % (width // 4, crc ^ ones)


def python_digest(algorithm, data):
    if algorithm in HASHLIB_ONLY:
        return hashlib.new(HASHLIB_ONLY[algorithm][0], data).hexdigest()
    if algorithm == "crc32":
        return "%08x" % zlib.crc32(data)
    if algorithm == "crc32c":
        return reflected_crc(32, 0x82F63B78, data)
    if algorithm == "crc64":
        return reflected_crc(64, 0xC96C5795D7870F42, data)
    return crc16_mcrf4xx(data)


def as_module_case(algorithm, gnu_output):
    """coreutils' lines with the digests in telvarn's letter case."""
    fix = CASE[algorithm]
    return re.sub(rb"(?m)^(\\?)([0-9a-f]{32,128})", lambda m: m.group(1) + fix(m.group(2).decode()).encode(),
                  gnu_output)


def gnu_messages(tool, stderr):
    return stderr.replace(tool.encode() + b": ", b"telvarn: ").replace(
        b"Try '%s --help'" % tool.encode(), b"Try 'telvarn %s --help'" % tool[:-3].encode())


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)


def check_both(tool, algorithm, args, stdin=b"", compare_stderr=True, what=""):
    """telvarn ALGORITHM ARGS against coreutils' TOOL ARGS: exit code, output and messages."""
    code, out, err = run([algorithm] + args, stdin)
    gnu_code, gnu_out, gnu_err = gnu(tool, args, stdin)
    check(code == gnu_code, "%s %s: exit %d, coreutils %d (%r, %r)" % (what, args, code, gnu_code, out[:200], err))
    check(out == gnu_out, "%s %s: output %r, coreutils %r" % (what, args, out, gnu_out))
    if compare_stderr:
        expected = gnu_messages(tool, gnu_err)
        check(err == expected, "%s %s: messages %r, coreutils %r" % (what, args, err, expected))


# The four files that the digest and check areas list, in this order.
LISTED_NAMES = ["empty.bin", "abc.txt", "random.bin", "with space.txt"]


def write_inputs(rng):
    """The inputs of the digest, check, key and error areas in the current directory:
    the listed files, a name that looks like an option, a folder, and (not on Windows,
    whose names cannot hold them) names with a backslash and a line end. Returns the
    files' contents by name."""
    files = {"empty.bin": b"", "abc.txt": b"abc", "random.bin": rng.randbytes(100000),
             "with space.txt": b"spaced out\n", "-dash.txt": b"dash"}
    for name, data in files.items():
        write(name, data)
    os.mkdir("folder")
    if not ON_WINE:
        write("back\\slash", b"1")
        write("new\nline", b"2")
    return files


# The exit status of an area that this host or build cannot run at all, which ctest
# reports as skipped.
SKIP_STATUS = 77


def run_area(area, body):
    """Runs body() in a temporary directory of the area's own, so that areas run side
    by side, and says how its checks went: "all checks passed" only when some ran and
    none failed; SKIPPED, with SKIP_STATUS, when none ran and some were skipped.
    Returns the exit status."""
    if not COMMAND:
        print("usage: %s [--sanitized] COMMAND..." % os.path.basename(sys.argv[0]))
        return 2
    work = tempfile.mkdtemp(prefix="telvarn-cli-%s-" % area)
    # Where scripts/wine-run.sh notes a start of telvarn.exe that Wine failed (and
    # that it made again), out of the messages the checks compare.
    notes_fd, notes = tempfile.mkstemp(prefix="telvarn-cli-%s-wine-" % area)
    os.close(notes_fd)
    ENV["TELVARN_WINE_RUN_NOTES"] = notes
    os.chdir(work)
    try:
        body()
    finally:
        os.chdir("/")
        shutil.rmtree(work, ignore_errors=True)
        with open(notes) as f:
            for line in f:
                print("NOTE:", line.rstrip("\n"))
        os.remove(notes)
    also = "; %d skipped" % len(skipped) if skipped else ""
    if failures:
        print("cli %s: %d of %d checks failed%s" % (area, len(failures), checks, also))
        return 1
    if checks == 0 and skipped:
        print("cli %s: SKIPPED (no check can run here; %d skipped)" % (area, len(skipped)))
        return SKIP_STATUS
    if checks == 0:
        print("cli %s: no check ran" % area)
        return 1
    print("cli %s: all checks passed (%d%s)" % (area, checks, also))
    return 0
