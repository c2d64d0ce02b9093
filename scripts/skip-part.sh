#!/usr/bin/env bash
# Says that a part of `make test` cannot run on this machine, and why, on
# standard output and to scripts/test-parts.sh (through DIRIRA_PART_SKIPPED),
# whose summary then lists the part as skipped rather than passed.
#   scripts/skip-part.sh PART REASON
set -euo pipefail
echo "$1: skipped: $2"
if [ -n "${DIRIRA_PART_SKIPPED:-}" ]; then
  echo "$2" >>"$DIRIRA_PART_SKIPPED"
fi
