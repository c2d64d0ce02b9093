#!/usr/bin/env bash
# The main job: the library reads the sample star fields and says what it
# found, then shows its own version block and format names.
set -euo pipefail
build=${1:-build/default}
root=$(cd "$(dirname "$0")/.." && pwd)
for sample in "$root"/samples/*.bmp; do
  echo "== dirira info ${sample#$root/}"
  "$build/bin/dirira" info "$sample"
  echo
done
echo "== dirira about"
"$build/bin/dirira" about
