#!/usr/bin/env python3
"""Uses the release package as a Windows developer would, from the zip's files alone.

release_test.py package BUILD_DIR VERSION --emulator-win64 COMMAND...
    Builds the package (cmake --build BUILD_DIR --target release), unpacks it, and
    checks both halves: the files, SHA256SUMS, the README's and the .def files'
    exports against each module's export directory, the architecture of every
    binary, and that no file names a path of the build. Builds example.c four ways
    for each architecture (mingw-w64 with the import library, named directly and
    through the module's .pc; an import library made from the .def as MSVC's lib
    makes it, here by lld-link; LoadLibrary) and runs the 64-bit ones under the
    emulator against digests computed here. Configures and builds consumer/, a
    CMake project, for x64 with mingw-w64 against the unpacked package alone, and
    runs it with the module its target names; configures consumer/ with clang-cl and
    llvm-lib in MSVC's place, which makes the import library named by the release
    from the .def, and again when another release's .def is unpacked over it; and
    checks that the package refuses, by name, a build whose half is missing.

release_test.py win32-hosts BUILD_DIR VERSION --emulator-win32 COMMAND...
    Runs the package's 32-bit programs: the four 32-bit example hosts and the
    32-bit telvarn.exe. Only a host that runs 32-bit programs can: elsewhere it
    says why and exits with SKIP_STATUS. TELVARN_HOST_RUNS_32BIT=1 or 0 says
    whether this host can; unset, it can when the 32-bit Wine loader is installed
    (starting a 32-bit program is no proof: an emulator registered with
    binfmt_misc may take it, and Wine does not run there). Unpacks the zip that
    the package part built. Then builds consumer/ for x86 and runs it.

release_test.py install BUILD_DIR VERSION
    A native build: installs it (cmake --install) into a temporary prefix, moves the
    prefix, and builds and runs consumer/ against the package found there: a shared
    library that links the static core, and a program that links that library.
"""
import argparse
import base64
import hashlib
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import zipfile
import zlib

SKIP_STATUS = 77
WINE32_LOADER = "/usr/lib/wine/wine"
ENV = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")


class Half:
    """One architecture's files in the package: `folder` is "" or "x64/"."""

    def __init__(self, arch, folder, module, triple, lld_machine, objdump_format):
        self.arch, self.folder, self.module = arch, folder, module
        self.stem = module[:-len(".hpi")]
        self.import_library = "lib%s.dll.a" % self.stem
        self.definitions = "%s.def" % self.stem
        self.triple, self.lld_machine, self.objdump_format = triple, lld_machine, objdump_format
        self.files = [folder + f for f in (module, self.import_library, self.definitions, "telvarn.exe")]


WIN32 = Half("win32", "", "TelvarnHX.hpi", "i686-w64-mingw32", "x86", "pei-i386")
WIN64 = Half("win64", "x64/", "TelvarnHX64.hpi", "x86_64-w64-mingw32", "x64", "pei-x86-64")
SHARED = ["telvarn.h", "example.c", "README.md", "LICENSE", "LICENSE.xxHash", "SHA256SUMS"]
# The CMake package and the .pc files, where CMake and pkg-config look under a prefix.
CONFIG_DIR = "lib/cmake/TelvarnHX"
PACKAGE = [CONFIG_DIR + "/TelvarnHXConfig.cmake", CONFIG_DIR + "/TelvarnHXConfigVersion.cmake",
           "lib/pkgconfig/TelvarnHX.pc", "lib/pkgconfig/TelvarnHX64.pc"]
EXPECTED = set(WIN32.files + WIN64.files + SHARED + PACKAGE)
ALIAS_ORDINAL_OFFSET = 100
HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.normpath(os.path.join(HERE, "..", ".."))
# The module's one table of exports, which every list of them is made from.
EXPORT_TABLE = os.path.join(SOURCE_DIR, "src", "boundary", "export_table.inc")
# A CMake project that links TelvarnHX::TelvarnHX and prints the SHA-256 of "abc".
CONSUMER = os.path.join(HERE, "consumer")


def table_exports():
    """{ordinal: name} of the export table's rows."""
    with open(EXPORT_TABLE) as f:
        return {int(o): n for o, n in re.findall(r"^TELVARN_EXPORT\((\d+), *(\w+), *\w+\)$", f.read(), re.M)}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def run(args, cwd, env=None):
    result = subprocess.run(args, cwd=cwd, capture_output=True, env=env or ENV, timeout=600)
    return result.returncode, result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")


