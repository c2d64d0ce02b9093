"""The Python module against the C++ library and the dirira program: arrays
equal to the library's accessors, round trips, errors by status, astropy
interplay, pickling across processes, progress, and nothing left open,
allocated or mapped after thousands of reads."""
import concurrent.futures
import os
import pickle
import struct
import subprocess

import numpy as np
import pytest
from astropy.io import fits

import dirira

PROGRAM = os.environ.get("DIRIRA_PROGRAM", "dirira")
rng = np.random.default_rng(1616)


def bmp(path, planes, header=40, compression=0):
    """8-bit gray or 24-bit colour behind a header of the given size; planes top row first, 0..255."""
    count, height, width = planes.shape
    stride = (width * count + 3) & ~3
    rows = np.zeros((height, stride), np.uint8)
    rows[:, :width * count] = planes[::-1, ::-1].transpose(1, 2, 0).reshape(height, -1)  # bottom row first, BGR
    table = b"".join(bytes((i, i, i, 0)) for i in range(256)) if count == 1 else b""
    info = struct.pack("<IiiHHIIiiII", header, width, height, 1, 8 * count, compression, rows.size, 0, 0,
                       256 if count == 1 else 0, 0).ljust(header, b"\0")
    offset = 14 + header + len(table)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", offset + rows.size, 0, 0, offset) + info + table + rows.tobytes())
    return path


@pytest.fixture
def colour(tmp_path):
    planes = rng.integers(0, 256, (3, 13, 21), dtype=np.uint8)
    return planes, bmp(tmp_path / "colour.bmp", planes)


def test_arrays_are_the_samples_the_accessors_give(colour, tmp_path):
    planes, path = colour
    for file in (path, bmp(tmp_path / "v5.bmp", planes, header=124)):
        image = dirira.read(file)
        assert image.data.dtype == np.float32 and image.data.shape == (3, 13, 21)
        assert np.array_equal(image.data, planes.astype(np.float32))
        y, x = np.mgrid[0:13, 0:21]
        for plane in range(3):
            assert np.array_equal(image.gray(x, y, plane), image.data[plane])
            assert np.array_equal(image.gray256(x, y, plane), planes[plane])
        # Fractional positions take the bilinear members: on whole numbers they are the samples themselves,
        # and vectorised calls give what one call per position gives.
        fx, fy = rng.uniform(0, 20, 50), rng.uniform(0, 12, 50)
        assert np.array_equal(image.gray(x.astype(float), y.astype(float), 2), image.data[2])
        assert np.array_equal(image.bright(fx, fy), np.array([image.bright(a, b) for a, b in zip(fx, fy)]))
        assert image.source.startswith("BITMAPV5HEADER" if file != path else "BITMAPINFOHEADER")
    with pytest.raises(IndexError):
        image.gray(21, 0)
    with pytest.raises(IndexError):
        image.gray(0.5, 0.5, plane=3)


def test_writes_and_reads_round_trip(colour, tmp_path):
    planes, path = colour
    image = dirira.read(path)
    subprocess.run([PROGRAM, "convert", "-q", str(path), str(tmp_path / "program.bmp")], check=True)
    dirira.write(tmp_path / "module.bmp", image)
    assert (tmp_path / "module.bmp").read_bytes() == (tmp_path / "program.bmp").read_bytes()
    gray = rng.integers(0, 256, (7, 5)).astype(np.float32)
    dirira.write(tmp_path / "gray.bmp", gray, levels=[(0, 255)])
    assert np.array_equal(dirira.read(tmp_path / "gray.bmp").data, gray)
    # Levels from the array's range: the smallest sample renders 0, the largest 255.
    dirira.write(tmp_path / "ranged.bmp", gray * 3 + 100)
    back = dirira.read(tmp_path / "ranged.bmp").data
    assert back.min() == 0 and back.max() == 255


def test_errors_carry_the_status_and_message(colour, tmp_path):
    planes, path = colour
    jpeg = bmp(tmp_path / "jpeg.bmp", planes, header=124, compression=4)
    cases = [(lambda: dirira.read(tmp_path / "none.bmp"), dirira.CannotOpenError, 3, "the file cannot be opened"),
             (lambda: dirira.read(jpeg), dirira.UnsupportedFileError, -1, "embedded JPEG image"),
             (lambda: dirira.read_header(jpeg), dirira.HeaderUnusableError, 17, "status 17"),
             (lambda: dirira.write(tmp_path / "no" / "x.bmp", planes.astype(np.float32)), dirira.CannotCreateError, 2,
              "cannot be created")]
    for call, kind, status, text in cases:
        with pytest.raises(kind) as caught:
            call()
        assert caught.value.status == status and text in caught.value.message and isinstance(caught.value, dirira.BmpError)
    with pytest.raises(ValueError):
        dirira.from_array(np.zeros((2, 4, 4)))


