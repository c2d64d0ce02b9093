#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, headless and quiet,
# in the build's own Wine prefix (made on first use). The test programs and
# the DLLs sit together in build/windows/bin, where Windows looks first.
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/windows/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko prompts, no display: only console programs run here.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wine=${DIRIRA_WINE_LOADER:-/usr/lib/wine/wine64}
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
# A Japanese locale makes Wine's ANSI code page 932, as on the systems the
# library is used on (docs/platform/windows-build.md). Wine reads the name
# itself; the C library need not have the locale.
exec env LC_ALL="${DIRIRA_WINE_LOCALE:-ja_JP.UTF-8}" "$wine" "$@"
