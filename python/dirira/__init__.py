"""dirira: Windows bitmap (BMP) files in the image model of an astronomical
image-analysis application, with FITS terms (BITPIX, BSCALE, BZERO, display
levels) and astropy interplay.

    >>> import dirira
    >>> image = dirira.read("samples/starfield-gray.bmp")
    >>> image.data.shape, image.header["BITPIX"], image.levels
    ((192, 256), -32, [(0.0, 255.0)])
    >>> float(image.gray(10.5, 20.25))       # calibrated, bilinear between samples
    >>> hdu = image.to_hdu()                 # astropy.io.fits.PrimaryHDU, the program's cards
    >>> dirira.write("copy.bmp", image)      # through CBmp::Write

Every reading goes through the same reader as the `dirira` program: the
library's CBmp::Read for 40-byte headers, the reader of every other header
version for the rest.
"""
import errno
import importlib.util
import numbers
import os
import warnings

import numpy as np

from . import _dirira

__all__ = ["Image", "read", "read_header", "info", "write", "from_array", "from_hdu", "BmpError", "CannotCreateError",
           "CannotOpenError", "ReadError", "WriteError", "NoMemoryError", "HeaderSizeError", "NoDibError",
           "HeaderUnusableError", "UnsupportedFileError", "PrecisionWarning", "memory_budget", "set_memory_budget",
           "MAX_IMAGE_PIXELS", "convert_many", "Converted"]

#: The largest picture read() takes unless told otherwise (Pillow's ceiling, the same number); None: no ceiling.
MAX_IMAGE_PIXELS = 89478485


class BmpError(OSError):
    """A failure of the library, with its status code and message. Where the system refused to open or create the
    file, the exception is also the OSError subclass of the system's reason (FileNotFoundError, PermissionError,
    IsADirectoryError...), with errno, strerror and filename set."""

    def __init__(self, status, message, os_errno=None, filename=None):
        if os_errno is None:
            super().__init__(message)
        else:
            super().__init__(os_errno, os.strerror(os_errno), filename)
        self.status, self.message = status, message

    def __str__(self):
        return self.message

    def __reduce__(self):  # a failure in a worker process reaches the caller whole
        return _failure, (getattr(type(self), "_kind", type(self)), self.status, self.message, self.errno,
                          self.filename)


class CannotCreateError(BmpError):
    """Status 2: the output file cannot be created."""


class CannotOpenError(BmpError):
    """Status 3: the file cannot be opened."""


class ReadError(BmpError):
    """Status 4: the file's headers cannot be read."""


class WriteError(BmpError):
    """Status 5: writing the output file failed."""


class NoMemoryError(BmpError):
    """Status 6: no memory, or a picture the image library does not decode."""


class HeaderSizeError(BmpError):
    """Status 7: a header size the library does not read."""


class NoDibError(BmpError):
    """Status 10: no picture to write."""


class HeaderUnusableError(BmpError):
    """Status 17: the headers do not describe a picture of positive width and height."""


class UnsupportedFileError(BmpError):
    """Status -1: a file refused before it is read (the message says what it is and why): not a BMP, a header
    that describes no picture the readers decode, a picture the file cannot hold (cut short: see read's
    allow_short), more pixels than MAX_IMAGE_PIXELS."""


class PrecisionWarning(UserWarning):
    """Samples that an image of float32 samples cannot hold exactly: integers beyond 2**24 whose low bits would be
    rounded away, floats beyond float32's range."""


_BY_STATUS = {2: CannotCreateError, 3: CannotOpenError, 4: ReadError, 5: WriteError, 6: NoMemoryError,
              7: HeaderSizeError, 10: NoDibError, 17: HeaderUnusableError, -1: UnsupportedFileError}
# A file that cannot be opened or created: the message ends with the system's reason in the C library's words
# (strerror), which are Python's os.strerror too, so the words give back the errno.
_FILE_STATUSES = (2, 3)
_ERRNO_OF_WORDS = {os.strerror(code): code for code in errno.errorcode}
_WITH_REASON = {}  # (BmpError subclass, OSError subclass): the class deriving from both


