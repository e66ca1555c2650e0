#!/usr/bin/env python3
"""Runs the main job and checks every digest it prints against the system's own
sha256sum, sha1sum, sha512sum and md5sum, and Python's zlib and hmac for the rest.

usage: main_job_test.py SOURCE_DIR BUILD_DIR
"""
import hashlib
import hmac
import os
import subprocess
import sys
import zlib

source_dir, build_dir = sys.argv[1], sys.argv[2]
result = subprocess.run(["bash", os.path.join(source_dir, "scripts/digest-sample.sh"), build_dir],
                        capture_output=True, text=True, timeout=600)
print(result.stdout)
if result.returncode != 0:
    print(result.stderr)
    sys.exit(1)
work = os.path.join(build_dir, "main-job")


def system_sum(tool, name):
    out = subprocess.run([tool, name], cwd=work, capture_output=True, text=True, check=True).stdout
    return out.split()[0]


def crc16(data):
    crc = 0xFFFF
    table = []
    for i in range(256):
        entry = i
        for _ in range(8):
            entry = (entry >> 1) ^ 0x8408 if entry & 1 else entry >> 1
        table.append(entry)
    for byte in data:
        crc = (crc >> 8) ^ table[(crc ^ byte) & 0xFF]
    return "%04x" % crc


def read(name):
    with open(os.path.join(work, name), "rb") as f:
        return f.read()


expected_for = {
    "crc32": lambda n: "%08x" % zlib.crc32(read(n)),
    "crc16": lambda n: crc16(read(n)),
    "md5": lambda n: system_sum("md5sum", n),
    "sha1": lambda n: system_sum("sha1sum", n),
    "sha256": lambda n: system_sum("sha256sum", n),
    "sha512": lambda n: system_sum("sha512sum", n),
    "hmac-md5 --key secret": lambda n: hmac.new(b"secret", read(n), hashlib.md5).hexdigest(),
}
failures = []
seen = 0
command = None
for line in result.stdout.splitlines():
    if line.startswith("== "):
        command = line[3:]
    elif "  " in line and not line.startswith(" ") and command in expected_for:
        digest, name = line.split("  ", 1)
        seen += 1
        if digest != expected_for[command](name):
            failures.append("%s %s: %s" % (command, name, digest))
if seen != 14:
    failures.append("%d digest lines, not 14" % seen)
print("main job: all checks passed" if not failures else "main job: " + "; ".join(failures))
sys.exit(1 if failures else 0)
