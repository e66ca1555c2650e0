#!/usr/bin/env bash
# Times telvarn beside coreutils and GNU base64 (bench/cli_bench.py): every digest of a
# file by name and through a pipe, many small files, large files with each job
# placement, a 1 GiB pipe with its peak memory, Base64 of 100 MiB, files at once at
# each -j (eight 96 MiB files, 2,000 small ones, one of 1 GiB) and the placements on
# files of 0 B to 96 MiB. Prints Markdown.
# By default it times telvarn.exe (32-bit where the host runs it natively, else 64-bit) under
# Wine; --native times the Linux program of the native preset instead.
#
# Usage: scripts/cli-bench.sh [--native] [cli_bench.py options, e.g. --repeats 5 --large-mib 256,
#        --sections parallel --jobs 1,2,4 --baseline OLD-TELVARN]
set -euo pipefail
cd "$(dirname "$0")/.."
# rhash is the CRC-32C tool of the digest table; openssl (its SHA-3), xxhsum (package
# xxhash) and b3sum come with the set-up.
bash scripts/setup.sh rhash >&2
# GNU time measures the peak memory of the piped runs.
if [[ ! -x /usr/bin/time ]]; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "cli-bench: /usr/bin/time is missing (package time); run this script as root" >&2
    exit 2
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends time >/dev/null
fi
if [[ ${1:-} == --native ]]; then
  shift
  cmake --preset native >/dev/null
  cmake --build --preset native --target telvarn >&2
  exec python3 bench/cli_bench.py build/native --native "$@"
fi
# The 32-bit program where this host runs it natively, the 64-bit one elsewhere:
# under an emulator its speed says nothing.
source scripts/host-32bit.sh
telvarn_plan_32bit
preset=win32
if [[ -n $TELVARN_WIN32_SKIP ]]; then
  preset=win64
  echo "cli-bench: the 64-bit telvarn.exe ($TELVARN_WIN32_SKIP)" >&2
elif [[ $TELVARN_WIN32_HOW != natively ]]; then
  preset=win64
  echo "cli-bench: the 64-bit telvarn.exe (32-bit programs run $TELVARN_WIN32_HOW here)" >&2
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target telvarn TelvarnHX >&2
python3 bench/cli_bench.py "build/$preset" "$@"