def _failure(kind, status, message, os_errno=None, filename=None):
    """The exception of a failed call: of `kind` and, given the system's reason, of the matching OSError subclass."""
    if os_errno is not None:
        reason = type(OSError(os_errno, ""))  # the subclass Python itself raises for this errno
        if reason is not OSError:
            key = (kind, reason)
            kind = _WITH_REASON.setdefault(key, type(kind.__name__, key, {"__module__": __name__, "_kind": kind}))
    return kind(status, message, os_errno, filename)


def _call(function, *args, path=None):
    try:
        return function(*args)
    except _dirira._Failure as failure:
        status, message = failure.args
        message = os.fsdecode(message)
        os_errno = _ERRNO_OF_WORDS.get(message.rpartition(": ")[2]) if status in _FILE_STATUSES else None
        raise _failure(_BY_STATUS.get(status, BmpError), status, message, os_errno,
                       None if path is None else os.fsdecode(path)) from None


class Image:
    """An image of float samples: one plane (gray) or three (red, green, blue).

    ``data`` is a read-only numpy array, (height, width) or (3, height, width),
    top row first, made on first use: a view of the library's store, or one
    copy of it when the store pages beyond its memory budget.
    """

    def __init__(self, native):
        self._native, self._data = native, None

    @property
    def data(self):
        if self._data is None:
            self._data = self._native.data
        return self._data

    @property
    def levels(self):
        """Display levels per plane, [(black, white), ...]."""
        return self._native.levels

    @levels.setter
    def levels(self, value):
        self._native.levels = _level_pairs(value, len(self._native.levels))

    @property
    def warning(self):
        """What the reader let pass (a file cut short), or ''."""
        return self._native.warning

    @property
    def source(self):
        """Which header version the file has and which reader took it ('' for an image made here)."""
        return self._native.attributes["source"]

    @property
    def header(self):
        """The FITS attributes as keyword: value, as the dirira program writes them (BITPIX -32, data top row
        last in FITS order)."""
        a = self.attributes
        header = {"SIMPLE": True, "BITPIX": a["bitpix"], "NAXIS": 2 if a["planes"] == 1 else 3,
                  "NAXIS1": a["width"], "NAXIS2": a["height"]}
        if a["planes"] != 1:
            header["NAXIS3"] = a["planes"]
        header.update({"BSCALE": a["bscale"], "BZERO": a["bzero"]})
        if a["blank"] is not None:
            header["BLANK"] = a["blank"]
        header["ORIGIN"] = "dirira"
        name = os.path.basename(a["file"])
        if name and all(" " <= c <= "~" for c in name):
            header["SRCFILE"] = name
        if a["file_bits"]:  # 0 for an image made here, which no file's bits describe
            header["SRCBITS"] = a["file_bits"]
        for plane, (low, high) in enumerate(self.levels, 1):
            header[f"LEVMIN{plane}"], header[f"LEVMAX{plane}"] = low, high
        return header

    @property
    def attributes(self):
        """The image record's attributes: file, format, bits of the file, saveable flags and the rest."""
        a = self._native.attributes
        a["file"] = os.fsdecode(a["file"])
        return a

    def min(self, plane=0):
        """The smallest finite sample of the plane (nan when it has none)."""
        return self._native.min(plane)

    def max(self, plane=0):
        """The largest finite sample of the plane (nan when it has none)."""
        return self._native.max(plane)

    def gray(self, x, y, plane=0):
        """Calibrated sample values (GetPixelGrayRaw): exact at integer positions, bilinear at fractional ones;
        x and y broadcast as numpy arrays. float32, a scalar for scalar positions."""
        return _samples(self._native.gray, np.float32, x, y, _plane(plane))

    def gray256(self, x, y, plane=0):
        """Display bytes 0..255 through the plane's levels (GetPixelGray256): uint8."""
        return _samples(self._native.gray256, np.uint8, x, y, _plane(plane))

    def bright(self, x, y):
        """Colour brightness (GetPixelBrightRaw) of a three-plane image; the sample of a gray one: float32."""
        return _samples(self._native.bright, np.float32, x, y)

    def to_hdu(self):
        """An astropy.io.fits.PrimaryHDU with the data in FITS order and the cards the dirira program writes: the
        samples at the smallest integer type that holds every one exactly (uint8 for every BMP), else float32,
        as the program chooses BITPIX, and the colour of each plane of a colour image in PLANEn."""
        from astropy.io import fits
        data = self.data[::-1] if self.data.ndim == 2 else self.data[:, ::-1]
        hdu = fits.PrimaryHDU(_smallest_exact(np.ascontiguousarray(data)))
        cards = self.header
        for key in ("ORIGIN", "SRCFILE", "SRCBITS"):
            if key in cards:
                hdu.header[key] = cards[key]
        if len(self.levels) == 3:
            for plane, colour in enumerate(("red", "green", "blue"), 1):
                hdu.header[f"PLANE{plane}"] = (colour, "colour of this plane")
        for plane in range(1, len(self.levels) + 1):
            hdu.header[f"LEVMIN{plane}"] = cards[f"LEVMIN{plane}"]
            hdu.header[f"LEVMAX{plane}"] = cards[f"LEVMAX{plane}"]
        return hdu

    def __reduce__(self):
        return _restore, (np.asarray(self.data), self.levels, *self._record())

    def _record(self):
        """What the image record says of the image's origin, beyond its samples and levels."""
        a = self._native.attributes
        return (a["file"], a["format"], a["file_bits"], a["saveable_format"], a["saveable_file"], self.source,
                self.warning)

    def __repr__(self):
        a = self._native.attributes
        return f"<dirira.Image {a['width']} x {a['height']}, {a['planes']} plane{'s' * (a['planes'] != 1)}>"


