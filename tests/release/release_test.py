#!/usr/bin/env python3
"""Builds the release package and checks its contents and SHA256SUMS.

usage: release_test.py BUILD_DIR VERSION
"""
import hashlib
import subprocess
import sys
import zipfile

build_dir, version = sys.argv[1], sys.argv[2]
subprocess.run(["cmake", "--build", build_dir, "--target", "release"], check=True, capture_output=True)
name = "TelvarnHX-%s-win32" % version
expected = {"TelvarnHX.hpi", "libTelvarnHX.dll.a", "telvarn.exe", "telvarn.h", "README.md", "SHA256SUMS"}
failures = []
with zipfile.ZipFile("%s/%s.zip" % (build_dir, name)) as archive:
    members = {m.split("/", 1)[1] for m in archive.namelist() if "/" in m and not m.endswith("/")}
    if members != expected:
        failures.append("members %s" % sorted(members))
    sums = archive.read("%s/SHA256SUMS" % name).decode()
    listed = 0
    for line in sums.splitlines():
        digest, file_name = line.split("  ", 1)
        actual = hashlib.sha256(archive.read("%s/%s" % (name, file_name))).hexdigest().upper()
        if actual != digest:
            failures.append("%s: %s, not %s" % (file_name, digest, actual))
        listed += 1
    if listed != 5:
        failures.append("SHA256SUMS lists %d files" % listed)
print("release: all checks passed" if not failures else "release: " + "; ".join(failures))
sys.exit(1 if failures else 0)
