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
import importlib.util
import os

import numpy as np

from . import _dirira

__all__ = ["Image", "read", "read_header", "info", "write", "from_array", "from_hdu", "BmpError", "CannotCreateError",
           "CannotOpenError", "ReadError", "WriteError", "NoMemoryError", "HeaderSizeError", "NoDibError",
           "HeaderUnusableError", "UnsupportedFileError", "memory_budget", "set_memory_budget", "MAX_IMAGE_PIXELS"]

#: The largest picture read() takes unless told otherwise (Pillow's ceiling, the same number); None: no ceiling.
MAX_IMAGE_PIXELS = 89478485


class BmpError(Exception):
    """A failure of the library, with its status code and message."""

    def __init__(self, status, message):
        super().__init__(message)
        self.status, self.message = status, message


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


_BY_STATUS = {2: CannotCreateError, 3: CannotOpenError, 4: ReadError, 5: WriteError, 6: NoMemoryError,
              7: HeaderSizeError, 10: NoDibError, 17: HeaderUnusableError, -1: UnsupportedFileError}


def _call(function, *args, **kwargs):
    try:
        return function(*args, **kwargs)
    except _dirira._Failure as failure:
        status, message = failure.args
        raise _BY_STATUS.get(status, BmpError)(status, message) from None


class Image:
    """An image of float samples: one plane (gray) or three (red, green, blue).

    ``data`` is a read-only numpy array, (height, width) or (3, height, width),
    top row first, copied once from the library's store on first use.
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
        self._native.levels = [tuple(map(float, pair)) for pair in value]

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
        a = self._native.attributes
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
        header["SRCBITS"] = a["file_bits"]
        for plane, (low, high) in enumerate(self.levels, 1):
            header[f"LEVMIN{plane}"], header[f"LEVMAX{plane}"] = low, high
        return header

    @property
    def attributes(self):
        """The image record's attributes: file, format, bits of the file, saveable flags and the rest."""
        return self._native.attributes

    def min(self, plane=0):
        """The smallest finite sample of the plane (nan when it has none)."""
        return self._native.min(plane)

    def max(self, plane=0):
        """The largest finite sample of the plane (nan when it has none)."""
        return self._native.max(plane)

    def gray(self, x, y, plane=0):
        """Calibrated sample values (GetPixelGrayRaw): exact at integer positions, bilinear at fractional ones;
        x and y broadcast as numpy arrays."""
        return self._native.gray(np.asarray(x), np.asarray(y), plane)

    def gray256(self, x, y, plane=0):
        """Display bytes 0..255 through the plane's levels (GetPixelGray256)."""
        return self._native.gray256(np.asarray(x), np.asarray(y), plane)

    def bright(self, x, y):
        """Colour brightness (GetPixelBrightRaw) of a three-plane image; the sample of a gray one."""
        return self._native.bright(np.asarray(x), np.asarray(y))

    def to_hdu(self):
        """An astropy.io.fits.PrimaryHDU with the data in FITS order and the cards the dirira program writes."""
        from astropy.io import fits
        data = self.data[::-1] if self.data.ndim == 2 else self.data[:, ::-1]
        hdu = fits.PrimaryHDU(np.ascontiguousarray(data))
        cards = self.header
        for key in ("ORIGIN", "SRCFILE", "SRCBITS"):
            if key in cards:
                hdu.header[key] = cards[key]
        for plane in range(1, len(self.levels) + 1):
            hdu.header[f"LEVMIN{plane}"] = cards[f"LEVMIN{plane}"]
            hdu.header[f"LEVMAX{plane}"] = cards[f"LEVMAX{plane}"]
        return hdu

    def __reduce__(self):
        a = self._native.attributes
        return (_restore, (np.asarray(self.data), self.levels, a["file"], a["format"], a["file_bits"], self.source))

    def __repr__(self):
        a = self._native.attributes
        return f"<dirira.Image {a['width']} x {a['height']}, {a['planes']} plane{'s' * (a['planes'] != 1)}>"


def _restore(data, levels, file, format, bits, source):
    native = _call(_dirira.from_array, data, levels)
    native._set_source(file, format, bits, source)
    return Image(native)


