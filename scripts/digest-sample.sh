#!/usr/bin/env bash
# The main job: telvarn digests the README and a generated 100 MB file with every
# plain digest and HMAC-MD5, the README as a synchronous job and the large file as a
# job of its own beside it, and each run is timed. Everything is written in BUILD_DIR/main-job.
# usage: digest-sample.sh BUILD_DIR [win32|win64]   (a Windows build's telvarn.exe and
# its module run under Wine; the architecture is the build's when not given)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
arch=${2:-}
if [[ -z $arch && -f $build/telvarn.exe ]]; then
  if [[ -f $build/TelvarnHX64.hpi ]]; then arch=win64; else arch=win32; fi
fi
root=$PWD
work=$build/main-job
mkdir -p "$work"
cp README.md "$work/README.md"
big=$work/sample-100MB.bin
if [[ ! -f $big ]] || [[ $(stat -c %s "$big") -ne 104857600 ]]; then
  python3 -c "
import random, sys
rng = random.Random(2026)
with open(sys.argv[1], 'wb') as f:
    for _ in range(100):
        f.write(rng.randbytes(1 << 20))
" "$big"
fi
if [[ -n $arch ]]; then
  cp "$build"/TelvarnHX*.hpi "$build/telvarn.exe" "$work/"
  telvarn=("$root/scripts/wine-run.sh" "$arch" telvarn.exe)
else
  telvarn=("$(realpath "$build/telvarn")")
fi
cd "$work"
echo "telvarn: README.md ($(stat -c %s README.md) bytes) and sample-100MB.bin"
for command in crc32 crc16 md5 sha1 sha256 sha512 "hmac-md5 --key secret"; do
  echo "== $command"
  start=$(date +%s.%N)
  # shellcheck disable=SC2086
  "${telvarn[@]}" $command README.md sample-100MB.bin
  end=$(date +%s.%N)
  printf '   %.2f s\n' "$(echo "$end - $start" | bc)"
done
