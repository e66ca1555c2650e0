#!/usr/bin/env bash
# Sets up what is missing, builds the DLL for 32-bit Windows and shows its export table.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target TelvarnHX
dll=build/win32/TelvarnHX.hpi
echo "Built $dll ($(stat -c %s "$dll") bytes)"
i686-w64-mingw32-objdump -p "$dll" | sed -n '/^Export Address Table/,/^$/p;/^\[Ordinal\/Name Pointer\] Table/,/^$/p;/DLL Name:/p'
