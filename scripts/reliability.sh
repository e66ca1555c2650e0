#!/usr/bin/env bash
# The long versions of the reliability tests under Wine: 100 load/unload cycles with
# jobs in flight beside a trivial DLL (CI runs 40), and the host-thread rounds.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target telvarn_dll_reliability_tests >&2
TELVARN_UNLOAD_CYCLES="${TELVARN_UNLOAD_CYCLES:-100}" scripts/wine-run.sh win32 build/win32/telvarn_dll_reliability_tests.exe
