#!/usr/bin/env python3
"""Reads the logs of scripts/mutants-by-test.sh: for every ctest test, the
mutants it killed and how many of them no other test killed (those are
listed), fewest first. A test that kills nothing alone in a large sample is a
candidate for removal or merging; one that kills faults alone is earning its
lines."""
import collections
import subprocess
import sys

kills, alone = collections.Counter(), collections.defaultdict(list)
runs = untold = 0
for log in sys.argv[1:]:
    for number, line in enumerate(open(log, encoding="utf-8", errors="replace")):
        code, mutant, failed = (line.rstrip("\n").split("\t") + ["", ""])[:3]
        if number == 0 or code == "0":  # the unchanged copy's run, or a survivor
            continue
        runs += 1
        tests = failed.split()
        untold += not tests  # a run stopped by the time limit names none
        kills.update(tests)
        if len(tests) == 1:
            alone[tests[0]].append(mutant)
listing = subprocess.run(["ctest", "--preset", "default", "-N"], capture_output=True, text=True).stdout
names = [line.split(":", 1)[1].strip() for line in listing.splitlines() if line.strip().startswith("Test") and "#" in line]
print(f"{runs} mutants killed, {untold} of them by a run that named no test")
print("kills  alone  test")
for name in sorted(names, key=lambda n: (len(alone[n]), kills[n])):
    print(f"{kills[name]:5}  {len(alone[name]):5}  {name}")
    for mutant in alone[name]:
        print(f"{'':14}{mutant[:140]}")
