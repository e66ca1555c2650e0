#!/usr/bin/env python3
"""Runs the DLL benches under Wine beside the i386 and x86-64 references in interleaved rounds and prints the comparison tables.

The programs: the 32-bit DLL bench and the i386 reference (OpenSSL and zlib built
with gcc -m32, the DLL's own instruction set), and the 64-bit DLL bench and the
x86-64 reference; each pair is left out when its programs are missing or when
--without-32bit says why 32-bit programs cannot be measured here. Each round runs
every program once, the order turning by one program a round, so that a drift in
the machine's other load falls on all alike. Each program keeps the best of its
repeats per measurement; this script takes the median over the rounds. The figures
are MB/s (10^6 bytes of binary data per second) by process CPU time unless --clock
wall is given: CPU time is what a job costs whatever else the machine runs, and on
an idle machine it equals the wall time of these runs, single-threaded but for
BLAKE3's helper threads (a line under each DLL's table gives BLAKE3's wall-clock
rate). The tables are Markdown so they can be pasted into bench/README.md as they
stand. Exit status 1 if a result differs between the programs (the DLLs must
compute what OpenSSL, zlib and xxHash compute) or, for BLAKE3, between the memory
and file runs.
"""

import argparse
import datetime
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run.sh")

# DLL job, its reference, the reference that must give the same result text (None
# where no reference computes the digest: the DLL's memory and file results must
# then agree), the 32-bit DLL's target against the i386 reference, the 64-bit
# DLL's against the x86-64 one. A target is ("ratio", x): DLL/reference >= x;
# ("absolute", MB/s); ("ceiling", x): at least x times the rate at which one core
# reads the input bare in the DLL's own host process (dll_memory_read; Wine lays
# out the host's memory its own way, so a Linux process's read is no fair peer),
# or the reference's memory_read where the DLL bench has none; or ("info",).
# SHA-224 runs SHA-256's block function and SHA-384, SHA-512/224 and SHA-512/256
# SHA-512's, so each is held to its sibling's target.
DIGEST_ROWS = [
    ("CRC-32", "crc32", "zlib_crc32", "zlib_crc32", ("absolute", 10000.0), ("ceiling", 0.9)),
    ("CRC-16", "crc16", "textbook_crc16", "textbook_crc16", ("absolute", 10000.0), ("ceiling", 0.9)),
    ("CRC-32C", "crc32c", "textbook_crc32c", "textbook_crc32c", ("ceiling", 0.9), ("ceiling", 0.9)),
    ("CRC-64", "crc64", "textbook_crc64", "textbook_crc64", ("ceiling", 0.9), ("ceiling", 0.9)),
    ("MD5", "md5", "openssl_md5", "openssl_md5", ("ratio", 0.95), ("ratio", 1.0)),
    ("HMAC-MD5", "hmac_md5", "openssl_hmac_md5", "openssl_hmac_md5", ("info",), ("info",)),
    ("SHA-1", "sha1", "openssl_sha1", "openssl_sha1", ("ratio", 1.0), ("ratio", 1.0)),
    ("SHA-256", "sha256", "openssl_sha256", "openssl_sha256", ("ratio", 1.0), ("ratio", 1.0)),
    ("SHA-224", "sha224", "openssl_sha224", "openssl_sha224", ("ratio", 1.0), ("ratio", 1.0)),
    ("SHA-512", "sha512", "openssl_sha512", "openssl_sha512", ("ratio", 1.3), ("ratio", 1.0)),
    ("SHA-384", "sha384", "openssl_sha384", "openssl_sha384", ("ratio", 1.3), ("ratio", 1.0)),
    ("SHA-512/224", "sha512_224", "openssl_sha512_224", "openssl_sha512_224", ("ratio", 1.3), ("ratio", 1.0)),
    ("SHA-512/256", "sha512_256", "openssl_sha512_256", "openssl_sha512_256", ("ratio", 1.3), ("ratio", 1.0)),
    ("SHA3-224", "sha3_224", "openssl_sha3_224", "openssl_sha3_224", ("info",), ("info",)),
    ("SHA3-256", "sha3_256", "openssl_sha3_256", "openssl_sha3_256", ("ratio", 1.0), ("ratio", 1.0)),
    ("SHA3-384", "sha3_384", "openssl_sha3_384", "openssl_sha3_384", ("info",), ("info",)),
    ("SHA3-512", "sha3_512", "openssl_sha3_512", "openssl_sha3_512", ("info",), ("info",)),
    ("BLAKE2b-512", "blake2b", "openssl_blake2b512", "openssl_blake2b512", ("ratio", 1.0), ("ratio", 1.0)),
    ("BLAKE2s-256", "blake2s", "openssl_blake2s256", "openssl_blake2s256", ("ratio", 1.0), ("ratio", 1.0)),
    ("BLAKE3", "blake3", "memory_read", None, ("info",), ("info",)),
    ("XXH3-64", "xxh3", "xxhash_xxh3", "xxhash_xxh3", ("ceiling", 0.9), ("ceiling", 0.9)),
    ("XXH3-128", "xxh128", "xxhash_xxh128", "xxhash_xxh128", ("ceiling", 0.9), ("ceiling", 0.9)),
    ("HMAC-SHA-1", "hmac_sha1", "openssl_hmac_sha1", "openssl_hmac_sha1", ("info",), ("info",)),
    ("HMAC-SHA-256", "hmac_sha256", "openssl_hmac_sha256", "openssl_hmac_sha256", ("info",), ("info",)),
    ("HMAC-SHA-512", "hmac_sha512", "openssl_hmac_sha512", "openssl_hmac_sha512", ("info",), ("info",)),
    ("HMAC-SHA-384", "hmac_sha384", "openssl_hmac_sha384", "openssl_hmac_sha384", ("info",), ("info",)),
    ("HMAC-SHA3-256", "hmac_sha3_256", "openssl_hmac_sha3_256", "openssl_hmac_sha3_256", ("info",), ("info",)),
]
# Each keyed job beside its plain digest in the same DLL: the keyed job runs the
# plain digest's block function and adds two blocks and an outer hash, so on the
# 64 MiB input it is held to this fraction of the plain job's rate, the ratio taken
# within each round (the two run moments apart) and its median over the rounds.
KEYED_ROWS = [("HMAC-MD5", "hmac_md5", "MD5", "md5"), ("HMAC-SHA-1", "hmac_sha1", "SHA-1", "sha1"),
              ("HMAC-SHA-256", "hmac_sha256", "SHA-256", "sha256"),
              ("HMAC-SHA-512", "hmac_sha512", "SHA-512", "sha512"), ("HMAC-SHA-384", "hmac_sha384", "SHA-384", "sha384"),
              ("HMAC-SHA3-256", "hmac_sha3_256", "SHA3-256", "sha3_256")]