def first_tool(*names):
    for name in names:
        if shutil.which(name):
            return name
    return None


def unpack(build_dir, version, work):
    name = "TelvarnHX-%s-windows" % version
    with zipfile.ZipFile("%s/%s.zip" % (build_dir, name)) as archive:
        members = {m.split("/", 1)[1] for m in archive.namelist() if "/" in m and not m.endswith("/")}
        check(members == EXPECTED, "members %s" % sorted(members))
        archive.extractall(work)
    return os.path.join(work, name)


def isolated_env(**settings):
    """ENV without the variables by which CMake or pkg-config would look for packages
    anywhere but where a test tells them, plus `settings`."""
    env = {k: v for k, v in ENV.items() if not k.startswith(("CMAKE_", "PKG_CONFIG_", "TelvarnHX_"))}
    env.update(settings)
    return env


def example_builds(half, package):
    """The commands that build example.c for `half` in its folder, from the zip's files
    alone, by what they show."""
    compiler = ["%s-gcc" % half.triple, "-std=c99", "-Wall", "-Wextra", "-Werror", "-O2"]
    up = "../" * half.folder.count("/")
    include, source = "-I" + (up or "."), up + "example.c"
    builds = {
        "mingw import library": compiler + [include, source, half.import_library, "-o", "example_mingw.exe"],
        "LoadLibrary": compiler + [include, "-DTELVARN_EXAMPLE_LOADLIBRARY", source, "-o", "example_loadlibrary.exe"],
    }
    # The module's .pc gives the include and link options; it is the only one found.
    check(shutil.which("pkg-config") is not None, "pkg-config (package pkg-config) reads the .pc files")
    if shutil.which("pkg-config"):
        code, out, err = run(["pkg-config", "--cflags", "--libs", half.stem], package,
                             isolated_env(PKG_CONFIG_LIBDIR=os.path.join(package, "lib", "pkgconfig")))
        check(code == 0, "pkg-config --cflags --libs %s: %s" % (half.stem, err))
        builds["pkg-config import library"] = compiler + [source] + shlex.split(out) + ["-o", "example_pkgconfig.exe"]
    # MSVC's lib /def:X.def /machine:M has a twin in lld-link, which makes an import
    # library with MSVC's rules from a .def alone. GNU ld misreads such a library,
    # so that host is linked by clang with lld in MinGW mode.
    lld_link = first_tool("lld-link-14", "lld-link")
    check(lld_link is not None, "lld-link (package lld-14) makes the MSVC-style import library")
    if lld_link:
        lib = half.stem + ".lib"
        folder = os.path.join(package, half.folder)
        code, out, err = run([lld_link, "-machine:" + half.lld_machine, "-def:" + half.definitions, "-out:" + lib],
                             folder)
        check(code == 0, "lld-link -def:%s -machine:%s: %s %s" % (half.definitions, half.lld_machine, out, err))
        gcc_libraries = os.path.dirname(subprocess.run(["%s-gcc" % half.triple, "-print-libgcc-file-name"],
                                                       capture_output=True, text=True).stdout.strip())
        builds["import library from %s" % half.definitions] = [
            first_tool("clang-14", "clang"), "--target=" + half.triple, "-fuse-ld=lld", "-std=c99", "-Wall",
            "-Wextra", "-Werror", "-O2", include, "-L" + gcc_libraries, source, lib, "-o", "example_msvc.exe"]
    return builds


def build_examples(half, package):
    """Builds example.c every way for `half`; the programs built, by what they show."""
    folder = os.path.join(package, half.folder)
    programs = {}
    for what, command in example_builds(half, package).items():
        code, out, err = run(command, folder)
        check(code == 0, "%s %s: build failed: %s %s" % (half.arch, what, out, err))
        if code != 0:
            continue
        program = command[command.index("-o") + 1]
        programs[what] = program
        code, out, _ = run(["%s-objdump" % half.triple, "-p", program], folder)
        check(("file format %s" % half.objdump_format) in out, "%s %s: not %s" % (half.arch, program, half.objdump_format))
        if "import library" in what:
            imported = set(re.findall(r"\s(_?Telvarn_\w+(?:@16)?)$", out, re.M))
            name = "_Telvarn_SHA256@16" if half is WIN32 else "Telvarn_SHA256"
            check(name in imported and ("DLL Name: %s" % half.module) in out,
                  "%s %s: imports %s from %s" % (half.arch, what, sorted(imported), half.module))
    return programs


