#!/usr/bin/env bash
# Times telvarn.exe under Wine beside coreutils and GNU base64 (bench/cli_bench.py):
# many small files, large files with each job placement, a 1 GiB pipe with its peak
# memory, and Base64 of 100 MiB. Prints Markdown.
#
# Usage: scripts/cli-bench.sh [cli_bench.py options, e.g. --repeats 5 --large-mib 256]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >&2
# GNU time measures the peak memory of the piped runs.
if [[ ! -x /usr/bin/time ]]; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "cli-bench: /usr/bin/time is missing (package time); run this script as root" >&2
    exit 2
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends time >/dev/null
fi
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target telvarn TelvarnHX >&2
source scripts/wine-env.sh
python3 bench/cli_bench.py build/win32 "$@"
