"""from_hdu takes the FITS shapes the dirira program takes, and byte data keeps its values as there; write's
stretches give the bytes the program's give."""
import os
import re
import subprocess
import warnings

import numpy as np
import pytest
from astropy.io import fits

import dirira

rng = np.random.default_rng(3403)
CUBE = rng.integers(0, 256, (5, 4, 6), dtype=np.uint8)  # FITS order: planes, bottom row first


@pytest.mark.parametrize("data, plane, expected", [
    (CUBE[:1], None, CUBE[0, ::-1]),  # a cube of one plane is gray
    (CUBE[None, :3], None, CUBE[:3, ::-1]),  # a leading axis of length 1 is no axis
    (CUBE, 4, CUBE[3, ::-1]),  # any plane of any cube, counted from 1
    (CUBE[:3], 1, CUBE[0, ::-1]),
])
def test_cubes_give_the_planes_the_program_gives(data, plane, expected):
    image = dirira.from_hdu(fits.PrimaryHDU(data), plane=plane)
    assert np.array_equal(image.data, expected.astype(np.float32))
    assert image.levels == [(0, 255)] * (1 if expected.ndim == 2 else 3)  # bytes keep their values


@pytest.mark.parametrize("data, plane, words", [
    (CUBE, None, "a cube of 5 planes: choose one with plane=N"),
    (CUBE, 6, "plane is a plane number from 1 to 5, not 6"),
    (CUBE[:3], True, "not True"),
    (np.zeros(6, np.uint8), None, "is not an image of two axes"),
    (np.zeros((2, 3, 4, 5), np.uint8), None, "is not an image of two axes or a cube of planes"),
])
def test_shapes_the_program_refuses_are_refused(data, plane, words):
    with pytest.raises(ValueError, match=words):
        dirira.from_hdu(fits.PrimaryHDU(data), plane=plane)


def test_level_cards_of_the_chosen_plane_are_its_levels():
    hdu = fits.PrimaryHDU(CUBE.astype(np.float32))
    hdu.header.update(LEVMIN4=10.0, LEVMAX4=20.0)
    assert dirira.from_hdu(hdu, plane=4).levels == [(10.0, 20.0)]
    assert dirira.from_hdu(hdu, plane=3).levels == [(float(CUBE[2].min()), float(CUBE[2].max()))]


PROGRAM = os.environ.get("DIRIRA_PROGRAM", "dirira")
# Three planes of a sky in the ratio 1 : 2 : 3, so that one set of levels and one per plane differ.
SKY = (rng.normal(1000, 20, (3, 40, 50)) * np.arange(1, 4)[:, None, None]).astype(np.float32)


@pytest.mark.parametrize("options, keywords", [
    (["--stretch=minmax"], {"stretch": "minmax"}),
    (["--stretch=percentile:1,99"], {"stretch": "percentile:1,99"}),
    (["--stretch=zscale"], {"stretch": "zscale"}),
    (["--stretch=asinh"], {"stretch": "asinh"}),
    (["--stretch=zscale", "--per-plane-levels"], {"stretch": "zscale", "per_plane_levels": True}),
    (["--levels=900,1200"], {"levels": (900, 1200)}),
], ids=["minmax", "percentile", "zscale", "asinh", "per-plane", "levels"])
def test_write_stretches_as_the_program_converts(tmp_path, options, keywords):
    fits.PrimaryHDU(SKY).writeto(tmp_path / "sky.fits")
    subprocess.run([PROGRAM, "convert", *options, tmp_path / "sky.fits", tmp_path / "program.bmp"], check=True,
                   capture_output=True)
    image = dirira.from_hdu(fits.open(tmp_path / "sky.fits"))
    levels, data = image.levels, image.data.copy()
    dirira.write(tmp_path / "module.bmp", image, **keywords)
    assert (tmp_path / "module.bmp").read_bytes() == (tmp_path / "program.bmp").read_bytes()
    assert (image.levels, np.array_equal(image.data, data)) == (levels, True)  # the caller's image as it was


@pytest.mark.parametrize("keywords, words", [
    ({"stretch": "log"}, "stretch is minmax, percentile:LO,HI, zscale or asinh, not 'log'"),
    ({"stretch": "zscale", "levels": (1, 2)}, "levels or stretch, not both"),
])
def test_write_refuses_a_stretch_it_does_not_know(tmp_path, keywords, words):
    with pytest.raises(ValueError, match=words):
        dirira.write(tmp_path / "x.bmp", SKY[0], **keywords)
    assert not (tmp_path / "x.bmp").exists()


@pytest.mark.parametrize("data, cards, stretch", [
    (np.full((2, 3), 5, np.float32), {}, "minmax"),  # black and white meet
    (np.full((2, 3), np.nan, np.float32), {}, "zscale"),  # no finite sample
    (np.full((2, 3), np.inf, np.float32), {}, "minmax"),
    (SKY[0], {}, "percentile:80,20"),  # backwards
    (SKY[0], {}, "zscale"),  # no warning
    (np.array([[2**24 + 1, 0], [1, 2**31 - 1]], np.int32), {"BZERO": 1000}, None),  # rounded, as unscaled
    (np.array([[3, 2**25 + 1]], np.int32), {"BSCALE": 0.5}, None),  # 2**24 + 0.5: rounded in silence, no integer
    (np.array([[2**24 + 1, 1e300]]), {}, "minmax"),  # floats past float32's range; other floats are rounded in silence
    (SKY[0], {"LEVMIN1": 150.0, "LEVMAX1": 90.0}, None),  # cards that run backwards are kept
    (SKY[0], {"LEVMIN1": "abc", "LEVMAX1": 90.0}, None),  # a card that is no number is ignored
    (CUBE[:3].astype(np.float32), {"LEVMIN2": 1.0, "LEVMAX2": 1.0, "LEVMAX3": 5j, "LEVMIN3": 2.0}, None),
])
def test_warnings_are_the_programs(tmp_path, data, cards, stretch):
    source = tmp_path / "in.fits"
    hdu = fits.PrimaryHDU(data)
    hdu.header.update(cards)  # after the data: BSCALE and BZERO scale what is written
    hdu.writeto(source)
    options = ["--stretch", stretch] if stretch else []
    said = subprocess.run([PROGRAM, "convert", *options, source, tmp_path / "p.bmp"], capture_output=True, text=True,
                          check=True).stderr
    with fits.open(source) as hdus, warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        dirira.write(tmp_path / "m.bmp", dirira.from_hdu(hdus), stretch=stretch)
    # Why a card is no number: CFITSIO's words in the program, the card's value in the module.
    module = "".join(f"dirira: {source}: warning: {w.message}\n" for w in caught)
    assert re.sub(r" \(.*\): it is ignored", "", module) == re.sub(r" \(.*\): it is ignored", "", said)