def run_examples(half, package, programs, emulator, version):
    folder = os.path.join(package, half.folder)
    with open(os.path.join(package, "example.c"), "rb") as f:
        example_bytes = f.read()
    expected_output = "\n".join([
        "TelvarnHX %s" % version,
        "SHA256 %s" % hashlib.sha256(example_bytes).hexdigest().upper(),
        "MD5 %s" % hashlib.md5(example_bytes).hexdigest(),
        "CRC32 %08X" % zlib.crc32(b"abc"),
        "Base64 %s (4)" % base64.b64encode(b"abc").decode(),
    ]) + "\n"
    source = "../" * half.folder.count("/") + "example.c"
    for what, program in programs.items():
        code, out, err = run(emulator + [program, source], folder)
        check(code == 0 and out.replace("\r\n", "\n") == expected_output,
              "%s %s: %s printed %r %r, not %r" % (half.arch, what, program, out, err, expected_output))
    print("%s: ran example.c built %s" % (half.arch, ", ".join(programs)))


def read(package, file_name):
    with open(os.path.join(package, file_name), "rb") as f:
        return f.read()


def is_version_text(out, module, version):
    """What telvarn --version prints: its version, its module's, and the xxHash inside."""
    expected = r"telvarn %s\n%s %s\nwith xxHash [0-9.]+ \(BSD 2-clause, LICENSE\.xxHash\)\n" % (
        re.escape(version), re.escape(module), re.escape(version))
    return re.fullmatch(expected, out.replace("\r\n", "\n")) is not None


