"""The FITS images of the dirira program: the cards it writes, read back by astropy, and how it renders FITS images
into bytes, against the display rule computed with numpy; astropy writes the inputs, Pillow decodes every BMP and PNG
the program writes.

The rule: black at or below the lower level (and NaN), white at or above the upper one, else
(s - lower) / (upper - lower) x 255 truncated, in double precision; the levels from a plane's LEVMINn/LEVMAXn
cards when every plane has both, else (with --stretch minmax --per-plane-levels) the plane's defined samples'
range, 0 and 0 when there are none.

Run by ctest with DIRIRA_PROGRAM naming the program: /usr/bin/python3 -m pytest fits_images_test.py
"""
import os
import subprocess

import numpy as np
import pytest
from astropy.io import fits
from PIL import Image

PROGRAM = os.environ.get("DIRIRA_PROGRAM", "dirira")
rng = np.random.default_rng(31)


def run(*args):
    done = subprocess.run([PROGRAM, *map(str, args)], capture_output=True, text=True)
    return f"{done.returncode}{done.stdout}{done.stderr}"


def pixels(path):
    """A BMP or PNG file as Pillow decodes it: (H, W) or (H, W, 3), top row first. Pillow calls a palette of
    grays in order gray (L), so a wrong palette shows here, not as indices that look right."""
    image = Image.open(path)
    assert image.mode in ("L", "RGB"), image.mode
    return np.asarray(image)


def display_bytes(samples, low, high):
    """The display rule over float32 samples, at levels taken as doubles."""
    samples = np.asarray(samples, np.float32).astype(np.float64)
    with np.errstate(invalid="ignore", divide="ignore"):
        scaled = np.nan_to_num((samples - low) / (high - low) * 255)
    return np.where(~(samples > low), 0, np.where(samples >= high, 255, np.trunc(scaled))).astype(np.uint8)


def image(axes, cards=None, value=None):
    """A float image of NAXIS1, NAXIS2, ... = axes: of one value, or random with a NaN in about five samples."""
    shape = tuple(reversed(axes))
    if value is None:
        data = rng.integers(0, 4096, shape) / 16 - 20
        data[rng.integers(0, 5, shape) == 0] = np.nan
    else:
        data = np.full(shape, value)
    hdu = fits.ImageHDU(data.astype(np.float32))
    hdu.header.update(cards or {})
    return hdu


def planes_of(hdu):
    return hdu.data.reshape((-1,) + hdu.data.shape[-2:])


def card_levels(hdu):
    """Each plane's LEVMINn and LEVMAXn, None where a card is missing."""
    return [(hdu.header.get(f"LEVMIN{n}"), hdu.header.get(f"LEVMAX{n}")) for n in range(1, len(planes_of(hdu)) + 1)]


def rendered(hdu):
    """The BMP picture the rule makes of an image, top row first, planes as red, green and blue."""
    planes, levels = planes_of(hdu), card_levels(hdu)
    if any(None in pair for pair in levels):
        finite = [plane[np.isfinite(plane)] for plane in planes]
        levels = [(p.min(), p.max()) if p.size else (0.0, 0.0) for p in finite]
    shown = np.stack([display_bytes(p, float(lo), float(hi))[::-1] for p, (lo, hi) in zip(planes, levels)])
    return shown[0] if len(shown) == 1 else np.moveaxis(shown, 0, 2)


# A long name (in two cards) of printable characters only, ~ and space among them.
LONG_NAME = "a~star field-taken-on-the-night-of-the-sixth-with-the-o'brien-camera-and-a-long-name.bmp"


def cards_after_cfitsios(path):
    """The cards the program adds to the header CFITSIO writes: name, value as written, comment."""
    cards = [(c.keyword, str(c.value), c.comment) for c in fits.getheader(path).cards]
    return cards[[keyword for keyword, _, _ in cards].index("ORIGIN"):]


