#!/usr/bin/env bash
# Sets up what is missing, builds TelvarnHX.hpi and telvarn.exe for 32-bit Windows, and
# digests this README and a generated 100 MB file with every algorithm under Wine,
# both files as asynchronous jobs side by side, showing each run's time.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target TelvarnHX telvarn
work=build/win32/main-job
mkdir -p "$work"
cp README.md "$work/README.md"
big="$work/sample-100MB.bin"
if [[ ! -f $big ]] || [[ $(stat -c %s "$big") -ne 104857600 ]]; then
  python3 -c "
import random, sys
rng = random.Random(2026)
with open(sys.argv[1], 'wb') as f:
    for _ in range(100):
        f.write(rng.randbytes(1 << 20))
" "$big"
fi
cp build/win32/TelvarnHX.hpi build/win32/telvarn.exe "$work/"
cd "$work"
echo "telvarn.exe under Wine: README.md ($(stat -c %s README.md) bytes) and sample-100MB.bin"
for command in crc32 crc16 md5 sha1 sha256 sha512 "hmac-md5 --key secret"; do
  echo "== $command"
  start=$(date +%s.%N)
  # shellcheck disable=SC2086
  wine telvarn.exe $command README.md sample-100MB.bin
  end=$(date +%s.%N)
  printf '   %.2f s\n' "$(echo "$end - $start" | bc)"
done
