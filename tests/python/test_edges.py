"""The Python module at a user's edges, one row per situation, numbered as in the program's table
(tests/tools/edges_test.py, whose files this table shares): a row calls the module in a folder laid out for it and
names the exception and the words it must raise, or checks what it returns."""
import os, resource, signal, sys, warnings

import numpy as np
import pytest
from astropy.io import fits

import dirira

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tools"))
from edges_test import A, BIG, INDICES, U, bmp, gray, lay_out, two_bit  # noqa: E402


def small_files(call):  # a file may not grow past 1 KiB while `call` runs; the write that tries fails with EFBIG
    def limited(d):
        soft, hard = resource.getrlimit(resource.RLIMIT_FSIZE)
        previous = signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (1024, hard))
        try:
            return call(d)
        finally:
            resource.setrlimit(resource.RLIMIT_FSIZE, (soft, hard))
            signal.signal(signal.SIGXFSZ, previous)
    return limited


def warned(call):  # the words of the warnings `call` gives
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        call()
    return [str(w.message) for w in caught]


def written(d, name, data):
    dirira.write(d / name, np.asarray(data, np.float32))
    return d / name


BIG_ARRAY = np.random.default_rng(9).random((48, 64))
ROWS = [  # name, files, call, exception, words; or, with no exception, what the call must return
    ("2-a-full-disk-keeps-the-old-file", {"old.bmp": b"old"}, small_files(lambda d: written(d, "old.bmp", BIG_ARRAY)),
     dirira.WriteError, "old.bmp: cannot write: File too large"),
    ("3-named-fits", {}, lambda d: written(d, "x.fits", [[1]]), ValueError, "x.fits: the name says FITS"),
    ("3-named-png", {}, lambda d: written(d, "x.PNG", [[1]]), ValueError, "the name says PNG"),
    ("4-read-only", {"ro.bmp": (b"old", 0o444)}, lambda d: written(d, "ro.bmp", [[1]]), dirira.CannotCreateError,
     "ro.bmp: Permission denied: the file is read-only"),
    ("4-a-link-replaces-its-file", {"t.bmp": b"old", "l.bmp": ("link", "t.bmp")},
     lambda d: (written(d, "l.bmp", [[1]]).read_bytes() == (d / "t.bmp").read_bytes(), (d / "l.bmp").is_symlink()),
     None, (True, True)),
    ("4-a-read-only-input-is-not-saveable", {"v.bmp": (bmp(2, 2, 24, header=124), 0o444), "a.bmp": (A, 0o444)},
     lambda d: [dirira.read(d / n).attributes["saveable_file"] for n in ("v.bmp", "a.bmp")], None, [False, False]),
    ("5-cut-short", {"c.bmp": BIG[:2000]}, lambda d: dirira.read(d / "c.bmp"), dirira.UnsupportedFileError,
     "the file ends 2150 bytes early: its header puts 3072 bytes of pixels at 1078; allow_short=True reads"),
    ("5-cut-short-allowed", {"c.bmp": BIG[:2000]}, lambda d: dirira.read(d / "c.bmp", allow_short=True).warning,
     None, "the file ends 2150 bytes early; those pixels read as 0"),
    ("5-bare-dib-cut-short-allowed", {"b.dib": bmp(2, 2, 8, entries=3)[14:-3]},
     lambda d: [getattr(dirira.read(d / "b.dib", allow_short=True), a) for a in ("source", "warning")], None,
     ["BITMAPINFOHEADER (40-byte header, no file header), read by the library",
      "the file ends 3 bytes early; those pixels read as 0"]),
    ("6-from-array-extremes", {}, lambda d: [(i.min(), i.max()) for i in [
        dirira.from_array(np.array([[-5., 2.], [3., 40.]])),
        dirira.from_hdu(fits.PrimaryHDU(np.array([[7., np.nan], [-1., 2.]], np.float32)))]], None,
     [(-5.0, 40.0), (-1.0, 7.0)]),
    ("7-levels-from-finite-samples", {}, lambda d: dirira.from_array([[np.inf, -np.inf, 1, np.nan, 3]]).levels, None,
     [(1.0, 3.0)]),
    ("7-levels-given-backwards", {}, lambda d: warned(lambda: dirira.write(d / "b.bmp", [[1.0, 2.0]], levels=(5, 1))),
     None, ["plane 1: black 5 is above white 1: samples above 5 render white, the rest black"]),
    ("7-infinities-render-white-and-black", {},
     lambda d: dirira.read(written(d, "i.bmp", [[1, np.inf, -np.inf, np.nan, 3]])).data.tolist(), None,
     [[0.0, 255.0, 0.0, 0.0, 255.0]]),
    ("8-v5-claims-30000-squared", {"v.bmp": bmp(30000, 30000, 24, header=124, pixels=bytes(1000))},
     lambda d: dirira.read(d / "v.bmp"), dirira.UnsupportedFileError, "the file ends 2699999000 bytes early"),
    ("8-over-the-ceiling", {"a.bmp": A}, lambda d: dirira.read(d / "a.bmp", max_pixels=11),
     dirira.UnsupportedFileError, "its 4 x 3 pixels are more than the 11 that max_pixels allows"),
    ("8-module-ceiling", {"a.bmp": bmp(9500, 9500, 1, pixels=b"")}, lambda d: dirira.read(d / "a.bmp",
                                                                                             allow_short=True),
     dirira.UnsupportedFileError, "more than the 89478485 that max_pixels allows"),
    ("8-no-ceiling", {"a.bmp": A}, lambda d: dirira.read(d / "a.bmp", max_pixels=0).data.shape, None, (3, 4)),
    ("9-negative-width", {"n.bmp": bmp(-5, 3, 24)}, lambda d: dirira.read(d / "n.bmp"), dirira.UnsupportedFileError,
     "a BITMAPINFOHEADER file (40-byte header): no picture: -5 x 3 pixels"),
    ("10-png", {"p.bmp": b"\x89PNG\r\n\x1a\n" + bytes(40)}, lambda d: dirira.read(d / "p.bmp"),
     dirira.UnsupportedFileError, "p.bmp: a PNG file, not a BMP"),
    ("10-fits", {"u.fits": U}, lambda d: dirira.read(d / "u.fits"), dirira.UnsupportedFileError,
     "a FITS file, not a BMP"),
    ("11-two-bits", {"two.bmp": two_bit(INDICES & 3), "eight.bmp": gray(INDICES & 3, entries=4)},
     lambda d: np.array_equal(dirira.read(d / "two.bmp").data, dirira.read(d / "eight.bmp").data), None, True),
    ("12-missing", {}, lambda d: dirira.read(d / "none.bmp"), dirira.CannotOpenError, "none.bmp: No such file"),
    ("12-folder", {"d/a.bmp": A}, lambda d: dirira.read(d / "d"), dirira.CannotOpenError, "d: Is a directory"),
    ("12-header-of-a-fifo", {}, lambda d: (os.mkfifo(d / "f.bmp"), dirira.read_header(d / "f.bmp")),
     dirira.CannotOpenError, "f.bmp: a FIFO, not a regular file"),
    ("12-no-folder-to-write", {}, lambda d: written(d, "no/x.bmp", [[1]]), dirira.CannotCreateError,
     "no/x.bmp: cannot write: No such file or directory"),
]


@pytest.mark.parametrize("files, call, kind, words", [pytest.param(*r[1:], id=r[0]) for r in ROWS])
def test_module(tmp_path, files, call, kind, words):
    lay_out(tmp_path, files)
    if kind is None:
        assert call(tmp_path) == words
        return
    caught = pytest.raises(kind, call, tmp_path)
    assert words in str(caught.value)
    for name, content in files.items():  # a failure leaves every file as it was, and no temporary file
        assert os.path.islink(tmp_path / name) or (tmp_path / name).read_bytes() == (
            content[0] if isinstance(content, tuple) else content)
    assert not [p.name for p in tmp_path.rglob("*.tmp")]
