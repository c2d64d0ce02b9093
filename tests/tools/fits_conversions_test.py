"""FITS conversions of the dirira program, checked by peers: astropy reads every FITS output (the data meant, the
cards documented), fitsverify finds no error or warning in it, Pillow decodes every BMP output and every preview.

Run by ctest with DIRIRA_PROGRAM naming the program: /usr/bin/python3 -m pytest fits_conversions_test.py
"""
import os
import subprocess

import numpy as np
import pytest
from astropy.io import fits
from PIL import Image

PROGRAM = os.environ.get("DIRIRA_PROGRAM", "dirira")
rng = np.random.default_rng(3402)
GRAY = rng.integers(0, 256, (9, 14), dtype=np.uint8)  # top row first
COLOUR = rng.integers(0, 256, (9, 14, 3), dtype=np.uint8)
# A star field as a camera gives it: a sky of about 1000 counts, a few bright stars up to 60000.
SKY = rng.normal(1000, 20, (40, 50)).clip(0).astype(np.uint16)
SKY[rng.integers(0, 40, 6), rng.integers(0, 50, 6)] = rng.integers(20000, 60000, 6)


def run(*args, status=0):
    done = subprocess.run([PROGRAM, *map(str, args)], capture_output=True, text=True)
    assert done.returncode == status, done.stderr
    return done


def verified(path):
    """The HDU holding the image, after fitsverify found nothing to say of the file."""
    report = subprocess.run(["fitsverify", "-q", str(path)], capture_output=True, text=True)
    assert report.returncode == 0, report.stdout
    hdus = fits.open(path)
    return next(hdu for hdu in hdus if hdu.data is not None)


def pixels(path):
    """A BMP or PNG file as Pillow decodes it: (H, W) or (H, W, 3)."""
    return np.asarray(Image.open(path))


def fits_file(path, data, **cards):
    """A FITS file as astropy writes it; the array's first row is the bottom of the picture."""
    hdu = fits.PrimaryHDU(data)
    hdu.header.update(cards)
    hdu.writeto(path)
    return path


@pytest.mark.parametrize("picture", [GRAY, COLOUR], ids=["gray", "colour"])
@pytest.mark.parametrize("name, bitpix, options", [
    ("out.fits", 8, []),  # the smallest BITPIX that holds 0..255 exactly
    ("out.fits", 16, ["--bitpix", "16"]),
    ("out.fits", 32, ["--bitpix=32"]),
    ("out.fits", -32, ["--bitpix", "-32"]),
    ("out.fits", -64, ["--bitpix", "-64"]),
    ("out.fits.gz", 8, []),
    ("out.fz", 8, []),
    ("out.fits.fz", -32, ["--bitpix", "-32"]),
])
def test_bmp_to_fits_holds_every_sample_at_its_bitpix(tmp_path, picture, name, bitpix, options):
    Image.fromarray(picture).save(tmp_path / "in.bmp")
    run("convert", "-q", *options, tmp_path / "in.bmp", tmp_path / name)
    hdu = verified(tmp_path / name)
    data = hdu.data[::-1] if hdu.data.ndim == 2 else np.moveaxis(hdu.data[:, ::-1], 0, 2)
    assert hdu.header["BITPIX"] == bitpix
    assert np.array_equal(data, pixels(tmp_path / "in.bmp"))
    planes = [hdu.header.get(f"PLANE{n}") for n in (1, 2, 3)]
    assert planes == (["red", "green", "blue"] if picture.ndim == 3 else [None] * 3)


def test_samples_beyond_the_writers_chunks_go_out_whole_and_in_order(tmp_path):
    """9 MB of samples: two 4 MiB chunks go out on the writer's second thread in turn, the rest from the caller."""
    picture = np.random.default_rng(9).integers(0, 256, (1000, 1500, 3), dtype=np.uint8)
    Image.fromarray(picture).save(tmp_path / "in.bmp")
    run("convert", "-q", "--bitpix", "16", tmp_path / "in.bmp", tmp_path / "out.fits")
    assert np.array_equal(np.moveaxis(verified(tmp_path / "out.fits").data[:, ::-1], 0, 2), picture)