KEYED_TARGET = 0.98
# Shown under the CRC rows: the one-lookup-per-byte floor, and the ceiling that
# reading the input from memory sets for any job.
FLOOR_ROWS = {"CRC-32": ("floor", "textbook_crc32"), "CRC-64": ("read ceiling", "memory_read")}
BASE64_ROWS = [
    ("Base64 encode, one line", "b64_encode_lines0", "openssl_b64_encode_block", ("ratio", 2.0)),
    ("Base64 encode, lines", "b64_encode_lines1", "openssl_b64_encode_lines", ("ratio", 2.0)),
    ("Base64 decode, one line", "b64_decode_lines0", "openssl_b64_decode_block", ("ratio", 2.0)),
    ("Base64 decode, lines", "b64_decode_lines1", "openssl_b64_decode_lines", ("ratio", 2.0)),
]
FILE_TARGET = 0.8
SMALL_JOB_TARGET_US = 10.0
# The 32-bit DLL's in-memory rate beside OpenSSL's x86-64 build, which has the
# 64-bit mode's registers: the target where one is set, otherwise for information.
X86_64_TARGETS = {"SHA-512": 0.9}
# Each DLL bench, the reference it is held to, and how its tables name it.
PAIRS = (("dll", "reference", "32-bit DLL", "i386"), ("dll64", "reference64", "64-bit DLL", "x86-64"))


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown"


