#!/usr/bin/env bash
# Runs a Windows program under Wine in this checkout's prefix for its architecture, making the prefix and starting a server on first use.
#
# usage: wine-run.sh win32|win64 PROGRAM [ARG...]
# The Windows toolchain files name it as the emulator of their test programs, and
# the scripts and tests run telvarn.exe through it.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
telvarn_wine_env "${1:-}" || exit 2
shift
# The server stays half a minute after the last program, so that a test run's
# programs share one server whose services are up.
telvarn_wine_ready 30 || exit 1
exec "$TELVARN_WINE" "$@"
