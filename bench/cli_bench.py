#!/usr/bin/env python3
"""Times telvarn.exe under Wine (or, with --native, the Linux telvarn) beside coreutils
and GNU base64 on the same inputs: every digest of one file read by name and through a
pipe, many small files, large files with each way of placing the jobs
(TELVARN_PLACEMENT), a 1 GiB pipe (from head) with its peak memory, and Base64 of 100 MiB
both ways, and each with and without --progress; files digested at once (-j) beside the
serial run and the GNU tools, the placements measured on files of each size, and
blake3 beside b3sum on one file on all processors and pinned to one, and through a
pipe. Each figure is the best of --repeats runs; the output is Markdown, ready for
the README.

usage: cli_bench.py BUILD_DIR [--native] [--repeats N] [--algorithm-mib N] [--small N]
                    [--large-mib N] [--pipe-mib N] [--sections LIST] [--jobs LIST]
                    [--baseline PROGRAM] [--blake3-mib N]
"""
import argparse
import os
import random
import shlex
import shutil
import subprocess
import tempfile
import time

parser = argparse.ArgumentParser()
parser.add_argument("build_dir")
parser.add_argument("--native", action="store_true", help="time BUILD_DIR/telvarn, the Linux program")
parser.add_argument("--algorithm-mib", type=int, default=256, help="size of the file each digest reads")
parser.add_argument("--repeats", type=int, default=3)
parser.add_argument("--small", type=int, default=1000, help="number of small files")
parser.add_argument("--large-mib", type=int, default=128, help="size of each of the four large files")
parser.add_argument("--pipe-mib", type=int, default=1024, help="bytes piped into sha256")
parser.add_argument("--blake3-mib", type=int, default=1024, help="size of the file of the blake3 table")
parser.add_argument("--sections", default="algorithms,progress,pipe,files,base64,parallel,placement,blake3",
                    help="which tables to make")
parser.add_argument("--jobs", default="1,2,4", help="the -j counts of the parallel table")
parser.add_argument("--baseline", help="an earlier telvarn (same kind) timed beside it in the parallel table")
args = parser.parse_args()

WINE_RUN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts", "wine-run.sh")
# A build folder of the 64-bit module holds TelvarnHX64.hpi.
ARCH = "win64" if os.path.exists(os.path.join(args.build_dir, "TelvarnHX64.hpi")) else "win32"
if args.native:
    TELVARN = [os.path.abspath(os.path.join(args.build_dir, "telvarn"))]
else:
    TELVARN = [WINE_RUN, ARCH, os.path.abspath(os.path.join(args.build_dir, "telvarn.exe"))]
ENV = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=", LANG="C.UTF-8")


def timed(command, stdin_path=None, placement=None, piped_from=None, quiet=False):
    """Best wall time of the command, its output thrown away (and its messages, when
    `quiet`); with `piped_from`, the command reads that file through a pipe from cat,
    and the time is the pipeline's."""
    env = dict(ENV)
    if placement:
        env["TELVARN_PLACEMENT"] = placement
    if piped_from:
        command = ["sh", "-c", "cat %s | %s" % (shlex.quote(piped_from), " ".join(shlex.quote(c) for c in command))]
    best = None
    for _ in range(args.repeats):
        stdin = open(stdin_path, "rb") if stdin_path else subprocess.DEVNULL
        start = time.perf_counter()
        code = subprocess.run(command, stdin=stdin, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL if quiet else None, env=env).returncode
        elapsed = time.perf_counter() - start
        if stdin_path:
            stdin.close()
        if code not in (0, 1):
            raise SystemExit("%s exited %d" % (command, code))
        best = elapsed if best is None else min(best, elapsed)
    return best


def piped(command, size):
    """Wall time and peak memory (KiB) of the command reading `size` zero bytes that
    head writes into a pipe. GNU time measures the peak: a child of this process
    would count this process's pages until it runs the program."""
    with tempfile.NamedTemporaryFile(prefix="telvarn-peak-") as peak_file:
        line = "head -c %d /dev/zero | /usr/bin/time -f %%M -o %s %s > /dev/null" % (
            size, peak_file.name, " ".join(command))
        start = time.perf_counter()
        subprocess.run(["sh", "-c", line], env=ENV, check=True)
        elapsed = time.perf_counter() - start
        return elapsed, int(open(peak_file.name).read().split()[-1])


def row(*cells):
    print("| " + " | ".join(cells) + " |")


def main():
    sections = args.sections.split(",")
    if "algorithms" in sections:
        algorithm_table()
    if "progress" in sections:
        progress_table()
    if "pipe" in sections:
        pipe_table()
    if "files" in sections or "base64" in sections:
        file_tables(sections)
    if "parallel" in sections:
        parallel_table()
    if "placement" in sections:
        placement_table()
    if "blake3" in sections:
        blake3_table()


