"""The dirira program as a user meets it, one table per behaviour: files it cannot read named with the cause by
every command, batches that convert each good file as a conversion of its own would, the version block, and the
progress bar on a terminal. The inputs are written by Pillow (8-bit gray with its 256 grays, or 24-bit colour: the
layouts CBmp::Write gives), or laid out here field by field, and edited byte by byte where a row needs a broken header.

Run by ctest with DIRIRA_PROGRAM naming the program: /usr/bin/python3 -m pytest program_cases_test.py
"""
import io
import os
import struct
import subprocess

import numpy as np
import pytest
from PIL import Image

PROGRAM = os.environ.get("DIRIRA_PROGRAM", "dirira")


def bmp(samples):
    out = io.BytesIO()
    Image.fromarray(np.array(samples, np.uint8)).save(out, "BMP")
    return out.getvalue()


def patched(file, *changes):  # (offset, byte) pairs
    file = bytearray(file)
    for at, value in changes:
        file[at] = value
    return bytes(file)


def run(cwd, *args):
    done = subprocess.run([PROGRAM, *args], cwd=cwd, capture_output=True, text=True, timeout=60)
    return done.returncode, done.stdout, done.stderr


def header_version(bits, compression, width=3, height=2, size=124):
    """24 bytes of pixels behind a header of `size` bytes, a BITMAPV5HEADER unless said, its masks 0."""
    table = bytes(4) if bits == 8 and height < 0 else b""
    fields = struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, compression, 24, 2835, 2835, 0, 0)
    offset = 14 + size + len(table)
    return b"BM" + struct.pack("<IHHI", offset + 24, 0, 0, offset) + fields.ljust(size, b"\0") + table + b"Z" * 24


GRAY, COLOUR, V5FILE = bmp([[1, 2, 3, 4]]), bmp([[[1, 2, 3]]]), header_version(24, 0)
# 2 x 2 at 8 bits behind a core header: 40 + 256 x 4 bytes once widened.
CORE = (b"BM\x27\x04" + bytes(10) + bytes([12, 0, 0, 0, 2, 0, 2, 0, 1, 0, 8, 0])).ljust(1063, b"\xff")
INFO, V5 = "a BITMAPINFOHEADER file (40-byte header): ", "a BITMAPV5HEADER file (124-byte header): "
OS2 = "an OS/2 2.x BITMAPINFOHEADER2 file (64-byte header): "


def row(name, file, why):
    return pytest.param(file, why, id=name)


@pytest.mark.parametrize("file, why", [
    row("cut-short", GRAY[:60], INFO + "the file ends 1022 bytes early: its header puts 4 bytes of pixels at 1078; "
                                       "--allow-short reads the missing pixels as 0"),
    row("core-cut", CORE[:25], "a BITMAPCOREHEADER file (12-byte header): the file ends inside its header"),
    row("64-bits", patched(COLOUR, (28, 64)), INFO + "64 bits per pixel are not supported"),
    row("rle8-24-bits", patched(COLOUR, (30, 1)), INFO + "RLE8 with 24 bits per pixel"),
    row("compression-9", patched(GRAY, (28, 16), (30, 9)), INFO + "compression 9 is unknown"),
    row("v4-cut", patched(COLOUR[:18], (14, 108)), "a BITMAPV4HEADER file (108-byte header): the file ends inside "
                                                   "its header"),
    row("not-bmp", b"B" + bytes(43), "not a BMP file: it begins with neither \"BM\" nor a bitmap header"),
    row("v5-compression-7", header_version(24, 7), V5 + "compression 7 is unknown"),
    row("os2-compression-5", header_version(24, 5, size=64), OS2 + "compression 5 is unknown"),
    row("v5-png", header_version(24, 5), V5 + "it holds an embedded PNG image (compression 5), which is not decoded"),
    row("v5-rle-top-down", header_version(8, 1, height=-2), V5 + "RLE rows stored top-down"),
    row("os2-huffman", header_version(24, 3, size=64), OS2 + "OS/2 Huffman 1D compression (3) is not supported"),
    row("os2-rle24", header_version(24, 4, size=64), OS2 + "RLE24 compression (4) is not supported"),
    row("v5-64-bits", header_version(64, 0), V5 + "64 bits per pixel are not supported"),
    row("v5-12-bits", header_version(12, 0), V5 + "12 bits per pixel is no BMP depth"),
    row("v5-no-table", header_version(8, 0), V5 + "no colour table"),
    row("v5-rle8-24-bits", header_version(24, 1), V5 + "RLE8 with 24 bits per pixel"),
    row("v5-rle4-8-bits", header_version(8, 2), V5 + "RLE4 with 8 bits per pixel"),
    row("v5-fields-24-bits", header_version(24, 3), V5 + "bit fields with 24 bits per pixel"),
    row("v5-no-width", header_version(24, 0, width=0), V5 + "no picture: 0 x 2 pixels"),
    row("v5-no-height", header_version(24, 0, height=0), V5 + "no picture: 3 x 0 pixels"),
    row("100-byte-header", header_version(24, 0, size=100), "a 100-byte bitmap header, which no BMP version has"),
    row("v5-offset-in-headers", patched(V5FILE, (10, 100)), V5 + "its pixel offset 100 lies inside its headers"),
    row("v5-over-4-gib", header_version(24, 0, width=0x7FFFFFFF, height=3), V5 + "its 2147483647 x 3 pixels need "
                                                                               "more than 4 GiB"),
    row("v5-cut-short", patched(V5FILE, (10, 163)), V5 + "the file ends 25 bytes early: its header puts 24 bytes of "
                                                         "pixels at 163; --allow-short reads the missing pixels as 0"),
])
def test_a_file_that_cannot_be_read_is_named_with_its_cause_by_every_command(tmp_path, file, why):
    (tmp_path / "in.bmp").write_bytes(file)
    said = (1, "", f"dirira: in.bmp: cannot read: {why}\n")
    assert [run(tmp_path, command, "in.bmp", *out) for command, *out in
            (["info"], ["convert", "o.bmp"], ["convert", "o.fits"])] == [said] * 3
    assert os.listdir(tmp_path) == ["in.bmp"]


