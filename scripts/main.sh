#!/usr/bin/env bash
# Sets up what is missing, builds TelvarnHX.hpi and telvarn.exe for 32-bit Windows, and
# runs the main job under Wine: every algorithm over this README and a 100 MB file.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
source scripts/wine-env.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target TelvarnHX telvarn
bash scripts/digest-sample.sh build/win32
