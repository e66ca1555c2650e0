#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset) and runs each for a bounded time on a copy of its seed corpus.
#
# Run from anywhere. FUZZ_SECONDS (default 30) is the time per target and
# FUZZ_BUILD_DIR (default build/fuzz, the preset's) the build folder; with
# FUZZ_BUILD_ONLY=1 it builds the targets and stops. The targets
# are the ones fuzz/CMakeLists.txt lists, read from the build folder.
# Exits non-zero when a target crashes or fails; its reproducer is kept and named.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
seconds="${FUZZ_SECONDS:-30}"
build_dir="${FUZZ_BUILD_DIR:-build/fuzz}"

# A folder configured from another source tree (the fuzz folder alone, say) would
# refuse the preset: its cache goes first.
cache="$build_dir/CMakeCache.txt"
if [[ -f $cache ]] && ! grep -qxF "CMAKE_HOME_DIRECTORY:INTERNAL=$root" "$cache"; then
  rm -rf "$cache" "$build_dir/CMakeFiles"
fi
cmake --preset fuzz -B "$build_dir" >/dev/null
cmake --build "$build_dir" --target telvarn_fuzzers
[[ ${FUZZ_BUILD_ONLY:-0} == 1 ]] && exit 0
mapfile -t targets <"$build_dir/fuzz_targets.txt"

# Each target runs in a folder of its own; as many run side by side as there are
# processors (FUZZ_JOBS), each for its full time, so that a target's share of fuzzing
# does not shrink with the count of targets.
jobs="${FUZZ_JOBS:-$(nproc)}"
fuzz_one() {
  local target=$1 work
  work="$(mktemp -d "${TMPDIR:-/tmp}/telvarn-${target}.XXXXXX")"
  mkdir -p "$work/corpus"
  cp -R "fuzz/corpus/$target/." "$work/corpus/"
  # -max_len lets the key texts grow past the rooms of the key area.
  if "$build_dir/$target" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
      -artifact_prefix="$work/" "$work/corpus" >"$work/log" 2>&1; then
    runs="$(grep -Eo 'Done [0-9]+ runs in [0-9]+ second\(s\)' "$work/log" | tail -n 1 || true)"
    echo "$target: ${runs:-no run count reported}"
    rm -rf "$work"
  else
    tail -n 60 "$work/log"
    echo "$target: FAILED (log and reproducer in $work)"
    return 1
  fi
}

echo "== ${#targets[@]} targets, ${seconds} s each, $jobs at a time"
results="$(mktemp -d "${TMPDIR:-/tmp}/telvarn-fuzz-results.XXXXXX")"
pids=()
for i in "${!targets[@]}"; do
  while (( $(jobs -rp | wc -l) >= jobs )); do wait -n || true; done
  fuzz_one "${targets[$i]}" >"$results/$i" 2>&1 &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do
  wait "$pid" || status=1
done

echo "== summary"
for i in "${!targets[@]}"; do
  cat "$results/$i"
done
rm -rf "$results"
exit "$status"
