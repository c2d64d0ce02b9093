"""A night of frames with the dirira program: shards of a job array, a batch killed and run again with
--skip-existing, and the leftovers of dead processes removed (and only those). Outputs are compared byte for byte
with single conversions of the same files.

Run by ctest with DIRIRA_PROGRAM naming the program: /usr/bin/python3 -m pytest night_test.py
"""
import os
import signal
import socket
import subprocess
import time

import numpy as np
import pytest
from PIL import Image

PROGRAM = os.environ.get("DIRIRA_PROGRAM", "dirira")
rng = np.random.default_rng(3604)


def frames(folder, count, size=(48, 64)):
    folder.mkdir()
    names = []
    for i in range(count):
        Image.fromarray(rng.integers(0, 256, size, dtype=np.uint8)).save(folder / f"f{i:03}.bmp")
        names.append(folder / f"f{i:03}.bmp")
    return names


def run(*args, status=0):
    done = subprocess.run([PROGRAM, *map(str, args)], capture_output=True, text=True)
    assert done.returncode == status, done.stderr
    return done


@pytest.mark.parametrize("shards", [1, 2, 3])
def test_the_shards_of_a_job_array_convert_each_input_exactly_once(tmp_path, shards):
    inputs = frames(tmp_path / "in", 7)
    seen = []
    for k in range(1, shards + 1):
        out = tmp_path / f"task{k}"
        out.mkdir()
        run("convert", "-q", "--shard", f"{k}/{shards}", "--to", "fits", "-o", out, *inputs)
        seen += sorted(p.stem for p in out.iterdir())
    assert sorted(seen) == [p.stem for p in inputs]


@pytest.mark.parametrize("shard", ["0/2", "3/2", "1/0", "1-2", "a/b"])
def test_a_shard_out_of_range_is_a_usage_error(tmp_path, shard):
    assert "--shard wants K/N" in run("convert", "--shard", shard, "--to", "fits", "-o", tmp_path, "x.bmp",
                                      status=2).stderr


def dead_pid():
    child = subprocess.Popen(["true"])
    child.wait()
    return child.pid


def test_a_killed_batch_run_again_ends_whole_with_nothing_left_behind(tmp_path):
    inputs = frames(tmp_path / "in", 60, (300, 400))
    out = tmp_path / "out"
    out.mkdir()
    batch = subprocess.Popen([PROGRAM, "convert", "-q", "--to", "fits", "-o", out, *map(str, inputs)],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while batch.poll() is None and len(list(out.glob("*.fits"))) < 5:
        time.sleep(0.01)
    batch.send_signal(signal.SIGKILL)
    batch.wait()
    host = socket.gethostname()
    leftovers = {f"f000.fits.dirira-{host}-{dead_pid()}.tmp": False,  # a dead process of this machine: removed
                 f"f001.fits.dirira-{host}-{os.getpid()}.tmp": True,  # a live process: kept
                 f"f002.fits.dirira-elsewhere-{dead_pid()}.tmp": True,  # another machine's: kept
                 f"f003.fits.dirira-{host}-{dead_pid()}x.tmp": True,  # not a name the program makes: kept
                 f"f004.fits.dirira-{host}-1234567890.tmp": True}  # no PID has 10 digits: kept
    for name in leftovers:
        (out / name).write_bytes(b"partial")
    converted = len(list(out.glob("*.fits")))
    said = run("convert", "--skip-existing", "--to", "fits", "-o", out, *inputs).stdout
    assert f"skipped {converted} of 60" in said
    assert {p.name for p in out.glob("*.tmp")} == {name for name, kept in leftovers.items() if kept}
    single = tmp_path / "single.fits"
    for path in inputs:
        run("convert", path, single)
        assert (out / (path.stem + ".fits")).read_bytes() == single.read_bytes(), path.name
        single.unlink()


def test_an_output_older_than_its_input_is_converted_again(tmp_path):
    (source,) = frames(tmp_path / "in", 1)
    out = tmp_path / "f000.fits"
    run("convert", source, out)
    assert "skipped 1 of 1" in run("convert", "--skip-existing", source, out).stdout
    first = out.stat()
    later = first.st_mtime_ns + 1
    os.utime(source, ns=(later, later))
    assert run("convert", "--skip-existing", source, out).stdout == f"{source} -> {out}: 64 x 48, 1 plane, BITPIX 8\n"
    assert out.stat().st_ino != first.st_ino  # a new file renamed over the old one


def strace_works():
    return subprocess.run(["strace", "-o", "/dev/null", "true"], capture_output=True).returncode == 0


@pytest.mark.skipif(not strace_works(), reason="strace cannot trace here (no ptrace)")
@pytest.mark.parametrize("jobs", [1, 2])
def test_a_batch_makes_its_outputs_durable_together_and_says_each_once_in_place(tmp_path, jobs):
    inputs = frames(tmp_path / "in", 130)  # a full group of 128 and the rest
    out = tmp_path / "out"
    out.mkdir()
    trace = tmp_path / "trace"
    # LeakSanitizer cannot run under ptrace; the sanitizer build's other runs look for leaks.
    sanitizers = os.environ.get("ASAN_OPTIONS", "")
    quiet_leaks = dict(os.environ, ASAN_OPTIONS=(sanitizers + ":" if sanitizers else "") + "detect_leaks=0")
    done = subprocess.run(["strace", "-f", "-o", trace, "-e", "trace=fsync,fdatasync,syncfs,rename",
                           PROGRAM, "convert", "-j", str(jobs), "--to", "bmp", "-o", out, *map(str, inputs)],
                          capture_output=True, text=True, env=quiet_leaks)
    assert done.returncode == 0, done.stderr
    calls = [line.split()[1].split("(")[0] for line in trace.read_text().splitlines() if "(" in line]
    # Each group: one syncfs, its renames, one fsync of the folder. A group closes when full or when its first
    # output has waited its longest, whichever comes first.
    groups = " ".join(calls).split("syncfs")[1:]
    assert len(groups) >= 2 and all(group.split() == ["rename"] * len(group.split()[:-1]) + ["fsync"]
                                    for group in groups)
    assert max(group.count("rename") for group in groups) <= 128
    assert calls.count("rename") == 130 and "fdatasync" not in calls and calls[0] == "syncfs"
    said = done.stdout.splitlines()
    assert len(said) == 130 and "\0" not in done.stdout
    assert sorted(line.split()[2].rstrip(":") for line in said) == sorted(str(out / p.name) for p in inputs)


def test_a_worker_killed_part_way_fails_its_file_and_the_batch_goes_on(tmp_path):
    inputs = frames(tmp_path / "in", 40, (300, 400))
    out = tmp_path / "out"
    out.mkdir()
    batch = subprocess.Popen([PROGRAM, "convert", "-j", "2", "--to", "fits", "-o", out, *map(str, inputs)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    children = f"/proc/{batch.pid}/task/{batch.pid}/children"
    workers = []
    while batch.poll() is None and len(workers) < 2:
        workers = open(children).read().split()
    os.kill(int(workers[0]), signal.SIGKILL)
    _, stderr = batch.communicate()
    assert batch.returncode == 1
    assert "its conversion process ended by signal 9 (Killed)" in stderr
    assert "1 of 40 files failed" in stderr
    failed = next(p for p in inputs if not (out / (p.stem + ".fits")).exists())
    assert f": {failed}" in stderr or f" {failed}\n" in stderr
    assert not list(out.glob("*.tmp"))
    single = tmp_path / "single.fits"
    run("convert", inputs[-1], single)
    assert (out / (inputs[-1].stem + ".fits")).read_bytes() == single.read_bytes()