def test_hdus_hold_what_the_program_writes(colour, tmp_path):
    planes, path = colour
    subprocess.run([PROGRAM, "convert", "-q", str(path), str(tmp_path / "program.fits")], check=True)
    hdu, program = dirira.read(path).to_hdu(), fits.open(tmp_path / "program.fits")[0]
    assert np.array_equal(hdu.data, program.data)
    keys = ["BITPIX", "NAXIS", "NAXIS1", "NAXIS2", "NAXIS3", "ORIGIN", "SRCFILE", "SRCBITS", "LEVMIN1", "LEVMAX1",
            "LEVMIN2", "LEVMAX2", "LEVMIN3", "LEVMAX3"]
    assert [hdu.header[k] for k in keys] == [program.header[k] for k in keys]
    program.header["LEVMIN2"], program.header["LEVMAX2"] = -4.5, 300.25
    image = dirira.from_hdu(program)
    assert np.array_equal(image.data, planes.astype(np.float32))
    assert image.levels == [(0, 255), (-4.5, 300.25), (0, 255)]


def test_data_is_a_view_of_a_store_without_budget_and_a_copy_of_a_paged_one(tmp_path):
    # Under a budget of one 2 MiB block the store pages, and its rows move.
    for width, height, memory, view in [(1000, 600, None, True), (21, 13, None, True), (1000, 600, 2 << 20, False)]:
        planes = rng.integers(0, 256, (3, height, width), dtype=np.uint8)
        image = dirira.read(bmp(tmp_path / f"{width}.bmp", planes), memory=memory)
        dirira.set_memory_budget(0)
        first, second = image._native.data, image._native.data
        assert np.shares_memory(first, second) == view and not first.flags.writeable
        del image, second
        assert np.array_equal(first, planes.astype(np.float32)), width  # the array keeps the image alive


def read_data(path):
    return dirira.read(path)


def test_images_pickle_and_travel_between_processes(colour, tmp_path):
    planes, path = colour
    image = dirira.read(path)
    image.levels = [(1, 2), (3, 4), (5, 6)]
    back = pickle.loads(pickle.dumps(image))
    assert np.array_equal(back.data, image.data) and back.levels == image.levels
    assert back.attributes["file"] == str(path) and back.source == image.source and back.header == image.header
    with concurrent.futures.ProcessPoolExecutor(2) as pool:
        images = list(pool.map(read_data, [path] * 4))
    assert all(np.array_equal(i.data, planes.astype(np.float32)) for i in images)


def test_progress_reaches_the_callback(colour):
    planes, path = colour
    seen = []
    dirira.read(path, progress=lambda stage, value: seen.append((stage, value)))
    assert seen[:3] == [(0, str(path)), (2, str(path)), (0, str(path))] and seen[-1][0] == 2
    percents = [v for s, v in seen if s == 1]
    assert percents == sorted(percents) and 0 < len(percents) <= 101

    def fail(stage, value):
        raise KeyError("stop")
    with pytest.raises(KeyError):
        dirira.read(path, progress=fail)


def test_thousands_of_reads_leave_nothing_behind(colour, tmp_path):
    planes, path = colour
    before = dirira._accounting()
    for _ in range(2000):
        assert dirira.read(path).data.shape == (3, 13, 21)
        with pytest.raises(dirira.CannotOpenError):
            dirira.read(tmp_path / "none.bmp")
    assert dirira._accounting() == before


def test_memory_budget_is_set_by_a_read(colour):
    planes, path = colour
    dirira.read(path, memory=64 << 20)
    assert dirira.memory_budget() == 64 << 20
    dirira.set_memory_budget(0)
    assert dirira.memory_budget() == 0


def test_preview_levels_are_the_fields_definitions(tmp_path):
    """`dirira preview` levels against astropy's zscale (IRAF's definition, contrast 0.25) and percentiles,
    on sky noise with bright stars and undefined samples, in the image's order (top row first)."""
    from astropy.visualization import AsymmetricPercentileInterval, ZScaleInterval
    for seed, shape in ((5, (57, 83)), (6, (300, 410))):
        sky = np.random.default_rng(seed).normal(100, 5, shape)
        sky[np.random.default_rng(seed + 1).random(shape) < 0.02] += 3000
        sky[0, :7] = np.nan
        path = tmp_path / f"sky{seed}.fits"
        fits.PrimaryHDU(sky[::-1].astype(np.float32)).writeto(path)  # FITS keeps the bottom row first
        top_first = sky.astype(np.float32).ravel()
        for stretch, interval in (("zscale", ZScaleInterval()), ("percentile:2,99.5", AsymmetricPercentileInterval(2, 99.5))):
            said = subprocess.run([PROGRAM, "preview", "--stretch", stretch, str(path), str(tmp_path / "p.png")],
                                  capture_output=True, text=True, check=True).stdout
            black, white = (float(v) for v in said.split("black ")[1].strip().split(", white "))
            assert np.allclose([black, white], interval.get_limits(top_first[np.isfinite(top_first)]), rtol=1e-6), stretch
