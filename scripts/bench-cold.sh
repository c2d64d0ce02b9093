#!/usr/bin/env bash
# The whole-process ("cold") benchmark: what a user feels is one fresh
# process reading a big file and writing it back. Each case times fresh
# processes of `dirira convert IN OUT` with hyperfine, next to the floor
# (bench/cold_floor.cpp: the same job with the least work the hardware
# allows) and to the peers a user would pick instead, installed or not:
# stb_image + stb_image_write (bench/cold_stb.cpp), Pillow
# (bench/cold_pillow.py; with astropy for FITS) and OpenCV
# (bench/cold_opencv.py, only where python3-opencv is installed).
#
#   scripts/bench-cold.sh [BUILD_DIR]        (make bench-cold)
#
# Every program runs once first under /usr/bin/time, for its peak memory
# (max RSS) and its output, which is checked against dirira's: the floor's
# BMP must be the same file byte for byte, every other output the same
# picture (bench/cold_check.cpp). A program that fails or differs is shown
# as such and left out of the timing. Inputs (bench/cold_inputs.cpp) and
# results go to build/bench-cold/; the report is build/bench-cold/report.md.
#
# Two timings per case. Back to back: hyperfine's runs follow each other,
# and each process gets memory that the one before freed moments ago. Then,
# for the two big BMP cases, floor and dirira only, "settled": each run
# starts BENCH_COLD_SETTLE (5) seconds after the last, by which time a
# virtual machine's kernel has reported the freed memory to the host (free
# page reporting) and every fresh page costs the host's fault too: what a
# user converting one file feels on such a machine. Where no such reporting
# happens the two should agree.
#
# BENCH_COLD_RUNS (5 for floor and dirira), BENCH_COLD_PEER_RUNS (3),
# BENCH_COLD_SETTLED_RUNS (3) and BENCH_COLD_WARMUP (0: the checked run
# before the timing already brings the input into the page cache) set
# hyperfine's runs; BENCH_COLD_SETTLE=0 leaves out the settled timing;
# BENCH_COLD_CASES names the cases to run (all by default). A
# whole run takes three to five minutes on the shared two-core machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/default}" && pwd)
bin=$build/bin
work=$root/build/bench-cold
runs=${BENCH_COLD_RUNS:-5}
peer_runs=${BENCH_COLD_PEER_RUNS:-3}
warmup=${BENCH_COLD_WARMUP:-0}
settle=${BENCH_COLD_SETTLE:-5}
settled_runs=${BENCH_COLD_SETTLED_RUNS:-3}
# Debian's interpreter, which the Debian packages of the peers extend (a
# python3 earlier on PATH may be another installation without them).
py=${BENCH_COLD_PYTHON:-/usr/bin/python3}

"$root/scripts/install-deps.sh" hyperfine time libstb-dev python3-pil python3-astropy
for tool in hyperfine /usr/bin/time "$py"; do
  command -v "$tool" >/dev/null || { echo "bench-cold: $tool is missing (see above)" >&2; exit 1; }
done
# Configure again, so that stb, installed just now, gets its program; the
# benchmark programs are not part of the default build.
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" --target benchmarks | tail -1
if [ -e /usr/include/stb/stb_image.h ] && [ ! -x "$bin/cold_stb" ]; then
  echo "bench-cold: stb's headers are installed but $bin/cold_stb was not built" >&2
  exit 1
fi
if [ ! -x "$bin/cold_floor" ]; then
  echo "bench-cold: $build has no benchmark programs; configure it with -DDIRIRA_BUILD_BENCH=ON (the default preset does)" >&2
  exit 1
fi