def commit():
    try:
        head = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"],
                              capture_output=True, text=True, check=True).stdout.strip()
        dirty = subprocess.run(["git", "-C", ROOT, "status", "--porcelain", "--untracked-files=no"],
                               capture_output=True, text=True).stdout.strip()
        return head + ("-dirty" if dirty else "")
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


def load_average():
    try:
        return " ".join(f"{x:.1f}" for x in os.getloadavg())
    except OSError:
        return "unknown"


def run(command, env, timeout):
    """Runs one program; returns {name: (bytes, wall_s, cpu_s, check)} and its META words."""
    done = subprocess.run(command, capture_output=True, text=True, env=env, timeout=timeout)
    if done.returncode != 0:
        sys.exit(f"compare: {' '.join(command)} failed ({done.returncode}):\n{done.stderr}{done.stdout}")
    results, meta = {}, {}
    for line in done.stdout.splitlines():
        words = line.split()
        if not words:
            continue
        if words[0] == "BENCH" and len(words) == 8:
            results[words[1]] = (int(words[2]), float(words[3]), float(words[4]), words[7])
        elif words[0] == "META":
            meta.update(zip(words[1::2], words[2::2]))
    if not results:
        sys.exit(f"compare: {' '.join(command)} printed no BENCH lines:\n{done.stdout}{done.stderr}")
    return results, meta


def mb_per_s(result, clock):
    size, wall, cpu, _ = result
    seconds = cpu if clock == "cpu" else wall
    return size / 1e6 / max(seconds, 1e-9)


def fmt(value, digits=1):
    return "-" if value is None else f"{value:.{digits}f}"


