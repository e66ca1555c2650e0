#!/usr/bin/env python3
"""Builds the release package, unpacks it, and uses it as a Windows developer would:
checks its files and SHA256SUMS, then builds example.c from the zip's files alone
three ways (mingw-w64 with the import library; an import library made from
TelvarnHX.def as MSVC's lib makes it, here by lld-link; LoadLibrary) and runs each
under Wine against digests computed here.

usage: release_test.py BUILD_DIR VERSION
"""
import base64
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile
import zlib

build_dir, version = sys.argv[1], sys.argv[2]
ENV = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
EXPECTED = {"TelvarnHX.hpi", "libTelvarnHX.dll.a", "TelvarnHX.def", "telvarn.h", "example.c", "telvarn.exe",
            "README.md", "LICENSE", "SHA256SUMS"}
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def run(args, cwd):
    result = subprocess.run(args, cwd=cwd, capture_output=True, env=ENV, timeout=300)
    return result.returncode, result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")


def first_tool(*names):
    for name in names:
        if shutil.which(name):
            return name
    return None


subprocess.run(["cmake", "--build", build_dir, "--target", "release"], check=True, capture_output=True)
name = "TelvarnHX-%s-win32" % version
work = tempfile.mkdtemp(prefix="telvarn-release-")
with zipfile.ZipFile("%s/%s.zip" % (build_dir, name)) as archive:
    members = {m.split("/", 1)[1] for m in archive.namelist() if "/" in m and not m.endswith("/")}
    check(members == EXPECTED, "members %s" % sorted(members))
    archive.extractall(work)
folder = os.path.join(work, name)


def read(file_name):
    with open(os.path.join(folder, file_name), "rb") as f:
        return f.read()


# SHA256SUMS lists every other file, and checks with coreutils and with telvarn.
listed = set()
for line in read("SHA256SUMS").decode().splitlines():
    digest, file_name = line.split("  ", 1)
    listed.add(file_name)
    check(hashlib.sha256(read(file_name)).hexdigest().upper() == digest, "%s: digest %s" % (file_name, digest))
check(listed == EXPECTED - {"SHA256SUMS"}, "SHA256SUMS lists %s" % sorted(listed))
code, out, _ = run(["sha256sum", "-c", "SHA256SUMS"], folder)
check(code == 0, "sha256sum -c SHA256SUMS: %s" % out)
code, out, _ = run(["wine", "telvarn.exe", "sha256", "--check", "--quiet", "SHA256SUMS"], folder)
check(code == 0 and out == "", "telvarn sha256 --check SHA256SUMS: %d %r" % (code, out))

# The header's version macros, the README's files and exports, the licence.
header = read("telvarn.h").decode()
major, minor, patch = version.split(".")
for macro, value in (("MAJOR", major), ("MINOR", minor), ("PATCH", patch), ("STRING", '"%s"' % version)):
    check(re.search(r"#define TELVARN_VERSION_%s %s\n" % (macro, re.escape(value)), header),
          "telvarn.h: TELVARN_VERSION_%s is not %s" % (macro, value))
check(header.count("typedef int32_t(TELVARN_CALL* PFN_Telvarn_") == 18, "telvarn.h: 18 function-pointer types")
readme = read("README.md").decode()
for file_name in EXPECTED:
    check("`%s`" % file_name in readme, "README.md does not describe %s" % file_name)
check("@" not in re.sub(r"_Telvarn_\w+@16|@16", "", readme.split("## Licence")[0]).replace("@ONLY", ""),
      "README.md has a placeholder left")
rows = re.findall(r"\| (\d+) \| `(_Telvarn_\w+@16)` \|", readme)
definitions = re.findall(r"^    (_Telvarn_\w+@16) @(\d+)$", read("TelvarnHX.def").decode(), re.M)
check(len(rows) == 18 and [(n, o) for o, n in rows] == definitions, "README ordinals %s, .def %s" % (rows, definitions))
check(read("LICENSE").startswith(b"MIT License\n\nCopyright (c) 2026 The TelvarnHX authors"), "LICENSE")

