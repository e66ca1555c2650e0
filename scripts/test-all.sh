#!/usr/bin/env bash
# Sets up what is missing, then builds every preset, runs the tests of each that this host can run, and the fuzzers.
#
# usage: test-all.sh [PRESET|fuzz]...
# With no names, every preset and then the fuzz step (what CI runs); with names,
# only those presets, in the order given, then the fuzz step if named. An unknown
# name is a usage error (status 2).
#
# A host whose kernel runs no 32-bit code runs the 32-bit presets under qemu-i386
# (scripts/setup.sh registers it), and their lines say so. A preset whose programs
# this host cannot run at all is still built, then reported as SKIPPED with its
# reason and counted as skipped: never as passed, never left out. TELVARN_NO_32BIT=1
# takes the path of a host where 32-bit Windows programs cannot run, on any host. The last line is
# "total: N passed, F failed, K skipped", counting tests, and the fuzz step and each
# preset that could not run as one. Each preset's counts, the names of its failed
# tests and its skipped tests with their reasons come from ctest's JUnit file alone
# (scripts/ctest-results.py).
#
# The builds run ahead of the tests: one builder, at a lower priority, configures
# and builds each step in turn while the tests of the presets built before it run,
# since a preset's tests leave most of the processors idle (waiting on threads,
# pipes and Wine's server) and its build would otherwise wait for them. A preset's
# tests start once its own build is done; its build log is shown when it fails.
set -uo pipefail
cd "$(dirname "$0")/.."

presets=(native native-asan native-tsan linux32 win32 win64)

usage() {
  echo "usage: $0 [PRESET|fuzz]..." >&2
  echo "  PRESET: ${presets[*]}; fuzz: the fuzzers; no names: all of them" >&2
  exit 2
}
steps=()
if (( $# == 0 )); then
  steps=("${presets[@]}" fuzz)
fi
for name in "$@"; do
  case " ${presets[*]} fuzz " in
    *" $name "*) steps+=("$name") ;;
    *) echo "$0: unknown preset '$name'" >&2; usage ;;
  esac
done

bash scripts/setup.sh || exit 2
source scripts/host-32bit.sh
source scripts/wine-env.sh
telvarn_plan_32bit
# The release test builds and runs the 32-bit example hosts where 32-bit Windows
# programs run, natively or under emulation.
if [[ -z $TELVARN_WIN32_SKIP ]]; then
  export TELVARN_HOST_RUNS_32BIT=1
  echo "host: 32-bit Windows programs run under 32-bit Wine, $TELVARN_WIN32_HOW"
else
  export TELVARN_HOST_RUNS_32BIT=0
  echo "host: 32-bit Windows programs cannot run: $TELVARN_WIN32_SKIP"
fi
if [[ -z $TELVARN_LINUX32_SKIP ]]; then
  echo "host: 32-bit Linux programs run $TELVARN_LINUX32_HOW"
fi

# Why this host cannot run the preset's tests; nothing when it can.
skip_reason() {
  case $1 in
    linux32) echo "$TELVARN_LINUX32_SKIP" ;;
    win32) echo "$TELVARN_WIN32_SKIP" ;;
  esac
}

# How the preset's 32-bit programs ran, for its line: natively or under emulation.
how_it_ran() {
  case $1 in
    linux32) echo "; 32-bit programs ran $TELVARN_LINUX32_HOW" ;;
    win32) echo "; 32-bit programs ran $TELVARN_WIN32_HOW" ;;
  esac
}

# Each Windows preset's tests share one Wine server, its prefix made and its
# services started here, before any two test programs can race to do it.
wine_arch() {
  case $1 in
    win32 | win64) echo "$1" ;;
  esac
}
stop_wine_servers() {
  local arch
  for arch in win32 win64; do
    [[ -d ${TELVARN_WINE_PREFIXES:-build/wine}/$arch ]] && (telvarn_wine_env "$arch" && telvarn_wine_server_stop)
  done
}

# Prints LABEL: the variant names the report lists under KIND, or "none".
report_variants() {
  local names
  names=$(awk -v kind="$2" '$1 == kind {print $2}' "$TELVARN_VARIANT_REPORT" | sort -u | paste -sd ' ')
  echo "$1: ${names:-none}"
}

