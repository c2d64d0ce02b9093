#!/usr/bin/env bash
# Runs every test program of the Windows build (first argument: its build
# folder) under Wine, then says how many tests ran, passed, failed and were
# skipped, and why they were skipped. Exit status 1 when any test failed.
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
results=$build/test-results
rm -rf "$results" && mkdir -p "$results"

status=0
for program in "$build"/bin/*_tests.exe; do
  name=$(basename "$program" .exe)
  echo "test-windows: $name"
  (cd "$build/bin" && "$root/scripts/wine-run.sh" "$program" --gtest_brief=1 \
      "--gtest_output=xml:../test-results/$name.xml") || status=1
done
python3 "$root/scripts/gtest_summary.py" "$results"/*.xml || status=1
exit $status
