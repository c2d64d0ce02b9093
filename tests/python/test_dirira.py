"""The Python module against the C++ library, the dirira program and astropy."""
import concurrent.futures, gc, os, pickle, struct, subprocess

import numpy as np
import pytest
from astropy.io import fits

import dirira

PROGRAM = os.environ.get("DIRIRA_PROGRAM", "dirira")
rng = np.random.default_rng(1616)
PLANES = rng.integers(0, 256, (3, 13, 21), dtype=np.uint8)


def bmp(path, planes=PLANES, header=40, compression=0):
    """8-bit gray or 24-bit colour behind a header of the given size; planes top row first, 0..255."""
    count, height, width = planes.shape
    rows = np.zeros((height, (width * count + 3) & ~3), np.uint8)
    rows[:, :width * count] = planes[::-1, ::-1].transpose(1, 2, 0).reshape(height, -1)  # bottom row first, BGR
    table = b"".join(bytes((i, i, i, 0)) for i in range(256)) if count == 1 else b""
    info = struct.pack("<IiiHHIIiiII", header, width, height, 1, 8 * count, compression, rows.size, 0, 0,
                       256 if count == 1 else 0, 0).ljust(header, b"\0")
    offset = 14 + header + len(table)
    path.write_bytes(b"BM" + struct.pack("<IHHI", offset + rows.size, 0, 0, offset) + info + table + rows.tobytes())
    return path


def program(*args):
    return subprocess.run([PROGRAM, *map(str, args)], capture_output=True, text=True, check=True).stdout


@pytest.mark.parametrize("header", [40, 124])
def test_arrays_are_the_samples_the_accessors_give(tmp_path, header):
    image = dirira.read(bmp(tmp_path / "in.bmp", header=header))
    assert image.data.dtype == np.float32 and np.array_equal(image.data, PLANES.astype(np.float32))
    assert image.source.startswith({40: "BITMAPINFOHEADER", 124: "BITMAPV5HEADER"}[header])
    y, x = np.mgrid[0:13, 0:21]
    for plane in range(3):
        assert np.array_equal(image.gray(x, y, plane), image.data[plane])
        assert np.array_equal(image.gray256(x, y, plane), PLANES[plane])
    # Fractional positions take the bilinear members: whole ones give the samples, arrays what single calls give.
    fx, fy = rng.uniform(0, 20, 50), rng.uniform(0, 12, 50)
    assert np.array_equal(image.gray(x.astype(float), y.astype(float), 2), image.data[2])
    assert np.array_equal(image.bright(fx, fy), np.array([image.bright(a, b) for a, b in zip(fx, fy)]))
    for position in [(21, 0, 0), (0, -1, 0), (0.5, 0.5, 3)]:
        pytest.raises(IndexError, image.gray, *position)


def test_writes_read_back_and_equal_the_programs_bmp_and_fits(tmp_path):
    image = dirira.read(bmp(tmp_path / "in.bmp"))
    for out in ("program.bmp", "program.fits"):
        program("convert", "-q", tmp_path / "in.bmp", tmp_path / out)
    dirira.write(tmp_path / "module.bmp", image)
    assert (tmp_path / "module.bmp").read_bytes() == (tmp_path / "program.bmp").read_bytes()
    gray = rng.integers(0, 256, (7, 5)).astype(np.float32)
    dirira.write(tmp_path / "gray.bmp", gray, levels=[(0, 255)])
    assert np.array_equal(dirira.read(tmp_path / "gray.bmp").data, gray)
    dirira.write(tmp_path / "ranged.bmp", gray * 3 + 100)  # levels from the array's range: 0 and 255 at its ends
    assert np.array_equal(np.unique(dirira.read(tmp_path / "ranged.bmp").data)[[0, -1]], [0, 255])
    hdu, written = image.to_hdu(), fits.open(tmp_path / "program.fits")[0]
    assert np.array_equal(hdu.data, written.data)
    keys = ["BITPIX", "NAXIS", "ORIGIN", "SRCFILE", "SRCBITS"] + [k + str(n) for n in (1, 2, 3) for k in ("NAXIS", "LEVMIN", "LEVMAX")]
    assert [hdu.header[k] for k in keys] == [written.header[k] for k in keys]
    written.header["LEVMIN2"], written.header["LEVMAX2"] = -4.5, 300.25
    image = dirira.from_hdu(written)
    assert np.array_equal(image.data, PLANES.astype(np.float32)) and image.levels == [(0, 255), (-4.5, 300.25), (0, 255)]


@pytest.mark.parametrize("call, kind, status, text", [
    (lambda d: dirira.read(d / "none.bmp"), dirira.CannotOpenError, 3, "No such file or directory"),
    (lambda d: dirira.read(bmp(d / "j.bmp", header=124, compression=4)), dirira.UnsupportedFileError, -1, "embedded JPEG"),
    (lambda d: dirira.read_header(bmp(d / "j.bmp", header=124, compression=4)), dirira.HeaderUnusableError, 17, "status 17"),
    (lambda d: dirira.write(d / "no" / "x.bmp", PLANES.astype(np.float32)), dirira.CannotCreateError, 2, "No such file or directory"),
    (lambda d: dirira.from_array(np.zeros((2, 4, 4))), ValueError, None, "")])
def test_errors_carry_the_status_and_message(tmp_path, call, kind, status, text):
    caught = pytest.raises(kind, call, tmp_path)
    assert status is None or (caught.value.status, isinstance(caught.value, dirira.BmpError), text in caught.value.message) == (status, True, True)


@pytest.mark.parametrize("width, height, memory, view", [(1000, 600, None, True), (21, 13, None, True),
                                                         (1000, 600, 2 << 20, False)])
