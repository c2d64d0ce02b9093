"""The Pillow peer of the whole-process benchmark (scripts/bench-cold.sh).

    cold_pillow.py IN.bmp OUT.bmp                 Image.open(IN).save(OUT)
    cold_pillow.py IN.bmp OUT.fits                Pillow reads, astropy writes the bytes (BITPIX 8)
    cold_pillow.py --bitpix=-32 IN.bmp OUT.fits   ... float samples (BITPIX -32)

Pillow writes no FITS, so BMP to FITS is what a Python user would write:
the picture as an array (Pillow's bytes, or float32), rows turned so that
FITS row 1 is the bottom row, colour as three planes, written by astropy.
"""
import sys

from PIL import Image


def main(source, target, dtype="uint8"):
    if not target.endswith(".fits"):
        Image.open(source).save(target)
        return
    import numpy
    from astropy.io import fits

    samples = numpy.asarray(Image.open(source), dtype=dtype)[::-1]
    if samples.ndim == 3:
        samples = numpy.moveaxis(samples, 2, 0)
    fits.PrimaryHDU(samples).writeto(target, overwrite=True)


if __name__ == "__main__":
    if sys.argv[1] == "--bitpix=-32":
        main(sys.argv[2], sys.argv[3], "float32")
    else:
        main(sys.argv[1], sys.argv[2])
