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
# FITS both ways: the colour sample as a FITS cube, its headers, and back.
colour=$root/samples/starfield-colour.bmp
echo "== dirira convert ${colour#$root/} to FITS and back"
"$build/bin/dirira" convert "$colour" "$copies/starfield.fits"
"$build/bin/dirira" fits-info "$copies/starfield.fits"
"$build/bin/dirira" convert "$copies/starfield.fits" "$copies/from-fits.bmp"
cmp "$copies/starfield-colour.bmp" "$copies/from-fits.bmp"
echo "back from FITS: the same bytes as the BMP copy"
echo
# Quicklooks: each sample under each stretch, as PNG files to look at.
demo=$(cd "$build/.." && pwd)/demo
mkdir -p "$demo"
echo "== dirira preview: the samples under each stretch"
for sample in "$root"/samples/*.bmp; do
  for stretch in zscale percentile:0.5,99.8 asinh minmax; do
    "$build/bin/dirira" preview --stretch "$stretch" "$sample" "$demo/$(basename "$sample" .bmp)-${stretch%%:*}.png"
  done
done
echo "quicklooks written to $demo/"
echo
echo "== dirira about"
"$build/bin/dirira" about
# The Python module, where it is built: the worked example of docs/python.md.
if [ -d "$build/python/dirira" ]; then
  echo
  echo "== python3 examples/star_photometry.py samples/starfield-colour.bmp"
  PYTHONPATH="$build/python" /usr/bin/python3 "$root/examples/star_photometry.py" "$colour" "$copies/photometry.fits"
fi
