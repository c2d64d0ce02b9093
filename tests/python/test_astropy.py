"""CCDData through astropy's unified I/O: the bmp format that importing dirira registers."""
import numpy as np
import pytest
from astropy import units as u
from astropy.io.registry import IORegistryError
from astropy.nddata import CCDData
from astropy.utils.exceptions import AstropyUserWarning

import dirira

rng = np.random.default_rng(3303)


def frame(path, planes):
    """An 8-bit gray or 24-bit colour BMP file of random samples 0..255, and those samples top row first."""
    samples = rng.integers(0, 256, (planes, 13, 21)[3 - planes if planes == 3 else 1:]).astype(np.float32)
    dirira.write(path, samples, levels=[(0, 255)] * planes)
    return samples


@pytest.mark.parametrize("planes", [1, 3], ids=["gray", "colour"])
def test_ccddata_reads_bmp_writes_fits_with_astropy_and_reads_it_back(tmp_path, planes):
    samples = frame(tmp_path / "frame.bmp", planes)
    ccd = CCDData.read(tmp_path / "frame.bmp")
    assert ccd.unit == u.adu
    assert np.array_equal(ccd.data, samples[..., ::-1, :])  # FITS order: the bottom row first
    meta = {"NAXIS": 1 + (planes > 1) + 1, "SRCFILE": "frame.bmp", "SRCBITS": 8 * planes}
    for plane in range(1, planes + 1):
        meta.update({f"LEVMIN{plane}": 0, f"LEVMAX{plane}": 255})
    assert {key: ccd.meta[key] for key in meta} == meta
    ccd.write(tmp_path / "frame.fits")
    back = CCDData.read(tmp_path / "frame.fits")
    assert back.unit == u.adu
    assert np.array_equal(back.data, ccd.data)
    assert {key: back.meta[key] for key in meta} == meta
    back.write(tmp_path / "again.bmp")
    assert (tmp_path / "again.bmp").read_bytes() == (tmp_path / "frame.bmp").read_bytes()


def test_writing_keeps_an_existing_file_and_warns_of_what_bmp_cannot_hold(tmp_path):
    frame(tmp_path / "frame.bmp", 1)
    target = tmp_path / "kept.bmp"
    target.write_bytes(b"precious")
    ccd = CCDData.read(tmp_path / "frame.bmp", unit="electron")
    assert ccd.unit == u.electron
    pytest.raises(FileExistsError, ccd.write, target)
    assert target.read_bytes() == b"precious"
    ccd.mask = ccd.data > 128
    with pytest.warns(AstropyUserWarning, match="no mask"):
        ccd.write(target, overwrite=True)
    assert np.array_equal(CCDData.read(target).data, ccd.data)


def test_files_are_told_by_their_first_bytes_when_read_and_by_name_when_written(tmp_path):
    frame(tmp_path / "frame.img", 1)
    assert CCDData.read(tmp_path / "frame.img").shape == (13, 21)
    (tmp_path / "other.img").write_bytes(b"GIF89a")
    pytest.raises(IORegistryError, CCDData.read, tmp_path / "other.img")
    pytest.raises(IORegistryError, CCDData.read(tmp_path / "frame.img").write, tmp_path / "frame.out")


def test_ccdproc_takes_a_frame_read_from_bmp(tmp_path):
    ccdproc = pytest.importorskip("ccdproc")
    frame(tmp_path / "frame.bmp", 1)
    ccd = CCDData.read(tmp_path / "frame.bmp")
    assert np.array_equal(ccdproc.subtract_bias(ccd, ccd).data, np.zeros((13, 21)))
