"""The `bmp` format of astropy's unified I/O, registered when dirira is imported where astropy is installed:

    >>> from astropy.nddata import CCDData
    >>> ccd = CCDData.read("frame.bmp")           # by the extension, or format="bmp"
    >>> ccd.write("frame.fits")                   # astropy's own FITS writer
    >>> ccd.write("copy.bmp", overwrite=True)     # through CBmp::Write, at the levels in ccd.meta

The data is in FITS order, as every astropy reader gives it: the bottom row first (row 0 is y = 0 of the FITS
image) and a colour image as (3, height, width), NAXIS3 the plane axis. The meta is the header the dirira
program writes to FITS (BITPIX, NAXISn, ORIGIN, SRCFILE, SRCBITS, LEVMINn/LEVMAXn).
"""
import os
import warnings

from astropy.io import fits, registry
from astropy.nddata import CCDData
from astropy.utils.exceptions import AstropyUserWarning

import dirira

FORMAT = "bmp"
_EXTENSIONS = (".bmp", ".dib")
_MAGIC = b"BM"


def read_bmp(filename, unit="adu", memory=None):
    """A CCDData of a BMP file of any header version. A BMP file has no unit: its samples are counts (``adu``)
    unless ``unit`` names another."""
    hdu = dirira.read(_named_file(filename), memory=memory).to_hdu()
    return CCDData(hdu.data, unit=unit, meta=hdu.header)


def _named_file(file):
    """astropy hands a reader the file object it opened to identify the format; the library opens files by name."""
    if not hasattr(file, "read"):
        return file
    name = getattr(file, "name", None)
    if not isinstance(name, (str, bytes)):
        raise TypeError("dirira reads BMP files by name, and this file object has none")
    return name


def write_bmp(ccd, filename, overwrite=False):
    """Writes a CCDData as a BMP file through the display levels LEVMINn/LEVMAXn of its meta (each plane's range
    where they are absent). An existing file is replaced only with ``overwrite=True``; a mask or an uncertainty,
    which BMP cannot hold, is left out with a warning."""
    if not overwrite and os.path.exists(filename):
        raise FileExistsError(f"{os.fsdecode(filename)} already exists; pass overwrite=True to replace it")
    left_out = [name for name in ("mask", "uncertainty") if getattr(ccd, name) is not None]
    if left_out:
        warnings.warn(f"a BMP file holds no {' or '.join(left_out)}: {os.fsdecode(filename)} has the data alone",
                      AstropyUserWarning)
    dirira.write(filename, dirira.from_hdu(fits.PrimaryHDU(ccd.data, header=fits.Header(ccd.meta))))


def is_bmp(origin, filepath, fileobj, *args, **kwargs):
    """A file starting with "BM" when astropy has opened it; otherwise a name ending in .bmp or .dib."""
    if fileobj is not None:
        start = fileobj.tell()
        magic = fileobj.read(len(_MAGIC))
        fileobj.seek(start)
        return magic == _MAGIC
    return filepath is not None and os.fsdecode(filepath).lower().endswith(_EXTENSIONS)


def register():
    registry.register_reader(FORMAT, CCDData, read_bmp, force=True)
    registry.register_writer(FORMAT, CCDData, write_bmp, force=True)
    registry.register_identifier(FORMAT, CCDData, is_bmp, force=True)