def check_package(package, version, emulator64, build_dir):
    # SHA256SUMS lists every other file, and checks with coreutils and the 64-bit telvarn.
    listed = set()
    for line in read(package, "SHA256SUMS").decode().splitlines():
        digest, file_name = line.split("  ", 1)
        listed.add(file_name)
        # telvarn writes the digests in lower case, as sha256sum does; either checks.
        check(hashlib.sha256(read(package, file_name)).hexdigest() == digest.lower(),
              "%s: digest %s" % (file_name, digest))
    check(listed == EXPECTED - {"SHA256SUMS"}, "SHA256SUMS lists %s" % sorted(listed))
    code, out, _ = run(["sha256sum", "-c", "SHA256SUMS"], package)
    check(code == 0, "sha256sum -c SHA256SUMS: %s" % out)
    code, out, err = run(emulator64 + ["x64/telvarn.exe", "sha256", "--check", "--quiet", "SHA256SUMS"], package)
    check(code == 0 and out == "", "x64/telvarn sha256 --check SHA256SUMS: %d %r %r" % (code, out, err))
    code, out, _ = run(emulator64 + ["telvarn.exe", "--version"], os.path.join(package, "x64"))
    check(code == 0 and is_version_text(out, "TelvarnHX64.hpi", version), "x64/telvarn --version: %d %r" % (code, out))

    # Every binary is built for its half's architecture.
    for half in (WIN32, WIN64):
        for file_name in (half.module, "telvarn.exe", half.import_library):
            code, out, _ = run(["%s-objdump" % half.triple, "-f", half.folder + file_name], package)
            # An import library's members are objects (pe-), the rest images (pei-).
            expected_format = (half.objdump_format.replace("pei-", "pe-") if file_name == half.import_library
                               else half.objdump_format)
            formats = set(re.findall(r"file format (\S+)", out))
            check(code == 0 and formats == {expected_format},
                  "%s%s: formats %s, not %s" % (half.folder, file_name, sorted(formats), expected_format))

    # The header's version macros, the README's files and exports, the licence.
    header = read(package, "telvarn.h").decode()
    major, minor, patch = version.split(".")
    for macro, value in (("MAJOR", major), ("MINOR", minor), ("PATCH", patch), ("STRING", '"%s"' % version)):
        check(re.search(r"#define TELVARN_VERSION_%s %s\n" % (macro, re.escape(value)), header),
              "telvarn.h: TELVARN_VERSION_%s is not %s" % (macro, value))
    exports = table_exports()
    check(len(exports) >= 18, "the export table has %d rows" % len(exports))
    for ordinal, name in exports.items():
        check("typedef int32_t(TELVARN_CALL* PFN_Telvarn_%s)(" % name in header, "telvarn.h: no PFN_Telvarn_%s" % name)
    check(header.count("typedef int32_t(TELVARN_CALL* PFN_Telvarn_") == len(exports),
          "telvarn.h: one function-pointer type per export")
    readme = read(package, "README.md").decode()
    for file_name in EXPECTED:
        check("`%s`" % file_name in readme, "README.md does not describe %s" % file_name)
    check("@" not in re.sub(r"_Telvarn_\w+@16|@16", "", readme.split("## Licence")[0]),
          "README.md has a placeholder left")
    rows = re.findall(r"^\| (\d+) \| `(_Telvarn_\w+@16)` \| `(Telvarn_\w+)` \| `(_Telvarn_\w+@16)` \| (\d+) \|$",
                      readme, re.M)
    check({int(ordinal): name32 for ordinal, name32, _, _, _ in rows} ==
          {ordinal: "_Telvarn_%s@16" % name for ordinal, name in exports.items()},
          "README: the rows of exports %s are not the export table's" % [row[:2] for row in rows])
    for ordinal, name32, name64, alias, alias_ordinal in rows:
        check(name32 == alias == "_%s@16" % name64 and int(alias_ordinal) == ALIAS_ORDINAL_OFFSET + int(ordinal),
              "README row %s: %s %s %s %s" % (ordinal, name32, name64, alias, alias_ordinal))
    check(read(package, "LICENSE").startswith(b"MIT License\n\nCopyright (c) 2026 The TelvarnHX authors"), "LICENSE")
    check(b"BSD 2-Clause License" in read(package, "LICENSE.xxHash"), "LICENSE.xxHash: xxHash's notice")

    # The CMake package and the .pc files find the rest from their own place, so that
    # the folder works wherever it is unpacked: none may name a folder of this build.
    for file_name in PACKAGE:
        text = read(package, file_name).decode()
        check(SOURCE_DIR not in text and os.path.abspath(build_dir) not in text,
              "%s names a path of the build" % file_name)

    # Each .def names its module and every export at the ordinal that the README
    # gives it, and the export directory has exactly those.
    readme_exports = {
        WIN32: {name32: ordinal for ordinal, name32, _, _, _ in rows},
        WIN64: dict([(name64, ordinal) for ordinal, _, name64, _, _ in rows] +
                    [(alias, alias_ordinal) for _, _, _, alias, alias_ordinal in rows]),
    }
    for half in (WIN32, WIN64):
        definitions = read(package, half.folder + half.definitions).decode()
        check(definitions.startswith("LIBRARY %s\nEXPORTS\n" % half.module), "%s names its module" % half.definitions)
        defined = re.findall(r"^    (_?Telvarn_\w+(?:@16)?) @(\d+)$", definitions, re.M)
        check(len(defined) == definitions.count("\n") - 2 and dict(defined) == readme_exports[half],
              "%s: %s, README %s" % (half.definitions, defined, readme_exports[half]))
        code, out, _ = run(["%s-objdump" % half.triple, "-p", half.folder + half.module], package)
        check(re.search(r"^Name\s+\S+ %s$" % re.escape(half.module), out, re.M), "%s: its export directory's name" % half.module)
        base = int(re.search(r"^Ordinal Base\s+(\d+)", out, re.M).group(1))
        table = out.split("[Ordinal/Name Pointer] Table", 1)[1]
        exported = {n: str(int(i) + base) for i, n in re.findall(r"^\s*\[\s*(\d+)\] (_?Telvarn_\w+(?:@16)?)$", table, re.M)}
        check(exported == readme_exports[half], "%s export directory %s" % (half.module, exported))


def mingw(half):
    """consumer/'s configure options for `half`: mingw-w64, and nothing else."""
    return ["-DCMAKE_SYSTEM_NAME=Windows", "-DCMAKE_C_COMPILER=%s-gcc" % half.triple]


def configure_consumer(work, name, prefix, options):
    """Configures a copy of consumer/ with `prefix` as its only package prefix."""
    source = os.path.join(work, name)
    shutil.copytree(CONSUMER, source)
    build = os.path.join(source, "build")
    code, out, err = run(["cmake", "-S", source, "-B", build, "-G", "Ninja",
                          "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_PREFIX_PATH=" + prefix] + options, work, isolated_env())
    return code, out + err, build


