#!/usr/bin/env bash
# The main job: the library reads the sample star fields and says what it
# found, writes each back out and reads the copy, then shows its own version
# block and format names.
set -euo pipefail
build=${1:-build/default}
root=$(cd "$(dirname "$0")/.." && pwd)
for sample in "$root"/samples/*.bmp; do
  echo "== dirira info ${sample#$root/}"
  "$build/bin/dirira" info "$sample"
  echo
done
# The round trip: a copy of each sample, described, must show the source's
# size and sample ranges; converting the copy again gives the same bytes.
copies=$(mktemp -d)
trap 'rm -rf "$copies"' EXIT
for sample in "$root"/samples/*.bmp; do
  copy=$copies/$(basename "$sample")
  echo "== dirira convert ${sample#$root/} COPY, then dirira info COPY"
  "$build/bin/dirira" convert "$sample" "$copy"
  "$build/bin/dirira" info "$copy"
  diff <("$build/bin/dirira" info "$sample" | grep -E '^(size|plane)') \
       <("$build/bin/dirira" info "$copy" | grep -E '^(size|plane)')
  echo "same size and sample ranges as the source"
  "$build/bin/dirira" convert "$copy" "$copy.again" >/dev/null
  cmp "$copy" "$copy.again"
  echo "converted again: the same bytes"
  echo
done
echo "== dirira about"
"$build/bin/dirira" about
