#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 (run as root), and any
# packages named as arguments; quick when all is present.
#
# Usage: scripts/setup.sh [PACKAGE...]
# Every host gets the compilers for all presets, Debian's wine + wine32 + wine64
# and the 32-bit Linux toolchain; its one line "setup: 32-bit programs ..." says
# which of three paths it took:
# - the kernel runs 32-bit x86 programs: nothing more, and no emulator registered;
# - the kernel refuses them (or TELVARN_EMULATE_32BIT=1 asks for this path on any
#   host): qemu-i386 10 or later from Debian's bookworm-backports, registered with
#   binfmt_misc for i386 programs in place of any other entry, and the trapno
#   mend (scripts/i386-trapno-mend.c) that 32-bit Wine needs under it, built and
#   installed for emulated processes only (scripts/host-32bit.sh);
# - TELVARN_NO_32BIT=1: no 32-bit Wine, as on a host where 32-bit Windows
#   programs cannot run; a kernel that refuses i386 programs still gets qemu-i386
#   for the 32-bit Linux tests.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/host-32bit.sh

packages=(
  cmake ninja-build g++ g++-multilib make python3 git pkg-config bc time lld-14
  googletest libssl-dev libbenchmark-dev clang libclang-rt-14-dev libxxhash-dev xxhash b3sum
  coreutils  # b2sum, which the CLI tests compare telvarn blake2b with
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64
)
emulate=0
if ! telvarn_kernel_runs_i386; then
  emulate=1
  path="the kernel runs none, so they run under qemu-i386"
elif [[ ${TELVARN_EMULATE_32BIT:-0} == 1 ]]; then
  emulate=1
  path="the kernel runs them, and TELVARN_EMULATE_32BIT=1 sends them to qemu-i386"
elif emulator=$(telvarn_i386_emulator); then
  path="the kernel runs them, but the binfmt_misc entry $emulator sends them to an emulator"
else
  path="the kernel runs them natively"
fi
wine32=1
if [[ ${TELVARN_NO_32BIT:-0} == 1 ]]; then
  wine32=0
  path="$path; TELVARN_NO_32BIT=1: no 32-bit Wine"
fi
need_i386_arch=0
if (( wine32 )); then
  packages+=(wine32:i386)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then need_i386_arch=1; fi
fi
packages+=("$@")

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
# 32-bit Wine runs under qemu-i386 10 or later, which bookworm has only in its backports.
qemu_suite=bookworm-backports
need_qemu=0
if (( emulate )); then
  qemu_version=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null) || qemu_version=
  qemu_version=${qemu_version#*:}
  if ! installed qemu-user-static || (( ${qemu_version%%.*} < telvarn_min_qemu_major )); then need_qemu=1; fi
fi

as_root() {
  if [[ $(id -u) -ne 0 ]]; then
    echo "setup: $1; run this script as root" >&2
    exit 2
  fi
}

# The backports suite is enabled the ordinary way: a sources entry beside the
# release's own, from the same mirror, which apt ranks below the release so that
# only what is asked for by suite comes from it.
enable_backports() {
  local list=/etc/apt/sources.list.d/$qemu_suite.sources mirror
  if grep -rqs "$qemu_suite" /etc/apt/sources.list /etc/apt/sources.list.d/; then return 0; fi
  mirror=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | grep -v security | head -n 1)
  [[ -n $mirror ]] || mirror=$(sed -n 's/^deb \(\[[^]]*\] \)\?\([^ ]*\) bookworm main.*/\2/p' /etc/apt/sources.list 2>/dev/null | head -n 1)
  [[ -n $mirror ]] || mirror=http://deb.debian.org/debian
  printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$mirror" "$qemu_suite" >"$list"
}

if (( need_i386_arch || need_qemu || ${#missing[@]} )); then
  wanted=("${missing[@]}")
  if (( need_qemu )); then wanted+=("qemu-user-static from $qemu_suite"); fi
  as_root "missing packages (${wanted[*]})"
  export DEBIAN_FRONTEND=noninteractive
  if (( need_i386_arch )); then
    dpkg --add-architecture i386
  fi
  if (( need_qemu )); then
    enable_backports
  fi
  # A mirror in the middle of a sync fails an index now and then; the install
  # goes on with the lists it has if a retry fails as well.
  for attempt in 1 2 3; do
    apt-get update -qq && break
    echo "setup: apt-get update failed (attempt $attempt of 3)" >&2
    sleep 5
  done
  # Other builds on the machine may hold the dpkg lock for a while.
  apt_install=(apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends)
  if (( need_qemu )); then
    # Alone, so that only qemu and what it depends on come from the backports.
    "${apt_install[@]}" -t "$qemu_suite" qemu-user-static >/dev/null
    echo "setup: installed qemu-user-static $(dpkg-query -W -f='${Version}' qemu-user-static) from $qemu_suite"
  fi
fi

# The emulator is registered before any i386 package is installed, so that what
# their installation runs runs.
registered=1
if (( emulate )) && ! telvarn_register_i386_emulator; then registered=0; fi

if (( ${#missing[@]} )); then
  "${apt_install[@]}" "${missing[@]}" >/dev/null
  echo "setup: installed ${missing[*]}"
fi

if (( emulate )); then
  # The trapno mend, rebuilt whenever its source changes.
  built=$(mktemp)
  gcc -m32 -shared -fPIC -O2 -Wall -Wextra -Werror -o "$built" scripts/i386-trapno-mend.c -ldl
  if ! cmp -s "$built" "$telvarn_trapno_mend"; then
    as_root "the trapno mend $telvarn_trapno_mend is missing or out of date"
    install -D -m 0644 "$built" "$telvarn_trapno_mend"
  fi
  rm -f "$built"
  if (( !registered )); then
    echo "setup: 32-bit programs: $path, but qemu-i386 could not be registered with binfmt_misc (root, and a mountable binfmt_misc, are needed): the 32-bit tests will be skipped" >&2
    exit 0
  fi
  path="$path ($(telvarn_qemu_version "$(readlink -f "$(command -v qemu-i386-static)")"), registered with binfmt_misc)"
fi
echo "setup: 32-bit programs: $path"
