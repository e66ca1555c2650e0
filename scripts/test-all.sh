#!/usr/bin/env bash
# Sets up what is missing, then builds and runs every test of every preset and the fuzzers.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || exit 2
source scripts/wine-env.sh
# One persistent Wine server for the whole run, its prefix made once here: test
# programs started side by side then never race to start a server of their own.
wineserver -p >/dev/null 2>&1 || true
wineboot --init >/dev/null 2>&1 || true
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

presets=(native native-asan native-tsan win32)

# Prints LABEL: the variant names the report lists under KIND, or "none".
report_variants() {
  local names
  names=$(awk -v kind="$2" '$1 == kind {print $2}' "$TELVARN_VARIANT_REPORT" | sort -u | paste -sd ' ')
  echo "$1: ${names:-none}"
}

total_passed=0
total_failed=0
failed_presets=()
for preset in "${presets[@]}"; do
  echo "== $preset"
  started=$SECONDS
  log=$(mktemp)
  if cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; then
    # The tests note which block-function variants this processor ran and which it
    # lacks; ctest keeps a passing test's output to itself, so they note it here.
    export TELVARN_VARIANT_REPORT=$PWD/build/$preset/variant-report.txt
    rm -f "$TELVARN_VARIANT_REPORT"
    ctest --preset "$preset" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    if [[ -f $TELVARN_VARIANT_REPORT ]]; then
      report_variants "variants exercised" ran
      report_variants "variants this processor lacks" lacks
    fi
  else
    status=1
  fi
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  if [[ $summary =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    total_failed=$((total_failed + BASH_REMATCH[1]))
    total_passed=$((total_passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  fi
  rm -f "$log"
  echo "== $preset took $((SECONDS - started)) s"
  if (( status != 0 )) || [[ -z $summary ]]; then
    failed_presets+=("$preset")
  fi
done

# The fuzzers run for a bounded time on their seed corpora; any crash fails the run.
echo "== fuzz"
started=$SECONDS
if FUZZ_SECONDS=30 bash fuzz/run.sh; then
  total_passed=$((total_passed + 1))
else
  total_failed=$((total_failed + 1))
  failed_presets+=(fuzz)
fi
echo "== fuzz took $((SECONDS - started)) s"

if (( ${#failed_presets[@]} )); then
  echo "failed: ${failed_presets[*]}"
fi
echo "total: $total_passed passed, $total_failed failed"
(( ${#failed_presets[@]} == 0 ))
