#!/usr/bin/env bash
# Runs the benchmarks and prints each measurement's ratio to its floor,
# which runs in the same program before it. BM_Floor<Name>/<arg> is the
# floor of BM_<Name>/<arg>; a plain BM_Floor/<arg> is the floor of every
# BM_<Name>/<arg> that has no floor of its own. BM_Called<Name>/<arg> is a
# second floor: the same work behind a call that cannot be inlined; and
# BM_Shared<Name>/<arg> a third: that call exported from a shared library.
#
# Each benchmark runs REPETITIONS times (5 unless set), and the ratios are
# those of the medians, floors and members of the same run.
set -euo pipefail
build=${1:-build/default}
for program in "$build"/bin/*_bench; do
  echo "== ${program##*/}"
  "$program" --benchmark_counters_tabular=true --benchmark_repetitions="${REPETITIONS:-5}" \
    --benchmark_report_aggregates_only=true | tee /tmp/dirira-bench.txt
  grep '_median' /tmp/dirira-bench.txt | awk '/^BM_Floor[A-Za-z0-9_]*\//{split($1,a,"/"); floor[substr(a[1],9) "/" a[2]]=$2; next}
       /^BM_Called[A-Za-z0-9_]*\//{split($1,a,"/"); called[substr(a[1],10) "/" a[2]]=$2; next}
       /^BM_Shared[A-Za-z0-9_]*\//{split($1,a,"/"); shared[substr(a[1],10) "/" a[2]]=$2; next}
       /^BM_[A-Za-z0-9_]+\//{split($1,a,"/"); own=substr(a[1],4) "/" a[2];
         key=(own in floor) ? own : "/" a[2];
         if ((key in floor) && floor[key]>0)
           printf "ratio %s/%s to floor: %.2f\n", a[1], a[2], $2/floor[key]
         if ((own in called) && called[own]>0)
           printf "ratio %s/%s to called floor: %.2f\n", a[1], a[2], $2/called[own]
         if ((own in shared) && shared[own]>0)
           printf "ratio %s/%s to shared floor: %.2f\n", a[1], a[2], $2/shared[own]}'
done
