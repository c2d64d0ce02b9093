#!/usr/bin/env bash
# Benchmarks of the dirira program as a user runs it (make bench-program):
#
# - batch: 100 BMP files to FITS, one `dirira convert -j 2 -o DIR` against a
#   shell loop converting them one by one (both flush every output to disk);
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
mkdir -p "$work/in" "$work/out"
report=$work/report.md

# Inputs: distinct random-content 24-bit files, laid out here (no library involved).
"$py" - "$work" <<'PY'
import sys, struct, numpy as np
work = sys.argv[1]
def bmp(path, width, height, rng):
    stride = (width * 3 + 3) & ~3
    rows = rng.integers(0, 256, (height, stride), dtype=np.uint8)
    header = b"BM" + struct.pack("<IHHI", 54 + rows.size, 0, 0, 54)
    header += struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, rows.size, 0, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(header)
        f.write(rows.tobytes())
rng = np.random.default_rng(2026)
for i in range(100):
    bmp(f"{work}/in/frame{i:03d}.bmp", 640, 480, rng)
bmp(f"{work}/big.bmp", 4096, 4096, rng)
PY

hyperfine --style basic --runs 3 --export-json "$work/batch.json" \
  --prepare "rm -f $work/out/*" \
  -n "loop of 100" "for f in $work/in/*.bmp; do $dirira convert -q \$f $work/out/\$(basename \$f .bmp).fits; done" \
  -n "parallel, -j 2" "$dirira convert -q -j 2 --to fits -o $work/out $work/in/*.bmp"

planes=$((4096 * 4096 * 3 * 4))
hyperfine --style basic --runs 3 --export-json "$work/memory.json" \
  --prepare "rm -f $work/big.fits $work/big-out.bmp $work/dd.bin" \
  -n "dd with fsync, $((planes >> 20)) MiB" "dd if=/dev/zero of=$work/dd.bin bs=1M count=$((planes >> 20)) conv=fsync status=none" \
  -n "to FITS --memory 48M" "$dirira convert -q --memory 48M $work/big.bmp $work/big.fits" \
  -n "convert, no budget" "$dirira convert -q $work/big.bmp $work/big.fits" \
  -n "to BMP --memory 48M" "$dirira convert -q --memory 48M $work/big.bmp $work/big-out.bmp" \
  -n "to BMP, no budget" "$dirira convert -q $work/big.bmp $work/big-out.bmp"
rm -f "$work/dd.bin"

"$py" - "$work" "$planes" > "$report" <<'PY'
import json, sys
work, planes = sys.argv[1], int(sys.argv[2])
batch = {r["command"]: r["median"] for r in json.load(open(f"{work}/batch.json"))["results"]}
memory = {r["command"]: r["median"] for r in json.load(open(f"{work}/memory.json"))["results"]}
print("| benchmark | median s | ratio |\n|---|---:|---:|")
loop, parallel = batch["loop of 100"], batch["parallel, -j 2"]
print(f"| batch: loop of 100 | {loop:.2f} | 1.00 |\n| batch: -j 2 | {parallel:.2f} | {parallel / loop:.2f} of the loop |")
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
