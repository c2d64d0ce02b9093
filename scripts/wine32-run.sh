#!/usr/bin/env bash
# Runs a program of the 32-bit Windows build under 32-bit Wine, in that
# build's own prefix (WINEARCH win32); otherwise as scripts/wine-run.sh.
#   scripts/wine32-run.sh PROGRAM.exe [ARGS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/windows32/wineprefix}
export WINEARCH=win32
export DIRIRA_WINE_LOADER=/usr/lib/wine/wine
exec "$root/scripts/wine-run.sh" "$@"
