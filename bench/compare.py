#!/usr/bin/env python3
"""Runs the i386 and x86-64 references and the DLL bench under Wine in interleaved rounds and prints the comparison tables.

Each round runs every program once, the order turning by one program a round, so
that a drift in the machine's other load falls on all alike. Each program keeps the
best of its repeats per measurement; this script takes the median over the rounds. The figures are MB/s (10^6 bytes of
binary data per second) by process CPU time unless --clock wall is given: CPU time
is what a job costs whatever else the machine runs, and on an idle machine it
equals the wall time of these single-threaded runs. The table is Markdown so it can
be pasted into bench/README.md as it stands. Exit status 1 if a result differs
between the programs (the DLL must compute what OpenSSL and zlib compute).
"""

import argparse
import datetime
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# DLL job, its reference, the reference that must give the same result text, the target.
# A target is ("ratio", x): DLL/reference >= x; ("absolute", MB/s); or ("info",).
DIGEST_ROWS = [
    ("CRC-32", "crc32", "zlib_crc32", "zlib_crc32", ("absolute", 10000.0)),
    ("CRC-16", "crc16", "textbook_crc16", "textbook_crc16", ("absolute", 10000.0)),
    ("MD5", "md5", "openssl_md5", "openssl_md5", ("ratio", 0.95)),
    ("HMAC-MD5", "hmac_md5", "openssl_hmac_md5", "openssl_hmac_md5", ("info",)),
    ("SHA-1", "sha1", "openssl_sha1", "openssl_sha1", ("ratio", 1.0)),
    ("SHA-256", "sha256", "openssl_sha256", "openssl_sha256", ("ratio", 1.0)),
    ("SHA-512", "sha512", "openssl_sha512", "openssl_sha512", ("ratio", 1.3)),
]
# Shown under the CRC rows: the one-lookup-per-byte floor, and the ceiling that
# reading the input from memory sets for any job.
FLOOR_ROWS = {"CRC-32": ("floor", "textbook_crc32"), "CRC-16": ("read ceiling", "memory_read")}
BASE64_ROWS = [
    ("Base64 encode, one line", "b64_encode_lines0", "openssl_b64_encode_block", ("ratio", 2.0)),
    ("Base64 encode, lines", "b64_encode_lines1", "openssl_b64_encode_lines", ("ratio", 2.0)),
    ("Base64 decode, one line", "b64_decode_lines0", "openssl_b64_decode_block", ("ratio", 2.0)),
    ("Base64 decode, lines", "b64_decode_lines1", "openssl_b64_decode_lines", ("ratio", 2.0)),
]
FILE_TARGET = 0.8
SMALL_JOB_TARGET_US = 10.0
# The DLL's in-memory rate beside OpenSSL's x86-64 build, which has the 64-bit
# mode's registers: the target where one is set, otherwise for information.
X86_64_TARGETS = {"SHA-512": 0.9}


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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--reference", default=os.path.join(ROOT, "build/i386/reference"))
    parser.add_argument("--reference64", default=os.path.join(ROOT, "build/x86_64/reference"),
                        help="the x86-64 build of the reference; its table is left out if it is missing")
    parser.add_argument("--dll-bench", default=os.path.join(ROOT, "build/win32/telvarn_win32_bench.exe"))
    parser.add_argument("--wine", default="wine")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--repeats", type=int, default=2, help="runs per measurement in a round; the best counts")
    parser.add_argument("--mib", type=int, default=64, help="digest input size in MiB")
    parser.add_argument("--base64-mib", type=int, default=32, help="Base64 input size in MiB")
    parser.add_argument("--clock", choices=["cpu", "wall"], default="cpu")
    parser.add_argument("--timeout", type=int, default=1800, help="seconds one program run may take")
    parser.add_argument("--raw", help="also write every round's figures to this file")
    args = parser.parse_args()

    for path in (args.reference, args.dll_bench):
        if not os.path.exists(path):
            sys.exit(f"compare: {path} is missing; scripts/bench.sh builds it")
    sizes = ["--mib", str(args.mib), "--base64-mib", str(args.base64_mib), "--repeats", str(args.repeats)]
    env = dict(os.environ, WINEDEBUG="-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    programs = {
        "reference": [args.reference] + sizes,
        "dll": [args.wine, args.dll_bench] + sizes,
    }
    if os.path.exists(args.reference64):
        programs["reference64"] = [args.reference64] + sizes
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

    def median(which, name):
        values = [mb_per_s(res[name], args.clock) for res in rounds[which] if name in res]
        return statistics.median(values) if values else None

    def spread(which, name):
        values = [mb_per_s(res[name], args.clock) for res in rounds[which] if name in res]
        if len(values) < 2:
            return 0.0
        return (max(values) - min(values)) / statistics.median(values)

    # Results must agree: DLL memory and file with each other and with the reference.
    problems = []
    last_ref, last_dll = rounds["reference"][-1], rounds["dll"][-1]
    for label, job, _, check_name, _ in DIGEST_ROWS:
        expected = last_ref.get(check_name, (0, 0, 0, None))[3]
        for source in ("memory", "file"):
            got = last_dll.get(f"dll_{job}_{source}", (0, 0, 0, None))[3]
            if got is None or expected is None or got.lower() != expected.lower():
                problems.append(f"{label} ({source}): DLL gave {got}, {check_name} gave {expected}")
        small = last_dll.get(f"dll_{job}_small", (0, 0, 0, None))[3]
        if not small or small == "job-failed":
            problems.append(f"{label}: a small job did not start or gave no result")
        if "reference64" in rounds:
            got = rounds["reference64"][-1].get(check_name, (0, 0, 0, None))[3]
            if got != expected:
                problems.append(f"{label}: the x86-64 {check_name} gave {got}, the i386 one {expected}")
    for label, job, ref, _ in BASE64_ROWS:
        for name, which in ((f"dll_{job}", last_dll), (ref, last_ref)):
            if which.get(name, (0, 0, 0, None))[3] != "ok":
                problems.append(f"{label}: {name} round trip failed")

    wall_over_cpu = statistics.median(
        res[n][1] / max(res[n][2], 1e-9) for runs in rounds.values() for res in runs for n in res)

    print(f"- Date: {started:%Y-%m-%d %H:%M} UTC")
    print(f"- CPU: {cpu_model()} ({os.cpu_count()} logical)")
    print(f"- Commit: {commit()}")
    print(f"- Reference: i386 OpenSSL {meta['reference'].get('openssl', '?')}, "
          f"zlib {meta['reference'].get('zlib', '?')} (gcc -m32 -O2)"
          + (", and the same for x86-64 (gcc -O2)" if "reference64" in rounds else "")
          + f"; DLL under Wine (CPU clock {meta['dll'].get('cpu_clock', '?')})")
    print(f"- Method: {args.rounds} interleaved rounds, median of each round's best of {args.repeats}; "
          f"digests {args.mib} MiB, Base64 {args.base64_mib} MiB; MB/s by {args.clock} time")
    print(f"- Load average before/after: {load_before} / {load_after}; "
          f"median wall/CPU time {wall_over_cpu:.2f} (1.0 on an idle machine)")
    print()
    print("| job | DLL MB/s (memory) | DLL MB/s (file) | file/memory | reference | reference MB/s "
          "| DLL/reference | target | met |")
    print("|---|---:|---:|---:|---|---:|---:|---|---|")

    worst_spread = (0.0, "")
    def track(which, name):
        nonlocal worst_spread
        s = spread(which, name)
        if s > worst_spread[0]:
            worst_spread = (s, f"{which} {name}")

    for label, job, ref, _, target in DIGEST_ROWS:
        memory = median("dll", f"dll_{job}_memory")
        from_file = median("dll", f"dll_{job}_file")
        reference = median("reference", ref)
        for which, name in (("dll", f"dll_{job}_memory"), ("dll", f"dll_{job}_file"), ("reference", ref)):
            track(which, name)
        file_ratio = from_file / memory if memory and from_file else None
        ratio = memory / reference if memory and reference else None
        file_ok = file_ratio is not None and file_ratio >= FILE_TARGET
        if target[0] == "ratio":
            speed_ok = ratio is not None and ratio >= target[1]
            target_text = f"≥ {target[1]:.2f}× ref"
        elif target[0] == "absolute":
            speed_ok = memory is not None and memory >= target[1]
            target_text = f"≥ {target[1]:,.0f} MB/s"
        else:
            speed_ok = True
            target_text = "info"
        target_text += f"; file ≥ {FILE_TARGET:.1f}×"
        failed = [what for what, ok in (("speed", speed_ok), ("file", file_ok)) if not ok]
        met = "yes" if not failed else "no (" + ", ".join(failed) + ")"
        print(f"| {label} | {fmt(memory)} | {fmt(from_file)} | {fmt(file_ratio, 2)} | {ref} | "
              f"{fmt(reference)} | {fmt(ratio, 2)} | {target_text} | {met} |")
        if label in FLOOR_ROWS:
            what, floor = FLOOR_ROWS[label]
            floor_rate = median("reference", floor)
            print(f"| {label} {what} | | | | {floor} | {fmt(floor_rate)} | "
                  f"{fmt(memory / floor_rate if memory and floor_rate else None, 2)} | info | |")
    if "reference64" in rounds:
        print()
        print("| job | DLL MB/s (memory) | x86-64 reference | x86-64 MB/s | DLL/x86-64 | target | met |")
        print("|---|---:|---|---:|---:|---|---|")
        for label, job, ref, _, _ in DIGEST_ROWS:
            memory = median("dll", f"dll_{job}_memory")
            reference = median("reference64", ref)
            track("reference64", ref)
            ratio = memory / reference if memory and reference else None
            target = X86_64_TARGETS.get(label)
            if target is None:
                target_text, met = "info", ""
            else:
                target_text = f"≥ {target:.2f}× x86-64"
                met = "yes" if ratio is not None and ratio >= target else "no (speed)"
            print(f"| {label} | {fmt(memory)} | {ref} | {fmt(reference)} | {fmt(ratio, 2)} | {target_text} | {met} |")
        ceiling = median("reference64", "memory_read")
        print(f"| read ceiling | | memory_read | {fmt(ceiling)} | | info | |")
    print()
    print(f"| job | µs per synchronous job on 64 bytes, bindings included | jobs a second | target | met |")
    print("|---|---:|---:|---|---|")
    for label, job, _, _, _ in DIGEST_ROWS:
        name = f"dll_{job}_small"
        per_job = None
        if all(name in r for r in rounds["dll"]):
            times = sorted(r[name][1] / r[name][0] * 1e6 for r in rounds["dll"])
            per_job = times[len(times) // 2]
        met = "yes" if per_job is not None and per_job <= SMALL_JOB_TARGET_US else "no"
        rate = 1e6 / per_job if per_job else None
        print(f"| {label} | {fmt(per_job, 2)} | {fmt(rate, 0)} | ≤ {SMALL_JOB_TARGET_US:.0f} µs | {met} |")
    print()
    print("| Base64 | DLL MB/s | | | reference | reference MB/s | DLL/reference | target | met |")
    print("|---|---:|---|---|---|---:|---:|---|---|")
    for label, job, ref, target in BASE64_ROWS:
        rate = median("dll", f"dll_{job}")
        reference = median("reference", ref)
        track("dll", f"dll_{job}")
        track("reference", ref)
        ratio = rate / reference if rate and reference else None
        met = "yes" if ratio is not None and ratio >= target[1] else "no (speed)"
        print(f"| {label} | {fmt(rate)} | - | - | {ref} | {fmt(reference)} | {fmt(ratio, 2)} | "
              f"≥ {target[1]:.2f}× ref | {met} |")
    print()
    if args.rounds > 1:
        print(f"- Largest round-to-round spread (max-min)/median: {worst_spread[0] * 100:.0f}% ({worst_spread[1]})")
    if problems:
        print()
        for problem in problems:
            print(f"RESULT MISMATCH: {problem}")
        return 1
    print("- Results: DLL (memory and file) agree with OpenSSL, zlib and the textbook CRCs; Base64 round trips.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
