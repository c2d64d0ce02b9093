"""The Pillow peer of the whole-process benchmark (scripts/bench-cold.sh).

    cold_pillow.py IN.bmp OUT.bmp     Image.open(IN).save(OUT)
    cold_pillow.py IN.bmp OUT.fits    Pillow reads, astropy writes float samples

Pillow writes no FITS, so BMP to FITS is what a Python user would write:
the picture as a float32 array, rows turned so that FITS row 1 is the
bottom row, colour as three planes, written by astropy.
"""
import sys

from PIL import Image


def main(source, target):
    if not target.endswith(".fits"):
        Image.open(source).save(target)
        return
    import numpy
    from astropy.io import fits

    samples = numpy.asarray(Image.open(source), dtype=numpy.float32)[::-1]
    if samples.ndim == 3:
        samples = numpy.moveaxis(samples, 2, 0)
    fits.PrimaryHDU(samples).writeto(target, overwrite=True)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
