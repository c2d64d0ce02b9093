#!/usr/bin/env bash
# Runs every test program of a Windows build (first argument: its build
# folder, 64-bit or 32-bit) under Wine of the same width, each width in a
# prefix of its own, then says how many tests ran, passed, failed and were
# skipped, and why they were skipped. First checks dirira.dll's export table
# against module/exports.txt. Exit status 1 when any test or that check failed.
# On a kernel that cannot execute 32-bit programs (scripts/can-run-32bit.sh),
# the 32-bit programs are built and the export table checked, but not run:
# the part is reported as skipped, with that reason.
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
results=$build/test-results
rm -rf "$results" && mkdir -p "$results"

status=0
if x86_64-w64-mingw32-objdump -f "$build/bin/dirira.dll" | grep -q 'file format pei-i386'; then
  triplet=i686-w64-mingw32 runner=$root/scripts/wine32-run.sh
else
  triplet=x86_64-w64-mingw32 runner=$root/scripts/wine-run.sh
fi
# dirira.dll exports exactly the @mingw names of module/exports.txt (the
# demangled names are the same for both widths).
cmake -DOBJDUMP=$triplet-objdump -DCXXFILT=$triplet-c++filt -DLIBRARY="$build/bin/dirira.dll" \
    -DLIST="$root/module/exports.txt" -P "$root/scripts/check-dll-exports.cmake" || status=1

if [ "$triplet" = i686-w64-mingw32 ] && ! "$root/scripts/can-run-32bit.sh" "$build"; then
  "$root/scripts/skip-part.sh" test-windows32 "this kernel cannot run 32-bit programs: \
the 32-bit Windows suite is built and its exports and layouts checked, not run"
  exit $status
fi
for program in "$build"/bin/*_tests.exe; do
  name=$(basename "$program" .exe)
  echo "test-windows: $name"
  (cd "$build/bin" && "$runner" "$program" --gtest_brief=1 \
      "--gtest_output=xml:../test-results/$name.xml") || status=1
  # A program that Wine could not start, or that died, leaves no report.
  [ -f "$results/$name.xml" ] || { echo "test-windows: $name left no report"; status=1; }
done
shopt -s nullglob
reports=("$results"/*.xml)
[ ${#reports[@]} -eq 0 ] || python3 "$root/scripts/gtest_summary.py" "${reports[@]}" || status=1
exit $status