def read(path, memory=None, progress=None, allow_short=False, max_pixels=None):
    """Reads a BMP file of any header version. ``memory`` sets the paged store's budget in bytes (beyond it the
    samples page to a swap file); ``progress(stage, value)`` gets the library's progress messages: (0, caption) opens a
    display, (1, percent) moves it, (2, caption or '') closes it; an exception it raises comes out of read().
    A file that holds fewer pixel bytes than its header implies raises UnsupportedFileError naming how many are
    missing; ``allow_short=True`` reads them as 0 and says so in ``warning``. Pictures of more pixels than
    ``max_pixels`` (default MAX_IMAGE_PIXELS; 0 or None there: no ceiling) are refused before memory is taken."""
    ceiling = MAX_IMAGE_PIXELS if max_pixels is None else max_pixels
    return Image(_call(_dirira.read, os.fspath(path), memory, progress, bool(allow_short), int(ceiling or 0)))


def read_header(path):
    """The library's header-only reader (CBmp::GetOrgWidthAndHeight): {'width', 'height', 'planes'}."""
    return _call(_dirira.read_header, os.fspath(path))


def info(path):
    """What `dirira info` prints, as a dict."""
    image = read(path)
    a = image.attributes
    try:
        header_planes = read_header(path)["planes"]
    except BmpError:
        header_planes = None
    return {"file": a["file"], "header": image.source, "format": a["format"], "width": a["width"],
            "height": a["height"], "planes": a["planes"], "colour": a["colour"], "BITPIX": a["bitpix"],
            "BSCALE": a["bscale"], "BZERO": a["bzero"], "original_bits": a["file_bits"], "header_planes": header_planes,
            "saveable_format": a["saveable_format"], "saveable_file": a["saveable_file"],
            "plane_stats": [{"min": image.min(p), "max": image.max(p), "levels": image.levels[p]}
                            for p in range(a["planes"])]}


def from_array(data, levels=None):
    """An image from a (height, width) or (3, height, width) array, top row first; levels default to each
    plane's range."""
    return Image(_call(_dirira.from_array, np.asarray(data, dtype=np.float32), levels))


def write(path, image, levels=None, option=0, progress=None):
    """Writes an Image or an array as a BMP file through CBmp::Write (option 0: through the display levels),
    beside the target and renamed over it when complete: on any failure the old file stays as it was. A name
    that says another format (.fits, .png...) raises ValueError; a read-only target, CannotCreateError."""
    if not isinstance(image, Image):
        image = from_array(image, levels)
    elif levels is not None:
        image = _restore(image.data, levels, *(image.attributes[k] for k in ("file", "format", "file_bits")),
                         image.source)
    _call(_dirira.write, os.fspath(path), image._native, option, progress)


def from_hdu(hdu):
    """An Image from an astropy image HDU (FITS order, bottom row first), with LEVMINn/LEVMAXn as its levels
    where both are present, else each plane's range."""
    data = np.asarray(hdu.data, dtype=np.float32)
    data = data[::-1] if data.ndim == 2 else data[:, ::-1]
    planes = 1 if data.ndim == 2 else data.shape[0]
    levels = None
    keys = [(f"LEVMIN{p}", f"LEVMAX{p}") for p in range(1, planes + 1)]
    if all(low in hdu.header and high in hdu.header for low, high in keys):
        levels = [(float(hdu.header[low]), float(hdu.header[high])) for low, high in keys]
    return from_array(np.ascontiguousarray(data), levels)


def memory_budget():
    """The paged store's budget in bytes (0: unlimited)."""
    return _dirira.memory_budget()


def set_memory_budget(size):
    """Sets the paged store's budget in bytes for the images made from now on (0: unlimited)."""
    _dirira.set_memory_budget(int(size))


def _accounting():
    """Open files, live and locked blocks and mapped store bytes of the process (for leak tests)."""
    return _dirira.accounting()


# astropy is optional; where it is installed, CCDData.read and write take BMP files (astropy_io.py).
if importlib.util.find_spec("astropy") is not None:
    from . import astropy_io

    astropy_io.register()
