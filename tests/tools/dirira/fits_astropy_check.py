"""astropy, as a reader independent of CFITSIO, reads what `dirira convert`
writes from the sample BMP files: float32 samples in the expected shape,
the display-level cards, and the picture upright (the last FITS row is the
picture's top row). Exits 77 (skipped) when astropy is not installed.

usage: fits_astropy_check.py DIRIRA_PROGRAM SAMPLES_DIR SCRATCH_DIR
"""
import os
import struct
import subprocess
import sys

try:
    from astropy.io import fits
except ImportError:
    print("astropy is not installed")
    sys.exit(77)


def top_left_pixel(bmp_path):
    """The top-left pixel of an uncompressed 8-bit (gray table) or 24-bit BMP
    with bottom-up rows, read straight from the file: one value per plane."""
    data = open(bmp_path, "rb").read()
    pixels_at, = struct.unpack_from("<I", data, 10)
    header_size, width, height, _, bits = struct.unpack_from("<IiiHH", data, 14)
    row_bytes = (bits * width + 31) // 32 * 4
    top_row = pixels_at + (height - 1) * row_bytes
    if bits == 8:
        return [data[14 + header_size + 4 * data[top_row]]]
    blue, green, red = data[top_row:top_row + 3]
    return [red, green, blue]


def check(program, bmp_path, fits_path):
    subprocess.run([program, "convert", bmp_path, fits_path], check=True)
    with fits.open(fits_path) as hdus:
        header, data = hdus[0].header, hdus[0].data
        expected = top_left_pixel(bmp_path)
        planes = len(expected)
        assert header["BITPIX"] == -32 and data.dtype.kind == "f" and data.dtype.itemsize == 4, data.dtype
        assert data.ndim == (3 if planes == 3 else 2), data.shape
        assert header["ORIGIN"] == "dirira", header["ORIGIN"]
        stack = data if planes == 3 else data[None, :, :]
        for plane in range(planes):
            assert header["LEVMIN%d" % (plane + 1)] == 0 and header["LEVMAX%d" % (plane + 1)] == 255
            assert stack[plane, -1, 0] == expected[plane], (plane, stack[plane, -1, 0], expected[plane])


def main():
    program, samples, scratch = sys.argv[1:4]
    os.makedirs(scratch, exist_ok=True)
    for name in ("starfield-gray", "starfield-colour"):
        check(program, os.path.join(samples, name + ".bmp"), os.path.join(scratch, name + ".fits"))
        print(name, "read by astropy as written")


if __name__ == "__main__":
    main()
