#!/usr/bin/env bash
# Runs a Windows program under Wine in this checkout's prefix for its architecture, making the prefix and starting a server on first use.
#
# usage: wine-run.sh win32|win64 PROGRAM [ARG...]
# The Windows toolchain files name it as the emulator of their test programs, and
# the scripts and tests run telvarn.exe through it.
#
# A program that carries the name TELVARN_STARTED_MARK (the test programs' main,
# tests/support/test_main.cpp) writes the file that variable names as it reaches
# main. When such a program ends without having written it, Wine never started it:
# this script says so with what Wine wrote, and starts it again, up to three times
# in all, so that a failed start is never taken for the program's own result. Its
# standard error is then passed on once the program has ended. Any other program is
# run as it is, its status and output its own.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
telvarn_wine_env "${1:-}" || exit 2
shift
# The server stays half a minute after the last program, so that a test run's
# programs share one server whose services are up.
telvarn_wine_ready 30 || exit 1
if [[ ! -f ${1:-} ]] || ! grep -qaF TELVARN_STARTED_MARK "$1"; then
  exec "$TELVARN_WINE" "$@"
fi

marks=$(mktemp -d "${TMPDIR:-/tmp}/telvarn-wine-run.XXXXXX") || exit 1
trap 'rm -rf "$marks"' EXIT
starts=3
for ((start = 1; start <= starts; ++start)); do
  mark=$marks/started-$start
  # Wine's Z: drive is the host's root.
  TELVARN_STARTED_MARK="Z:${mark//\//\\}" "$TELVARN_WINE" "$@" 2>"$marks/stderr"
  status=$?
  if [[ -e $mark ]]; then
    cat "$marks/stderr" >&2
    exit "$status"
  fi
  said=$(head -c 2000 "$marks/stderr")
  echo "wine-run: $1 did not start (start $start of $starts, status $status); Wine said: ${said:-nothing}" >&2
done
echo "wine-run: $1 never started; its result is unknown" >&2
exit 125