def judge(target, rate, reference, ceiling):
    """The target's text and whether the rate meets it."""
    if target[0] == "ratio":
        return f"≥ {target[1]:.2f}× ref", rate is not None and reference is not None and rate >= target[1] * reference
    if target[0] == "absolute":
        return f"≥ {target[1]:,.0f} MB/s", rate is not None and rate >= target[1]
    if target[0] == "ceiling":
        return (f"≥ {target[1]:.2f}× the bare read",
                rate is not None and ceiling is not None and rate >= target[1] * ceiling)
    return "info", True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--reference", default=os.path.join(ROOT, "build/i386/reference"))
    parser.add_argument("--reference64", default=os.path.join(ROOT, "build/x86_64/reference"))
    parser.add_argument("--dll-bench", default=os.path.join(ROOT, "build/win32/telvarn_dll_bench.exe"))
    parser.add_argument("--dll64-bench", default=os.path.join(ROOT, "build/win64/telvarn_dll_bench.exe"))
    parser.add_argument("--without-32bit", metavar="REASON",
                        help="measure no 32-bit program (the 32-bit DLL, the i386 reference), for this reason")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--repeats", type=int, default=2, help="runs per measurement in a round; the best counts")
    parser.add_argument("--mib", type=int, default=64, help="digest input size in MiB")
    parser.add_argument("--base64-mib", type=int, default=32, help="Base64 input size in MiB")
    parser.add_argument("--clock", choices=["cpu", "wall"], default="cpu")
    parser.add_argument("--timeout", type=int, default=1800, help="seconds one program run may take")
    parser.add_argument("--raw", help="also write every round's figures to this file")
    args = parser.parse_args()

    sizes = ["--mib", str(args.mib), "--base64-mib", str(args.base64_mib), "--repeats", str(args.repeats)]
    candidates = {
        "reference": (args.reference, [args.reference]),
        "dll": (args.dll_bench, [WINE_RUN, "win32", args.dll_bench]),
        "reference64": (args.reference64, [args.reference64]),
        "dll64": (args.dll64_bench, [WINE_RUN, "win64", args.dll64_bench]),
    }
    programs, left_out = {}, []
    for which, (path, command) in candidates.items():
        if args.without_32bit and which in ("reference", "dll"):
            left_out.append(f"{os.path.basename(path)} ({args.without_32bit})")
        elif os.path.exists(path):
            programs[which] = command + sizes
        else:
            left_out.append(f"{path} (missing; scripts/bench.sh builds it)")
    pairs = [pair for pair in PAIRS if pair[0] in programs and pair[1] in programs]
    if not pairs:
        sys.exit("compare: no DLL bench with its reference to run; left out: " + "; ".join(left_out))
    env = dict(os.environ)
    started = datetime.datetime.now(datetime.timezone.utc)
    load_before = load_average()
    rounds = {which: [] for which in programs}
    meta = {}
    names = list(programs)
    for r in range(args.rounds):
        order = names[r % len(names):] + names[:r % len(names)]
        for which in order:
            results, words = run(programs[which], env, args.timeout)
            rounds[which].append(results)
            meta[which] = words
        print(f"round {r + 1}/{args.rounds} done", file=sys.stderr)
    load_after = load_average()

    if args.raw:
        with open(args.raw, "w") as f:
            for which, runs in rounds.items():
                for r, results in enumerate(runs):
                    for name, (size, wall, cpu, check) in sorted(results.items()):
                        f.write(f"{which} {r + 1} {name} {size} {wall:.6f} {cpu:.6f} {check}\n")

    def median(which, name, clock=args.clock):
        if which not in rounds:
            return None
        values = [mb_per_s(res[name], clock) for res in rounds[which] if name in res]
        return statistics.median(values) if values else None

    worst_spread = (0.0, "")

    def track(which, name):
        nonlocal worst_spread
        values = [mb_per_s(res[name], args.clock) for res in rounds.get(which, []) if name in res]
        if len(values) >= 2:
            s = (max(values) - min(values)) / statistics.median(values)
            if s > worst_spread[0]:
                worst_spread = (s, f"{which} {name}")

    # Results must agree: each DLL's memory and file runs with its reference, and the
    # references with each other.
    problems = []
    for dll, reference, dll_name, _ in pairs:
        last_ref, last_dll = rounds[reference][-1], rounds[dll][-1]
        for label, job, _, check_name, _, _ in DIGEST_ROWS:
            if check_name is None:
                # No reference: the memory run must give a result, and the file run the same.
                memory, from_file = (last_dll.get(f"dll_{job}_{source}", (0, 0, 0, None))[3]
                                     for source in ("memory", "file"))
                if memory in (None, "-", "bind-failed", "job-failed") or memory != from_file:
                    problems.append(f"{label}: the {dll_name} gave {memory} from memory, {from_file} from a file")
            else:
                expected = last_ref.get(check_name, (0, 0, 0, None))[3]
                for source in ("memory", "file"):
                    got = last_dll.get(f"dll_{job}_{source}", (0, 0, 0, None))[3]
                    if got is None or expected is None or got.lower() != expected.lower():
                        problems.append(f"{label} ({source}): the {dll_name} gave {got}, {check_name} gave {expected}")
            small = last_dll.get(f"dll_{job}_small", (0, 0, 0, None))[3]
            if not small or small == "job-failed":
                problems.append(f"{label}: a small job of the {dll_name} did not start or gave no result")
        for label, job, ref, _ in BASE64_ROWS:
            for name, which in ((f"dll_{job}", last_dll), (ref, last_ref)):
                if which.get(name, (0, 0, 0, None))[3] != "ok":
                    problems.append(f"{label}: {name} round trip failed ({dll_name} run)")
    if "reference" in rounds and "reference64" in rounds:
        for label, _, _, check_name, _, _ in DIGEST_ROWS:
            if check_name is None:
                continue
            got = rounds["reference64"][-1].get(check_name, (0, 0, 0, None))[3]
            expected = rounds["reference"][-1].get(check_name, (0, 0, 0, None))[3]
            if got != expected:
                problems.append(f"{label}: the x86-64 {check_name} gave {got}, the i386 one {expected}")

    wall_over_cpu = statistics.median(
        res[n][1] / max(res[n][2], 1e-9) for runs in rounds.values() for res in runs for n in res)

    def library_versions(which, how):
        if which not in meta:
            return None
        return f"{how} OpenSSL {meta[which].get('openssl', '?')}, zlib {meta[which].get('zlib', '?')}"

    references = [text for text in (library_versions("reference", "i386 (gcc -m32 -O2)"),
                                    library_versions("reference64", "x86-64 (gcc -O2)")) if text]
    clocks = [f"{dll_name} CPU clock {meta[dll].get('cpu_clock', '?')}" for dll, _, dll_name, _ in PAIRS
              if dll in meta]
    print(f"- Date: {started:%Y-%m-%d %H:%M} UTC")
    print(f"- CPU: {cpu_model()} ({os.cpu_count()} logical)")
    print(f"- Commit: {commit()}")
    print(f"- Reference: {'; '.join(references)}; DLLs under Wine ({', '.join(clocks)})")
    print(f"- Method: {args.rounds} interleaved rounds, median of each round's best of {args.repeats}; "
          f"digests {args.mib} MiB, Base64 {args.base64_mib} MiB; MB/s by {args.clock} time")
    print(f"- Load average before/after: {load_before} / {load_after}; "
          f"median wall/CPU time {wall_over_cpu:.2f} (1.0 on an idle machine)")
    if left_out:
        print(f"- Not measured: {'; '.join(left_out)}")

    for dll, reference, dll_name, reference_name in pairs:
        print()
        print(f"{dll_name} beside the {reference_name} reference:")
        print()
        print(f"| job | {dll_name} MB/s (memory) | {dll_name} MB/s (file) | file/memory | reference "
              f"| {reference_name} MB/s | DLL/reference | target | met |")
        print("|---|---:|---:|---:|---|---:|---:|---|---|")
        ceiling = median(dll, "dll_memory_read") or median(reference, "memory_read")
        for label, job, ref, _, target32, target64 in DIGEST_ROWS:
            target = target32 if dll == "dll" else target64
            memory = median(dll, f"dll_{job}_memory")
            from_file = median(dll, f"dll_{job}_file")
            reference_rate = median(reference, ref)
            for which, name in ((dll, f"dll_{job}_memory"), (dll, f"dll_{job}_file"), (reference, ref)):
                track(which, name)
            file_ratio = from_file / memory if memory and from_file else None
            ratio = memory / reference_rate if memory and reference_rate else None
            file_ok = file_ratio is not None and file_ratio >= FILE_TARGET
            target_text, speed_ok = judge(target, memory, reference_rate, ceiling)
            target_text += f"; file ≥ {FILE_TARGET:.1f}×"
            failed = [what for what, ok in (("speed", speed_ok), ("file", file_ok)) if not ok]
            met = "yes" if not failed else "no (" + ", ".join(failed) + ")"
            print(f"| {label} | {fmt(memory)} | {fmt(from_file)} | {fmt(file_ratio, 2)} | {ref} | "
                  f"{fmt(reference_rate)} | {fmt(ratio, 2)} | {target_text} | {met} |")
            if label == "CRC-64" and median(dll, "dll_memory_read"):
                print(f"| read ceiling in the host | {fmt(median(dll, 'dll_memory_read'))} | | | | | | info | |")
            if label in FLOOR_ROWS:
                what, floor = FLOOR_ROWS[label]
                floor_rate = median(reference, floor)
                print(f"| {label} {what} | | | | {floor} | {fmt(floor_rate)} | "
                      f"{fmt(memory / floor_rate if memory and floor_rate else None, 2)} | info | |")
        if args.clock == "cpu":
            print()
            print(f"- BLAKE3 by wall-clock time: {fmt(median(dll, 'dll_blake3_memory', 'wall'))} MB/s (memory), "
                  f"{fmt(median(dll, 'dll_blake3_file', 'wall'))} MB/s (file); its helper threads share the "
                  f"job, and the CPU time above sums theirs.")

    if "dll" in rounds and "reference64" in rounds:
        print()
        print("32-bit DLL beside the x86-64 reference:")
        print()
        print("| job | 32-bit DLL MB/s (memory) | x86-64 reference | x86-64 MB/s | DLL/x86-64 | target | met |")
        print("|---|---:|---|---:|---:|---|---|")
        for label, job, ref, _, _, _ in DIGEST_ROWS:
            memory = median("dll", f"dll_{job}_memory")
            reference_rate = median("reference64", ref)
            ratio = memory / reference_rate if memory and reference_rate else None
            target = X86_64_TARGETS.get(label)
            if target is None:
                target_text, met = "info", ""
            else:
                target_text = f"≥ {target:.2f}× x86-64"
                met = "yes" if ratio is not None and ratio >= target else "no (speed)"
            print(f"| {label} | {fmt(memory)} | {ref} | {fmt(reference_rate)} | {fmt(ratio, 2)} | "
                  f"{target_text} | {met} |")
        print(f"| read ceiling | | memory_read | {fmt(median('reference64', 'memory_read'))} | | info | |")

    def round_ratio(which, name, plain_name):
        """The median over the rounds of name's rate over plain_name's, both of one round."""
        ratios = [mb_per_s(res[name], args.clock) / mb_per_s(res[plain_name], args.clock)
                  for res in rounds.get(which, []) if name in res and plain_name in res]
        return statistics.median(ratios) if ratios else None

    for dll, _, dll_name, _ in pairs:
        print()
        print(f"{dll_name}: each keyed job beside its plain digest (ratios per round, median):")
        print()
        print(f"| keyed job | MB/s (memory) | plain job | MB/s (memory) | keyed/plain, memory | keyed/plain, file "
              f"| target | met |")
        print("|---|---:|---|---:|---:|---:|---|---|")
        for label, job, plain_label, plain in KEYED_ROWS:
            memory_ratio = round_ratio(dll, f"dll_{job}_memory", f"dll_{plain}_memory")
            file_ratio = round_ratio(dll, f"dll_{job}_file", f"dll_{plain}_file")
            met = all(r is not None and r >= KEYED_TARGET for r in (memory_ratio, file_ratio))
            print(f"| {label} | {fmt(median(dll, f'dll_{job}_memory'))} | {plain_label} | "
                  f"{fmt(median(dll, f'dll_{plain}_memory'))} | {fmt(memory_ratio, 3)} | {fmt(file_ratio, 3)} | "
                  f"≥ {KEYED_TARGET:.2f}× plain, memory and file | {'yes' if met else 'no (speed)'} |")

    dlls = [(dll, dll_name) for dll, _, dll_name, _ in pairs]
    print()
    print("| job | " + " | ".join(f"{name}: µs per synchronous job on 64 bytes, bindings included"
                                   for _, name in dlls) + " | target | met |")
    print("|---|" + "---:|" * len(dlls) + "---|---|")
    for label, job, _, _, _, _ in DIGEST_ROWS:
        name = f"dll_{job}_small"
        cells, all_met = [], True
        for dll, _ in dlls:
            per_job = None
            if all(name in r for r in rounds[dll]):
                times = sorted(r[name][1] / r[name][0] * 1e6 for r in rounds[dll])
                per_job = times[len(times) // 2]
            all_met &= per_job is not None and per_job <= SMALL_JOB_TARGET_US
            cells.append(fmt(per_job, 2))
        print(f"| {label} | {' | '.join(cells)} | ≤ {SMALL_JOB_TARGET_US:.0f} µs | {'yes' if all_met else 'no'} |")

    for dll, reference, dll_name, reference_name in pairs:
        print()
        print(f"| Base64 | {dll_name} MB/s | reference | {reference_name} MB/s | DLL/reference | target | met |")
        print("|---|---:|---|---:|---:|---|---|")
        for label, job, ref, target in BASE64_ROWS:
            rate = median(dll, f"dll_{job}")
            reference_rate = median(reference, ref)
            track(dll, f"dll_{job}")
            track(reference, ref)
            target_text, ok = judge(target, rate, reference_rate, None)
            ratio = rate / reference_rate if rate and reference_rate else None
            print(f"| {label} | {fmt(rate)} | {ref} | {fmt(reference_rate)} | {fmt(ratio, 2)} | "
                  f"{target_text} | {'yes' if ok else 'no (speed)'} |")
    print()
    if args.rounds > 1:
        print(f"- Largest round-to-round spread (max-min)/median: {worst_spread[0] * 100:.0f}% ({worst_spread[1]})")
    if problems:
        print()
        for problem in problems:
            print(f"RESULT MISMATCH: {problem}")
        return 1
    print("- Results: the DLLs (memory and file) agree with OpenSSL, zlib, xxHash and the textbook CRCs, and "
          "BLAKE3's memory and file runs with each other; Base64 round trips.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