@pytest.mark.parametrize("extension", [".fits", ".FIT", ".fts"])
@pytest.mark.parametrize("channels", [1, 3])
def test_bmp_to_fits_adds_its_cards_and_converts_back_as_a_bmp_to_bmp_conversion_does(tmp_path, extension, channels):
    height, width = rng.integers(1, 7), rng.integers(1, 10)
    picture = rng.integers(0, 256, (height, width, channels), np.uint8).squeeze(2 if channels == 1 else ())
    source, out = tmp_path / LONG_NAME, tmp_path / f"out{extension}"
    Image.fromarray(picture).save(source, "BMP")
    # exec keeps the shell's process number, which names the program's temporary: a stale one is in its way.
    script = 'echo stale > "$2.dirira-$(hostname)-$$.tmp" && exec "$0" convert "$1" "$2"'
    assert subprocess.run(["sh", "-c", script, PROGRAM, source, out]).returncode == 0
    size = f"{width} x {height}, {channels} plane{'s' if channels == 3 else ''}"
    assert run("convert", out, tmp_path / "back.bmp") + run("convert", source, tmp_path / "copy") == \
        f"0{out} -> {tmp_path / 'back.bmp'}: {size}\n0{source} -> {tmp_path / 'copy'}: {size}\n"
    assert (tmp_path / "back.bmp").read_bytes() == (tmp_path / "copy").read_bytes()
    assert np.array_equal(pixels(tmp_path / "copy"), picture)
    colours = [(f"PLANE{n}", colour, "colour of this plane") for n, colour in enumerate(["red", "green", "blue"], 1)]
    assert cards_after_cfitsios(out) == [
        ("ORIGIN", "dirira", "written by the dirira program"),
        ("SRCFILE", LONG_NAME, "BMP file converted"),
        ("SRCBITS", str(8 * channels), "bits per pixel of the BMP file"),
        *(colours if channels == 3 else []),
        *[(f"LEV{end}{n}", level, f"display level: {shade}") for n in range(1, channels + 1)
          for end, level, shade in (("MIN", "0.0", "black"), ("MAX", "255.0", "white"))]]


def test_a_name_a_fits_header_cannot_hold_is_left_out(tmp_path):
    Image.fromarray(np.full((1, 1), 7, np.uint8)).save(tmp_path / "n\u00e9bula.bmp")
    assert run("convert", tmp_path / "n\u00e9bula.bmp", tmp_path / "n.fits")[0] == "0"
    assert "SRCFILE" not in fits.getheader(tmp_path / "n.fits")


ASCII = fits.TableHDU.from_columns([fits.Column("FLUX", "E10.4", "Jy", array=[1.0, 2.0])], name="STARS")
BINARY = fits.BinTableHDU.from_columns([fits.Column("FLUX", "E", "Jy", array=[1.0, 2.0])], name="STARS")
SHAPE = "1{in}: not an image of two axes, or a cube of planes of a size an image can hold\n"
SPLIT = ": samples above 100.5 render white, the rest black\n"


NO_FINITE = "0{in}: warning: plane 1 has no finite sample: +inf renders white, NaN and -inf black\n"


@pytest.mark.parametrize("hdus, said", [
    ([image((5, 3, 3), dict(LEVMIN1=10, LEVMAX1=99, LEVMIN2=-5.5, LEVMAX2=250, LEVMIN3=60, LEVMAX3=70))], "0"),
    ([image((4, 4, 3), dict(LEVMIN1=3, LEVMAX1=99, LEVMIN3=50))], "0"),
    ([BINARY, image((7, 5), dict(LEVMIN1=12.5, LEVMAX1=200.25))], "0"),
    ([ASCII, image((0, 3)), image((5, 2)), image((3, 3))], "0"),
    ([image((3, 3), dict(LEVMIN1=100.5, LEVMAX1=90))], "0{in}: warning: LEVMIN1 100.5 is not below LEVMAX1 90" + SPLIT),
    ([image((2, 3, 3), dict(LEVMIN2=100.5, LEVMAX2=100.5))],
     "0{in}: warning: LEVMIN2 100.5 is not below LEVMAX2 100.5" + SPLIT),
    ([image((1, 1), value=-7)], "0{in}: warning: plane 1: black and white are both -7: samples above -7 render "
                                "white, the rest black\n"),
    ([image((2, 1), value=np.nan)], NO_FINITE),
    ([image((2, 1), value=np.inf)], NO_FINITE),  # white, though its levels span nothing
    ([image((4,))], SHAPE),
    ([image((2, 2, 2))], "1{in}: a cube of 2 planes: choose one with --plane N, or write a BMP file of each with "
                         "-o DIR --to bmp\n"),
    ([image((2, 2, 1, 2))], SHAPE),
    ([image((2, 2, 1, 1))], "0"),
    ([BINARY], "1{in}: no image in the file\n"),
    (None, "1{in}: No such file or directory\n"),
], ids=["cards", "cards-missing", "after-a-table", "first-with-data", "levels-backwards", "levels-equal",
        "one-value", "all-nan", "all-inf", "one-axis", "cube", "four-axes", "four-axes-of-one", "table-only",
        "no-file"])
