#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset) and runs each for a bounded time on a copy of its seed corpus.
#
# Run from anywhere. FUZZ_SECONDS (default 30) is the time per target and
# FUZZ_BUILD_DIR (default build/fuzz, the preset's) the build folder. The targets
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
mapfile -t targets <"$build_dir/fuzz_targets.txt"

status=0
summary=()
for target in "${targets[@]}"; do
  work="$(mktemp -d "${TMPDIR:-/tmp}/telvarn-${target}.XXXXXX")"
  mkdir -p "$work/corpus"
  cp -R "fuzz/corpus/$target/." "$work/corpus/"
  echo "== $target: ${seconds} s"
  # -max_len lets the key texts grow past the rooms of the key area.
  if "$build_dir/$target" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
      -artifact_prefix="$work/" "$work/corpus" >"$work/log" 2>&1; then
    runs="$(grep -Eo 'Done [0-9]+ runs in [0-9]+ second\(s\)' "$work/log" | tail -n 1 || true)"
    summary+=("$target: ${runs:-no run count reported}")
    rm -rf "$work"
  else
    tail -n 60 "$work/log"
    summary+=("$target: FAILED (log and reproducer in $work)")
    status=1
  fi
done

echo "== summary"
printf '%s\n' "${summary[@]}"
exit "$status"