def test_a_batch_converts_each_good_file_as_a_conversion_of_its_own_and_names_the_bad_one(tmp_path):
    rng = np.random.default_rng(77)
    names = [f"in{i}.x.bmp" for i in range(7)]
    names[3] = "in3.bmp"  # two bytes: no picture
    for i, name in enumerate(names):
        shape = (4, 6, 3) if i % 2 else (4, 6)  # colour and gray in turn
        (tmp_path / name).write_bytes(b"BM" if i == 3 else bmp(rng.integers(0, 256, shape)))
    for to, jobs in (("fits", "1"), ("fits", "3"), ("bmp", "1"), ("bmp", "3")):
        out = tmp_path / f"out-{to}{jobs}"
        out.mkdir()
        folder = str(out) + ("/" if jobs == "1" else "")  # a trailing slash changes nothing
        status, _, err = run(tmp_path, "convert", "-j", jobs, "--to", to, "-o", folder, *names)
        assert (status, err[err.index("dirira: 1 of"):]) == (1, "dirira: 1 of 7 files failed: in3.bmp\n")
        assert sorted(p.name for p in out.iterdir()) == sorted(n[:-3] + to for n in names if n != "in3.bmp")
        for name in names[:3] + names[4:]:
            run(tmp_path, "convert", name, f"single.{to}")
            assert (out / (name[:-3] + to)).read_bytes() == (tmp_path / f"single.{to}").read_bytes(), name
    assert run(tmp_path, "convert", "--to", "fits", "-o", tmp_path, "x.bmp", "b/x.bmp") == (
        2, "", f"dirira: two inputs would both become {tmp_path}/x.fits; nothing converted\n")


def test_about_shows_the_version_block_and_the_format_names(tmp_path):
    status, out, err = run(tmp_path, "about")
    assert (status, out.startswith("library: "), out[out.index("\n") + 1:], err) == (0, True, (
        "version block:\n  FileDescription   BITMAP I/O DLL\n  FileVersion       2.0.1.1\n  ProductVersion    2.1\n"
        "  InternalName      DIRIRA\n  OriginalFilename  DIRIRA.DLL\n"
        "format names:\n  7001 BMP (無圧縮)\n  7002 BMP (RLE圧縮)\n"), "")


def on_terminal(cwd, *args):
    """The exit status and everything the program wrote to a pseudo-terminal, its only output."""
    leader, follower = os.openpty()
    child = subprocess.Popen([PROGRAM, *args], cwd=cwd, stdin=follower, stdout=follower, stderr=follower)
    os.close(follower)
    shown = b""
    while True:
        try:
            chunk = os.read(leader, 65536)
        except OSError:  # Linux says EIO once the program closed the terminal
            chunk = b""
        if not chunk:
            break
        shown += chunk
    os.close(leader)
    return child.wait(), shown.decode()


@pytest.mark.parametrize("option", ["-j1", "--quiet"])
def test_on_a_terminal_the_bar_is_wiped_before_the_result_and_quiet_draws_none(tmp_path, option):
    (tmp_path / "in.bmp").write_bytes(bmp(np.full((200, 300, 3), 9)))
    status, shown = on_terminal(tmp_path, "convert", "in.bmp", "new.bmp", option)
    result = "in.bmp -> new.bmp: 300 x 200, 3 planes\r\n"
    drawn = "\r" + " " * 78 + "\r" + result  # the bar of 80 columns wiped, then the result
    if option == "--quiet":
        assert (status, shown) == (0, "")
    else:
        assert (status, "] 100%" in shown, shown[-len(drawn):]) == (0, True, drawn)
