#!/usr/bin/env bash
# Builds tests/consumer against an installed dirira (first argument: the
# install prefix), once through the CMake package and once through
# pkg-config, and runs both programs on the sample files; the second program
# reads a V5 file (ImageMagick's) through the every-version reader's library
# and writes it as FITS, which fitsverify and astropy check against Pillow's
# reading of the BMP.
set -euo pipefail
prefix=$1
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root/tests/consumer" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
"$work/cmake/consumer" "$root/samples/starfield-gray.bmp"
convert "$root/samples/starfield-colour.bmp" "$work/v5.bmp"  # ImageMagick writes BITMAPV5HEADER
"$work/cmake/read_every_version" "$work/v5.bmp" "$root/samples/starfield-colour.bmp" "$work/cmake.fits"

# Where CFITSIO cannot be loaded, the FITS call says why in the loader's words.
soname=$(objdump -p "$(pkg-config --variable=libdir cfitsio)/libcfitsio.so" | awk '/SONAME/ { print $2 }')
mkdir "$work/broken" && : >"$work/broken/$soname"
if LD_LIBRARY_PATH="$work/broken" "$work/cmake/read_every_version" "$work/v5.bmp" \
  "$root/samples/starfield-colour.bmp" "$work/broken.fits" >"$work/said"; then
  exit 1
fi
grep "broken.fits: CFITSIO cannot be loaded: .*$soname: file too short" "$work/said"

export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
c++ -std=c++17 "$root/tests/consumer/main.cpp" -o "$work/pkg-consumer" $(pkg-config --cflags --libs dirira)
"$work/pkg-consumer" "$root/samples/starfield-colour.bmp"
c++ -std=c++17 "$root/tests/consumer/read_every_version.cpp" -o "$work/pkg-read-every-version" \
  $(pkg-config --cflags --libs dirira-files)
"$work/pkg-read-every-version" "$work/v5.bmp" "$root/samples/starfield-colour.bmp" "$work/pkg.fits"

# The FITS files are standard and hold the picture (planes first, the bottom
# row first) that Pillow reads from the BMP.
for fits in "$work/cmake.fits" "$work/pkg.fits"; do
  verdict=$(fitsverify "$fits")
  [[ $verdict == *"found 0 warning(s) and 0 error(s)"* ]] || { echo "$verdict"; exit 1; }
  /usr/bin/python3 -c 'import sys, numpy as n; from astropy.io import fits; from PIL import Image
sys.exit(not n.array_equal(fits.getdata(sys.argv[1]), n.asarray(Image.open(sys.argv[2]))[::-1].transpose(2, 0, 1)))' \
    "$fits" "$work/v5.bmp" || { echo "$fits: not the picture Pillow reads from the BMP"; exit 1; }
  echo "$fits: standard FITS (fitsverify), the picture Pillow reads (astropy)"
done
