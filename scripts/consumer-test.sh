#!/usr/bin/env bash
# Builds tests/consumer against an installed dirira (first argument: the
# install prefix), once through the CMake package and once through
# pkg-config, and runs both programs on the sample files; the second program
# reads a V5 file (ImageMagick's) through the every-version reader's library.
set -euo pipefail
prefix=$1
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root/tests/consumer" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
"$work/cmake/consumer" "$root/samples/starfield-gray.bmp"
convert "$root/samples/starfield-colour.bmp" "$work/v5.bmp"  # ImageMagick writes BITMAPV5HEADER
"$work/cmake/read_every_version" "$work/v5.bmp" "$root/samples/starfield-colour.bmp"

export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
c++ -std=c++17 "$root/tests/consumer/main.cpp" -o "$work/pkg-consumer" $(pkg-config --cflags --libs dirira)
"$work/pkg-consumer" "$root/samples/starfield-colour.bmp"
c++ -std=c++17 "$root/tests/consumer/read_every_version.cpp" -o "$work/pkg-read-every-version" \
  $(pkg-config --cflags --libs dirira-files)
"$work/pkg-read-every-version" "$work/v5.bmp" "$root/samples/starfield-colour.bmp"
