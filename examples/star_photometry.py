"""A worked example of the Python module (docs/python.md): read a star
field, find its brightest star, measure it through the calibrated access,
save the frame as FITS and open it again in astropy.

usage: star_photometry.py FILE.bmp OUT.fits
"""
import sys

import numpy as np
from astropy.io import fits

import dirira


def main(path, out):
    image = dirira.read(path)
    print(f"{path}: {image!r}, {image.source}")
    print("FITS terms:", {k: image.header[k] for k in ("BITPIX", "BSCALE", "BZERO", "SRCBITS")})

    # The brightest pixel of the luminance, then a 9 x 9 box around it.
    luminance = image.data if image.data.ndim == 2 else image.data.mean(axis=0)
    y, x = np.unravel_index(np.argmax(luminance), luminance.shape)
    height, width = luminance.shape
    ys, xs = np.mgrid[max(y - 4, 0):min(y + 5, height), max(x - 4, 0):min(x + 5, width)]
    box = image.bright(xs, ys) if image.data.ndim == 3 else image.gray(xs, ys)
    sky = float(np.median(luminance))
    flux = float(np.sum(box - sky))
    # The centroid, and the calibrated value there, interpolated between samples.
    weights = np.clip(box - sky, 0, None)
    cx, cy = float(np.sum(xs * weights) / np.sum(weights)), float(np.sum(ys * weights) / np.sum(weights))
    centre = float(image.bright(cx, cy) if image.data.ndim == 3 else image.gray(cx, cy))
    print(f"brightest star near ({x}, {y}): centroid ({cx:.2f}, {cy:.2f}), value there {centre:.2f}, "
          f"sky {sky:.1f}, flux over the sky {flux:.0f}")

    image.to_hdu().writeto(out, overwrite=True)
    with fits.open(out) as hdul:
        hdu = hdul[0]
        print(f"{out}: NAXIS {hdu.header['NAXIS']}, SRCFILE {hdu.header['SRCFILE']!r}, "
              f"LEVMIN1..LEVMAX1 {hdu.header['LEVMIN1']}..{hdu.header['LEVMAX1']}")
        back = dirira.from_hdu(hdu)
    print("back from astropy: the same samples" if np.array_equal(back.data, image.data) else "DIFFERENT samples")
    return 0 if np.array_equal(back.data, image.data) else 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