def test_data_is_a_view_of_a_store_without_budget_and_a_copy_of_a_paged_one(tmp_path, width, height, memory, view):
    planes = rng.integers(0, 256, (3, height, width), dtype=np.uint8)
    before = dirira.memory_budget()
    image = dirira.read(bmp(tmp_path / "in.bmp", planes), memory=memory)  # one 2 MiB block: the store pages
    assert dirira.memory_budget() == (memory or before)
    dirira.set_memory_budget(before)
    first, second = image._native.data, image._native.data
    assert np.shares_memory(first, second) == view and not first.flags.writeable
    del image, second
    assert np.array_equal(first, planes.astype(np.float32))  # the array keeps the image alive


def test_images_pickle_and_travel_between_processes(tmp_path):
    image = dirira.read(bmp(tmp_path / "in.bmp"))
    image.levels = [(1, 2), (3, 4), (5, 6)]
    back = pickle.loads(pickle.dumps(image))
    assert np.array_equal(back.data, image.data) and back.levels == image.levels
    assert back.attributes["file"] == str(tmp_path / "in.bmp") and (back.source, back.header) == (image.source, image.header)
    with concurrent.futures.ProcessPoolExecutor(2) as pool:
        assert all(np.array_equal(i.data, PLANES) for i in pool.map(dirira.read, [tmp_path / "in.bmp"] * 4))


def test_progress_reaches_the_callback_and_its_exception_the_caller(tmp_path):
    seen, path = [], str(bmp(tmp_path / "in.bmp"))
    dirira.read(path, progress=lambda stage, value: seen.append((stage, value)))
    percents = [v for s, v in seen if s == 1]
    assert seen[:3] == [(0, path), (2, path), (0, path)] and seen[-1][0] == 2
    assert percents == sorted(percents) and 0 < len(percents) <= 101
    pytest.raises(KeyError, dirira.read, path, progress=lambda stage, value: {}["stop"])


def test_thousands_of_reads_leave_nothing_behind(tmp_path):
    gc.collect()  # an image an earlier test left in a reference cycle is freed now, not in the middle of the count
    path, before = bmp(tmp_path / "in.bmp"), dirira._accounting()
    for _ in range(2000):
        assert dirira.read(path).data.shape == (3, 13, 21)
        pytest.raises(dirira.CannotOpenError, dirira.read, tmp_path / "none.bmp")
    assert dirira._accounting() == before


def test_preview_levels_are_the_fields_definitions(tmp_path):
    """Levels against astropy's zscale (IRAF's, contrast 0.25) and percentiles: sky, bright stars, a dark pixel, NaN."""
    from astropy.visualization import AsymmetricPercentileInterval, ZScaleInterval
    for seed, shape in ((5, (57, 83)), (6, (300, 410)), (7, (19, 19))):  # 1000 samples drawn, and 354
        sky = np.random.default_rng(seed).normal(100, 5, shape)
        sky[np.random.default_rng(seed + 1).random(shape) < 0.02] += 3000
        sky[0, :7], sky[0, 7] = np.nan, -5000  # one dark outlier, the first sample drawn
        fits.PrimaryHDU(sky[::-1].astype(np.float32)).writeto(tmp_path / f"{seed}.fits")  # FITS: bottom row first
        defined = sky.astype(np.float32).ravel()
        for stretch, interval in (("zscale", ZScaleInterval()), ("percentile:2,99.5", AsymmetricPercentileInterval(2, 99.5))):
            said = program("preview", "--stretch", stretch, tmp_path / f"{seed}.fits", tmp_path / "p.png")
            levels = [float(v) for v in said.split("black ")[1].strip().split(", white ")]
            assert np.allclose(levels, interval.get_limits(defined[np.isfinite(defined)]), rtol=1e-6), stretch


def test_zscale_of_a_few_samples_is_astropys():
    """Five or six samples, some far out: where IRAF's rejection stops at its bounds, as astropy's zscale does."""
    from astropy.visualization import ZScaleInterval
    rng = np.random.default_rng(20261208)
    for _ in range(200):
        row = rng.normal(0, 1, (1, rng.integers(5, 7))).astype(np.float32)
        row[rng.random(row.shape) < rng.random() * 0.6] += np.float32(rng.normal(0, 50))
        (black, white, _), = dirira._dirira.stretch(dirira.from_array(row)._native, "zscale")
        assert np.allclose((black, white), ZScaleInterval().get_limits(row), rtol=1e-5, atol=1e-5), row


def test_cfitsio_is_loaded_only_for_fits_files(tmp_path):
    """A CFITSIO the loader cannot take: BMP to BMP never asks for it; a FITS conversion fails with the loader's
    reason and leaves no output."""
    (tmp_path / "lib").mkdir()
    soname = os.environ["CFITSIO_SONAME"]
    (tmp_path / "lib" / soname).write_bytes(b"")
    env = dict(os.environ, LD_LIBRARY_PATH=str(tmp_path / "lib"))
    source = bmp(tmp_path / "in.bmp")
    run = lambda out: subprocess.run([PROGRAM, "convert", "-q", source, tmp_path / out], capture_output=True, text=True, env=env)
    bmp_run, fits_run = run("out.bmp"), run("out.fits")
    assert (bmp_run.returncode, bmp_run.stderr) == (0, "")
    assert fits_run.returncode == 1 and not (tmp_path / "out.fits").exists()
    assert fits_run.stderr.splitlines() == [f"dirira: {tmp_path}/lib/{soname}: file too short",
                                            f"dirira: {tmp_path}/out.fits: cannot write: CFITSIO cannot be loaded; it is unchanged"]
