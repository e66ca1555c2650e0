#!/usr/bin/env bash
# Compares the 32-bit DLL under Wine with OpenSSL's and zlib's i386 builds in one run (Debian 12; installs as root).
#
# Usage: scripts/bench.sh [compare.py options, e.g. --rounds 5 --mib 64 --clock wall]
# Installs what scripts/setup.sh installs plus the 32-bit native toolchain and
# libraries the reference program needs, builds the win32 preset's benchmark and
# the reference (gcc -m32, outside the CMake presets so CI never needs multilib),
# then prints the comparison table of bench/compare.py.
set -euo pipefail
cd "$(dirname "$0")/.."

# First what every build needs; it also adds the i386 architecture the packages below come from.
# Its chatter, like the build's, goes to stderr: stdout is the table alone, ready to paste.
bash scripts/setup.sh >&2

# gcc-multilib brings gcc -m32 (lib32gcc, libc6-dev-i386); the reference is C, so
# g++-multilib is not needed. libssl-dev:i386 and zlib1g-dev:i386 are Multi-Arch:
# same and sit beside libssl-dev and zlib1g-dev for amd64 at the same version
# (apt moves both together); zlib1g-dev:i386 pulls in libc6-dev:i386, which
# co-installs with libc6-dev-i386 and the mingw-w64 and wine32:i386 packages.
packages=(gcc-multilib libssl-dev:i386 zlib1g-dev:i386)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if (( ${#missing[@]} > 0 )); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "bench: missing packages (${missing[*]}); run this script as root" >&2
    exit 2
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # Other builds on the machine may hold the dpkg lock for a while.
  apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  echo "bench: installed ${missing[*]}" >&2
fi

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target telvarn_win32_bench >&2

mkdir -p build/i386
gcc -m32 -O2 -std=c11 -Wall -Wextra -Wshadow -Wconversion -Werror bench/i386_reference.c \
  -o build/i386/i386_reference -lcrypto -lz

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
python3 bench/compare.py "$@"
