"""The module in the conventions of Python, numpy and astropy, one row each: what every argument a user may pass
gives, in the user's words."""
import errno, os, pickle, subprocess, sys, warnings

import numpy as np
import pytest
from astropy.io import fits

import dirira
from test_dirira import bmp

rng = np.random.default_rng(4242)
COLOUR = rng.integers(0, 256, (3, 5, 7)).astype(np.float32)  # planes first, the image model's layout
GRAY = rng.integers(0, 256, (5, 7)).astype(np.float32)
HALF_OF_MEMORY = os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE") // 2


class Raises:
    def __init__(self, kinds, text, os_errno=None):
        self.kinds, self.text, self.os_errno = kinds, text, os_errno


def written(d, array, **kwargs):
    """The samples that writing `array` and reading the file back gives."""
    dirira.write(d / "out.bmp", array, **kwargs)
    return dirira.read(d / "out.bmp").data


def repickled(image):
    back = pickle.loads(pickle.dumps(image))
    return [back.attributes == image.attributes, back.header == image.header, back.levels == image.levels,
            back.warning == image.warning, np.array_equal(back.data, image.data)]


def run_python(script):
    """What a fresh interpreter prints."""
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True).stdout


def raise_repickled_failure(d):
    failure = pytest.raises(OSError, dirira.read, d / "x").value
    raise pickle.loads(pickle.dumps(failure))


def cut_short(d):
    data = bmp(d / "short.bmp", header=124).read_bytes()
    (d / "short.bmp").write_bytes(data[:-50])
    return d / "short.bmp"


def warned(call):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        call()
    return [(w.category, str(w.message)) for w in caught]


def named(path):
    """A round trip through a file of this name: read back, with the name the image records, and its headers."""
    dirira.write(path, GRAY, levels=(0, 255))
    image = dirira.read(path)
    headers = dirira.read_header(path)
    return np.array_equal(image.data, GRAY), os.path.basename(image.attributes["file"]), headers


BYTE_NAME = b"caf\xe9.bmp"  # Latin-1, not UTF-8
HEADERS = {"width": 7, "height": 5, "planes": 1}
LAYOUT_AMBIGUOUS = np.zeros((3, 4, 3))

