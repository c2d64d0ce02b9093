#!/usr/bin/env python3
"""Sums up GoogleTest XML reports: tests run, passed, failed, skipped, and
the skipped tests grouped by their reason (the last line of the skip message)."""
import collections
import sys
import xml.etree.ElementTree as ET


def main(paths):
    counts = collections.Counter()
    reasons = collections.Counter()
    failed = []
    for path in paths:
        for case in ET.parse(path).getroot().iter("testcase"):
            name = f"{case.get('classname')}.{case.get('name')}"
            skipped = case.find("skipped")
            if skipped is not None:
                counts["skipped"] += 1
                reasons[skipped.get("message", "").strip().splitlines()[-1]] += 1
            elif case.find("failure") is not None:
                counts["failed"] += 1
                failed.append(name)
            else:
                counts["passed"] += 1
    ran = counts["passed"] + counts["failed"]
    print(f"test-windows: {ran} tests ran under Wine, {counts['passed']} passed, "
          f"{counts['failed']} failed; {counts['skipped']} skipped")
    for reason, count in reasons.most_common():
        print(f"  skipped {count}: {reason}")
    for name in failed:
        print(f"  FAILED: {name}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