def _restore(data, levels, *record):
    native = _call(_dirira.from_array, data, levels)
    native._set_record(*record)
    return Image(native)


def _path(path):
    """A file name as the system takes it: str, bytes or os.PathLike, in any encoding (a str holding undecodable
    bytes as os.fsdecode gives it goes back to those bytes)."""
    return os.fsencode(path)


def _plane(plane):
    if not isinstance(plane, numbers.Integral):
        raise TypeError(f"plane is an integer (0 for gray or red, 1 green, 2 blue), not {plane!r}")
    return int(plane)


def _positions(value):
    positions = np.asarray(value)
    if positions.dtype.kind not in "iuf":
        raise TypeError(f"positions are integers or floats, not {positions.dtype} values")
    return positions


def _samples(member, dtype, x, y, *plane):
    """A member's values at broadcast positions: a numpy scalar for scalar positions, else an array."""
    values = np.asarray(member(_positions(x), _positions(y), *plane), dtype)
    return values[()] if values.ndim == 0 else values


def _level_pairs(levels, planes):
    """Levels as the library takes them: one (low, high) pair per plane; one pair alone serves every plane."""
    message = f"levels are one (low, high) pair, or one pair per plane ({planes}), of numbers: not {levels!r}"
    try:
        pairs = np.asarray(levels, dtype=np.float64)
    except (TypeError, ValueError):
        raise TypeError(message) from None
    if pairs.shape == (2,):
        pairs = np.tile(pairs, (planes, 1))
    if pairs.shape != (planes, 2):
        raise ValueError(message)
    if not np.isfinite(pairs).all():  # a NaN level compares false with every sample: no picture
        raise ValueError(f"levels are finite numbers, not {levels!r}")
    return [(low, high) for low, high in pairs.tolist()]


def _budget(memory):
    if memory is None:
        return None
    if not isinstance(memory, numbers.Integral):
        raise TypeError(f"memory is a number of bytes, not {memory!r}")
    if memory < 0:
        raise ValueError(f"memory is a number of bytes, 0 (no budget) or more, not {memory}")
    return int(memory)


