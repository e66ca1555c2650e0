#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 (run as root), and any
# packages named as arguments; quick when all is present.
#
# Usage: scripts/setup.sh [PACKAGE...]
set -euo pipefail

packages=(
  cmake ninja-build g++ make python3 git pkg-config bc lld-14
  googletest libssl-dev libbenchmark-dev clang libclang-rt-14-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386
  "$@"
)

need_i386=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  need_i386=1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if (( need_i386 == 0 && ${#missing[@]} == 0 )); then
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
  echo "setup: missing packages (${missing[*]}); run this script as root" >&2
  exit 2
fi

export DEBIAN_FRONTEND=noninteractive
if (( need_i386 )); then
  dpkg --add-architecture i386
fi
apt-get update -qq
# Other builds on the machine may hold the dpkg lock for a while.
apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: installed ${missing[*]}"
