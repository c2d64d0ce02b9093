#!/usr/bin/env bash
# Runs the benchmarks and prints each measurement's ratio to its floor,
# which runs in the same program right before it.
set -euo pipefail
build=${1:-build/default}
for program in "$build"/bin/*_bench; do
  echo "== ${program##*/}"
  "$program" --benchmark_counters_tabular=true | tee /tmp/dirira-bench.txt
  awk '/^BM_Floor\//{split($1,a,"/"); floor[a[2]]=$2}
       /^BM_[A-Za-z]+\//{split($1,a,"/"); if (a[1]!="BM_Floor" && floor[a[2]]>0)
         printf "ratio %s/%s to floor: %.2f\n", a[1], a[2], $2/floor[a[2]]}' /tmp/dirira-bench.txt
done
