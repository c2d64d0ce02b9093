"""convert_many: one task per file on a process pool or a dask.distributed cluster (a worker killed part way),
each output whole and equal to a single conversion's, each file reported once."""
import concurrent.futures
import os
import signal
import time

import numpy as np
import pytest
from astropy.io import fits
from PIL import Image

import dirira
from dirira.night import convert_one

rng = np.random.default_rng(3605)


def frames(folder, count):
    folder.mkdir()
    for i in range(count):
        planes = rng.integers(0, 256, (24, 32, 3) if i % 2 else (24, 32), dtype=np.uint8)
        Image.fromarray(planes).save(folder / f"f{i:03}.bmp")
    return sorted(folder.iterdir())


def singles(inputs, folder):
    """Each input converted alone, in this process, as the reference."""
    folder.mkdir()
    return {p.stem: convert_one(str(p), str(folder / f"{p.stem}.fits")) for p in inputs}


def test_a_pool_converts_each_file_once_and_a_second_call_skips_them(tmp_path):
    inputs = frames(tmp_path / "in", 12)
    report = dirira.convert_many(inputs, tmp_path / "out", max_workers=2)
    assert [(r.input, r.status) for r in report] == [(str(p), "written") for p in inputs]
    for p, single in zip(inputs, singles(inputs, tmp_path / "one").values()):
        assert (tmp_path / "out" / f"{p.stem}.fits").read_bytes() == open(single.output, "rb").read()
        hdu = fits.open(single.output)[0]
        assert hdu.header["BITPIX"] == 8 and np.array_equal(hdu.data[..., ::-1, :], dirira.read(p).data)
    assert {r.status for r in dirira.convert_many(inputs, tmp_path / "out", to="fits")} == {"skipped"}
    assert {r.status for r in dirira.convert_many(inputs[:2], tmp_path / "bmp", to="bmp")} == {"written"}


@pytest.mark.parametrize("inputs, to, words", [
    (["a/x.bmp", "b/x.bmp"], "fits", "two inputs would both become"),
    (["x.bmp"], "png", "to is 'fits' or 'bmp'"),
])
def test_arguments_that_cannot_work_raise_before_any_conversion(tmp_path, inputs, to, words):
    with pytest.raises(ValueError, match=words):
        dirira.convert_many(inputs, tmp_path, to=to)
    assert not list(tmp_path.iterdir())


@pytest.mark.parametrize("skip_existing", [False, True])
@pytest.mark.parametrize("given, output", [("x.bmp", "x.bmp"), ("b/x.bmp", "x.bmp")])  # the file, or a hard link
def test_an_output_that_is_an_input_is_refused(tmp_path, given, output, skip_existing):
    (tmp_path / "b").mkdir()
    (tmp_path / "x.bmp").write_bytes(b"old")
    os.link(tmp_path / "x.bmp", tmp_path / "b" / "x.bmp")
    with pytest.raises(ValueError, match=f"^{tmp_path / output} is the input {tmp_path / given}; nothing converted$"):
        dirira.convert_many([tmp_path / given], tmp_path, to="bmp", skip_existing=skip_existing)
    assert (tmp_path / "x.bmp").read_bytes() == b"old"


def test_a_file_that_fails_is_reported_with_its_reason(tmp_path):
    (tmp_path / "bad.bmp").write_bytes(b"\x89PNG\r\n\x1a\n" + bytes(40))
    bad, missing = dirira.convert_many([tmp_path / "bad.bmp", tmp_path / "none.bmp"], tmp_path / "out", max_workers=1)
    assert bad.status == "failed" and "a PNG file, not a BMP" in bad.reason
    assert missing.status == "failed" and "No such file or directory" in missing.reason


def test_a_cluster_that_loses_a_worker_still_converts_every_frame_whole(tmp_path):
    distributed = pytest.importorskip("distributed")
    inputs = frames(tmp_path / "in", 200)
    out = tmp_path / "out"
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client, concurrent.futures.ThreadPoolExecutor(1) as caller:
        pids = client.run(os.getpid)
        running = caller.submit(dirira.convert_many, inputs, out, client=client)
        while len(list(out.glob("*.fits"))) < 40:
            time.sleep(0.002)
        os.kill(pids[sorted(pids)[0]], signal.SIGKILL)  # as a lost node: part way through the night
        report = running.result()
    assert len(list(out.glob("*.fits"))) == 200 and len(report) == 200
    assert [r.input for r in report] == [str(p) for p in inputs]
    # A task whose worker died after writing its output is run again and finds it whole: skipped.
    assert {r.status for r in report} <= {"written", "skipped"}
    reference = singles(inputs, tmp_path / "one")
    for p in inputs:
        assert (out / f"{p.stem}.fits").read_bytes() == open(reference[p.stem].output, "rb").read(), p.name
    assert not list(out.glob("*.tmp"))