def _progress(callback):
    """The callback as the user wrote it: captions (file names) as str, decoded as os.fsdecode does."""
    if callback is None:
        return None
    if not callable(callback):
        raise TypeError(f"progress is a function of (stage, value), not {callback!r}")
    return lambda stage, value: callback(stage, os.fsdecode(value) if isinstance(value, bytes) else value)


def read(path, memory=None, progress=None, allow_short=False, max_pixels=None):
    """Reads a BMP file of any header version. ``memory`` sets the paged store's budget in bytes (beyond it the
    samples page to a swap file; it stays for later images); ``progress(stage, value)`` gets the library's progress
    messages: (0, caption) opens a display, (1, percent) moves it, (2, caption or '') closes it; an exception it
    raises comes out of read().
    A file that holds fewer pixel bytes than its header implies raises UnsupportedFileError naming how many are
    missing; ``allow_short=True`` reads them as 0 and says so in ``warning``. Pictures of more pixels than
    ``max_pixels`` (default MAX_IMAGE_PIXELS; 0 or None there: no ceiling) are refused before memory is taken."""
    name = _path(path)
    ceiling = MAX_IMAGE_PIXELS if max_pixels is None else max_pixels
    return Image(_call(_dirira.read, name, _budget(memory), _progress(progress), bool(allow_short),
                       int(ceiling or 0), path=name))


def read_header(path):
    """The library's header-only reader (CBmp::GetOrgWidthAndHeight): {'width', 'height', 'planes'}."""
    name = _path(path)
    return _call(_dirira.read_header, name, path=name)


def info(path):
    """What `dirira info --json` prints, as a dict with the same keys, values and order (a file name that is not
    UTF-8 decoded as os.fsdecode does)."""
    image = read(path)
    a = image.attributes
    try:
        header_planes = read_header(path)["planes"]
    except BmpError:
        header_planes = None
    return {"file": os.fsdecode(path), "header": image.source, "format": image._native._format, "width": a["width"],
            "height": a["height"], "planes": a["planes"], "colour": a["colour"], "BITPIX": a["bitpix"],
            "BSCALE": a["bscale"], "BZERO": a["bzero"], "original_bits": a["file_bits"], "header_planes": header_planes,
            "saveable_format": a["saveable_format"], "saveable_file": a["saveable_file"],
            "plane_stats": [{"min": image.min(p), "max": image.max(p), "levels": list(image.levels[p])}
                            for p in range(a["planes"])]}


_PLANES = 3  # a colour image: red, green, blue
_FLOAT32_INTEGERS = 24  # float32 holds every integer of up to 24 significant bits
_LONGEST_SIDE = 2**31 - 1  # rows and columns are counted in 32-bit ints


def _planes_first(data, plane_axis):
    """(height, width) or (3, height, width): the layout of the image model. (height, width, 3), as Pillow and
    most image code give colour, is moved there; a shape that fits both layouts needs plane_axis (0 or -1)."""
    if plane_axis is None and data.ndim == 3 and data.shape[0] == data.shape[-1] == _PLANES:
        raise ValueError(f"a {data.shape} array has 3 at both ends: say which axis holds the planes with "
                         f"plane_axis=0 or plane_axis=-1")
    if plane_axis is None:
        plane_axis = -1 if data.ndim == 3 and data.shape[-1] == _PLANES else 0
    if plane_axis not in (0, -1, 2):
        raise ValueError(f"plane_axis is 0 (planes first) or -1 (planes last), not {plane_axis!r}")
    if data.ndim != 2 and not (data.ndim == 3 and data.shape[plane_axis] == _PLANES):
        raise ValueError(f"an image is a (height, width), (3, height, width) or (height, width, 3) array, "
                         f"not {data.shape}")
    data = data if data.ndim == 2 else np.moveaxis(data, plane_axis, 0)
    if not all(1 <= side <= _LONGEST_SIDE for side in data.shape[-2:]):
        raise ValueError(f"an image has 1 to {_LONGEST_SIDE} rows and as many columns, not {data.shape[-2:]}")
    return data


