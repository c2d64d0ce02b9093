"""The dirira program at a user's edges: one row per situation, each with the files it starts from, the command
line, the exit status, words that standard error must hold, and what the files must be afterwards.

Rows are named by the situation they stand for: 1 an output that is the input, 2 a write that the file system
refuses part way, 3 an output named for another format, 4 a read-only or linked output, 5 a file cut short,
7 infinite samples, 8 a picture the file cannot hold, 9 a malformed 40-byte header, 10 a file that is no BMP,
11 2-bit pixels, 12 the operating system's reasons.
"""
import gzip, io, os, resource, struct, subprocess, zlib

import numpy as np
import pytest
from astropy.io import fits
from PIL import Image

PROGRAM = os.environ.get("DIRIRA_PROGRAM", "dirira")
INDICES = np.random.default_rng(3107).integers(0, 256, (3, 4), dtype=np.uint8)  # top row first


def bmp(width, height, bits=8, compression=0, header=40, offset=None, pixels=None, entries=None, masks=b"",
        size_image=None):
    """A BMP file with a gray table for indexed pixels, as CBmp::Write lays it out (resolution 0); pixels are
    the bytes after the table, by default as many zeros as the rows need."""
    entries = (1 << bits if bits <= 8 else 0) if entries is None else entries
    table = b"".join(bytes((i * 255 // max(entries - 1, 1),) * 3 + (0,)) for i in range(entries))
    stride = (bits * abs(width) + 31) // 32 * 4
    pixels = bytes(stride * abs(height)) if pixels is None else pixels
    size_image = len(pixels) if size_image is None else size_image
    info = struct.pack("<IiiHHIIiiII", header, width, height, 1, bits, compression, size_image, 0, 0, entries, 0)
    offset = 14 + header + len(masks) + len(table) if offset is None else offset
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info.ljust(header, b"\0") + masks + \
        table + pixels


def gray(indices, entries=256):
    rows = np.zeros((indices.shape[0], (indices.shape[1] + 3) & ~3), np.uint8)
    rows[:, :indices.shape[1]] = indices[::-1]
    return bmp(indices.shape[1], indices.shape[0], pixels=rows.tobytes(), entries=entries)


def two_bit(indices):  # the same picture at 2 bits a pixel: 4 pixels a byte, the first in the high bits
    packed = [bytes([sum(v << (6 - 2 * i) for i, v in enumerate(row))]) + b"\0\0\0" for row in indices[::-1]]
    return bmp(4, indices.shape[0], bits=2, pixels=b"".join(packed))


def fits_bytes(data):
    out = io.BytesIO()
    fits.PrimaryHDU(np.asarray(data, np.float32)).writeto(out)
    return out.getvalue()


A = gray(INDICES)
TWO_HDUS = io.BytesIO()
fits.HDUList([fits.PrimaryHDU(np.float32([[1, 2, 3]])), fits.ImageHDU(np.float32([[4, 5]]))]).writeto(TWO_HDUS)
CUT_IN_HDU_2 = TWO_HDUS.getvalue()[:2 * 2880 + 1000]  # the primary whole, then 1000 bytes of the next header
BIG = gray(np.random.default_rng(5).integers(0, 256, (48, 64), dtype=np.uint8))
U = fits_bytes([[1, 2, 3]])
LONG = "\u00e9" + "x" * 249  # and its ".bmp": 255 bytes, as long as a name can be; no room for a temporary's ending
PAIR_PLANES = np.random.default_rng(11).integers(0, 256, (2, 3, 4), dtype=np.uint8)  # FITS order, bottom row first
PAIR = io.BytesIO()
fits.PrimaryHDU(PAIR_PLANES).writeto(PAIR)
PAIR = PAIR.getvalue()
CUBE = fits_bytes([[[1, 2]], [[3, 4]], [[7, 7]], [[5, 6]]])  # 4 planes of 2 x 1, the third of one value
TILES = io.BytesIO()  # Rice-compressed rows, their bytes from 2 * 2880 + 480 (a table of 60 rows) on
fits.HDUList([fits.PrimaryHDU(), fits.CompImageHDU(np.random.default_rng(5).integers(0, 200, (60, 80), np.int16),
                                                  compression_type="RICE_1")]).writeto(TILES)
# 100 bytes of ones in the first row's bits. (Zeros there make CFITSIO 4.2's Rice decoder read far past the tile,
# a fault of its own that ASan's layout turns into a crash.)
DAMAGED_TILES = TILES.getvalue()[:6300] + b"\xff" * 100 + TILES.getvalue()[6400:]
TABLE = io.BytesIO()  # an empty primary HDU, a table of one column named x, an image
fits.HDUList([fits.PrimaryHDU(), fits.BinTableHDU.from_columns([fits.Column("x", "E", array=[1.0])]),
              fits.ImageHDU(np.float32([[4, 5]]))]).writeto(TABLE)


def card_in(data, keyword, card):  # the file with its first card of that keyword replaced
    at = data.index(keyword.ljust(8).encode())
    return data[:at] + card.ljust(80) + data[at + 80:]


# An image whose data unit begins with what reads as an extension's header holding a card CFITSIO cannot take.
HEADER_IN_DATA = io.BytesIO()
fits.PrimaryHDU(np.frombuffer(b"XTENSION= 'IMAGE   '".ljust(80) + b"TTYPE1  = " + b"x" * 70, np.uint8).reshape(2, 80)
                ).writeto(HEADER_IN_DATA)
# A FITS header that claims 9500 x 9500 bytes, with no data behind it.
CLAIM = fits.Header({"SIMPLE": True, "BITPIX": 8, "NAXIS": 2, "NAXIS1": 9500, "NAXIS2": 9500}).tostring().encode()
RUNS = b"\xff\0" * 3921 + b"\0\1"  # 3922 commands of RLE8: at most 1000110 pixels
# 12000 bytes gzip cannot shrink: its trailer's size is below the file's, which CFITSIO takes for a wrapped one.
NOISE_GZ = gzip.compress(np.random.default_rng(8).integers(0, 256, 12000, dtype=np.uint8).tobytes(), mtime=0)
# Its stream cut at 11000 bytes, then a trailer that claims what the cut stream (the trailer read as data) unpacks to.
CUT_UNPACKED = len(zlib.decompressobj(31).decompress(NOISE_GZ[:11000] + bytes(8)))
CUT_GZ = NOISE_GZ[:11000] + bytes(4) + struct.pack("<I", CUT_UNPACKED)
# The picture of row 5-bare-core-dib-read-whole, RGB, top row first: its rows are 12 bytes of 3 pixels, blue first.
BARE_CORE_PIXELS = np.arange(24).reshape(2, 12)[::-1, :9].reshape(2, 3, 3)[..., ::-1]
SAME = object()  # after the run: the file as it was given
LINK = ("link",)  # a file given as ("link", target) is a symbolic link
FIFO = ("fifo",)  # a named pipe no one writes to


def files_up_to(size):  # a file may not grow past `size`: the program ignores SIGXFSZ, so the write fails with EFBIG
    return lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))


small_files_only = files_up_to(1024)


def row(name, files, args, status, said="", after=None, check=None, preexec=None):
    return pytest.param(files, args, status, said, after or {}, check, preexec, id=name)


def converted(folder, name):  # what the program makes of a file it reads by the library
    subprocess.run([PROGRAM, "convert", name, "converted.bmp"], cwd=folder, check=True, capture_output=True)
    return (folder / "converted.bmp").read_bytes()


def listed_then_warned(folder):  # both streams into one file: the listing first, the warning last
    both = subprocess.run([PROGRAM, "fits-info", "t.fits"], cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return both.stdout.startswith(b"HDU 1: primary\n") and both.stdout.endswith(b"HDU 2\n")


def pixel_bytes(path):
    data = path.read_bytes()
    return data[struct.unpack_from("<I", data, 10)[0]:]


ROWS = [
    row("1-convert-over-its-input", {"a.bmp": A}, ["convert", "a.bmp", "a.bmp"], 2, "a.bmp is the input a.bmp",
        {"a.bmp": SAME}),
    row("1-through-a-link", {"a.bmp": A, "l.bmp": ("link", "a.bmp")}, ["convert", "l.bmp", "a.bmp"], 2,
        "a.bmp is the input l.bmp", {"a.bmp": SAME}),
    row("1-batch-into-the-inputs-folder", {"d/a.bmp": A}, ["convert", "--to", "bmp", "-o", "d", "d/a.bmp"], 2,
        "d/a.bmp is the input d/a.bmp", {"d/a.bmp": SAME}),
    row("1-preview-over-its-input", {"u.fits": U}, ["preview", "u.fits", "u.fits"], 2, "is the input",
        {"u.fits": SAME}),
    row("2-a-full-disk-keeps-the-old-file", {"a.bmp": BIG, "old.bmp": b"old"}, ["convert", "a.bmp", "old.bmp"], 1,
        "old.bmp: cannot write: File too large; it is unchanged", {"old.bmp": SAME}, preexec=small_files_only),
    row("2-a-full-disk-fits-data", {"a.bmp": BIG, "old.fits": b"old"}, ["convert", "a.bmp", "old.fits"], 1,
        "old.fits: cannot write: File too large; it is unchanged", {"old.fits": SAME}, preexec=files_up_to(4096)),
    row("2-a-full-disk-fits-gz", {"a.bmp": BIG, "old.fits.gz": b"old"}, ["convert", "a.bmp", "old.fits.gz"], 1,
        "old.fits.gz: cannot write: File too large; it is unchanged", {"old.fits.gz": SAME}, preexec=small_files_only),
    row("2-a-full-disk-fz", {"a.bmp": BIG, "old.fz": b"old"}, ["convert", "a.bmp", "old.fz"], 1,
        "old.fz: cannot write: File too large; it is unchanged", {"old.fz": SAME}, preexec=small_files_only),
    row("3-preview-named-jpeg", {"a.bmp": A}, ["preview", "a.bmp", "out.jpg"], 2, "the name says JPEG",
        {"out.jpg": None}),
    row("3-convert-named-png", {"a.bmp": A}, ["convert", "a.bmp", "out.png"], 2, "the name says PNG",
        {"out.png": None}),
    row("3-convert-named-gzip", {"a.bmp": A}, ["convert", "a.bmp", "out.bmp.gz"], 2, "the name says gzip",
        {"out.bmp.gz": None}),
    row("4-read-only-output", {"a.bmp": A, "ro.bmp": (b"old", 0o444)}, ["convert", "a.bmp", "ro.bmp"], 1,
        "ro.bmp: Permission denied: the file is read-only; it is unchanged", {"ro.bmp": SAME},
        check=lambda d: (d / "ro.bmp").stat().st_mode & 0o777 == 0o444),
    row("4-a-name-as-long-as-the-folder-takes", {"a.bmp": A}, ["convert", "a.bmp", LONG + ".bmp"], 0, "",
        {LONG + ".bmp": A}),
    row("4-long-names-that-differ-at-their-end", {"d/" + LONG[:236] + ".fits": PAIR}, ["convert", "-o", "d", "--to",
        "bmp", "d/" + LONG[:236] + ".fits"], 0, "", {f"d/{LONG[:236]}-plane{i + 1}.bmp": gray(PAIR_PLANES[i][::-1])
                                                    for i in range(2)}),
    row("4-linked-output-replaces-its-file", {"a.bmp": A, "t.bmp": (b"old", 0o640), "l.bmp": ("link", "t.bmp")},
        ["convert", "a.bmp", "l.bmp"], 0, "", {"t.bmp": A},
        check=lambda d: (d / "l.bmp").is_symlink() and (d / "t.bmp").stat().st_mode & 0o777 == 0o640),
    row("5-cut-short", {"c.bmp": BIG[:2000]}, ["info", "c.bmp"], 1,
        "the file ends 2150 bytes early: its header puts 3072 bytes of pixels at 1078; --allow-short reads"),
    row("5-cut-short-allowed", {"c.bmp": BIG[:2000]}, ["info", "--allow-short", "c.bmp"], 0,
        "c.bmp: warning: the file ends 2150 bytes early; those pixels read as 0"),
    row("5-headers-only", {"h.bmp": bmp(320, 200, 24, pixels=b"")}, ["convert", "h.bmp", "h.fits"], 1,
        "the file ends 192000 bytes early", {"h.fits": None}),
    row("5-fits-one-byte-cut", {"u.fits": U[:-1]}, ["convert", "u.fits", "u.bmp"], 1,
        "u.fits: the file ends 1 byte early: its header puts a data unit of 2880 bytes at byte 2880"),
    row("5-bare-dib-cut-short", {"b.dib": bmp(2, 2, 8, entries=3)[14:-3]}, ["info", "b.dib"], 1, "b.dib: cannot read: "
        "a BITMAPINFOHEADER file (40-byte header): the file ends 3 bytes early: its header puts 8 bytes of pixels at 52"),
    row("5-bare-core-dib-read-whole", {"c.dib": struct.pack("<IHHHH", 12, 3, 2, 1, 24) + bytes(range(24))},
        ["convert", "c.dib", "c.bmp"], 0, check=lambda d: np.array_equal(np.asarray(Image.open(d / "c.bmp")),
                                                                         BARE_CORE_PIXELS)),
    row("5-bare-core-dib-cut-short", {"c.dib": struct.pack("<IHHHH", 12, 2, 2, 1, 1) + bytes(8)}, ["info", "c.dib"], 1,
        "a BITMAPCOREHEADER file (12-byte header): the file ends 6 bytes early: its header puts 8 bytes of pixels at 18"),
    row("5-table-cut-allowed", {"t.bmp": bmp(2, 2, 8)[:114]}, ["info", "--allow-short", "t.bmp"], 1, "t.bmp: cannot read: "
        "status 4: a BITMAPINFOHEADER file, but its 114 bytes are fewer than the 1064 of its header and colour table"),
    row("5-bare-table-cut-allowed", {"t.dib": bmp(2, 2, 8)[14:114]}, ["info", "--allow-short", "t.dib"], 1,
        "t.dib: cannot read: status 4: a BITMAPINFOHEADER file, but its 100 bytes are fewer than the 1064 of its"),
    row("5-fits-padding-cut", {"u.fits": U[:2880 + 12]}, ["preview", "u.fits", "u.png"], 1,
        "u.fits: the file ends 2868 bytes early: its header puts a data unit of 2880 bytes at byte 2880"),
    row("5-fits-cut-in-its-header-record", {"u.fits": U[:2000]}, ["fits-info", "u.fits"], 1,
        "u.fits: a FITS file of 2000 bytes, which ends inside its header"),
    row("5-fits-cut-before-end", {"u.fits.gz": gzip.compress(U[:100])}, ["convert", "u.fits.gz", "u.bmp"], 1,
        "u.fits.gz: a gzipped FITS file of 100 bytes unpacked, which ends inside its header"),
    row("5-fits-cut-in-a-later-header", {"t.fits": CUT_IN_HDU_2}, ["fits-info", "t.fits"], 0,
        "t.fits: warning: the file ends 1000 bytes into the header of HDU 2", check=listed_then_warned),
    row("5-fits-cut-in-the-header-asked-for", {"t.fits": CUT_IN_HDU_2}, ["convert", "--hdu=2", "t.fits", "t.bmp"], 1,
        "t.fits: no HDU 2: the file has 1; the file ends 1000 bytes into the header of HDU 2"),
    row("5-fits-special-records-after-the-last-hdu", {"u.fits": U + b"not a header"}, ["convert", "--hdu=2", "u.fits",
        "u.bmp"], 1, "u.fits: no HDU 2: the file has 1\n"),  # nothing said of the bytes after it
    row("5-fits-damaged-tiles", {"t.fz": DAMAGED_TILES}, ["convert", "t.fz", "t.bmp"], 1,
        "t.fz: decompression error: hit end of compressed byte stream\n"),
    row("5-fits-whole", {"u.fits": U + b"more"}, ["preview", "u.fits", "u.png"], 0),
    row("5-fits-a-column-name-filling-its-card", {"t.fits": card_in(TABLE.getvalue(), "TTYPE1", b"TTYPE1  = " +
        b"x" * 70)}, ["convert", "t.fits", "t.bmp"], 1, "t.fits: HDU 2: its TTYPE1 card is damaged: its value fills "
        "the card, which CFITSIO cannot read"),
    row("5-fits-a-quoted-column-name-of-68", {"t.fits": card_in(TABLE.getvalue(), "TTYPE1", b"TTYPE1  = '" +
        b"x" * 68 + b"'")}, ["convert", "t.fits", "t.bmp"], 0),
    row("5-fits-a-value-from-column-10", {"t.fits": card_in(TABLE.getvalue(), "EXTEND", b"EXTEND  =" + b"T" * 71)},
        ["fits-info", "t.fits"], 1, "t.fits: HDU 1: its EXTEND card is damaged"),
    row("5-fits-data-that-read-as-such-a-header", {"d.fits": HEADER_IN_DATA.getvalue()}, ["convert", "d.fits", "d.bmp"], 0),
    row("5-offset-past-the-end", {"o.bmp": bmp(10, 10, 24, offset=99999)}, ["info", "o.bmp"], 1,
        "the file ends 99945 bytes early: its header puts 320 bytes of pixels at 99999"),
    row("5-8000-squared-in-1054-bytes", {"b.bmp": bmp(8000, 8000, 24, pixels=bytes(1000))},
        ["convert", "b.bmp", "b.fits"], 1, "the file ends 191999000 bytes early", {"b.fits": None}),
    row("7-infinities-render-white-and-black", {"i.fits": fits_bytes([[1, np.inf, -np.inf, np.nan, 3]])},
        ["convert", "i.fits", "i.bmp"], 0, check=lambda d: pixel_bytes(d / "i.bmp")[:5] == b"\0\xff\0\0\xff"),
    row("7-infinities-in-a-preview", {"i.fits": fits_bytes([[1, np.inf, -np.inf, np.nan, 3]])},
        ["preview", "--stretch", "minmax", "i.fits", "i.png"], 0,
        check=lambda d: np.asarray(Image.open(d / "i.png")).tolist() == [[0, 255, 0, 0, 255]]),
    row("8-a-cubes-plane-of-one-value", {"d/k.fits": CUBE}, ["convert", "-o", "d", "--to", "bmp", "d/k.fits"], 0,
        "d/k.fits: warning: plane 3: black and white are both 7: samples above 7 render white, the rest black"),
    row("8-the-plane-chosen-of-one-value", {"k.fits": CUBE}, ["convert", "--plane=3", "k.fits", "k.bmp"], 0,
        "k.fits: warning: plane 3: black and white are both 7: samples above 7 render white, the rest black"),
    row("8-v5-claims-30000-squared", {"v.bmp": bmp(30000, 30000, 24, header=124, pixels=bytes(1000))},
        ["info", "v.bmp"], 1, "a BITMAPV5HEADER file (124-byte header): the file ends 2699999000 bytes early"),
    row("8-run-lengths-cannot-make-it", {"r.bmp": bmp(1000, 1000, 8, 1, pixels=bytes(7842))}, ["info", "r.bmp"], 1,
        "its 1000 x 1000 pixels are more than its 7842 bytes of run-length data can make (255 for each 2 bytes)"),
    row("8-run-lengths-that-can", {"r.bmp": bmp(1000, 1000, 8, 1, pixels=RUNS)},
        ["info", "r.bmp"], 0),
    row("8-run-lengths-their-size-field-cuts",
        {"r.bmp": bmp(1000, 1000, 8, 1, header=124, pixels=RUNS, size_image=7842)}, ["info", "r.bmp"], 1,
        "more than its 7842 bytes of run-length data can make"),
    row("8-run-lengths-a-40-byte-file-holds", {"r.bmp": bmp(1000, 1000, 8, 1, pixels=RUNS, size_image=7842)},
        ["info", "r.bmp"], 0),
    row("8-over-the-ceiling", {"a.bmp": A}, ["info", "--max-pixels", "11", "a.bmp"], 1,
        "its 4 x 3 pixels are more than the 11 that --max-pixels allows"),
    row("8-at-the-ceiling", {"a.bmp": A}, ["info", "--max-pixels=12", "a.bmp"], 0),
    row("8-no-ceiling", {"a.bmp": A}, ["info", "--max-pixels", "0", "a.bmp"], 0),
    row("8-default-ceiling", {"a.bmp": bmp(9500, 9500, 1, pixels=b"")}, ["info", "--allow-short", "a.bmp"], 1,
        "its 9500 x 9500 pixels are more than the 89478485 that --max-pixels allows"),
    row("8-fits-over-the-ceiling", {"u.fits": U}, ["convert", "--max-pixels=2", "u.fits", "u.bmp"], 1,
        "u.fits: its 3 x 1 pixels are more than the 2 that --max-pixels allows", {"u.bmp": None}),
    row("8-fits-at-the-ceiling", {"u.fits": U}, ["preview", "--max-pixels=3", "u.fits", "u.png"], 0),
    row("8-fits-default-ceiling", {"c.fits": CLAIM}, ["preview", "c.fits", "c.png"], 1,
        "its 9500 x 9500 pixels are more than the 89478485 that --max-pixels allows"),
    row("8-gzip-claims-gigabytes", {"z.fits.gz": gzip.compress(U)[:-4] + struct.pack("<I", 2**31)},
        ["fits-info", "z.fits.gz"], 1, "bytes that does not unpack to the 2147483648 bytes its trailer claims"),
    row("8-gzip-of-noise-read-past-its-wrapped-claim", {"n.fits.gz": NOISE_GZ}, ["fits-info", "n.fits.gz"], 1,
        'n.fits.gz: not a FITS file: it does not begin with "SIMPLE  =" once unpacked'),  # unpacks as it claims
    row("8-gzip-of-noise-claiming-0", {"n.fits.gz": NOISE_GZ[:-4] + bytes(4)}, ["fits-info", "n.fits.gz"], 1,
        "n.fits.gz: a gzip file of 12023 bytes that does not unpack to the 0 bytes its trailer claims"),
    row("8-gzip-cut-short-claiming-what-it-unpacks", {"n.fits.gz": CUT_GZ}, ["fits-info", "n.fits.gz"], 1,
        f"n.fits.gz: a gzip file of 11008 bytes that does not unpack to the {CUT_UNPACKED} bytes its trailer claims"),
    row("8-zip-claims-gigabytes", {"z.fits": b"PK\3\4" + bytes(18) + struct.pack("<I", 2**31) + bytes(30)},
        ["convert", "z.fits", "z.bmp"], 1, "z.fits: a zip file of 56 bytes that claims 2147483648 bytes unpacked"),
    row("9-negative-width", {"n.bmp": bmp(-5, 3, 24)}, ["info", "n.bmp"], 1,
        "a BITMAPINFOHEADER file (40-byte header): no picture: -5 x 3 pixels"),
    row("9-zero-height", {"n.bmp": bmp(5, 0, 24)}, ["info", "n.bmp"], 1, "no picture: 5 x 0 pixels"),
    row("9-rle-top-down", {"n.bmp": bmp(5, -3, 8, 1, pixels=bytes(20))}, ["info", "n.bmp"], 1,
        "RLE rows stored top-down"),
    row("9-compression-6", {"n.bmp": bmp(5, 3, 32, 6)}, ["info", "n.bmp"], 1,
        "alpha bit fields (compression 6) are not read with a 40-byte header"),
    row("9-bit-fields-without-masks", {"n.bmp": bmp(4, 3, 16, 3)}, ["info", "n.bmp"], 1,
        "bit fields without their masks behind the header"),
    row("9-bit-fields-with-masks", {"n.bmp": bmp(4, 3, 16, 3, masks=struct.pack("<3I", 0xF800, 0x7E0, 0x1F))},
        ["info", "n.bmp"], 0),
    row("9-masks-and-no-pixels", {"n.bmp": bmp(4, 3, 16, 3, pixels=b"", masks=struct.pack("<3I", 31, 992, 31744))},
        ["info", "--allow-short", "n.bmp"], 0, "n.bmp: warning: the file ends 24 bytes early"),
    row("8-bare-dib-claims-30000-squared", {"b.dib": bmp(30000, 30000, 24, pixels=bytes(100))[14:]},
        ["info", "--allow-short", "b.dib"], 1, "its 30000 x 30000 pixels are more than the 89478485 that --max-pixels"),
    row("9-100000-squared", {"n.bmp": bmp(100000, 100000, 24, pixels=bytes(100))}, ["info", "n.bmp"], 1,
        "its 100000 x 100000 pixels need more than 4 GiB"),
    row("10-png", {"p.bmp": b"\x89PNG\r\n\x1a\n" + bytes(40)}, ["info", "p.bmp"], 1, "p.bmp: cannot read: a PNG file, "
        "not a BMP"),
    row("10-gzip", {"g.bmp": b"\x1f\x8b\x08" + bytes(40)}, ["info", "g.bmp"], 1, "a gzip file, not a BMP"),
    row("10-tiff", {"t.bmp": b"II*\0\x08\0\0\0"}, ["info", "t.bmp"], 1, "a TIFF file, not a BMP"),
    row("10-gif", {"g.bmp": b"GIF89a\1\0"}, ["info", "g.bmp"], 1, "a GIF file, not a BMP"),
    row("10-text", {"t.bmp": b"P2 3 3 255\n"}, ["info", "t.bmp"], 1, "a text file, not a BMP"),
    row("10-binary-is-not-text", {"x.bmp": b"P2\x7f"}, ["info", "x.bmp"], 1,
        "x.bmp: cannot read: not a BMP file: it begins with neither \"BM\" nor a bitmap header"),
    row("10-bm-alone", {"b.bmp": b"BM"}, ["info", "b.bmp"], 1, "a BMP file of 2 bytes, which ends inside its headers"),
    row("10-bm-and-little-else", {"b.bmp": b"BM\0\0\0\0\0\0\0\0\0\0\0\0\x28"}, ["info", "b.bmp"], 1,
        "b.bmp: cannot read: a BMP file of 15 bytes, which ends inside its headers"),
    row("10-fits-points-to-fits-info", {"u.fits": U}, ["info", "u.fits"], 1,
        "u.fits: cannot read: a FITS file, not a BMP\ndirira: u.fits: `dirira fits-info u.fits` describes it"),
    row("10-bmp-named-fits", {"a.fits": A}, ["convert", "a.fits", "a.bmp"], 1, "a.fits: a BMP file, not FITS"),
    row("10-jpeg-to-fits-info", {"j.jpg": b"\xff\xd8\xff"}, ["fits-info", "j.jpg"], 1,
        "j.jpg: a JPEG file, not FITS"),
    row("10-one-byte-text-fits", {"t.fits": b"x"}, ["fits-info", "t.fits"], 1, "t.fits: a text file, not FITS"),
    row("10-empty-fits", {"e.fits": b""}, ["fits-info", "e.fits"], 1, "e.fits: an empty file, not FITS"),
    row("10-fits-header-cfitsio-refuses", {"b.fits": fits.Header({"SIMPLE": True, "BITPIX": 7}).tostring().encode()},
        ["fits-info", "b.fits"], 1, "b.fits: illegal BITPIX keyword value"),  # whole: CFITSIO's reason is the one
    row("10-gzipped-no-fits-signature", {"b.fits.gz": gzip.compress(b"\1\2")}, ["fits-info", "b.fits.gz"], 1,
        'b.fits.gz: not a FITS file: it does not begin with "SIMPLE  =" once unpacked'),
    row("10-gzipped-bmp-as-fits", {"g.fits.gz": gzip.compress(A)}, ["fits-info", "g.fits.gz"], 1,
        "g.fits.gz: a gzipped BMP file, not FITS"),
    row("10-no-fits-signature", {"b.fits": b"\1\2\3"}, ["convert", "b.fits", "b.bmp"], 1,
        'b.fits: not a FITS file: it does not begin with "SIMPLE  ="'),
    row("10-gzipped-fits-points-to-fits-info", {"u.fits.gz": gzip.compress(U)}, ["info", "u.fits.gz"], 1,
        "u.fits.gz: cannot read: a gzip file, not a BMP\ndirira: u.fits.gz: `dirira fits-info u.fits.gz` describes it"),
    row("11-two-bits", {"two.bmp": two_bit(INDICES & 3), "eight.bmp": gray(INDICES & 3, entries=4)},
        ["convert", "two.bmp", "2.bmp"], 0, check=lambda d: (d / "2.bmp").read_bytes() == converted(d, "eight.bmp")),
    row("11-two-bits-bare", {"two.dib": two_bit(INDICES & 3)[14:], "eight.bmp": gray(INDICES & 3, entries=4)},
        ["convert", "two.dib", "2.bmp"], 0, check=lambda d: (d / "2.bmp").read_bytes() == converted(d, "eight.bmp")),
    row("12-missing", {}, ["info", "none.bmp"], 1, "none.bmp: cannot read: No such file or directory"),
    row("12-folder", {"d/a.bmp": A}, ["info", "d"], 1, "d: cannot read: Is a directory",
        preexec=lambda: os.close(0)),  # opened as descriptor 0
    row("12-fifo", {"f.bmp": FIFO}, ["info", "f.bmp"], 1, "f.bmp: cannot read: a FIFO, not a regular file"),
    row("12-fifo-fits", {"f.fits": FIFO}, ["convert", "f.fits", "f.bmp"], 1, "f.fits: a FIFO, not a regular file"),
    row("12-device", {}, ["info", "/dev/null"], 1, "/dev/null: cannot read: a character device, not a regular file"),
    row("12-missing-fits", {}, ["convert", "none.fits", "a.bmp"], 1, "none.fits: No such file or directory"),
    row("12-folder-fits", {"d.fits/a.bmp": A}, ["fits-info", "d.fits"], 1, "d.fits: Is a directory"),
    row("12-standard-input-closed", {"a.bmp": A}, ["info", "a.bmp"], 0, preexec=lambda: os.close(0)),
    row("12-no-such-folder-to-write", {"a.bmp": A}, ["convert", "a.bmp", "no/a.bmp"], 1,
        "no/a.bmp: cannot write: No such file or directory; it is unchanged"),
    row("12-empty-output-name", {"a.bmp": A}, ["convert", "a.bmp", ""], 1, "dirira: : No such file or directory;"),
    row("12-preview-on-a-full-disk", {"a.bmp": BIG, "p.png": b"old"}, ["preview", "a.bmp", "p.png"], 1,
        "p.png: cannot write: File too large; it is unchanged", {"p.png": SAME}, preexec=small_files_only),
]


def lay_out(folder, files):
    for name, content in files.items():
        path = folder / name
        path.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(content, tuple) and content[0] == "link":
            path.symlink_to(content[1])
        elif content == FIFO:
            os.mkfifo(path)
        else:
            data, mode = content if isinstance(content, tuple) else (content, 0o644)
            path.write_bytes(data)
            path.chmod(mode)


@pytest.mark.parametrize("files, args, status, said, after, check, preexec", ROWS)
def test_program(tmp_path, files, args, status, said, after, check, preexec):
    lay_out(tmp_path, files)
    run = subprocess.run([PROGRAM, *args], cwd=tmp_path, capture_output=True, text=True, timeout=20,
                         preexec_fn=preexec)
    assert (run.returncode, said in run.stderr) == (status, True), run.stderr
    for name, content in after.items():
        expected = files[name] if content is SAME else content
        expected = expected[0] if isinstance(expected, tuple) else expected
        assert (tmp_path / name).read_bytes() == expected if expected is not None else not (tmp_path / name).exists()
    assert check is None or check(tmp_path)
    assert not [p.name for p in tmp_path.rglob("*.tmp")]  # no temporary file left behind
