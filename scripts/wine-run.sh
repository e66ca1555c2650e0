#!/usr/bin/env bash
# Runs a Windows program under Wine in this checkout's prefix for its architecture, making the prefix on first use.
#
# usage: wine-run.sh win32|win64 PROGRAM [ARG...]
# The Windows toolchain files name it as the emulator of their test programs, and
# the scripts and tests run telvarn.exe through it.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
telvarn_wine_env "${1:-}" || exit 2
shift
telvarn_wine_prefix || exit 1
exec "$TELVARN_WINE" "$@"