def consumer_case(what, work, prefix, options, emulator, program):
    """Builds consumer/ against the package under `prefix` alone and runs it (a Windows
    one with the module its post-build step copied from the target's location)."""
    code, output, build = configure_consumer(work, "consumer-" + what, prefix, options)
    if code == 0:
        found = re.search(r"^TelvarnHX_DIR:PATH=(.*)$", read(build, "CMakeCache.txt").decode(), re.M).group(1)
        code, out, err = run(["cmake", "--build", build], work, isolated_env())
        output = "the package from %s; %s %s" % (found, out, err)
    if code != 0 or os.path.realpath(found) != os.path.realpath(os.path.join(prefix, CONFIG_DIR)):
        check(False, "%s consumer: %s" % (what, output))
        return
    code, out, err = run(emulator + [os.path.join(build, program)], build)
    expected = "SHA256 %s\n" % hashlib.sha256(b"abc").hexdigest().upper()
    check(code == 0 and out.replace("\r\n", "\n") == expected,
          "%s consumer printed %r %r (status %d), not %r" % (what, out, err, code, expected))
    print("%s: built consumer/ with find_package(TelvarnHX) from %s and ran it" % (what, prefix))


def msvc_twins(half, clang_cl, lld_link):
    """consumer/'s configure options for `half` with clang-cl as MSVC's cl and lld-link
    as its lib (lib /def:X.def /machine:M /out:Y.lib makes an import library; so does
    lld-link, while llvm-lib 14 knows no /def:). Enough to configure, which is when
    the package makes its .lib; with no Windows SDK here to link against, the
    compiler is not tried."""
    return ["-DCMAKE_SYSTEM_NAME=Windows", "-DCMAKE_C_COMPILER=" + clang_cl, "-DCMAKE_AR=" + lld_link,
            "-DCMAKE_C_FLAGS=--target=%s-pc-windows-msvc" % half.triple.split("-")[0],
            "-DCMAKE_C_COMPILER_WORKS=1", "-DCMAKE_SIZEOF_VOID_P=%d" % (8 if half is WIN64 else 4)]


def check_msvc_import_library(work, package, version):
    """For MSVC, configuring consumer/ makes <stem>-VERSION-<machine>.lib from the .def;
    and when a release with other exports is unpacked over the package, its .def
    dated before that .lib (as unpacked files keep their release's dates), the next
    configure makes the .lib again from the .def it finds."""
    # By their full paths: CMake takes a CMAKE_AR without a folder from the build's.
    clang_cl, lld_link, llvm_nm = (shutil.which(first_tool(name + "-14", name) or name)
                                   for name in ("clang-cl", "lld-link", "llvm-nm"))
    check(clang_cl and lld_link and llvm_nm, "clang-cl, lld-link and llvm-nm (clang-14, lld-14, llvm-14) stand in")
    if not (clang_cl and lld_link and llvm_nm):
        return
    unpacked = os.path.join(work, "msvc-package")
    shutil.copytree(package, unpacked)
    definitions = os.path.join(unpacked, WIN64.folder, WIN64.definitions)
    this_release = read(unpacked, WIN64.folder + WIN64.definitions).decode()
    # Another release: this one less its last export.
    last_export = re.findall(r"^\s+(Telvarn_\w+)", this_release, re.M)[-1]
    with open(definitions, "w") as f:
        f.write("".join(line for line in this_release.splitlines(True)
                        if not re.match(r"\s+%s\b" % last_export, line)))
    code, output, build = configure_consumer(work, "consumer-msvc", unpacked, msvc_twins(WIN64, clang_cl, lld_link))
    library = os.path.join(build, "TelvarnHX", "%s-%s-%s.lib" % (WIN64.stem, version, WIN64.lld_machine))
    made = code == 0 and os.path.exists(library)
    check(made, "an MSVC consumer made no %s: %s" % (library, output))
    if not made:
        return
    check("__imp_" + last_export not in run([llvm_nm, library], work)[1], "the other release's .lib")
    with open(definitions, "w") as f:
        f.write(this_release)
    dated_before = os.path.getmtime(library) - 3600
    os.utime(definitions, (dated_before, dated_before))
    code, out, err = run(["cmake", build], work, isolated_env())
    remade = code == 0 and "__imp_" + last_export in run([llvm_nm, library], work)[1]
    check(remade, "after this release was unpacked over another, %s lacks %s: %s %s" % (library, last_export, out, err))
    if remade:
        print("msvc: configuring made %s again from the .def unpacked over the package" % os.path.basename(library))