# The tool each digest is set beside. No coreutils tool computes this CRC-32 or any
# CRC-16: cksum (the POSIX CRC-32) and Python's CRC-16/XMODEM stand in for their speed.
# SHA-512/256 and the SHA-3 come from OpenSSL's dgst, CRC-32C from rhash, XXH3 from
# xxHash's own xxhsum; CRC-64/XZ has no command of its own (xz computes it only
# inside its container).
CRC16_TOOL = ["python3", "-c", "import sys, binascii\nc = 0\n"
              "for b in iter(lambda: sys.stdin.buffer.read(1 << 16), b''): c = binascii.crc_hqx(b, c)\n"
              "print('%04X' % c)"]
ALGORITHM_TOOLS = (("crc32", ["cksum"], "cksum"), ("crc16", CRC16_TOOL, "python3 binascii.crc_hqx"),
                   ("crc32c", ["rhash", "--crc32c", "-"], "rhash --crc32c"),
                   ("md5", ["md5sum"], "md5sum"), ("sha1", ["sha1sum"], "sha1sum"),
                   ("sha224", ["sha224sum"], "sha224sum"), ("sha256", ["sha256sum"], "sha256sum"),
                   ("sha384", ["sha384sum"], "sha384sum"), ("sha512", ["sha512sum"], "sha512sum"),
                   ("sha512-256", ["openssl", "dgst", "-sha512-256"], "openssl dgst -sha512-256"),
                   ("sha3-256", ["openssl", "dgst", "-sha3-256"], "openssl dgst -sha3-256"),
                   ("sha3-512", ["openssl", "dgst", "-sha3-512"], "openssl dgst -sha3-512"),
                   ("blake2b", ["b2sum"], "b2sum"), ("blake3", ["b3sum"], "b3sum"),
                   ("xxh3", ["xxhsum", "-H3"], "xxhsum -H3"), ("xxh128", ["xxhsum", "-H128"], "xxhsum -H128"))


def random_file(seed):
    """A folder of its own holding data.bin, --algorithm-mib MiB of seeded random bytes."""
    work = tempfile.mkdtemp(prefix="telvarn-bench-")
    data = os.path.join(work, "data.bin")
    rng = random.Random(seed)
    with open(data, "wb") as f:
        for _ in range(args.algorithm_mib):
            f.write(rng.randbytes(1 << 20))
    return work, data


def algorithm_table():
    """Each digest of one random file, named and through a pipe from cat, beside its tool."""
    work, data = random_file(11)
    print("## Every digest of %d MiB, named and through a pipe (best of %d)" % (args.algorithm_mib, args.repeats))
    print()
    row("digest", "telvarn file s", "tool file s", "tool/telvarn", "telvarn pipe s", "tool pipe s", "tool")
    row("---", "---:", "---:", "---:", "---:", "---:", "---")
    for algorithm, tool, tool_name in ALGORITHM_TOOLS:
        # The tools read a named file from their standard input, as the telvarn file row
        # reads it from its name: no pipe either way.
        ours, theirs = timed(TELVARN + [algorithm, data]), timed(tool, stdin_path=data)
        row(algorithm, "%.2f" % ours, "%.2f" % theirs, "%.2f" % (theirs / ours),
            "%.2f" % timed(TELVARN + [algorithm], piped_from=data), "%.2f" % timed(tool, piped_from=data),
            tool_name)
    print()
    shutil.rmtree(work, ignore_errors=True)


def progress_table():
    """What --progress costs: the same runs with and without it, its line thrown away."""
    work, data = random_file(12)
    print("## --progress on %d MiB (best of %d)" % (args.algorithm_mib, args.repeats))
    print()
    row("command", "without s", "with --progress s")
    row("---", "---:", "---:")
    for words, piped_from in ((["md5", data], None), (["sha256", data], None), (["sha256"], data),
                              (["base64", data], None), (["base64"], data)):
        shown = " ".join(os.path.basename(w) for w in words) + (" < pipe" if piped_from else "")
        row("`%s`" % shown, "%.2f" % timed(TELVARN + words, piped_from=piped_from, quiet=True),
            "%.2f" % timed(TELVARN + [words[0], "--progress"] + words[1:], piped_from=piped_from, quiet=True))
    # Many jobs in flight: the line asks the module about each of them, and every
    # ask pauses. 300 files of 1 MiB, each named four times, so that the run
    # outlasts a few redraws natively.
    names = []
    rng = random.Random(13)
    for i in range(300):
        names.append(os.path.join(work, "small-%03d.bin" % i))
        with open(names[-1], "wb") as f:
            f.write(rng.randbytes(1 << 20))
    words = ["sha256", "-j", "64"] + names * 4
    row("`sha256 -j 64` of 300 files of 1 MiB, each named 4 times",
        "%.2f" % timed(TELVARN + words, quiet=True),
        "%.2f" % timed(TELVARN + [words[0], "--progress"] + words[1:], quiet=True))
    print()
    shutil.rmtree(work, ignore_errors=True)


