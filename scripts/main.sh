#!/usr/bin/env bash
# Sets up what is missing, builds the module and telvarn.exe for Windows, and runs the
# main job under Wine: every plain digest and HMAC-MD5 over this README and a 100 MB file.
#
# The 32-bit module runs it wherever 32-bit Windows programs run, natively or under
# qemu-i386 (its times are then the emulator's), the 64-bit module elsewhere
# (TELVARN_NO_32BIT=1 chooses the 64-bit one on any host); the first line after the
# set-up says which, and how.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
source scripts/host-32bit.sh
telvarn_plan_32bit
preset=$(telvarn_windows_preset)
if [[ $preset == win32 ]]; then
  echo "main job: the 32-bit module TelvarnHX.hpi and telvarn.exe under 32-bit Wine, $TELVARN_WIN32_HOW"
else
  echo "main job: the 64-bit module TelvarnHX64.hpi and telvarn.exe under 64-bit Wine ($TELVARN_WIN32_SKIP)"
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target TelvarnHX telvarn
bash scripts/digest-sample.sh "build/$preset" "$preset"