def _float_samples(data, kind=None, scaled_integers=False, mask=None):
    """The samples as float32, warning of any value that float32 cannot hold exactly. ``kind`` names the samples in
    the words (their dtype by default); ``scaled_integers``: floats that BSCALE and BZERO made of a FITS file's
    integers, whose integer values are said as integers' are; ``mask``: samples that are undefined, made NaN
    whatever their values."""
    if data.dtype.kind not in "biuf":
        raise TypeError(f"an image holds real numbers; {data.dtype} values have no float32 sample "
                        f"(for complex data pass .real, .imag or abs())")
    kind = kind or data.dtype
    with np.errstate(over="ignore"):  # said below in the user's terms
        samples = data.astype(np.float32)
    held, held_samples = (data, samples) if mask is None else (data[~mask], samples[~mask])
    if data.dtype.kind in "iu":
        rounded = data.dtype.itemsize * 8 > _FLOAT32_INTEGERS and not _exact_in_float32(held)
    else:
        rounded = scaled_integers and data.dtype.kind == "f" and _integers_rounded(held, held_samples)
    if rounded:
        warnings.warn(f"{kind} samples beyond 2**24 are rounded to float32's 24 significant bits",
                      PrecisionWarning, stacklevel=4)
    if data.dtype.kind == "f" and np.isinf(held_samples[np.isfinite(held)]).any():
        warnings.warn(f"{kind} samples beyond float32's range become infinite", PrecisionWarning, stacklevel=4)
    if mask is not None:
        samples[mask] = np.nan
    return samples


def _integers_rounded(data, samples):
    """Whether float32 rounded any of the floats that are integers (those past its range are said apart)."""
    whole = np.isfinite(samples) & (data == np.trunc(data))
    return bool((samples[whole] != data[whole]).any())