def test_the_first_image_with_data_renders_by_the_display_rule(tmp_path, hdus, said):
    path, out = tmp_path / "in.fits", tmp_path / "out.bmp"
    if hdus is not None:
        fits.HDUList([fits.PrimaryHDU(), *hdus]).writeto(path)
    first = next((h for h in hdus or [] if isinstance(h, fits.ImageHDU) and h.data is not None and h.data.size), None)
    with_cards = first is not None and all(None not in pair for pair in card_levels(first))
    options = [] if with_cards else ["--stretch=minmax", "--per-plane-levels"]
    done = run("convert", *options, path, out)
    assert out.exists() == (said[0] == "0")
    if said[0] == "0":
        assert np.array_equal(pixels(out), rendered(first))
        height, width, *planes = pixels(out).shape
        said = f"0{path} -> {out}: {width} x {height}, {'3 planes' if planes else '1 plane'}\n{said[1:]}"
    assert done == said.replace("{in}", f"dirira: {path}")


def test_fits_info_lists_every_hdu(tmp_path):
    primary = fits.PrimaryHDU(header=fits.Header({"EXTNAME": "RAW"}))  # a name, and no XTENSION
    fits.HDUList([primary, ASCII, BINARY, image((3, 2, 3))]).writeto(tmp_path / "in.fits")
    assert run("fits-info", tmp_path / "in.fits") == (
        "0HDU 1: primary, EXTNAME 'RAW'\n  BITPIX 8, NAXIS 0\n"
        "HDU 2: TABLE, EXTNAME 'STARS'\n  BITPIX 8, NAXIS 2: 10 x 2\n"
        "  TFIELDS 1\n  column 1: TTYPE 'FLUX', TFORM 'E10.4', TUNIT 'Jy', TBCOL 1\n"
        "HDU 3: BINTABLE, EXTNAME 'STARS'\n  BITPIX 8, NAXIS 2: 4 x 2\n"
        "  TFIELDS 1\n  column 1: TTYPE 'FLUX', TFORM 'E', TUNIT 'Jy'\n"
        "HDU 4: IMAGE\n  BITPIX -32, NAXIS 3: 3 x 2 x 3\n")


# 5 x 3, the bottom row first; --size 2x2 makes blocks of 3 x 3, so 2 x 1 means: (1+2+3+7+8+12+13+14) / 8 and
# (4+250.5+10+11+15+16) / 6, kept as float32 as the reduced picture's samples are.
SAMPLES = np.array([[12, 13, 14, 15, 16], [7, 8, np.nan, 10, 11], [1, 2, 3, 4, 250.5]], np.float32)
MEANS = np.float32(60) / np.float32(8), np.float32(306.5) / np.float32(6)
LOW, SPAN = float(MEANS[0]), float(MEANS[1]) - float(MEANS[0])