def levels_of_preview(tmp_path, source, *options):
    said = run("preview", *options, "--size", "2000x2000", source, tmp_path / "p.png").stdout
    return pixels(tmp_path / "p.png"), said


@pytest.mark.parametrize("options", [[], ["--stretch", "minmax"], ["--stretch", "percentile:1,99"],
                                     ["--stretch", "asinh"], ["--levels", "900,1200"],
                                     ["--stretch", "zscale", "--per-plane-levels"]])
def test_fits_to_bmp_shows_what_preview_shows(tmp_path, options):
    source = fits_file(tmp_path / "stars.fits", np.stack([SKY, SKY * 2 // 3, SKY // 3]))
    run("convert", *options, source, tmp_path / "out.bmp")
    shown, _ = levels_of_preview(tmp_path, source, *options)
    assert np.array_equal(pixels(tmp_path / "out.bmp"), shown)


def test_a_star_field_is_not_left_black_and_colours_keep_their_balance(tmp_path):
    run("convert", fits_file(tmp_path / "sky.fits", SKY), tmp_path / "sky.bmp")
    assert np.percentile(pixels(tmp_path / "sky.bmp"), 50) > 20  # zscale: the sky shows
    cube = np.stack([SKY // 6, SKY // 3, SKY // 2])  # red : green : blue as 1 : 2 : 3
    run("convert", "--stretch=minmax", fits_file(tmp_path / "cube.fits", cube), tmp_path / "balanced.bmp")
    red, green, blue = np.moveaxis(pixels(tmp_path / "balanced.bmp").astype(int), 2, 0)
    assert (red <= green).all() and (green <= blue).all() and (red < blue).any()
    run("convert", "--stretch=minmax", "--per-plane-levels", tmp_path / "cube.fits", tmp_path / "each.bmp")
    each = pixels(tmp_path / "each.bmp").astype(int)
    assert np.abs(each[..., 0] - each[..., 2]).max() <= 1  # each plane stretched alone: gray


@pytest.mark.parametrize("data, cards, expected, warning", [
    (np.arange(3, 239, dtype=np.uint8).reshape(4, 59)[::-1], {}, np.arange(3, 239).reshape(4, 59), ""),
    (np.array([[10.0, 20.0]], np.float32), {"LEVMIN1": "abc", "LEVMAX1": 20.0}, None, "LEVMIN1 cannot be read"),
    (np.array([[10.0, 20.0]], np.float32), {"LEVMIN1": 10.0, "LEVMAX1": 20.0}, np.array([[0, 255]]), ""),
])
def test_level_cards_and_bytes_keep_their_values(tmp_path, data, cards, expected, warning):
    said = run("convert", fits_file(tmp_path / "in.fits", data, **cards), tmp_path / "out.bmp")
    assert warning in said.stderr and (warning != "") == (said.stderr != "")
    if expected is not None:
        assert np.array_equal(pixels(tmp_path / "out.bmp"), expected)


@pytest.mark.parametrize("flip, warning", [(0, ""), (1, "the data do not match their DATASUM card: the file is damaged")])
def test_a_data_unit_that_fails_its_datasum_is_said_to_be_damaged(tmp_path, flip, warning):
    path = tmp_path / "in.fits"
    fits.PrimaryHDU(GRAY[::-1]).writeto(path, checksum=True)
    data = bytearray(path.read_bytes())
    data[2880] ^= flip  # the lowest bit of the first sample, the picture's bottom left
    path.write_bytes(data)
    said = run("convert", path, tmp_path / "out.bmp")
    assert said.stderr == (f"dirira: {path}: warning: {warning}\n" if warning else "")
    shown = GRAY.copy()
    shown[-1, 0] ^= flip
    assert np.array_equal(pixels(tmp_path / "out.bmp"), shown)


ROUNDED = "samples beyond 2**24 are rounded to float32's 24 significant bits"


@pytest.mark.parametrize("data, cards, levels, warning", [  # levels: what minmax finds in the float32 samples
    (np.array([[2**24 + 1, 0]], np.int32), {}, "0, white 16777216", "BITPIX 32 " + ROUNDED),
    (np.array([[2**25 + 4, 0, -7]], np.int32), {}, "-7, white 33554436", ""),
    (np.array([[-2**31, 5, 7]], np.int32), {"BLANK": -2**31}, "5, white 7", ""),
    (np.array([[2**32 - 1, 0]], np.uint32), {}, "0, white 4.2949673e+09", "BITPIX 32 " + ROUNDED),
    (np.array([[2**60 + 1, -2**63]], np.int64), {}, "-9.22337204e+18, white 1.1529215e+18", "BITPIX 64 " + ROUNDED),
    (np.array([[-2**63, 2**62]], np.int64), {}, "-9.22337204e+18, white 4.61168602e+18", ""),
    (np.array([[2**63 + 1, 0]], np.uint64), {}, "0, white 9.22337204e+18", "BITPIX 64 " + ROUNDED),
    (np.array([[-2**63, 1, 2]], np.int64), {"BLANK": -2**63}, "1, white 2", ""),
    (np.array([[2**24 + 1, 0]], np.int32), {"BZERO": 1000}, "1000, white 16778216", "BITPIX 32 " + ROUNDED),
    (np.array([[3, 2**25 + 1]], np.int64), {"BSCALE": 0.5}, "1.5, white 16777216", ""),
    (np.array([[1e300, 1, 2]]), {}, "1, white 2", "BITPIX -64 samples beyond float32's range become infinite"),
    (np.array([[0.1, np.inf, -np.inf, np.finfo(np.float32).max, 2**24 + 1]]), {}, "0.100000001, white 3.40282347e+38",
     ""),
])
def test_samples_float32_cannot_hold_are_said(tmp_path, data, cards, levels, warning):
    said = run("preview", "--stretch=minmax", fits_file(tmp_path / "in.fits", data, **cards), tmp_path / "out.png")
    assert said.stdout.splitlines()[1] == f"plane 1: black {levels}"
    assert said.stderr == (f"dirira: {tmp_path / 'in.fits'}: warning: {warning}\n" if warning else "")
    shown = pixels(tmp_path / "out.png")[::-1]  # FITS order, the bottom row first
    assert (shown[np.isposinf(data)] == 255).all() and (shown[np.isneginf(data)] == 0).all()


def test_cubes_and_hdus_are_chosen_by_number(tmp_path):
    cube = (np.arange(5)[:, None, None] * 40 + np.arange(12).reshape(3, 4)).astype(np.uint8)
    path = tmp_path / "cube.fits"
    fits.HDUList([fits.PrimaryHDU(), fits.BinTableHDU.from_columns([fits.Column("A", "E", array=[1.0])]),
                  fits.ImageHDU(cube), fits.ImageHDU(cube[:1])]).writeto(path)
    choose = f"dirira: {path}: a cube of 5 planes: choose one with --plane N"
    assert run("convert", path, tmp_path / "x.bmp", status=1).stderr == f"{choose}, or write a BMP file of each with " \
        "-o DIR --to bmp\n"
    assert run("preview", path, tmp_path / "x.png", status=1).stderr == choose + "\n"
    for options, plane in [(["--plane", "4"], 3), (["--hdu", "4"], 0), (["--hdu=3", "--plane=2"], 1)]:
        run("convert", *options, path, tmp_path / "x.bmp")
        assert np.array_equal(pixels(tmp_path / "x.bmp"), cube[plane][::-1])
        run("preview", "--stretch=minmax", *options, path, tmp_path / "x.png")
    for options, why in [(["--hdu", "2"], "HDU 2 holds no image"), (["--hdu=1"], "HDU 1 holds no image"),
                         (["--hdu", "9"], "no HDU 9: the file has 4"),
                         (["--plane", "6"], "no plane 6: the image has 5")]:
        assert why in run("convert", *options, path, tmp_path / "x.bmp", status=1).stderr


@pytest.mark.parametrize("planes, dtype", [(1, np.uint8), (2, np.float32), (3, np.uint8), (5, np.uint8)])
def test_a_cube_into_a_folder_becomes_a_bmp_file_for_each_plane(tmp_path, planes, dtype):
    """Neither one plane nor three: NAME-planeK.bmp for K from 1, each what --plane K makes (its own levels); one
    or three planes: NAME.bmp, gray or colour."""
    scales = np.arange(1, planes + 1)[:, None, None]  # planes of other ranges: pooled levels would differ
    cube = (rng.normal(40, 10, (planes, 6, 7)) * scales).clip(0, 255).astype(dtype)
    source = fits_file(tmp_path / "c.fits", cube)  # a name of one letter: its dot just past the folder's slash
    (tmp_path / "out").mkdir()
    each = planes not in (1, 3)
    names = [f"c-plane{k}.bmp" for k in range(1, planes + 1)] if each else ["c.bmp"]
    size = "1 plane" if each or planes == 1 else "3 planes"
    said = run("convert", "--to", "bmp", "-o", tmp_path / "out", source).stdout
    assert said == "".join(f"{source} -> {tmp_path / 'out' / name}: 7 x 6, {size}\n" for name in names)
    for k, name in enumerate(names, 1):
        run("convert", *(["--plane", str(k)] if each else []), source, tmp_path / "single.bmp")
        assert (tmp_path / "out" / name).read_bytes() == (tmp_path / "single.bmp").read_bytes(), name
    if dtype == np.uint8:  # bytes keep their values
        expected = [plane[::-1] for plane in cube] if each else [np.moveaxis(cube, 0, 2)[::-1].squeeze()]
        assert all(np.array_equal(pixels(tmp_path / "out" / n), e) for n, e in zip(names, expected, strict=True))


def test_compressed_inputs_read_as_the_image_they_hold(tmp_path):
    plain = fits_file(tmp_path / "plain.fits", SKY)
    fits.HDUList([fits.PrimaryHDU(), fits.CompImageHDU(SKY, compression_type="RICE_1")]).writeto(tmp_path / "r.fz")
    subprocess.run(["gzip", "-k", str(plain)], check=True)
    run("convert", plain, tmp_path / "plain.bmp")
    for name in ("r.fz", "plain.fits.gz"):
        run("convert", tmp_path / name, tmp_path / "c.bmp")
        assert (tmp_path / "c.bmp").read_bytes() == (tmp_path / "plain.bmp").read_bytes()
    info = run("fits-info", tmp_path / "r.fz").stdout
    assert "HDU 2: IMAGE, tile-compressed (RICE_1)" in info
    assert "BITPIX 16, NAXIS 2: 50 x 40\n  BSCALE 1, BZERO 32768" in info


def test_the_programs_own_cards_round_trip(tmp_path):
    Image.fromarray(COLOUR).save(tmp_path / "in.bmp")
    for name in ("a.fits", "a.fz", "a.fits.gz"):
        run("convert", tmp_path / "in.bmp", tmp_path / name)
        run("convert", tmp_path / name, tmp_path / "back.bmp")
        assert np.array_equal(pixels(tmp_path / "back.bmp"), COLOUR)


@pytest.mark.parametrize("compress, written", [("gzip", "a.fits.gz"), ("rice", "a.fits.fz"), ("none", "a.fits")])
def test_a_batch_names_its_outputs_by_their_compression(tmp_path, compress, written):
    Image.fromarray(GRAY).save(tmp_path / "a.bmp")
    (tmp_path / "out").mkdir()
    run("convert", "-q", "--to", "FITS", "--compress", compress, "-o", tmp_path / "out", tmp_path / "a.bmp")
    assert [p.name for p in (tmp_path / "out").iterdir()] == [written]
    assert np.array_equal(verified(tmp_path / "out" / written).data[::-1], GRAY)
    run("convert", "-q", "--to", "bmp", "-o", tmp_path / "out", tmp_path / "out" / written)
    assert np.array_equal(pixels(tmp_path / "out" / "a.bmp"), GRAY)
    wrong = "x.fits" if compress != "none" else "x.fz"
    said = run("convert", "--compress", compress, tmp_path / "a.bmp", tmp_path / wrong, status=2)
    assert f"--compress {compress} does not match the name" in said.stderr


@pytest.mark.parametrize("axes", [(3000000000, 2), (2, 3000000000)])
def test_an_axis_longer_than_an_image_holds_is_refused_before_reading(tmp_path, axes):
    cards = ["SIMPLE  =                    T", "BITPIX  =                    8", "NAXIS   =                    2"]
    cards += [f"NAXIS{n} = {length:>20}" for n, length in enumerate(axes, 1)] + ["END"]
    (tmp_path / "huge.fits").write_bytes("".join(c.ljust(80) for c in cards).ljust(2880).encode())
    said = run("convert", tmp_path / "huge.fits", tmp_path / "x.bmp", status=1)
    assert "not an image of two axes, or a cube of planes of a size an image can hold" in said.stderr
    shown = " x ".join(str(length if length < 2**31 else 0) for length in axes)  # fits-info: beyond 32 bits, 0
    assert run("fits-info", tmp_path / "huge.fits").stdout.splitlines()[1] == f"  BITPIX 8, NAXIS 2: {shown}"


@pytest.mark.parametrize("cards, shown", [({"BSCALE": 2.0}, "BSCALE 2, BZERO 0"), ({"BZERO": 0.5}, "BSCALE 1, BZERO 0.5"),
                                          ({}, None)])
def test_fits_info_shows_the_scaling_an_image_has(tmp_path, cards, shown):
    hdu = fits.PrimaryHDU(np.arange(4, dtype=np.int16).reshape(2, 2))
    hdu.header.update(cards)
    hdu.writeto(tmp_path / "scaled.fits")
    lines = run("fits-info", tmp_path / "scaled.fits").stdout.splitlines()
    assert lines[2:] == ([f"  {shown}"] if shown else [])


def test_a_stretch_of_a_wide_picture_takes_the_levels_its_preview_shows(tmp_path):
    data = rng.normal(100, 10, (3, 1025)).astype(np.float32)  # one column more than a preview shows unreduced
    source = fits_file(tmp_path / "wide.fits", data)
    run("convert", "--stretch=minmax", source, tmp_path / "wide.bmp")
    said = run("preview", "--stretch=minmax", source, tmp_path / "wide.png").stdout
    black, white = (float(word.rstrip(",")) for word in said.split("\n")[1].split()[3::2])
    spread = (data[::-1].astype(np.float64) - black) / (white - black) * 255
    expected = np.where(data[::-1] <= black, 0, np.where(data[::-1] >= white, 255, spread)).astype(np.uint8)
    assert np.array_equal(pixels(tmp_path / "wide.bmp"), expected)


def test_an_asinh_stretch_of_a_paged_picture_is_the_one_in_memory(tmp_path):
    """The asinh stretch bends the samples in the store: one that pages (--memory 1) must keep them bent."""
    data = rng.normal(100, 10, (1500, 1200)).astype(np.float32)  # 7 MB of floats: more than the store keeps in
    source = fits_file(tmp_path / "big.fits", data)
    run("convert", "--stretch=asinh", source, tmp_path / "memory.bmp")
    run("convert", "--memory=1", "--stretch=asinh", source, tmp_path / "paged.bmp")
    assert (tmp_path / "paged.bmp").read_bytes() == (tmp_path / "memory.bmp").read_bytes()