def pipe_table():
    print("## 1 GiB pipe" if args.pipe_mib == 1024 else "## %d MiB pipe" % args.pipe_mib)
    print()
    row("command", "wall s", "peak memory MiB")
    row("---", "---:", "---:")
    for command in (TELVARN + ["sha256"], ["sha256sum"], TELVARN + ["crc32"]):
        elapsed, peak = piped(command, args.pipe_mib << 20)
        shown = command[2:] if command[0] == WINE_RUN else command
        row("`%s`" % " ".join(c if "/" not in c else os.path.basename(c) for c in shown),
            "%.2f" % elapsed, "%.1f" % (peak / 1024))
    print()


def file_tables(sections):
    work = tempfile.mkdtemp(prefix="telvarn-bench-")
    os.chdir(work)
    rng = random.Random(7)
    small = ["small%04d.txt" % i for i in range(args.small)]
    for name in small:
        with open(name, "wb") as f:
            f.write(rng.randbytes(rng.randrange(10, 1000)))
    with open("SMALL.sums", "wb") as f:
        f.write(subprocess.run(["sha256sum"] + small, capture_output=True).stdout)
    large = ["large%d.bin" % i for i in range(4)]
    for name in large:
        with open(name, "wb") as f:
            for _ in range(args.large_mib):
                f.write(rng.randbytes(1 << 20))
    few = small[:100]

    if "files" in sections:
        files_table(small, large, few)
    if "base64" in sections:
        base64_table(rng)
    os.chdir("/")
    shutil.rmtree(work, ignore_errors=True)


def files_table(small, large, few):
    print("## Many files and large files (best of %d)" % args.repeats)
    print()
    row("what", "placement", "wall s")
    row("---", "---", "---:")
    row("sha256 of %d small files" % len(small), "threads", "%.2f" % timed(TELVARN + ["sha256"] + small))
    row("sha256 -j 1 of %d small files" % len(small), "threads",
        "%.2f" % timed(TELVARN + ["sha256", "-j", "1"] + small))
    row("sha256sum of %d small files" % len(small), "", "%.2f" % timed(["sha256sum"] + small))
    row("sha256 -c of a %d-line list" % len(small), "threads", "%.2f" % timed(TELVARN + ["sha256", "-c", "SMALL.sums"]))
    row("sha256sum -c of a %d-line list" % len(small), "", "%.2f" % timed(["sha256sum", "-c", "SMALL.sums"]))
    for placement in ("threads", "own", "queue"):
        row("sha256 of 100 small files", placement, "%.2f" % timed(TELVARN + ["sha256"] + few, placement=placement))
    for algorithm, tool in (("sha256", "sha256sum"), ("md5", "md5sum"), ("sha512", "sha512sum")):
        what = "%s of 4 files of %d MiB" % (algorithm, args.large_mib)
        for placement in ("threads", "own", "queue"):
            row(what, placement, "%.2f" % timed(TELVARN + [algorithm] + large, placement=placement))
        row("%s of the same" % tool, "", "%.2f" % timed([tool] + large))
    print()


def base64_table(rng):
    print("## Base64 of 100 MiB (best of %d)" % args.repeats)
    print()
    with open("data.bin", "wb") as f:
        f.write(rng.randbytes(100 << 20))
    with open("data.b64", "wb") as f:
        f.write(subprocess.run(["base64", "data.bin"], capture_output=True).stdout)
    row("what", "telvarn s", "GNU base64 s")
    row("---", "---:", "---:")
    row("encode a file", "%.2f" % timed(TELVARN + ["base64", "data.bin"]), "%.2f" % timed(["base64", "data.bin"]))
    row("encode standard input", "%.2f" % timed(TELVARN + ["base64"], "data.bin"), "%.2f" % timed(["base64"], "data.bin"))
    row("decode a file", "%.2f" % timed(TELVARN + ["base64", "-d", "data.b64"]),
        "%.2f" % timed(["base64", "-d", "data.b64"]))
    row("decode standard input", "%.2f" % timed(TELVARN + ["base64", "-d"], "data.b64"),
        "%.2f" % timed(["base64", "-d"], "data.b64"))
    print()