ROWS = {
    # Layouts: planes last, as Pillow gives colour, is the same image as planes first.
    "planes last": (lambda d: dirira.from_array(COLOUR.transpose(1, 2, 0)).data, COLOUR),
    "3 at both ends": (lambda d: dirira.from_array(LAYOUT_AMBIGUOUS), Raises(ValueError, "plane_axis=0 or")),
    "3 at both ends, planes last": (lambda d: dirira.from_array(LAYOUT_AMBIGUOUS, plane_axis=-1).data.shape,
                                    (3, 3, 4)),
    "4 planes": (lambda d: dirira.from_array(np.zeros((4, 4, 4))), Raises(ValueError, "not (4, 4, 4)")),
    "no column": (lambda d: dirira.from_array(np.zeros((2, 0))), Raises(ValueError, "columns, not (2, 0)")),
    "2**31 columns": (lambda d: dirira.from_array(np.broadcast_to(np.uint8(0), (1, 2**31))),
                      Raises(ValueError, "columns, not (1, 2147483648)")),
    # Failures are OSErrors, of the system's reason where there is one.
    "missing file": (lambda d: dirira.read(d / "none.bmp"),
                     Raises((dirira.CannotOpenError, FileNotFoundError), "none.bmp: No such file or directory",
                            errno.ENOENT)),
    "folder read": (lambda d: dirira.read(d), Raises((dirira.CannotOpenError, IsADirectoryError), "Is a directory",
                                                     errno.EISDIR)),
    "missing folder": (lambda d: dirira.write(d / "no" / "x.bmp", GRAY),
                       Raises((dirira.CannotCreateError, FileNotFoundError), "cannot write: No such", errno.ENOENT)),
    "folder written": (lambda d: dirira.write(d, GRAY), Raises((dirira.CannotCreateError, IsADirectoryError),
                                                               "Is a directory", errno.EISDIR)),
    "refused file": (lambda d: dirira.read(bmp(d / "j.bmp", header=124, compression=4)),
                     Raises((dirira.UnsupportedFileError, OSError), "embedded JPEG")),
    "failure pickled": (raise_repickled_failure,
                        Raises((dirira.CannotOpenError, FileNotFoundError), "x: No such", errno.ENOENT)),
    # Bad arguments: ValueError or TypeError, saying what is wanted.
    "HDU list": (lambda d: dirira.from_hdu(fits.HDUList([fits.PrimaryHDU(), fits.ImageHDU(GRAY[::-1])])).data,
                 GRAY),
    "empty HDU": (lambda d: dirira.from_hdu(fits.PrimaryHDU()), Raises(ValueError, "holds no data")),
    "table HDU": (lambda d: dirira.from_hdu(fits.BinTableHDU.from_columns([fits.Column("a", "J", array=[1])])),
                  Raises(TypeError, "holds a table")),
    "not an HDU": (lambda d: dirira.from_hdu(GRAY), Raises(TypeError, "not ndarray")),
    "complex": (lambda d: dirira.from_array(GRAY + 1j), Raises(TypeError, "pass .real")),
    "option 1": (lambda d: written(d, GRAY * 4, option=1), np.minimum(GRAY * 4, 255)),
    "option 2": (lambda d: dirira.write(d / "x.bmp", GRAY, option=2), Raises(ValueError, "option is 0")),
    "one pair, gray": (lambda d: dirira.from_array(GRAY, levels=(0, 255)).levels, [(0, 255)]),
    "one pair, colour": (lambda d: dirira.from_array(COLOUR, levels=(1, 2)).levels, [(1, 2)] * 3),
    "two pairs, colour": (lambda d: dirira.from_array(COLOUR, levels=[(1, 2)] * 2), Raises(ValueError, "(3)")),
    "level words": (lambda d: dirira.from_array(GRAY, levels=("low", "high")), Raises(TypeError, "of numbers")),
    "levels set": (lambda d: setattr(dirira.from_array(GRAY), "levels", [1, 2, 3]), Raises(ValueError, "pair")),
    "levels NaN": (lambda d: dirira.write(d / "x.bmp", GRAY, levels=(np.nan, 1)), Raises(ValueError, "finite")),
    "memory -1": (lambda d: dirira.read(d / "x", memory=-1), Raises(ValueError, "0 (no budget) or more")),
    "memory 2G": (lambda d: dirira.read(d / "x", memory="2G"), Raises(TypeError, "number of bytes")),
    "plane 1.5": (lambda d: dirira.from_array(COLOUR).gray(0, 0, 1.5), Raises(TypeError, "plane is an integer")),
    "beyond the last column": (lambda d: dirira.from_array(GRAY).gray(6.5, 1.0), Raises(IndexError, "outside the 7 x 5")),
    "word positions": (lambda d: dirira.from_array(GRAY).gray("a", 0), Raises(TypeError, "<U1")),
    "progress 1": (lambda d: dirira.read(d / "x", progress=1), Raises(TypeError, "progress is a function")),
    # Scalar calls give numpy scalars of the arrays' types.
    "gray scalar": (lambda d: type(dirira.from_array(GRAY).gray(1.5, 2)), np.float32),
    "gray256 scalar": (lambda d: type(dirira.from_array(GRAY).gray256(1, 2)), np.uint8),
    "bright scalar": (lambda d: type(dirira.from_array(COLOUR).bright(1, 2.5)), np.float32),
    # Pickles keep the whole record; an image made here claims no file bits.
    "read, pickled": (lambda d: repickled(dirira.read(cut_short(d), allow_short=True)), [True] * 5),
    "levels set, pickled": (lambda d: repickled(dirira.from_array(COLOUR, levels=(3, 4))), [True] * 5),
    "made here": (lambda d: "SRCBITS" in dirira.from_array(GRAY).to_hdu().header, False),
    # Integers are written at their type's whole range; floats at each plane's.
    "uint8 0..127": (lambda d: written(d, GRAY.astype(np.uint8) // 2), GRAY.astype(np.uint8) // 2),
    "int8": (lambda d: dirira.from_array(np.zeros((2, 2), np.int8)).levels, [(-128, 127)]),
    "bool": (lambda d: written(d, GRAY > 100), (GRAY > 100) * np.float32(255)),
    "float, one value": (lambda d: dirira.from_array(np.full((2, 2), 7.5)).levels, [(7.5, 7.5)]),
    "float": (lambda d: dirira.from_array(GRAY / 2 + 3).levels, [(GRAY.min() / 2 + 3, GRAY.max() / 2 + 3)]),
    # A masked array's masked samples are undefined, black.
    "masked": (lambda d: written(d, np.ma.array(GRAY.astype(np.uint8), mask=GRAY > 200)), np.where(GRAY > 200, 0, GRAY)),
    # What float32 cannot hold exactly is said.
    "2**24 + 1": (lambda d: warned(lambda: dirira.from_array(np.array([[2**24 + 1]], np.uint32))),
                  [(dirira.PrecisionWarning, "uint32 samples beyond 2**24 are rounded to float32's 24 significant "
                                             "bits")]),
    "2**25 + 2": (lambda d: len(warned(lambda: dirira.from_array(np.array([[2**25 + 2]], np.int32)))), 1),
    "2**25 + 4": (lambda d: warned(lambda: dirira.from_array(np.array([[2**25 + 4, -3]], np.int32))), []),
    "2**24 + 1 masked": (lambda d: warned(lambda: dirira.from_array(np.ma.array([[2**24 + 1, 0]], mask=[[1, 0]]))), []),
    "-2**63": (lambda d: warned(lambda: dirira.from_array(np.array([[-2**63, 0]], np.int64))), []),
    "2**64 - 1": (lambda d: len(warned(lambda: dirira.from_array(np.array([[2**64 - 1]], np.uint64)))), 1),
    "1e39": (lambda d: warned(lambda: dirira.from_array(np.array([[1e39, np.inf]]))),
             [(dirira.PrecisionWarning, "float64 samples beyond float32's range become infinite")]),
    # File names: str, bytes, os.PathLike, in any encoding.
    "path-like": (lambda d: named(d / "plain.bmp"), (True, "plain.bmp", HEADERS)),
    "bytes, not UTF-8": (lambda d: named(os.path.join(bytes(d), BYTE_NAME)), (True, os.fsdecode(BYTE_NAME), HEADERS)),
    "str, not UTF-8": (lambda d: named(os.path.join(d, os.fsdecode(BYTE_NAME))), (True, os.fsdecode(BYTE_NAME), HEADERS)),
    "not UTF-8, missing": (lambda d: dirira.read(os.path.join(bytes(d), b"\xff", b"x.bmp")),
                           Raises(FileNotFoundError, os.fsdecode(b"\xff/x.bmp: No such"))),
    "not UTF-8, named for FITS": (lambda d: dirira.write(os.path.join(bytes(d), b"\xe9.fits"), GRAY),
                                  Raises(ValueError, os.fsdecode(b"\xe9.fits: the name says FITS"))),
    # The memory budget of a fresh process is the program's default.
    "default budget": (lambda d: int(run_python("import dirira; print(dirira.memory_budget())")), HALF_OF_MEMORY),
}


@pytest.mark.parametrize("call, expected", ROWS.values(), ids=ROWS.keys())
def test_edge(tmp_path, call, expected):
    if isinstance(expected, Raises):
        caught = pytest.raises(expected.kinds, call, tmp_path).value
        assert expected.text in str(caught)
        if expected.os_errno is not None:  # the file named exists unless the system said it does not
            exists = expected.os_errno != errno.ENOENT
            assert (caught.errno, os.path.exists(caught.filename)) == (expected.os_errno, exists)
    elif isinstance(expected, np.ndarray):
        assert np.array_equal(call(tmp_path), expected)
    else:
        assert call(tmp_path) == expected
