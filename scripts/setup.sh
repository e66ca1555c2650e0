#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 (run as root), and any
# packages named as arguments; quick when all is present.
#
# Usage: scripts/setup.sh [PACKAGE...]
# Every host gets the compilers for all presets, 64-bit Wine and the 32-bit Linux
# toolchain. A host whose kernel runs 32-bit x86 programs also gets 32-bit Wine; one
# whose kernel refuses them gets qemu-i386, registered with binfmt_misc, so that the
# 32-bit Linux tests run under emulation (scripts/host-32bit.sh; TELVARN_NO_32BIT=1
# takes the second path's packages without registering anything on a host that
# runs 32-bit code).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/host-32bit.sh

packages=(
  cmake ninja-build g++ g++-multilib make python3 git pkg-config bc time lld-14
  googletest libssl-dev libbenchmark-dev clang libclang-rt-14-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64
)
kernel_runs_i386=0
if telvarn_kernel_runs_i386; then kernel_runs_i386=1; fi
need_i386_arch=0
if (( kernel_runs_i386 )) && [[ ${TELVARN_NO_32BIT:-0} != 1 ]]; then
  packages+=(wine32:i386)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then need_i386_arch=1; fi
elif (( !kernel_runs_i386 )); then
  packages+=(qemu-user-static)
fi
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if (( need_i386_arch || ${#missing[@]} )); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "setup: missing packages (${missing[*]}); run this script as root" >&2
    exit 2
  fi
  export DEBIAN_FRONTEND=noninteractive
  if (( need_i386_arch )); then
    dpkg --add-architecture i386
  fi
  # A mirror in the middle of a sync fails an index now and then; the install
  # goes on with the lists it has if a retry fails as well.
  for attempt in 1 2 3; do
    apt-get update -qq && break
    echo "setup: apt-get update failed (attempt $attempt of 3)" >&2
    sleep 5
  done
  # Other builds on the machine may hold the dpkg lock for a while.
  apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  echo "setup: installed ${missing[*]}"
fi

if (( !kernel_runs_i386 )) && ! telvarn_i386_emulator >/dev/null; then
  if telvarn_register_i386_emulator; then
    echo "setup: this kernel runs no 32-bit x86 programs; registered qemu-i386 with binfmt_misc for the 32-bit Linux tests"
  else
    echo "setup: this kernel runs no 32-bit x86 programs, and qemu-i386 could not be registered with binfmt_misc (root, and a mountable binfmt_misc, are needed): the 32-bit Linux tests will be skipped" >&2
  fi
fi
