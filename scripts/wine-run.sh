#!/usr/bin/env bash
# Runs a Windows program under Wine in this checkout's prefix for its architecture, making the prefix and starting a server on first use.
#
# usage: wine-run.sh win32|win64 PROGRAM [ARG...]
# The Windows toolchain files name it as the emulator of their test programs, and
# the scripts and tests run telvarn.exe through it.
#
# A program that carries the name TELVARN_STARTED_MARK (the test programs' main,
# tests/support/test_main.cpp, and telvarn.exe) writes the file that variable names
# as it reaches main. When such a program ends without having written it, Wine never
# started it (Wine then says why on standard output, "Application could not be
# started, ...", with status 1, which would read as a failed test): this script says
# so under Wine's words and starts it again, up to three times in all, so that a
# failed start is never taken for the program's own result. Output is passed on as
# it comes. Any other program is run as it is, its status and output its own.
#
# The test programs also write "returned 0" to the mark when all their tests passed.
# Wine's loader has been seen to die of a signal while such a program exited after
# that (status 128 + signal, from the shell): the tests' verdict is then known but
# the program's end is not, so it is started again, once; a second such end fails.
#
# The notes of failed starts go to standard error, or, when TELVARN_WINE_RUN_NOTES
# names a file, are added to that file: the command-line tests compare telvarn's
# messages byte for byte, and report the notes apart.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
telvarn_wine_env "${1:-}" || exit 2
shift
# The server stays half a minute after the last program, so that a test run's
# programs share one server whose services are up.
telvarn_wine_ready 30 || exit 1
if [[ ! -f ${1:-} ]] || ! grep -qaF TELVARN_STARTED_MARK "$1"; then
  exec "$TELVARN_WINE" "$@"
fi

note() {
  if [[ -n ${TELVARN_WINE_RUN_NOTES:-} ]]; then
    echo "$*" >>"$TELVARN_WINE_RUN_NOTES"
  else
    echo "$*" >&2
  fi
}

marks=$(mktemp -d "${TMPDIR:-/tmp}/telvarn-wine-run.XXXXXX") || exit 1
trap 'rm -rf "$marks"' EXIT
starts=3
killed_at_exit=0
for ((start = 1; start <= starts; ++start)); do
  mark=$marks/started-$start
  rm -f "$mark"
  # Wine's Z: drive is the host's root.
  TELVARN_STARTED_MARK="Z:${mark//\//\\}" "$TELVARN_WINE" "$@"
  status=$?
  if [[ -e $mark ]]; then
    if ((status > 128 && killed_at_exit == 0)) && [[ $(<"$mark") == "returned 0" ]]; then
      killed_at_exit=1
      note "wine-run: $1 passed its tests, then Wine died of signal $((status - 128)) as it exited; starting it again"
      ((--start))
      continue
    fi
    exit "$status"
  fi
  note "wine-run: $1 did not start (start $start of $starts, status $status; what Wine wrote, if anything, is in its output)"
done
note "wine-run: $1 never started; its result is unknown"
exit 125
