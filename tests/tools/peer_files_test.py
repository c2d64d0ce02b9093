"""BMP files as ImageMagick, Pillow and netpbm write them, in every format
they offer, converted to FITS by the dirira program: the data must be the
picture that was written. Pictures use channel values 0 and 255 (or gray
levels in 8-bit gray formats), which every format holds exactly, so the
source picture is the expected result.

usage: peer_files_test.py DIRIRA WORKDIR   (exit 77: a writer is missing)
"""
import os
import shutil
import subprocess
import sys

import numpy as np
from astropy.io import fits
from PIL import Image

DIRIRA, WORK = sys.argv[1], sys.argv[2]
IMAGEMAGICK, PPMTOBMP = "/usr/bin/convert", "/usr/bin/ppmtobmp"  # /usr/local/bin may hold stand-ins

rng = np.random.default_rng(1407)
EIGHT = (rng.integers(0, 2, (23, 17, 3)) * 255).astype(np.uint8)  # 8 colours
TWO = np.repeat(rng.integers(0, 2, (23, 17, 1)) * 255, 3, axis=2).astype(np.uint8)
GRAY = np.repeat(rng.integers(0, 256, (23, 17, 1)), 3, axis=2).astype(np.uint8)


# Each writer starts its process and returns it (None: written already), so that all of them run at once.
def imagemagick(*options):
    return lambda src, out: subprocess.Popen([IMAGEMAGICK, src, *options[:-1], options[-1] + ":" + out])


def pillow(mode):
    return lambda src, out: Image.open(src).convert(mode).save(out, "BMP")


def netpbm(*options):
    def write(src, out):
        with open(src, "rb") as pnm, open(out, "wb") as bmp:
            return subprocess.Popen([PPMTOBMP, *options], stdin=pnm, stdout=bmp, stderr=subprocess.DEVNULL)
    return write


def fits_data(path):
    """The data of a FITS file, read by astropy; the samples are bytes, so their BITPIX is 8 by default."""
    with fits.open(path) as hdus:
        assert hdus[0].header["BITPIX"] == 8
        return hdus[0].data.copy()


CASES = [
    ("im-v5-truecolor", EIGHT, imagemagick("-type", "TrueColor", "BMP")),
    ("im-v5-truecolor-alpha", EIGHT, imagemagick("-type", "TrueColorAlpha", "BMP")),
    ("im-v5-palette", EIGHT, imagemagick("-type", "Palette", "BMP")),
    ("im-v5-palette-rle", EIGHT, imagemagick("-type", "Palette", "-compress", "RLE", "BMP")),
    ("im-v5-gray", GRAY, imagemagick("-type", "Grayscale", "BMP")),
    ("im-v5-bilevel", TWO, imagemagick("-type", "Bilevel", "BMP")),
    ("im-v5-rgb565", EIGHT, imagemagick("-define", "bmp:subtype=RGB565", "BMP")),
    ("im-v5-rgb555", EIGHT, imagemagick("-define", "bmp:subtype=RGB555", "BMP")),
    ("im-v5-argb4444", EIGHT, imagemagick("-type", "TrueColorAlpha", "-define", "bmp:subtype=ARGB4444", "BMP")),
    ("im-v5-argb1555", EIGHT, imagemagick("-type", "TrueColorAlpha", "-define", "bmp:subtype=ARGB1555", "BMP")),
    ("im-v4-truecolor", EIGHT, imagemagick("-define", "bmp:format=bmp4", "-type", "TrueColor", "BMP")),
    ("im-bmp3-palette", EIGHT, imagemagick("-type", "Palette", "BMP3")),
    ("im-bmp2-truecolor", EIGHT, imagemagick("-type", "TrueColor", "BMP2")),
    ("im-bmp2-palette", EIGHT, imagemagick("-type", "Palette", "BMP2")),
    ("pil-rgb", EIGHT, pillow("RGB")),
    ("pil-palette", EIGHT, pillow("P")),
    ("pil-gray", GRAY, pillow("L")),
    ("pil-bilevel", TWO, pillow("1")),
    ("pnm-24", EIGHT, netpbm("-bpp=24")),
    ("pnm-8", EIGHT, netpbm("-bpp=8")),
    ("pnm-4", EIGHT, netpbm("-bpp=4")),
    ("pnm-1", TWO, netpbm("-bpp=1")),
    ("pnm-os2-24", EIGHT, netpbm("-os2", "-bpp=24")),
    ("pnm-os2-8", EIGHT, netpbm("-os2", "-bpp=8")),
    ("pnm-os2-1", TWO, netpbm("-os2", "-bpp=1")),
]


def main():
    if not (os.access(IMAGEMAGICK, os.X_OK) and os.access(PPMTOBMP, os.X_OK)):
        print("skipped: ImageMagick (imagemagick) or netpbm is not installed")
        return 77
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    failures, headers = [], {}
    writers = []
    for name, picture, write in CASES:
        source = os.path.join(WORK, name + ".ppm")
        Image.fromarray(picture).save(source)
        writers.append(write(source, os.path.join(WORK, name + ".bmp")))
    for writer in writers:
        if writer is not None and writer.wait() != 0:
            failures.append(f"{' '.join(writer.args)}: exit status {writer.returncode}")
    bmps = [os.path.join(WORK, name + ".bmp") for name, _, _ in CASES]
    run = subprocess.run([DIRIRA, "convert", "-q", "-j", "2", "--to", "fits", "-o", WORK, *bmps],
                         capture_output=True, text=True)
    if run.returncode != 0:
        failures.append(run.stderr.strip())
    for name, picture, _ in CASES:
        header = int.from_bytes(open(os.path.join(WORK, name + ".bmp"), "rb").read()[14:18], "little")
        out = os.path.join(WORK, name + ".fits")
        if not os.path.exists(out):
            continue
        data = fits_data(out)
        planes = data[::-1] if data.ndim == 2 else data[:, ::-1]  # FITS keeps the bottom row first
        expected = picture[:, :, 0] if data.ndim == 2 else np.moveaxis(picture, 2, 0)
        if not np.array_equal(planes, expected):
            failures.append(f"{name} ({header}-byte header): pixels differ")
        else:
            print(f"ok {name} ({header}-byte header)")
    for failure in failures:
        print("FAILED", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