@pytest.mark.parametrize("stretch, black, white, warning", [
    ("minmax", 0, 1, ""),
    ("percentile:25,75", 0.25, 0.75, ""),
    ("percentile:0,100", 0, 1, ""),
    ("percentile:80,20", 0.8, 0.2, "black 42.3667 is above white 16.2167: samples above 42.3667 render white, "
                                   "the rest black"),
    ("percentile:40,40", 0.4, 0.4, "black and white are both 24.9333: samples above 24.9333 render white, "
                                   "the rest black"),
])
def test_previews_are_the_display_bytes_of_the_block_means(tmp_path, stretch, black, white, warning):
    path, png = tmp_path / "in.fits", tmp_path / "out.png"
    fits.PrimaryHDU(SAMPLES).writeto(path)
    black, white = LOW + black * SPAN, LOW + white * SPAN
    said = run("preview", "--size", "2x2", "--stretch", stretch, path, png)
    name = stretch[:10] if stretch[0] == "p" else stretch
    warned = f"dirira: {path}: warning: plane 1: {warning}\n" if warning else ""
    assert said == f"0{path} -> {png}: 2 x 1, 1 plane, from 5 x 3, stretch {name}\n" \
        f"plane 1: black {black:.9g}, white {white:.9g}\n{warned}"
    assert np.array_equal(pixels(png), display_bytes([MEANS], black, white))


def test_asinh_bounds_its_curve_by_percentiles_and_shows_it_at_levels_0_and_1(tmp_path):
    path, png = tmp_path / "in.fits", tmp_path / "out.png"
    fits.PrimaryHDU(SAMPLES).writeto(path)
    said = run("preview", "--size", "2x2", "--stretch=asinh", path, png)
    assert said == f"0{path} -> {png}: 2 x 1, 1 plane, from 5 x 3, stretch asinh\nplane 1: black 0, white 1\n"
    assert np.array_equal(pixels(png), [[0, 255]])


def test_asinh_is_astropys_curve_between_numpys_percentiles(tmp_path):
    """Samples on both sides of the 0.5 and 99.5 percentiles, bent by astropy's AsinhStretch(a=0.1) as float32."""
    from astropy.visualization import AsinhStretch
    data = np.random.default_rng(11).normal(100, 30, (40, 50)).astype(np.float32)
    data[0, :5] = [-400, 0, np.nan, 1e4, 250.5]
    fits.PrimaryHDU(data).writeto(tmp_path / "in.fits")
    run("convert", "--stretch=asinh", tmp_path / "in.fits", tmp_path / "out.bmp")
    black, white = np.percentile(data[np.isfinite(data)].astype(np.float64), [0.5, 99.5])
    bent = AsinhStretch(a=0.1)((data.astype(np.float64) - black) / (white - black), clip=False).astype(np.float32)
    assert np.array_equal(pixels(tmp_path / "out.bmp"), display_bytes(bent, 0.0, 1.0)[::-1])  # FITS: bottom row first


@pytest.mark.parametrize("value", [5.0, np.inf, np.nan])
def test_asinh_shows_a_plane_whose_bounds_meet_as_minmax_does(tmp_path, value):
    path = tmp_path / "in.fits"
    fits.PrimaryHDU(np.full((2, 3), value, np.float32)).writeto(path)
    for command, ext in (("convert", "bmp"), ("preview", "png")):
        said = [subprocess.run([PROGRAM, command, f"--stretch={s}", path, tmp_path / f"{s}.{ext}"],
                               capture_output=True, text=True).stderr for s in ("asinh", "minmax")]
        assert said[0] == said[1] != ""
        assert np.array_equal(pixels(tmp_path / f"asinh.{ext}"), pixels(tmp_path / f"minmax.{ext}"))


# 2 x 2, top row first; each plane's largest value at a pixel of its own.
TWO = np.array([[[9, 7, 1], [200, 7, 1]], [[9, 60, 1], [9, 7, 80]]], np.uint8)


@pytest.mark.parametrize("options, expected", [
    (["--per-plane-levels", "--stretch=minmax"], (TWO == TWO.max(axis=(0, 1))) * 255),  # each at its own pixel
    (["--stretch=minmax"], display_bytes(TWO, 1.0, 200.0)),  # one set of levels: the colours keep their balance
])
def test_colour_previews_keep_rows_channels_and_balance(tmp_path, options, expected):
    Image.fromarray(TWO).save(tmp_path / "two.bmp")
    assert run("preview", *options, tmp_path / "two.bmp", tmp_path / "p.png")[0] == "0"
    assert np.array_equal(pixels(tmp_path / "p.png"), expected)