def check_missing_half(work, package):
    """The package without x64/ refuses a 64-bit build, saying what it lacks."""
    partial = os.path.join(work, "without-x64")
    shutil.copytree(package, partial, ignore=shutil.ignore_patterns("x64"))
    code, output, _ = configure_consumer(work, "consumer-without-x64", partial, mingw(WIN64))
    check(code != 0 and "lacks the x64 files" in output, "a 64-bit consumer of the package without x64/: %s" % output)


def check_install(build_dir, work):
    """Installs the native build, moves the prefix, and builds consumer/ against it."""
    prefix = os.path.join(work, "installed")
    code, out, err = run(["cmake", "--install", os.path.abspath(build_dir), "--prefix", prefix], work)
    installed = {os.path.relpath(os.path.join(d, f), prefix) for d, _, files in os.walk(prefix) for f in files}
    # The exported target's file per configuration: TelvarnHXTargets-release.cmake, say.
    installed = {re.sub(r"Targets-\w+\.cmake$", "Targets-CONFIG.cmake", f) for f in installed}
    config = ["%s/TelvarnHX%s.cmake" % (CONFIG_DIR, f) for f in ("Config", "ConfigVersion", "Targets", "Targets-CONFIG")]
    check(code == 0 and installed == set(["include/telvarn.h", "lib/libTelvarnHX.a"] + config),
          "cmake --install installed %s: %s %s" % (sorted(installed), out, err))
    if code != 0:
        return
    os.rename(prefix, os.path.join(work, "moved"))
    consumer_case("native", work, os.path.join(work, "moved"), [], [], "consumer")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("part", choices=["package", "win32-hosts", "install"])
    parser.add_argument("build_dir")
    parser.add_argument("version")
    parser.add_argument("--emulator-win32", nargs="+", default=[])
    parser.add_argument("--emulator-win64", nargs="+", default=[])
    args = parser.parse_args()
    # The programs run in the unpacked folders: an emulator named by a relative path
    # is taken from here.
    for emulator in (args.emulator_win32, args.emulator_win64):
        if emulator and os.path.exists(emulator[0]):
            emulator[0] = os.path.abspath(emulator[0])

    if args.part == "win32-hosts":
        setting = os.environ.get("TELVARN_HOST_RUNS_32BIT")
        if setting not in (None, "0", "1"):
            print("release: TELVARN_HOST_RUNS_32BIT is %r, not 0 or 1" % setting)
            return 1
        if setting == "0" or (setting is None and not os.path.exists(WINE32_LOADER)):
            why = ("TELVARN_HOST_RUNS_32BIT=0" if setting == "0"
                   else "%s, the 32-bit Wine loader, is not installed" % WINE32_LOADER)
            print("SKIPPED: this host runs no 32-bit programs (%s): the 32-bit example hosts and "
                  "telvarn.exe were not run" % why)
            return SKIP_STATUS

    work = tempfile.mkdtemp(prefix="telvarn-release-")
    try:
        if args.part == "package":
            build = subprocess.run(["cmake", "--build", args.build_dir, "--target", "release"],
                                   capture_output=True, text=True)
            if build.returncode != 0:
                print(build.stdout, build.stderr)
                return 1
            package = unpack(args.build_dir, args.version, work)
            check_package(package, args.version, args.emulator_win64, args.build_dir)
            build_examples(WIN32, package)
            run_examples(WIN64, package, build_examples(WIN64, package), args.emulator_win64, args.version)
            consumer_case("win64", work, package, mingw(WIN64), args.emulator_win64, "consumer.exe")
            check_msvc_import_library(work, package, args.version)
            check_missing_half(work, package)
        elif args.part == "install":
            check_install(args.build_dir, work)
        else:
            package = unpack(args.build_dir, args.version, work)
            run_examples(WIN32, package, build_examples(WIN32, package), args.emulator_win32, args.version)
            code, out, err = run(args.emulator_win32 + ["telvarn.exe", "sha256", "--check", "--quiet", "SHA256SUMS"],
                                 package)
            check(code == 0 and out == "", "telvarn sha256 --check SHA256SUMS: %d %r %r" % (code, out, err))
            code, out, _ = run(args.emulator_win32 + ["telvarn.exe", "--version"], package)
            check(code == 0 and is_version_text(out, "TelvarnHX.hpi", args.version), "telvarn --version: %d %r" % (code, out))
            consumer_case("win32", work, package, mingw(WIN32), args.emulator_win32, "consumer.exe")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("release %s: all checks passed" % args.part if not failures
          else "release %s: %d checks failed" % (args.part, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
