"""Each kind of FITS file the dirira program writes, checked by fitsverify
(HEASARC's verifier of the FITS standard): gray and colour pictures, data
that ends inside a 2880-byte record and data that fills its last record
exactly, a picture whose planes page under a memory budget, and a batch
written by two jobs at once.

usage: fits_verify_test.py DIRIRA WORKDIR   (exit 77: fitsverify is missing)
"""
import os
import shutil
import subprocess
import sys

import numpy as np
from PIL import Image

DIRIRA, WORK = sys.argv[1], sys.argv[2]
FITSVERIFY = shutil.which("fitsverify")
if FITSVERIFY is None:
    print("fitsverify is not installed (Debian package fitsverify)")
    sys.exit(77)

rng = np.random.default_rng(2880)
shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)


def bmp(name, width, height, mode):
    """A BMP file of random samples: 8-bit gray ("L") or 24-bit colour ("RGB")."""
    shape = (height, width) if mode == "L" else (height, width, 3)
    path = os.path.join(WORK, name + ".bmp")
    Image.fromarray(rng.integers(0, 256, shape, dtype=np.uint8), mode).save(path, "BMP")
    return path


def convert(*arguments, outputs):
    subprocess.run([DIRIRA, "convert", "--quiet", *arguments], check=True)
    return outputs


def fits(name, folder=WORK):
    return os.path.join(folder, name + ".fits")


BATCH = os.path.join(WORK, "batch")
os.makedirs(BATCH)
# Name, then how the files are made; 720 samples are 2880 bytes, so 720 x 4 fills four records exactly.
CASES = [
    ("gray", lambda: convert(bmp("gray", 17, 23, "L"), fits("gray"), outputs=[fits("gray")])),
    ("colour", lambda: convert(bmp("colour", 17, 23, "RGB"), fits("colour"), outputs=[fits("colour")])),
    ("whole records", lambda: convert(bmp("whole", 720, 4, "L"), fits("whole"), outputs=[fits("whole")])),
    ("paged", lambda: convert("--memory", "1M", bmp("paged", 700, 800, "RGB"), fits("paged"), outputs=[fits("paged")])),
    ("batch of two jobs", lambda: convert("-j", "2", "--to", "fits", "-o", BATCH, bmp("b1", 31, 9, "RGB"),
                                          bmp("b2", 9, 31, "L"), outputs=[fits("b1", BATCH), fits("b2", BATCH)])),
]

failures = 0
for name, make in CASES:
    for path in make():
        run = subprocess.run([FITSVERIFY, "-q", "-e", path], capture_output=True, text=True)
        if run.returncode != 0 or not run.stdout.startswith("verification OK"):
            failures += 1
            print(f"{name}: {run.stdout.strip()} {run.stderr.strip()}")
print(f"{failures} outputs failed verification" if failures else "every output verified")
sys.exit(1 if failures else 0)
