#!/usr/bin/env bash
# Compares the 32-bit DLL under Wine with OpenSSL's and zlib's i386 and x86-64 builds in one run (Debian 12; installs as root).
#
# Usage: scripts/bench.sh [compare.py options, e.g. --rounds 5 --mib 64 --clock wall]
# Installs what scripts/setup.sh installs plus the 32-bit native toolchain and
# libraries the reference program needs, builds the win32 preset's benchmark and
# the reference for i386 and x86-64 (outside the CMake presets, so CI never needs
# multilib), then prints the comparison table of bench/compare.py.
set -euo pipefail
cd "$(dirname "$0")/.."

# What every build needs, plus the 32-bit native toolchain and libraries the
# reference program needs. Its chatter, like the build's, goes to stderr: stdout is
# the table alone, ready to paste.
# gcc-multilib brings gcc -m32 (lib32gcc, libc6-dev-i386); the reference is C, so
# g++-multilib is not needed. libssl-dev:i386 and zlib1g-dev:i386 are Multi-Arch:
# same and sit beside libssl-dev and zlib1g-dev for amd64 at the same version
# (apt moves both together); zlib1g-dev:i386 pulls in libc6-dev:i386, which
# co-installs with libc6-dev-i386 and the mingw-w64 and wine32:i386 packages.
bash scripts/setup.sh gcc-multilib libssl-dev:i386 zlib1g-dev:i386 zlib1g-dev >&2

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target telvarn_win32_bench >&2

# The reference twice: for i386, the DLL's own instruction set, and for x86-64, the
# best the libraries do on this machine.
reference_flags=(-O2 -std=c11 -Wall -Wextra -Wshadow -Wconversion -Werror bench/reference.c -lcrypto -lz)
mkdir -p build/i386 build/x86_64
gcc -m32 "${reference_flags[@]}" -o build/i386/reference
gcc "${reference_flags[@]}" -o build/x86_64/reference

source scripts/wine-env.sh
python3 bench/compare.py "$@"
