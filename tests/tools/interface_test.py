"""The program's interface as people expect it from coreutils and netpbm: one row per command line, with the
exit status, standard output and standard error it must give, whole. The files are made here byte for byte;
`info --json` is read back by Python's strict json parser and compared with the Python module's dirira.info();
the progress bar is drawn on a pseudo-terminal of two widths.
"""
import codecs, fcntl, io, json, os, re, struct, subprocess, termios

import numpy as np
import pytest
from astropy.io import fits
from PIL import Image

PROGRAM = os.environ.get("DIRIRA_PROGRAM", "dirira")
GRAY_TABLE = b"".join(bytes((i, i, i, 0)) for i in range(256))
V5_MASKS = struct.pack("<IIII", 0xFF0000, 0xFF00, 0xFF, 0)  # red, green, blue, alpha


def bmp(width, bits, compression, pixels, header=40, table=GRAY_TABLE, masks=b"", height=1):
    """A one-row BMP file: the header's fields, its masks, its colour table, then the pixel bytes."""
    fields = struct.pack("<IiiHHIIiiII", header, width, height, 1, bits, compression, len(pixels), 0, 0,
                         len(table) // 4, 0)
    info = (fields + masks).ljust(header, b"\0")
    offset = 14 + len(info) + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + table + pixels


FILES = {
    "g.bmp": bmp(3, 8, 0, bytes([10, 200, 7, 0])),
    "r.bmp": bmp(3, 8, 1, bytes([2, 9, 1, 4, 0, 1])),  # RLE8: two pixels of 9, one of 4, the end
    "v5.bmp": bmp(1, 32, 3, bytes([1, 2, 3, 0]), header=124, table=b"", masks=V5_MASKS),  # red 3, green 2, blue 1
    "-x.bmp": bmp(3, 8, 0, bytes([10, 200, 7, 0])),
    "down.bmp": bmp(3, 8, 0, bytes([10, 200, 7, 0]), height=-1),  # rows top-down: the header reader refuses it
    "flat.bmp": bmp(2, 8, 0, bytes([9, 9, 0, 0])),
    "short.bmp": bmp(1, 32, 3, bytes([1, 2, 3]), header=124, table=b"", masks=V5_MASKS),  # a padding byte short
    "in\x01.bmp": bmp(3, 8, 0, bytes([10, 200, 7, 0])),  # a control character, which JSON escapes
    b"caf\xe9.bmp": bmp(3, 8, 0, bytes([10, 200, 7, 0])),  # a Latin-1 name, not UTF-8
    "n\u00e9buleuse \u2605 5\u00b0.bmp": bmp(3, 8, 0, bytes([10, 200, 7, 0])),  # UTF-8 of 2 and 3 bytes, kept as it is
}
ONE_HDU = io.BytesIO()
fits.PrimaryHDU(np.array([[1, 2, 3]], np.float32)).writeto(ONE_HDU)
FILES["u.fits"] = ONE_HDU.getvalue()
TILES = io.BytesIO()
fits.HDUList([fits.PrimaryHDU(), fits.CompImageHDU(np.array([[1, 2, 3]], np.int16))]).writeto(TILES)
FILES["u.fz"] = TILES.getvalue()
# The JSON rule for a name that is not UTF-8: each byte outside a UTF-8 sequence read as Latin-1.
codecs.register_error("latin1", lambda error: (error.object[error.start:error.end].decode("latin-1"), error.end))


def block(name, header, fmt, size, bits, header_planes, planes):
    lines = [("file", name), ("header", header), ("format", fmt), ("size", size),
             ("samples", "BITPIX -32, BSCALE 1, BZERO 0"), ("original", bits), ("header planes", header_planes),
             ("saveable", "format 1, file 1")] + planes
    return "".join(f"{label + ':':<18}{text}\n" for label, text in lines)


LIBRARY = "BITMAPINFOHEADER (40-byte header), read by the library"
GRAY = block("g.bmp", LIBRARY, "BMP, uncompressed", "3 x 1, 1 plane (gray)", "8 bits per pixel", "1",
             [("plane 1", "min 7, max 200, display levels 0..255")])
RLE = block("r.bmp", LIBRARY, "BMP, run-length encoded", "3 x 1, 1 plane (gray)", "8 bits per pixel", "1",
            [("plane 1", "min 4, max 9, display levels 0..255")])
V5 = block("v5.bmp", "BITMAPV5HEADER (124-byte header), read by the program's reader", "BMP, uncompressed",
           "1 x 1, 3 planes (colour)", "32 bits per pixel", "none (the library's header reader takes no "
           "BITMAPV5HEADER)", [(f"plane {p}", f"min {v}, max {v}, display levels 0..255") for p, v in
                               ((1, 3), (2, 2), (3, 1))])
HISTOGRAM = "histogram 1:      2" + " 0" * 62 + " 1\n"  # 10 and 7 in the first of 64 bins from 7 to 200
DOWN = GRAY.replace("g.bmp", "down.bmp").replace("header planes:    1", "header planes:    none (the headers do not "
                                                 "describe a picture of positive width and height)")
FLAT = block("flat.bmp", LIBRARY, "BMP, uncompressed", "2 x 1, 1 plane (gray)", "8 bits per pixel", "1",
             [("plane 1", "min 9, max 9, display levels 0..255"), ("histogram 1", "2" + " 0" * 63)])

INFO_USAGE = "usage: dirira info [OPTIONS] FILE...\n"
CONVERT_USAGE = "usage: dirira convert [OPTIONS] IN OUT\n       dirira convert [OPTIONS] IN... -o DIR --to fits|bmp\n"
PREVIEW_USAGE = "usage: dirira preview [OPTIONS] IN OUT.png\n"
MEMORY = "dirira: --memory wants a size such as 512M, 4g or 1.5G, not '{}'\n" + CONVERT_USAGE
USAGE = "{usage}"  # the global usage, as `dirira --help` prints it
NO_INPUT = "dirira: a.bmp: cannot read: No such file or directory\n"

# name: (arguments, exit status, standard output, standard error)
CASES = {
    "-h is --help": (["-h"], 0, USAGE, ""),
    "no command": ([], 2, "", USAGE),
    "unknown command": (["bogus"], 2, "", "dirira: unknown command 'bogus'\n" + USAGE),
    "unknown global option": (["--bogus"], 2, "", "dirira: unknown option '--bogus'\n" + USAGE),
    "info --help": (["info", "--help"], 0, INFO_USAGE + "{info help}", ""),
    "fits-info --help": (["fits-info", "--help"], 0,
                         "usage: dirira fits-info FILE.fits\nThe header of every HDU of a FITS file.\n", ""),
    "about -h": (["about", "-h"], 0,
                 "usage: dirira about\nThe library's version block and the names of the formats it reads.\n", ""),
    "about with a file": (["about", "x"], 2, "", "dirira: about takes no file\nusage: dirira about\n"),
    "fits-info without a file": (["fits-info"], 2, "",
                                 "dirira: fits-info wants one FITS file\nusage: dirira fits-info FILE.fits\n"),
    "fits-info with an option": (["fits-info", "-v", "a.fits"], 2, "",
                                 "dirira: fits-info has no option -v\nusage: dirira fits-info FILE.fits\n"),
    "fits-info of a BMP file": (["fits-info", "g.bmp"], 1, "", "dirira: g.bmp: a BMP file, not FITS\n"),
    "info without a file": (["info"], 2, "", "dirira: info wants the files to describe, FILE...\n" + INFO_USAGE),
    "info unknown option": (["info", "-x", "g.bmp"], 2, "", "dirira: info has no option -x\n" + INFO_USAGE),
    "info bad --memory": (["info", "--memory=2x", "g.bmp"], 2, "",
                          "dirira: --memory wants a size such as 512M, 4g or 1.5G, not '2x'\n" + INFO_USAGE),
    "convert option error, its usage": (["convert", "-f", "a", "b"], 2, "",
                                        "dirira: convert has no option -f\n" + CONVERT_USAGE),
    "convert -h": (["convert", "-h"], 0, "{convert help}", ""),
    "preview without arguments": (["preview"], 2, "", "dirira: preview wants a picture to read and a PNG file to "
                                  "write, IN OUT.png\n" + PREVIEW_USAGE),
    "preview option error, its usage": (["preview", "--size=0x3", "a", "b.png"], 2, "",
                                        "dirira: --size wants WIDTHxHEIGHT, not '0x3'\n" + PREVIEW_USAGE),
    "preview unknown option": (["preview", "-x", "g.bmp", "p.png"], 2, "",
                               "dirira: preview has no option -x\n" + PREVIEW_USAGE),
    "preview --size past an int": (["preview", "--size=99999999999x2", "g.bmp", "p.png"], 2, "",
                                   "dirira: --size wants WIDTHxHEIGHT, not '99999999999x2'\n" + PREVIEW_USAGE),
    "--shard past its count": (["convert", "--shard", "3/2", "-o.", "--to=fits", "g.bmp"], 2, "",
                               "dirira: --shard wants K/N, 1 <= K <= N, not '3/2'\n" + CONVERT_USAGE),
    "--shard past an int": (["convert", "--shard=1/99999999999", "-o.", "--to=fits", "g.bmp"], 2, "",
                            "dirira: --shard wants K/N, 1 <= K <= N, not '1/99999999999'\n" + CONVERT_USAGE),
    "--shard of one file": (["convert", "--shard=1/2", "g.bmp", "o.fits"], 2, "",
                            "dirira: --shard is for batches (-o DIR)\n" + CONVERT_USAGE),
    "preview --plane and --colour": (["preview", "--plane=2", "--colour", "a", "b.png"], 2, "",
                                     "dirira: preview takes --plane or --colour, not both\n" + PREVIEW_USAGE),
    "preview --plane counts from 1": (["preview", "--plane", "2", "g.bmp", "p.png"], 1, "",
                                      "dirira: g.bmp: no plane 2; the image has 1\n"),
    "preview --hdu": (["preview", "--hdu=2", "u.fits", "p.png"], 1, "", "dirira: u.fits: no HDU 2: the file has 1\n"),
    "--max-pixels with letters": (["info", "--max-pixels=5x", "g.bmp"], 2, "",
                                  "dirira: --max-pixels wants a number of pixels (0: no ceiling), not '5x'\n" +
                                  INFO_USAGE),
    "--levels given": (["convert", "--levels", "0,100", "u.fits", "levels.bmp"], 0,
                       "u.fits -> levels.bmp: 3 x 1, 1 plane\n", ""),
    "written: BMP": (["convert", "r.bmp", "o.bmp"], 0, "r.bmp -> o.bmp: 3 x 1, 1 plane\n", ""),
    "written: FITS": (["convert", "g.bmp", "o.fits"], 0, "g.bmp -> o.fits: 3 x 1, 1 plane, BITPIX 8\n", ""),
    "written, --quiet": (["convert", "-q", "g.bmp", "o.fits"], 0, "", ""),
    "written: gzip": (["convert", "v5.bmp", "o.fits.gz"], 0, "v5.bmp -> o.fits.gz: 1 x 1, 3 planes, BITPIX 8\n", ""),
    "written: gzip, named .fit.gz": (["convert", "g.bmp", "o.fit.gz"], 0,
                                     "g.bmp -> o.fit.gz: 3 x 1, 1 plane, BITPIX 8\n", ""),
    "written: a batch of a .fz input": (["convert", "-o.", "--to=bmp", "u.fz"], 0, "u.fz -> ./u.bmp: 3 x 1, 1 plane\n",
                                        ""),
    "written: tile-compressed": (["convert", "--bitpix=-64", "g.bmp", "o.fz"], 0,
                                 "g.bmp -> o.fz: 3 x 1, 1 plane, BITPIX -64\n", ""),
    "written: preview": (["preview", "--stretch=minmax", "u.fits", "p.png"], 0,
                         "u.fits -> p.png: 3 x 1, 1 plane, from 3 x 1, stretch minmax\nplane 1: black 1, white 3\n",
                         ""),
    "written: preview, --quiet": (["preview", "-q", "u.fits", "p.png"], 0, "", ""),
    "written: a batch with a failure": (["convert", "-o.", "--to=fits", "g.bmp", "a.bmp", "r.bmp"], 1,
                                        "g.bmp -> ./g.fits: 3 x 1, 1 plane, BITPIX 8\n"
                                        "r.bmp -> ./r.fits: 3 x 1, 1 plane, BITPIX 8\n",
                                        NO_INPUT + "dirira: 1 of 3 files failed: a.bmp\n"),
    "--bitpix, a BMP output": (["convert", "--bitpix", "16", "u.fits", "o.bmp"], 2, "",
                               "dirira: --bitpix is for FITS outputs\n" + CONVERT_USAGE),
    "--allow-short, a FITS input": (["convert", "--allow-short", "u.fits", "o.bmp"], 2, "",
                                    "dirira: --allow-short is for BMP inputs\n" + CONVERT_USAGE),
    "--stretch, a BMP input": (["convert", "--stretch=zscale", "g.bmp", "o.bmp"], 2, "",
                               "dirira: --stretch is for FITS inputs written as BMP files\n" + CONVERT_USAGE),
    "--plane, a batch to FITS": (["convert", "--plane=1", "-o.", "--to", "fits", "u.fits"], 2, "",
                                 "dirira: --plane is for FITS inputs written as BMP files\n" + CONVERT_USAGE),
    "--per-plane-levels, BMP inputs": (["convert", "--per-plane-levels", "-o.", "--to=bmp", "g.bmp"], 2, "",
                                       "dirira: --per-plane-levels is for FITS inputs written as BMP files\n" +
                                       CONVERT_USAGE),
    "--hdu, --allow-short, a mixed batch": (["convert", "-q", "--hdu=1", "--allow-short", "-o.", "--to=bmp", "a.bmp",
                                             "u.fits"], 1, "",
                                           NO_INPUT + "dirira: 1 of 2 files failed: a.bmp\n"),
    "preview --allow-short, a FITS input": (["preview", "--allow-short", "u.fits", "p.png"], 2, "",
                                            "dirira: --allow-short is for BMP inputs\n" + PREVIEW_USAGE),
    "preview --hdu, a BMP input": (["preview", "--hdu=2", "g.bmp", "p.png"], 2, "",
                                   "dirira: --hdu is for FITS inputs\n" + PREVIEW_USAGE),
    "--levels of one number": (["convert", "--levels", "100", "u.fits", "o.bmp"], 2, "",
                               "dirira: --levels wants LOW,HIGH, LOW below HIGH, not '100'\n" + CONVERT_USAGE),
    "--levels of no width": (["convert", "--levels", "5,5", "u.fits", "o.bmp"], 2, "",
                             "dirira: --levels wants LOW,HIGH, LOW below HIGH, not '5,5'\n" + CONVERT_USAGE),
    "info --json --histogram": (["info", "--json", "--histogram", "flat.bmp"], 0, json.dumps({
        "file": "flat.bmp", "header": LIBRARY, "format": "BMP, uncompressed", "width": 2, "height": 1, "planes": 1,
        "colour": False, "BITPIX": -32, "BSCALE": 1, "BZERO": 0, "original_bits": 8, "header_planes": 1,
        "saveable_format": True, "saveable_file": True,
        "plane_stats": [{"min": 9, "max": 9, "levels": [0, 255], "histogram": [2] + [0] * 63}]}).replace("{", "{{").replace("}", "}}") + "\n", ""),
    "-j attached": (["convert", "-j2", "a.bmp", "b.fits"], 1, "", NO_INPUT),
    "-j attached, out of range": (["convert", "-j0", "a.bmp", "b.fits"], 2, "",
                                  "dirira: -j wants a number of jobs from 1 to 1024, not '0'\n" + CONVERT_USAGE),
    "-j with letters": (["convert", "-j", "2x", "a.bmp", "b.fits"], 2, "",
                        "dirira: -j wants a number of jobs from 1 to 1024, not '2x'\n" + CONVERT_USAGE),
    "-o attached, --to in capitals": (["convert", "-o.", "--to", "FITS", "a.bmp"], 1, "",
                                      NO_INPUT + "dirira: 1 of 1 files failed: a.bmp\n"),
    "-o a folder that is not there": (["convert", "-o", "none", "--to", "fits", "g.bmp", "r.bmp"], 2, "",
                                      "dirira: none: cannot write outputs there: No such file or directory; nothing "
                                      "converted\n"),
    "-o a file": (["convert", "-og.bmp", "--to", "fits", "r.bmp"], 2, "",
                  "dirira: g.bmp: cannot write outputs there: Not a directory; nothing converted\n"),
    "--to=value": (["convert", "--to=Bmp", "a.bmp", "b.bmp"], 2, "",
                   "dirira: convert wants IN OUT, or inputs with -o DIR --to fits|bmp\n" + CONVERT_USAGE),
    "--memory 2g": (["convert", "--memory", "2g", "a.bmp", "b.fits"], 1, "", NO_INPUT),
    "--memory 1.5G": (["convert", "--memory=1.5G", "a.bmp", "b.fits"], 1, "", NO_INPUT),
    "--memory 0.5 is no byte": (["convert", "--memory", "0.5", "a", "b"], 2, "", MEMORY.format("0.5")),
    "--memory 16777216T is 2^64": (["convert", "--memory", "16777216T", "a", "b"], 2, "", MEMORY.format("16777216T")),
    "--memory 16777215.99T": (["convert", "--memory", "16777215.99T", "a.bmp", "b.fits"], 1, "", NO_INPUT),
    "--memory with a bad unit": (["convert", "--memory", "2Q", "a", "b"], 2, "", MEMORY.format("2Q")),
    "--memory with a long unit": (["convert", "--memory", "2GG", "a", "b"], 2, "", MEMORY.format("2GG")),
    "--memory negative": (["convert", "--memory", "-1G", "a", "b"], 2, "", MEMORY.format("-1G")),
    "--memory dot first": (["convert", "--memory", ".5G", "a", "b"], 2, "", MEMORY.format(".5G")),
    "--memory missing": (["convert", "a", "b", "--memory"], 2, "", MEMORY.format("")),
    "-- ends the options": (["info", "--", "-x.bmp"], 0, GRAY.replace("g.bmp", "-x.bmp"), ""),
    "info of several files, one missing": (["info", "g.bmp", "a.bmp", "r.bmp", "v5.bmp"], 1,
                                           GRAY + "\n" + RLE + "\n" + V5, NO_INPUT),
    "info, rows top-down": (["info", "down.bmp"], 0, DOWN, ""),
    "info, one value": (["info", "--histogram", "flat.bmp"], 0, FLAT, ""),
    "info, cut short": (["info", "--allow-short", "short.bmp"], 0, V5.replace("v5.bmp", "short.bmp"),
                        "dirira: short.bmp: warning: the file ends 1 byte early; those pixels read as 0\n"),
    "info --histogram": (["info", "--histogram", "--memory", "1M", "g.bmp"], 0, GRAY + HISTOGRAM, ""),
}


@pytest.fixture(scope="module")
def folder(tmp_path_factory):
    path = tmp_path_factory.mktemp("interface")
    for name, data in FILES.items():
        (path / os.fsdecode(name)).write_bytes(data)
    return path


@pytest.fixture(scope="module")
def known(folder):
    """The texts rows refer to by name: the global usage, and the help that follows a command's usage."""
    texts = {"usage": run(["--help"], folder)[1], "info help": run(["info", "--help"], folder)[1][len(INFO_USAGE):],
             "convert help": run(["convert", "--help"], folder)[1]}
    assert texts["info help"].startswith("What reading each BMP file gives")
    assert texts["convert help"].startswith(CONVERT_USAGE + "Reads BMP files")
    return texts


def run(arguments, cwd):
    done = subprocess.run([PROGRAM, *arguments], cwd=cwd, capture_output=True, timeout=60)
    return done.returncode, done.stdout.decode(), done.stderr.decode()


@pytest.mark.parametrize("name", CASES)
def test_command_line(name, folder, known):
    arguments, status, out, err = CASES[name]
    expected = (status, out.format_map(known), err.format_map(known))
    assert run(arguments, folder) == expected


def test_json_is_what_python_says(folder, monkeypatch):
    # The extension, not the package: where the module is not built (the sanitizer build), the folder
    # tests/tools/dirira would import as an empty namespace package under that name.
    pytest.importorskip("dirira._dirira", reason="the Python module is not built here")
    import dirira
    names = [os.fsdecode(name) for name in FILES if name not in ("short.bmp", "u.fits", "u.fz")]  # BMP files that read
    status, out, err = run(["info", "--json", "--", *names], folder)
    monkeypatch.chdir(folder)
    said = [dirira.info(name) for name in names]
    for entry in said:
        entry["file"] = os.fsencode(entry["file"]).decode("utf-8", "latin1")
    assert (status, err, [json.loads(line) for line in out.splitlines()]) == (0, "", said)


WIDEST_BAR = 40 + 2 + 30 + 2 + 4  # caption, " [", bar, "] ", "100%"
NEBULA = "la-n\u00e9buleuse-du-crabe-M1.bmp"  # 29 bytes: at 27 columns, the cut falls inside the é


@pytest.mark.parametrize("output", ["out.bmp", "out.fits", "out.fits.gz", "out.fz"])
@pytest.mark.parametrize("columns, last_bar, caption, bar", [
    (63, "...buleuse-du-crabe-M1.bmp  [" + "#" * 27 + "] 100%", 27, 27),  # 54 columns to share
    (120, NEBULA + " " * 11 + " [" + "#" * 30 + "] 100%", 40, 30),  # room to spare
])
def test_progress_bar_fits_the_terminal(columns, last_bar, caption, bar, output, tmp_path):
    """Every drawing of the bar, and every wipe, stays within one column less than the terminal's width; the
    reading and the writing, of every kind of output, each reach 100%, and the output's line follows the last wipe."""
    image = Image.fromarray(np.random.default_rng(35).integers(0, 256, (200, 300, 3), dtype=np.uint8))
    image.save(tmp_path / NEBULA)
    leader, follower = os.openpty()
    fcntl.ioctl(follower, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
    child = subprocess.Popen([PROGRAM, "convert", NEBULA, output], cwd=tmp_path, stdin=follower,
                             stdout=follower, stderr=follower)
    os.close(follower)
    shown = b""
    while chunk := read_terminal(leader):
        shown += chunk
    os.close(leader)
    drawings = [text for text in shown.decode().replace("\r\n", "\r").split("\r") if "[" in text or text.isspace()]
    written = f"{output:<{caption}} [{'#' * bar}] 100%"
    assert (child.wait(), last_bar in drawings, written in drawings) == (0, True, True)
    assert max(len(text) for text in drawings) == min(columns - 1, WIDEST_BAR)
    line = f"{NEBULA} -> {output}: 300 x 200, 3 planes{'' if output.endswith('.bmp') else ', BITPIX 8'}\r\n"
    assert shown.decode().endswith("\r" + " " * min(columns - 1, WIDEST_BAR) + "\r" + line)


def read_terminal(leader):
    """The next bytes the program wrote to the terminal; b"" once it closed it (Linux says EIO)."""
    try:
        return os.read(leader, 65536)
    except OSError:
        return b""


def test_the_manual_names_every_command_and_option(folder):
    """Each word of the form --name or -x in the program's helps is in the man page, and so is each command."""
    manual = open(os.path.join(os.path.dirname(__file__), "../../docs/dirira.1")).read().replace("\\-", "-")
    helps = "".join(run([*command, "--help"], folder)[1] for command in
                    ([], ["info"], ["about"], ["fits-info"], ["preview"], ["convert"]))
    words = set(re.findall(r"(?<![\w-])(--?[a-z][a-z-]*)", helps)) | {"about", "fits-info", "preview", "convert"}
    assert sorted(word for word in words if not re.search(rf"(?<![\w-]){word}(?![\w-])", manual)) == []


def test_info_keeps_its_order_in_one_stream(folder):
    """Into one file, as `2>&1` does: each block before the next file's message."""
    done = subprocess.run([PROGRAM, "info", "g.bmp", "a.bmp", "r.bmp"], cwd=folder, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=60)
    assert (done.returncode, done.stdout.decode()) == (1, GRAY + NO_INPUT + "\n" + RLE)
