#!/usr/bin/env bash
# Benchmarks of the dirira program as a user runs it (make bench-program):
#
# - a night: 1,000 frames of 640 x 480, 8-bit gray and 24-bit colour, to FITS
#   with `dirira convert -j 2 --to fits -o DIR`, in files per second against
#   bench/batch_floor.cpp, which writes the same bytes (checked) with the same
#   durability (temporary files, one sync, renames, a folder sync); each run
#   starts after a sync, so that none pays for the writes of the one before;
# - over memory: a 4096 x 4096 colour picture (192 MiB of float planes)
#   converted to FITS and to BMP under --memory 48M, a quarter of its planes, so that
#   the store pages through its swap file; its throughput (plane bytes per
#   second) next to the disk's sequential write speed (dd with fsync of as
#   many bytes).
#
#   scripts/bench-program.sh [BUILD_DIR]
#
# Results go to build/bench-program/report.md.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/default}" && pwd)
dirira=$build/bin/dirira
work=$root/build/bench-program
py=/usr/bin/python3
"$root/scripts/install-deps.sh" hyperfine python3-numpy
floor=$build/bin/batch_floor
frames=1000
mkdir -p "$work/in8" "$work/in24" "$work/out" "$work/floor"
report=$work/report.md

# Inputs: distinct random-content frames, laid out here (no library involved).
"$py" - "$work" "$frames" <<'PY'
import sys, struct, numpy as np
work, frames = sys.argv[1], int(sys.argv[2])
def bmp(path, width, height, bits, rng):
    stride = (width * bits // 8 + 3) & ~3
    palette = bytes(np.repeat(np.arange(256, dtype=np.uint8), 4)) if bits == 8 else b""
    rows = rng.integers(0, 256, (height, stride), dtype=np.uint8)
    offset = 54 + len(palette)
    header = b"BM" + struct.pack("<IHHI", offset + rows.size, 0, 0, offset)
    header += struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, rows.size, 0, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(header + palette + rows.tobytes())
rng = np.random.default_rng(2026)
for i in range(frames):
    bmp(f"{work}/in8/frame{i:04d}.bmp", 640, 480, 8, rng)
    bmp(f"{work}/in24/frame{i:04d}.bmp", 640, 480, 24, rng)
bmp(f"{work}/big.bmp", 4096, 4096, 24, rng)
PY

# The floor must write what dirira writes, byte for byte.
for depth in 8 24; do
  rm -f "$work"/out/* "$work"/floor/*
  "$dirira" convert -q -j 2 --to fits -o "$work/out" "$work"/in$depth/frame000*.bmp > /dev/null
  "$floor" 2 "$work/floor" "$work"/in$depth/frame000*.bmp
  diff -r "$work/out" "$work/floor" > /dev/null || { echo "batch_floor does not write what dirira writes ($depth-bit)" >&2; exit 1; }
done

hyperfine --style basic --runs 5 --export-json "$work/night.json" \
  --prepare "rm -f $work/out/* $work/floor/*; sync" \
  -n "dirira, 8-bit" "$dirira convert -q -j 2 --to fits -o $work/out $work/in8/*.bmp" \
  -n "floor, 8-bit" "$floor 2 $work/floor $work/in8/*.bmp" \
  -n "dirira, 24-bit" "$dirira convert -q -j 2 --to fits -o $work/out $work/in24/*.bmp" \
  -n "floor, 24-bit" "$floor 2 $work/floor $work/in24/*.bmp"
rm -f "$work"/out/* "$work"/floor/*

planes=$((4096 * 4096 * 3 * 4))
hyperfine --style basic --runs 3 --export-json "$work/memory.json" \
  --prepare "rm -f $work/big.fits $work/big-out.bmp $work/dd.bin" \
  -n "dd with fsync, $((planes >> 20)) MiB" "dd if=/dev/zero of=$work/dd.bin bs=1M count=$((planes >> 20)) conv=fsync status=none" \
  -n "to FITS --memory 48M" "$dirira convert -q --memory 48M $work/big.bmp $work/big.fits" \
  -n "convert, no budget" "$dirira convert -q $work/big.bmp $work/big.fits" \
  -n "to BMP --memory 48M" "$dirira convert -q --memory 48M $work/big.bmp $work/big-out.bmp" \
  -n "to BMP, no budget" "$dirira convert -q $work/big.bmp $work/big-out.bmp"
rm -f "$work/dd.bin"

"$py" - "$work" "$planes" "$frames" > "$report" <<'PY'
import json, sys
work, planes, frames = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
night = {r["command"]: r["median"] for r in json.load(open(f"{work}/night.json"))["results"]}
memory = {r["command"]: r["median"] for r in json.load(open(f"{work}/memory.json"))["results"]}
print("| benchmark | median s | ratio |\n|---|---:|---:|")
for depth in ("8-bit", "24-bit"):
    ours, floor = night[f"dirira, {depth}"], night[f"floor, {depth}"]
    print(f"| night: {frames} frames {depth}, floor | {floor:.2f} | {frames / floor:.0f} files/s |")
    print(f"| night: {frames} frames {depth}, dirira -j 2 | {ours:.2f} | {frames / ours:.0f} files/s, {floor / ours:.2f} of the floor |")
dd = next(v for k, v in memory.items() if k.startswith("dd"))
paged, free = memory["to FITS --memory 48M"], memory["convert, no budget"]
print(f"| disk: dd with fsync, {planes >> 20} MiB | {dd:.2f} | {planes / dd / 2**20:.0f} MiB/s |")
print(f"| over memory, to FITS: planes 4x the budget | {paged:.2f} | {planes / paged / 2**20:.0f} MiB/s of planes, {dd / paged:.2f} of the disk's speed |")
print(f"| same, no budget | {free:.2f} | {planes / free / 2**20:.0f} MiB/s of planes |")
bmp_paged, bmp_free = memory["to BMP --memory 48M"], memory["to BMP, no budget"]
print(f"| over memory, to BMP | {bmp_paged:.2f} | {planes / bmp_paged / 2**20:.0f} MiB/s of planes, {dd / bmp_paged:.2f} of the disk's speed |")
print(f"| same, no budget | {bmp_free:.2f} | {planes / bmp_free / 2**20:.0f} MiB/s of planes |")
PY
cat "$report"