mkdir -p "$work"
rm -f "$work"/out-* "$work"/*.json "$work"/*.txt
cut -d' ' -f1 /proc/loadavg >"$work/load-at-start.txt"
echo "== inputs"
"$bin/cold_inputs" "$work"
ls -l "$work"/*.bmp | awk '{printf "  %s %d bytes\n", $NF, $5}'

has_python_module() { "$py" -c "import $1" 2>/dev/null; }

# The programs of a case: name, then the command (input and output last).
programs() {
  local output_kind=$1
  echo "floor $bin/cold_floor"
  echo "dirira $bin/dirira convert"
  if [ "$output_kind" = bmp ]; then
    [ -x "$bin/cold_stb" ] && echo "stb $bin/cold_stb"
    has_python_module PIL && echo "pillow $py $root/bench/cold_pillow.py"
    has_python_module cv2 && echo "opencv $py $root/bench/cold_opencv.py"
  else
    has_python_module PIL && has_python_module astropy && echo "pillow+astropy $py $root/bench/cold_pillow.py"
  fi
  return 0
}

# case name, input file, output extension, and an option every program of
# the case takes: FITS at dirira's default BITPIX (8 for these files, a
# quarter of the bytes of -32) and at -32.
cases=(
  "rgb24-bmp rgb24.bmp bmp"
  "gray8-bmp gray8.bmp bmp"
  "rle8-bmp rle8.bmp bmp"
  "gray8-fits gray8.bmp fits"
  "rgb24-fits rgb24.bmp fits"
  "rgb24-fits32 rgb24.bmp fits --bitpix=-32"
)
settled_cases=("rgb24-bmp rgb24.bmp" "gray8-bmp gray8.bmp")
# BENCH_COLD_CASES="rgb24-fits rgb24-fits32" runs those cases alone (and no settled timing).
if [ -n "${BENCH_COLD_CASES:-}" ]; then
  chosen=()
  for entry in "${cases[@]}"; do
    [[ " $BENCH_COLD_CASES " == *" ${entry%% *} "* ]] && chosen+=("$entry")
  done
  cases=("${chosen[@]}")
  settle=0
fi

for entry in "${cases[@]}"; do
  read -r name input kind option <<<"$entry"
  echo "== $name: $input -> .$kind"
  reference=$work/out-$name-dirira.$kind
  timed=()
  peers=()
  outputs=()
  while read -r program command; do
    command="$command $option"
    output=$work/out-$name-$program.$kind
    outputs+=("$output")
    # One run for the memory peak, the output and the check.
    if /usr/bin/time -f '%M' -o "$work/$name-$program.rss.txt" $command "$work/$input" "$output" \
        </dev/null >/dev/null 2>"$work/$name-$program.err.txt"; then
      echo "ok" >"$work/$name-$program.status.txt"
    else
      echo "fails: $(grep -v 'Command exited' "$work/$name-$program.err.txt" | head -1)" >"$work/$name-$program.status.txt"
    fi
  done < <(programs "$kind")
  while read -r program command; do
    command="$command $option"
    output=$work/out-$name-$program.$kind
    status=$(cat "$work/$name-$program.status.txt")
    if [ "$status" = ok ] && [ "$program" != dirira ]; then
      if [ "$program" = floor ] && [ "$kind" = bmp ] && cmp -s "$output" "$reference"; then
        status="same file"
      elif check=$("$bin/cold_check" "$output" "$reference"); then
        status=$check
      else
        status="DIFFERS: $check"
      fi
    elif [ "$status" = ok ]; then
      status="reference, $(stat -c %s "$output") bytes"
    fi
    echo "$status" >"$work/$name-$program.status.txt"
    echo "  $program: $status"
    case $status in fails*|DIFFERS*|unreadable*) continue ;; esac
    case $program in
      floor|dirira) timed+=(--command-name "$program" "$command $work/$input $output") ;;
      *) peers+=(--command-name "$program" "$command $work/$input $output") ;;
    esac
  done < <(programs "$kind")
  # Every run writes a new file, as a user's first conversion does: no
  # program pays for truncating the output of the run before.
  hyperfine -N --style basic --runs "$runs" --warmup "$warmup" --prepare "rm -f ${outputs[*]}" \
    --export-json "$work/$name.json" "${timed[@]}" | grep -E '^ *(Time|Range)|^Benchmark'
  if [ ${#peers[@]} -gt 0 ]; then
    hyperfine -N --style basic --runs "$peer_runs" --warmup "$warmup" --prepare "rm -f ${outputs[*]}" \
      --export-json "$work/$name-peers.json" "${peers[@]}" | grep -E '^ *(Time|Range)|^Benchmark'
  fi
  rm -f "${outputs[@]}"
done

if [ "$settle" != 0 ]; then
  for entry in "${settled_cases[@]}"; do
    read -r name input <<<"$entry"
    echo "== $name, settled: each run $settle s after the last"
    output=$work/out-settled.bmp
    hyperfine --style basic --runs "$settled_runs" --prepare "rm -f $output; sleep $settle" \
      --export-json "$work/$name-settled.json" \
      --command-name floor "$bin/cold_floor $work/$input $output" \
      --command-name dirira "$bin/dirira convert $work/$input $output" | grep -E '^ *(Time|Range)|^Benchmark'
    rm -f "$output"
  done
fi

echo "== report"
"$py" - "$work" "$root" "$runs" "$peer_runs" "$warmup" "$settle" "$settled_runs" "${cases[@]}" <<'EOF'
import json, os, platform, subprocess, sys, time

work, root, runs, peer_runs, warmup, settle, settled_runs = sys.argv[1:8]
cases = [c.split()[0] for c in sys.argv[8:]]

def read(path, default=""):
    try:
        with open(path) as f:
            return f.read().strip()
    except OSError:
        return default

def cpu():
    for line in read("/proc/cpuinfo").splitlines():
        if line.startswith("model name"):
            return line.split(":", 1)[1].strip()
    return platform.processor()

def git(*args):
    return subprocess.run(["git", "-C", root, *args], capture_output=True, text=True).stdout.strip()

memory = int(read("/proc/meminfo").split()[1]) // 1024
commit = git("rev-parse", "--short", "HEAD") + (" (with local changes)" if git("status", "--porcelain") else "")
lines = [
    f"- machine: {cpu()}, {os.cpu_count()} cores, {memory} MiB, Linux {platform.release()}, "
    f"transparent huge pages: {read('/sys/kernel/mm/transparent_hugepage/enabled')}, "
    f"defrag: {read('/sys/kernel/mm/transparent_hugepage/defrag')}",
    f"- date: {time.strftime('%Y-%m-%d %H:%M %Z')}; commit {commit}; "
    f"load average {read(os.path.join(work, 'load-at-start.txt'))} at the start, "
    f"{read('/proc/loadavg').split()[0]} at the end",
    f"- back to back: hyperfine, {runs} runs of floor and dirira, {peer_runs} of each peer, "
    f"after {warmup} warm-up and one checked run, "
    "each run writing a new file; user and system are means; max RSS from the checked run under /usr/bin/time",
    "",
    "| case | program | median s | user s | system s | x floor | CPU x floor | max RSS MiB | output |",
    "|---|---|---:|---:|---:|---:|---:|---:|---|",
]

def ratios(r, floor):
    """Median wall time and user + system time, each over the floor's."""
    if not floor:
        return "- | -"
    return f"{r['median'] / floor['median']:.2f} | {(r['user'] + r['system']) / (floor['user'] + floor['system']):.2f}"

def results_of(name):
    path = os.path.join(work, name + ".json")
    if not os.path.exists(path):
        return {}
    with open(path) as f:
        return {r["command"]: r for r in json.load(f)["results"]}

order = ["floor", "dirira", "stb", "pillow", "pillow+astropy", "opencv"]
for case in cases:
    results = {**results_of(case), **results_of(case + "-peers")}
    floor = results.get("floor")
    suffix = ".status.txt"
    names = sorted({n[len(case) + 1:-len(suffix)] for n in os.listdir(work)
                    if n.startswith(case + "-") and n.endswith(suffix)}, key=order.index)
    for program in names:
        status = read(os.path.join(work, f"{case}-{program}.status.txt"))
        rss = read(os.path.join(work, f"{case}-{program}.rss.txt")).splitlines()
        rss = f"{int(rss[-1]) / 1024:,.0f}" if rss and rss[-1].isdigit() else "-"
        r = results.get(program)
        if r:
            lines.append(f"| {case} | {program} | {r['median']:.2f} | {r['user']:.2f} | {r['system']:.2f} "
                         f"| {ratios(r, floor)} | {rss} | {status} |")
        else:
            lines.append(f"| {case} | {program} | - | - | - | - | - | {rss} | {status} |")

settled = [(case, results_of(case + "-settled")) for case in cases]
settled = [(case, r) for case, r in settled if r]
if settled:
    lines += ["", f"- settled: {settled_runs} runs per program, each {settle} s after the last", "",
              "| case | program | median s | user s | system s | x floor | CPU x floor |",
              "|---|---|---:|---:|---:|---:|---:|"]
    for case, results in settled:
        for program in ("floor", "dirira"):
            r = results.get(program)
            if r:
                lines.append(f"| {case} | {program} | {r['median']:.2f} | {r['user']:.2f} | {r['system']:.2f} "
                             f"| {ratios(r, results.get('floor'))} |")
report = "\n".join(lines) + "\n"
with open(os.path.join(work, "report.md"), "w") as f:
    f.write(report)
print(report, end="")
EOF