def _exact_in_float32(integers):
    """Whether every integer has at most 24 significant bits once its trailing zero bits are dropped."""
    magnitude = np.abs(integers.astype(np.int64)).view(np.uint64) if integers.dtype.kind == "i" else (
        integers.astype(np.uint64))
    lowest_bit = magnitude & (~magnitude + np.uint64(1))
    return bool((magnitude // np.maximum(lowest_bit, np.uint64(1)) < np.uint64(1 << _FLOAT32_INTEGERS)).all())


def _natural_levels(dtype):
    """The levels an integer type has of itself: its whole range (0..255 for uint8); None for floats, whose
    levels are each plane's range."""
    if dtype.kind == "b":
        return (0, 1)
    if dtype.kind in "iu":
        return (np.iinfo(dtype).min, np.iinfo(dtype).max)
    return None


def from_array(data, levels=None, plane_axis=None):
    """An image from a (height, width) array, or a colour one in either layout, (3, height, width) or (height,
    width, 3), top row first. Levels default to an integer type's whole range (uint8: 0..255), and to each
    plane's range for floats. The masked samples of a numpy masked array are undefined (NaN, as a FITS file's
    BLANK ones are read), which renders black."""
    mask = _planes_first(np.ma.getmaskarray(data), plane_axis) if np.ma.isMaskedArray(data) else None
    data = _planes_first(np.asarray(np.ma.getdata(data)), plane_axis)
    return _image_of(data, _natural_levels(data.dtype) if levels is None else levels, mask=mask)


def _image_of(data, levels, kind=None, scaled_integers=False, mask=None):
    """An image of planes-first samples; levels None: each plane's range. The rest is _float_samples'."""
    planes = 1 if data.ndim == 2 else data.shape[0]
    return Image(_call(_dirira.from_array, _float_samples(data, kind, scaled_integers, mask),
                       None if levels is None else _level_pairs(levels, planes)))


_OPTIONS = {0: "through each plane's display levels", 1: "the samples themselves, clipped to 0..255"}


def write(path, image, levels=None, option=0, progress=None, plane_axis=None, stretch=None, per_plane_levels=False):
    """Writes an Image or an array as a BMP file through CBmp::Write. option 0 renders through the display levels
    (``levels``, else those ``stretch`` chooses, else the image's), 1 the samples clipped to 0..255. ``stretch`` is
    the dirira program's --stretch (minmax, percentile:LO,HI, zscale or asinh), one set of levels for the three
    planes of a colour image unless ``per_plane_levels``; the image itself is left as it is. The file is written
    beside the target and renamed over it when complete: on any failure the old file stays as it was. A name that
    says another format (.fits, .png...) raises ValueError; a read-only target, CannotCreateError."""
    if option not in _OPTIONS:
        raise ValueError(f"option is 0 ({_OPTIONS[0]}) or 1 ({_OPTIONS[1]}), not {option!r}")
    if levels is not None and stretch is not None:
        raise ValueError("levels or stretch, not both: levels are shown as given, a stretch chooses its own")
    if not isinstance(image, Image):
        image = from_array(image, levels, plane_axis)
    elif levels is not None or stretch is not None:  # a copy: the caller's image keeps its levels and samples
        image = _restore(image.data, image.levels if levels is None else _level_pairs(levels, len(image.levels)),
                         *image._record())
    if stretch is not None:
        _warn_of_levels(_dirira.stretch(image._native, stretch, per_plane_levels))
    elif levels is not None:
        _warn_of_levels([(black, white, True) for black, white in image.levels])
    name = _path(path)
    _call(_dirira.write, name, image._native, option, _progress(progress), path=name)


def _warn_of_levels(levels):
    """Says, as the program does, when levels given or a stretch's span nothing or run backwards."""
    for plane, (black, white, finite) in enumerate(levels, 1):
        span = f"black and white are both {black:g}" if black == white else f"black {black:g} is above white {white:g}"
        if not finite:
            warnings.warn(f"plane {plane} has no finite sample: +inf renders white, NaN and -inf black", stacklevel=3)
        elif black >= white:
            warnings.warn(f"plane {plane}: {span}: samples above {black:g} render white, the rest black", stacklevel=3)


def _image_hdu(hdu):
    """The HDU of an HDU list that holds the image, as astropy.io.fits.getdata picks it: the first with data."""
    if isinstance(hdu, list):
        hdu = next((h for h in hdu if getattr(h, "data", None) is not None), hdu[0] if hdu else None)
    if not hasattr(hdu, "header") or not hasattr(hdu, "data"):
        raise TypeError(f"from_hdu takes an astropy image HDU or HDU list, not {type(hdu).__name__}")
    if hdu.data is None:
        raise ValueError(f"the {type(hdu).__name__} holds no data (NAXIS = {hdu.header.get('NAXIS', 0)})")
    if hdu.data.dtype.names is not None:
        raise TypeError(f"a {type(hdu).__name__} holds a table, not an image")
    return hdu


def _smallest_exact(data):
    """The samples at the smallest FITS integer type that holds every one exactly (astropy writes uint16 as
    BITPIX 16 with BZERO 32768), else as they are: the dirira program's default BITPIX."""
    if data.size == 0 or not np.all(np.isfinite(data)) or not np.all(data == np.trunc(data)):
        return data
    low, high = data.min(), data.max()
    for dtype in (np.uint8, np.int16, np.uint16, np.int32):
        if np.iinfo(dtype).min <= low and high <= np.iinfo(dtype).max:
            return data.astype(dtype)
    return data


def from_hdu(hdu, plane=None):
    """An Image from an astropy image HDU (FITS order, bottom row first), or from an HDU list's first HDU with
    data, as the dirira program reads FITS: a gray image, a cube of one or three planes, or with ``plane=N``
    (counted from 1, as FITS counts) plane N of any cube alone; axes beyond the third must have length 1. Its
    levels are each plane's LEVMINn/LEVMAXn where both are numbers (else said), else 0..255 for byte data, else the
    plane's range; cards that run backwards are kept and said, as the program says them."""
    hdu = _image_hdu(hdu)
    data = np.asarray(hdu.data)
    if data.ndim < 2 or any(length != 1 for length in data.shape[:-3]):
        raise ValueError(f"an image HDU of shape {data.shape} is not an image of two axes or a cube of planes")
    data = data.reshape(data.shape[-3:] if data.ndim > 2 else (1,) + data.shape)
    first = 0
    if plane is not None:
        if isinstance(plane, bool) or not isinstance(plane, numbers.Integral) or not 1 <= plane <= data.shape[0]:
            raise ValueError(f"plane is a plane number from 1 to {data.shape[0]}, not {plane!r}")
        first, data = plane - 1, data[plane - 1:plane]
    elif data.shape[0] not in (1, 3):
        raise ValueError(f"a cube of {data.shape[0]} planes: choose one with plane=N")
    data = data[0, ::-1] if data.shape[0] == 1 else data[:, ::-1]
    planes = range(first + 1, first + 1 + (1 if data.ndim == 2 else 3))
    # Once the data are read, astropy's header gives the scaled data's BITPIX (-64 for BZERO 1000 on BITPIX 32
    # data); the file's own stays in _orig_bitpix, where astropy has it.
    bitpix = getattr(hdu, "_orig_bitpix", None) or hdu.header["BITPIX"]
    image = _image_of(np.ascontiguousarray(data), [(0, 255)] * len(planes) if data.dtype == np.uint8 else None,
                      f"BITPIX {bitpix}", bitpix > 0)
    said = []
    cards = [_card_levels(hdu.header, plane, said) for plane in planes]
    image.levels = [own if card is None else card for card, own in zip(cards, image.levels)]
    for words in said:
        warnings.warn(words, stacklevel=2)
    return image


def _card_levels(header, plane, said):
    """A plane's LEVMINn and LEVMAXn as the program reads them: None unless both are numbers (a logical is 0 or 1, a
    string that spells a number is that number, as CFITSIO reads them); a card that is not one is ignored, and
    levels that span nothing are kept, each with the program's words added to ``said``."""
    keys = (f"LEVMIN{plane}", f"LEVMAX{plane}")
    read = [_card_number(header, key, said) for key in keys]
    if None in read:
        return None
    low, high = read
    if low >= high:
        said.append(f"{keys[0]} {low:g} is not below {keys[1]} {high:g}: samples above {low:g} render white, "
                    "the rest black")
    return low, high


def _card_number(header, key, said):
    if key not in header:
        return None
    try:
        return float(header[key])
    except (TypeError, ValueError):
        said.append(f"{key} cannot be read as a number ({header[key]!r}): it is ignored")
        return None


def memory_budget():
    """The paged store's budget in bytes (0: unlimited)."""
    return _dirira.memory_budget()


def set_memory_budget(size):
    """Sets the paged store's budget in bytes for the images made from now on (0: unlimited)."""
    _dirira.set_memory_budget(_budget(size))


def _default_budget():
    """The dirira program's default: half of physical memory (0, no budget, where the system does not say)."""
    try:
        return os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE") // 2
    except (ValueError, OSError):
        return 0


set_memory_budget(_default_budget())


def _accounting():
    """Open files, live and locked blocks and mapped store bytes of the process (for leak tests)."""
    return _dirira.accounting()


# astropy is optional; where it is installed, CCDData.read and write take BMP files (astropy_io.py).
if importlib.util.find_spec("astropy") is not None:
    from . import astropy_io

    astropy_io.register()

# A night of frames: convert_many on a dask.distributed cluster or a process pool (night.py).
from .night import Converted, convert_many  # noqa: E402 (it uses read and write, defined above)
