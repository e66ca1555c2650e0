#!/usr/bin/env bash
# The long versions of the reliability tests under Wine (the 32-bit module wherever it runs, natively or emulated, else the 64-bit one): 100 load/unload cycles with
# jobs in flight beside a trivial DLL (CI runs 40), the host-thread rounds, and 10,000 cancels aimed at the
# delivery of file results (CI aims 1,000).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
# The 32-bit module wherever it runs, the 64-bit one elsewhere.
source scripts/host-32bit.sh
telvarn_plan_32bit
preset=$(telvarn_windows_preset)
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target telvarn_dll_reliability_tests telvarn_dll_job_tests >&2
TELVARN_UNLOAD_CYCLES="${TELVARN_UNLOAD_CYCLES:-100}" \
  scripts/wine-run.sh "$preset" "build/$preset/telvarn_dll_reliability_tests.exe"
TELVARN_STRESS_ROUNDS="${TELVARN_STRESS_ROUNDS:-10000}" \
  scripts/wine-run.sh "$preset" "build/$preset/telvarn_dll_job_tests.exe" --gtest_filter='*AimedAtTheDelivery*'