# The builder: each step's configure and build in the order of the steps, its log
# and, last, its status in build/test-all/STEP.{log,status}.
state=build/test-all
rm -rf "$state"
mkdir -p "$state"
build_step() {
  if [[ $1 == fuzz ]]; then
    FUZZ_BUILD_ONLY=1 bash fuzz/run.sh
  else
    cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
  fi
}
(
  for step in "${steps[@]}"; do
    started=$SECONDS
    nice -n 10 bash -c "$(declare -f build_step); build_step $step" >"$state/$step.log" 2>&1
    status=$?
    echo "$status $((SECONDS - started))" >"$state/$step.status.new"
    mv "$state/$step.status.new" "$state/$step.status"
  done
) &
builder=$!
# On an early exit the builder goes with everything it started.
kill_tree() {
  local child
  for child in $(pgrep -P "$1"); do kill_tree "$child"; done
  kill "$1" 2>/dev/null
}
stop_builder() {
  kill_tree "$builder"
  stop_wine_servers
}
trap stop_builder EXIT

# Waits for STEP's build; succeeds when it built, and says so either way.
wait_for_build() {
  local status seconds
  while [[ ! -f $state/$1.status ]]; do
    if ! kill -0 "$builder" 2>/dev/null && [[ ! -f $state/$1.status ]]; then
      echo "== $1: the builder ended before building it"
      return 1
    fi
    sleep 1
  done
  read -r status seconds <"$state/$1.status"
  if (( status != 0 )); then
    tail -n 100 "$state/$1.log"
    echo "== $1: build FAILED (status $status; its log: $state/$1.log)"
    return 1
  fi
  echo "== $1: built in $seconds s"
}

total_passed=0
total_failed=0
total_skipped=0
failed_presets=()
skipped_presets=()
for preset in "${steps[@]}"; do
  [[ $preset == fuzz ]] && continue
  echo "== $preset"
  if ! wait_for_build "$preset"; then
    failed_presets+=("$preset")
    total_failed=$((total_failed + 1))
    continue
  fi
  started=$SECONDS
  reason=$(skip_reason "$preset")
  if [[ -n $reason ]]; then
    echo "== $preset: built; its tests SKIPPED ($reason)"
    skipped_presets+=("$preset")
    total_skipped=$((total_skipped + 1))
    continue
  fi
  arch=$(wine_arch "$preset")
  if [[ -n $arch ]]; then
    (telvarn_wine_env "$arch" && telvarn_wine_ready)
  fi
  # The tests note which block-function variants this processor ran and which it
  # lacks; ctest keeps a passing test's output to itself, so they note it here.
  export TELVARN_VARIANT_REPORT=$PWD/build/$preset/variant-report.txt
  junit=$PWD/build/$preset/ctest-results.xml
  rm -f "$TELVARN_VARIANT_REPORT" "$junit"
  ctest --preset "$preset" --output-junit "$junit"
  status=$?
  if [[ -f $TELVARN_VARIANT_REPORT ]]; then
    report_variants "variants exercised" ran
    report_variants "variants this processor lacks" lacks
  fi
  if [[ -f $junit ]] && results=$(python3 scripts/ctest-results.py "$junit"); then
    read -r passed failed skipped <<<"$(head -n 1 <<<"$results")"
    tail -n +2 <<<"$results"
    echo "== $preset: $passed passed, $failed failed, $skipped skipped; tests took $((SECONDS - started)) s$(how_it_ran "$preset")"
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
    if (( status != 0 || failed != 0 )); then failed_presets+=("$preset"); fi
  else
    echo "== $preset: ctest wrote no results (status $status)"
    failed_presets+=("$preset")
    total_failed=$((total_failed + 1))
  fi
done

# The fuzzers run for a bounded time on their seed corpora; any crash fails the run.
if [[ " ${steps[*]} " == *" fuzz "* ]]; then
  echo "== fuzz"
  started=$SECONDS
  if wait_for_build fuzz && FUZZ_SECONDS=30 bash fuzz/run.sh; then
    total_passed=$((total_passed + 1))
  else
    total_failed=$((total_failed + 1))
    failed_presets+=(fuzz)
  fi
  echo "== fuzz took $((SECONDS - started)) s"
fi

if (( ${#skipped_presets[@]} )); then
  for preset in "${skipped_presets[@]}"; do
    echo "SKIPPED $preset ($(skip_reason "$preset"))"
  done
fi
if (( ${#failed_presets[@]} )); then
  echo "failed: ${failed_presets[*]}"
fi
echo "total: $total_passed passed, $total_failed failed, $total_skipped skipped"
(( ${#failed_presets[@]} == 0 ))
