#!/usr/bin/env bash
# Runs every test program of the Windows build (first argument: its build
# folder) under Wine, then says how many tests ran, passed, failed and were
# skipped, and why they were skipped. First checks dirira.dll's export table
# against module/exports.txt. Exit status 1 when any test or that check failed.
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
results=$build/test-results
rm -rf "$results" && mkdir -p "$results"

status=0
# dirira.dll exports exactly the @mingw names of module/exports.txt.
cmake -DLIBRARY="$build/bin/dirira.dll" -DLIST="$root/module/exports.txt" \
    -P "$root/scripts/check-dll-exports.cmake" || status=1

for program in "$build"/bin/*_tests.exe; do
  name=$(basename "$program" .exe)
  echo "test-windows: $name"
  (cd "$build/bin" && "$root/scripts/wine-run.sh" "$program" --gtest_brief=1 \
      "--gtest_output=xml:../test-results/$name.xml") || status=1
done
python3 "$root/scripts/gtest_summary.py" "$results"/*.xml || status=1
exit $status
