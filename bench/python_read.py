"""Reading into numpy against reading alone, in one process (make bench-python):
dirira.read(path) is CBmp::Read and the image library's decoding through the
module; .data adds the numpy array: a view of the store, which a store made
without a budget allows. Medians of fresh
images, each read after the last one was freed.

usage: python_read.py FILE.bmp [RUNS]
"""
import statistics
import sys
import time

import dirira


def median_seconds(work, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    path, runs = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 5
    read = median_seconds(lambda: dirira.read(path), runs)
    to_numpy = median_seconds(lambda: dirira.read(path).data, runs)
    print(f"| {path} | read {read:.3f} s | read + .data {to_numpy:.3f} s | {to_numpy / read:.2f}x |")


if __name__ == "__main__":
    main()
