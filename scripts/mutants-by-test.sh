#!/bin/bash
# A test command for ../shared/tools/mutants that also records, for every
# mutant it runs against, which ctest tests failed, so that each kill can be
# attributed to the tests that made it:
#
#   MUTANTS_BY_TEST_LOG=/tmp/by-test.log ../shared/tools/mutants bmpio -n 100 \
#       --test "$PWD/scripts/mutants-by-test.sh"
#   scripts/mutants-by-test.py /tmp/by-test.log
#
# The mutant is found as the newest source file of the scratch copy (the tool
# writes it just before the build), diffed against this checkout.
log=${MUTANTS_BY_TEST_LOG:-/tmp/mutants-by-test.log}
checkout=$(cd "$(dirname "$0")/.." && pwd)
out=$(timeout 280 ctest --preset default 2>&1)
code=$?
failed=$(printf '%s\n' "$out" | sed -n '/The following tests FAILED/,$p' |
  sed -nE 's/^\s+[0-9]+ - ([^ ]+).*/\1/p' | tr '\n' ' ')
newest=$(find . -path ./build -prune -o -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) \
  -printf '%T@ %P\n' | sort -n | tail -1 | cut -d' ' -f2)
change=$(diff "$checkout/$newest" "$newest" 2>/dev/null | grep '^>' | head -1 | tr '\t' ' ')
printf '%s\t%s:%s\t%s\n' "$code" "$newest" "$change" "$failed" >>"$log"
exit $code