def write_random(name, size, rng):
    with open(name, "wb") as f:
        while size > 0:
            piece = min(size, 1 << 20)
            f.write(rng.randbytes(piece))
            size -= piece


def parallel_table():
    """The issue's rows: eight 96 MiB files (md5), 2,000 files of 0-128 KiB (sha256) and
    one 1 GiB file (sha256), by telvarn at each -j, the baseline if given, and the GNU tool."""
    work = tempfile.mkdtemp(prefix="telvarn-bench-")
    os.chdir(work)
    rng = random.Random(31)
    large = ["large%d.bin" % i for i in range(8)]
    for name in large:
        write_random(name, 96 << 20, rng)
    small = ["small%04d.bin" % i for i in range(2000)]
    for name in small:
        write_random(name, rng.randrange(0, 128 << 10), rng)
    write_random("one.bin", 1 << 30, rng)
    rows = (("md5 of 8 files of 96 MiB", "md5", "md5sum", large),
            ("sha256 of 2,000 files of 0-128 KiB", "sha256", "sha256sum", small),
            ("sha256 of one 1 GiB file", "sha256", "sha256sum", ["one.bin"]))
    jobs = args.jobs.split(",")
    print("## Files at once (-j), best of %d" % args.repeats)
    print()
    heads = ["what"] + ["-j %s s" % n for n in jobs] + (["baseline s"] if args.baseline else []) + [
        "tool s", "tool / fastest -j"]
    row(*heads)
    row(*(["---"] + ["---:"] * (len(heads) - 1)))
    baseline = None
    if args.baseline:
        baseline = [args.baseline] if args.native else [WINE_RUN, ARCH, os.path.abspath(args.baseline)]
    for what, algorithm, tool, files in rows:
        times = [timed(TELVARN + [algorithm, "-j", n] + files) for n in jobs]
        cells = ["%.2f" % t for t in times]
        if baseline:
            cells.append("%.2f" % timed(baseline + [algorithm] + files))
        tool_time = timed([tool] + files)
        row(what, *cells, "%.2f" % tool_time, "%.2fx" % (tool_time / min(times)))
    print()
    os.chdir("/")
    shutil.rmtree(work, ignore_errors=True)


def placement_table():
    """Where each file's job runs (TELVARN_PLACEMENT), on 100 files of each size (4 of
    96 MiB), at the default -j."""
    work = tempfile.mkdtemp(prefix="telvarn-bench-")
    os.chdir(work)
    rng = random.Random(32)
    print("## Placement of the jobs, sha256, best of %d" % args.repeats)
    print()
    row("files", "threads s", "own s", "queue s")
    row("---", "---:", "---:", "---:")
    for size, count, shown in ((0, 100, "100 of 0 B"), (4096, 100, "100 of 4 KiB"), (1 << 20, 100, "100 of 1 MiB"),
                               (96 << 20, 4, "4 of 96 MiB")):
        names = ["p%d-%03d" % (size, i) for i in range(count)]
        for name in names:
            write_random(name, size, rng)
        row(shown, *["%.3f" % timed(TELVARN + ["sha256"] + names, placement=p) for p in ("threads", "own", "queue")])
    print()
    os.chdir("/")
    shutil.rmtree(work, ignore_errors=True)


def blake3_table():
    """telvarn blake3 and b3sum on one file of --blake3-mib MiB (1 GiB, as the parallel
    table's), read by name: on every processor, then pinned to processor 0 (b3sum
    with --num-threads 1, which then also runs one thread); and the same file through
    a pipe from cat, on every processor only (cat shares them)."""
    work = tempfile.mkdtemp(prefix="telvarn-bench-")
    data = os.path.join(work, "one.bin")
    write_random(data, args.blake3_mib << 20, random.Random(33))
    print("## blake3 and b3sum on one file of %d MiB, best of %d" % (args.blake3_mib, args.repeats))
    print()
    row("command", "all processors s", "pinned to processor 0 s", "GiB/s pinned")
    row("---", "---:", "---:", "---:")
    pin = ["taskset", "-c", "0"]
    for shown, everywhere, pinned in (("telvarn blake3", TELVARN + ["blake3", data], pin + TELVARN + ["blake3", data]),
                                      ("b3sum", ["b3sum", data], pin + ["b3sum", "--num-threads", "1", data])):
        one = timed(pinned)
        row(shown, "%.2f" % timed(everywhere), "%.2f" % one, "%.2f" % (args.blake3_mib / 1024 / one))
    for shown, command in (("telvarn blake3 < pipe from cat", TELVARN + ["blake3"]),
                           ("b3sum < pipe from cat", ["b3sum"])):
        row(shown, "%.2f" % timed(command, piped_from=data), "-", "-")
    print()
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