@pytest.mark.parametrize("option, channels", [("--colour", 3), ("--plane=1", 1), ("--size=1x9", 3)])
def test_a_one_pixel_colour_preview_has_its_channels_and_a_warning_a_plane(tmp_path, option, channels):
    Image.fromarray(TWO[:1, :1]).save(tmp_path / "one.bmp")
    done = subprocess.run([PROGRAM, "preview", "--per-plane-levels", option, tmp_path / "one.bmp", tmp_path / "p.png"],
                          capture_output=True, text=True)
    assert (done.returncode, done.stdout.count("\n"), done.stderr.count("\n")) == (0, 1 + channels, channels)
    assert pixels(tmp_path / "p.png").shape == (1, 1, 3)[:2 + (channels == 3)]


def test_preview_refusals_and_a_picture_of_no_finite_sample(tmp_path):
    fits.PrimaryHDU(SAMPLES).writeto(tmp_path / "in.fits")
    fits.PrimaryHDU(np.full((1, 2), np.nan, np.float32)).writeto(tmp_path / "nan.fits")
    Image.fromarray(TWO[:1, :1]).save(tmp_path / "one.bmp")
    png = tmp_path / "p.png"
    assert run("preview", "--plane", "4", tmp_path / "one.bmp", png) + run("preview", "--colour", tmp_path / "in.fits",
                                                                             png) == (
        f"1dirira: {tmp_path / 'one.bmp'}: no plane 4; the image has 3\n"
        f"1dirira: {tmp_path / 'in.fits'}: --colour needs three planes, the image has 1\n")
    nan = tmp_path / "nan.fits"
    assert run("preview", "--stretch=minmax", nan, png) == (
        f"0{nan} -> {png}: 2 x 1, 1 plane, from 2 x 1, stretch minmax\nplane 1: black 0, white 0\n"
        f"dirira: {nan}: warning: plane 1 has no finite sample: +inf renders white, NaN and -inf black\n")
    for bad in ("--stretch=log", "--stretch=percentile:1", "--stretch=percentile:1,101", "--stretch=percentile:101,1",
                "--size=0x4", "--size=4", "--plane=0"):
        assert run("preview", bad, tmp_path / "in.fits", png).startswith("2dirira: "), bad


@pytest.mark.parametrize("width, height, shown", [(1025, 1, "513 x 1"), (1, 1025, "1 x 513"), (1, 1024, "1 x 1024")])
def test_previews_fit_1024_by_1024_by_whole_factors(tmp_path, width, height, shown):
    fits.PrimaryHDU(rng.random((height, width), np.float32)).writeto(tmp_path / "big.fits")
    said = run("preview", tmp_path / "big.fits", tmp_path / "p.png")
    assert said.splitlines()[0] == \
        f"0{tmp_path / 'big.fits'} -> {tmp_path / 'p.png'}: {shown}, 1 plane, from {width} x {height}, stretch zscale"


# A conversion's stretch takes its levels from the block means of a picture reduced to 1024 x 1024 at most, as the
# preview does: 0 and 100 in one block of two make a black level of 50, and a sample of 75 then renders 127
# (unreduced: levels 0 and 100, and 191). Blocks start at the picture's top row, the FITS file's last.
@pytest.mark.parametrize("width, height, shown", [(1025, 1, 127), (1, 1025, 127), (1, 1024, 191), (1024, 1, 191)])
def test_a_conversions_stretch_reduces_the_picture_as_the_preview_does(tmp_path, width, height, shown):
    line = np.full(width * height, 100, np.float32)
    line[:4] = (100, 0, 100, 75)  # a block of two at 0 and 1 across, at 1 and 2 up
    fits.PrimaryHDU(line.reshape(height, width)).writeto(tmp_path / "in.fits")
    assert run("convert", "--stretch=minmax", tmp_path / "in.fits", tmp_path / "out.bmp").startswith("0")
    rendered = pixels(tmp_path / "out.bmp")[::-1].reshape(-1) if width == 1 else pixels(tmp_path / "out.bmp")[0]
    assert rendered[3] == shown
