#!/usr/bin/env bash
# Compares the 32-bit and 64-bit DLLs under Wine with OpenSSL's and zlib's i386 and x86-64 builds in one run (Debian 12; installs as root).
#
# Usage: scripts/bench.sh [compare.py options, e.g. --rounds 5 --mib 64 --clock wall]
# Installs what scripts/setup.sh installs plus the libraries the reference program
# needs, builds the DLL benches of the win32 and win64 presets and the reference for
# i386 and x86-64 (outside the CMake presets, so CI needs none of these libraries),
# then prints the comparison tables of bench/compare.py. The 32-bit programs are
# measured only where the kernel runs them itself: under an emulator their speed
# says nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/host-32bit.sh
telvarn_plan_32bit

# Its chatter, like the build's, goes to stderr: stdout is the tables alone, ready
# to paste. The i386 -dev packages are Multi-Arch: same and sit beside the amd64
# ones at the same version (apt moves both together); zlib1g-dev:i386 pulls in
# libc6-dev:i386, which co-installs with gcc-multilib's libc6-dev-i386 and with the
# mingw-w64 and wine32:i386 packages.
without_32bit=
if [[ -n $TELVARN_WIN32_SKIP ]]; then
  without_32bit=$TELVARN_WIN32_SKIP
elif [[ $TELVARN_WIN32_HOW != natively ]]; then
  without_32bit="32-bit programs run $TELVARN_WIN32_HOW here, and an emulator's speed says nothing of theirs"
fi
if [[ -z $without_32bit ]]; then
  bash scripts/setup.sh gcc-multilib libssl-dev:i386 zlib1g-dev:i386 zlib1g-dev >&2
else
  bash scripts/setup.sh zlib1g-dev >&2
fi

reference_flags=(-O2 -std=c11 -Wall -Wextra -Wshadow -Wconversion -Werror bench/reference.c -lcrypto -lz)
mkdir -p build/x86_64
gcc "${reference_flags[@]}" -o build/x86_64/reference
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target telvarn_dll_bench >&2
options=()
if [[ -z $without_32bit ]]; then
  # The reference for i386 too, the DLL's own instruction set.
  mkdir -p build/i386
  gcc -m32 "${reference_flags[@]}" -o build/i386/reference
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 --target telvarn_dll_bench >&2
else
  options=(--without-32bit "$without_32bit")
fi

python3 bench/compare.py "${options[@]}" "$@"
