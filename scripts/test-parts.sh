#!/usr/bin/env bash
# Runs each part of `make test` named on the command line, in order, every
# one of them even when an earlier one fails, then closes with a summary:
# each part passed, skipped (with the reason it gave) or FAILED. Exit status
# 1 when any part failed; a skipped part is not a failure, nor a pass.
#
# A part that cannot run on this machine records why through
# scripts/skip-part.sh, which finds the file to write in DIRIRA_PART_SKIPPED.
#   scripts/test-parts.sh PART...
set -uo pipefail
make=${MAKE:-make}
notes=$(mktemp -d)
trap 'rm -rf "$notes"' EXIT
results=()
failed=0
for part in "$@"; do
  echo "=== make $part"
  DIRIRA_PART_SKIPPED=$notes/$part $make --no-print-directory "$part"
  status=$?
  if [ $status -ne 0 ]; then
    results+=("FAILED   $part (exit status $status)")
    failed=1
  elif [ -s "$notes/$part" ]; then
    results+=("skipped  $part: $(head -n 1 "$notes/$part")")
  else
    results+=("passed   $part")
  fi
done
echo
echo "=== make test: ${#results[@]} parts"
printf '%s\n' "${results[@]}"
exit $failed