# The export directory has each name at the ordinal that the .def and README give it.
code, out, _ = run(["i686-w64-mingw32-objdump", "-p", "TelvarnHX.hpi"], folder)
base = int(re.search(r"^Ordinal Base\s+(\d+)", out, re.M).group(1))
table = out.split("[Ordinal/Name Pointer] Table", 1)[1]
exported = {n: str(int(i) + base) for i, n in re.findall(r"^\s*\[\s*(\d+)\] (_Telvarn_\w+@16)$", table, re.M)}
check(exported == dict(definitions), "export directory %s" % exported)

# example.c, from the zip's files alone, three ways.
compiler = ["i686-w64-mingw32-gcc", "-std=c99", "-Wall", "-Wextra", "-Werror", "-O2", "-I."]
builds = {
    "mingw import library": compiler + ["example.c", "libTelvarnHX.dll.a", "-o", "example_mingw.exe"],
    "LoadLibrary": compiler + ["-DTELVARN_EXAMPLE_LOADLIBRARY", "example.c", "-o", "example_loadlibrary.exe"],
}
# MSVC's lib /def:TelvarnHX.def /machine:x86 has a twin in lld-link, which makes an
# import library with MSVC's rules from a .def alone. GNU ld misreads such a library,
# so that host is linked by clang with lld in MinGW mode.
lld_link = first_tool("lld-link-14", "lld-link")
check(lld_link is not None, "lld-link (package lld-14) makes the MSVC-style import library")
if lld_link:
    code, out, err = run([lld_link, "-machine:x86", "-def:TelvarnHX.def", "-out:TelvarnHX.lib"], folder)
    check(code == 0, "lld-link -def:TelvarnHX.def -machine:x86: %s %s" % (out, err))
    gcc_libraries = os.path.dirname(subprocess.run(["i686-w64-mingw32-gcc", "-print-libgcc-file-name"],
                                                   capture_output=True, text=True).stdout.strip())
    builds["import library from TelvarnHX.def"] = [
        first_tool("clang-14", "clang"), "--target=i686-w64-mingw32", "-fuse-ld=lld", "-std=c99", "-Wall",
        "-Wextra", "-Werror", "-O2", "-I.", "-L" + gcc_libraries, "example.c", "TelvarnHX.lib", "-o", "example_msvc.exe"]
with open(os.path.join(folder, "example.c"), "rb") as f:
    example_bytes = f.read()
expected_output = "\n".join([
    "TelvarnHX %s" % version,
    "SHA256 %s" % hashlib.sha256(example_bytes).hexdigest().upper(),
    "MD5 %s" % hashlib.md5(example_bytes).hexdigest(),
    "CRC32 %08X" % zlib.crc32(b"abc"),
    "Base64 %s (4)" % base64.b64encode(b"abc").decode(),
]) + "\n"
for what, command in builds.items():
    code, out, err = run(command, folder)
    check(code == 0, "%s: build failed: %s %s" % (what, out, err))
    if code != 0:
        continue
    program = command[command.index("-o") + 1]
    code, out, err = run(["wine", program, "example.c"], folder)
    check(code == 0 and out.replace("\r\n", "\n") == expected_output,
          "%s: %s printed %r %r, not %r" % (what, program, out, err, expected_output))
    if "import library" in what:
        code, out, _ = run(["i686-w64-mingw32-objdump", "-p", program], folder)
        imported = set(re.findall(r"\s(_Telvarn_\w+@16)$", out, re.M))
        check("_Telvarn_SHA256@16" in imported and "TelvarnHX.hpi" in out,
              "%s: imports %s from TelvarnHX.hpi" % (what, sorted(imported)))

shutil.rmtree(work, ignore_errors=True)
print("release: all checks passed" if not failures else "release: %d checks failed" % len(failures))
sys.exit(1 if failures else 0)
