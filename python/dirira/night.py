"""A night of frames from Python: one task per file, on a dask.distributed cluster or a local process pool.

Each task reads one BMP file and writes it to the output folder as FITS (Image.to_hdu, the cards and BITPIX the
dirira program writes) or BMP, through the durable writer the program uses: an output appears whole or not at
all, so a task that dies (a worker killed, a node lost) leaves nothing half written, and dask's rerun of the task
elsewhere, or a later call with skip_existing, writes it whole.
"""
import collections
import concurrent.futures
import os

from . import _dirira

Converted = collections.namedtuple("Converted", "input output status reason")
Converted.__doc__ = """What became of one input: status "written", "skipped" (its output is no older than it) or
"failed", with the reason in the user's words."""

_SUFFIXES = {"fits": ".fits", "bmp": ".bmp"}


def output_in(out_dir, path, to):
    """OUT_DIR/NAME.fits or OUT_DIR/NAME.bmp for an input, its extension replaced (both of a .fits.gz's), as the
    dirira program names a batch's outputs."""
    name = os.path.basename(os.fsdecode(path))
    if name.lower().endswith((".gz", ".fz")):
        name = name[:-3]
    stem, dot, _ = name.rpartition(".")
    return os.path.join(os.fsdecode(out_dir), (stem if dot and stem else name) + _SUFFIXES[to])


def up_to_date(source, output):
    """Whether the output exists and was last changed no earlier than its input, as --skip-existing judges."""
    try:
        return os.stat(output).st_mtime_ns >= os.stat(source).st_mtime_ns
    except OSError:
        return False


def convert_one(source, output, to="fits", skip_existing=True):
    """Converts one file, as a task of convert_many; returns a Converted and never raises for the file's sake."""
    from . import read, write  # the package is whole by the time a task runs
    if skip_existing and up_to_date(source, output):
        return Converted(source, output, "skipped", "")
    try:
        image = read(source)
        if to == "bmp":
            write(output, image)
        else:
            hdu = image.to_hdu()
            _dirira.write_durably(os.fsencode(output), lambda temporary: hdu.writeto(os.fsdecode(temporary)))
        return Converted(source, output, "written", "")
    except Exception as error:  # one file's failure is reported, the night goes on
        return Converted(source, output, "failed", str(error))


def _file_of(path):
    """The file a path names, as device and inode (through links); None where there is none."""
    try:
        status = os.stat(path)
    except OSError:
        return None
    return status.st_dev, status.st_ino


def convert_many(inputs, out_dir, to="fits", client=None, skip_existing=True, max_workers=None):
    """Converts every input into ``out_dir`` (``to`` "fits" or "bmp"), one task per file: on the dask.distributed
    ``client`` when one is given, else on a local pool of ``max_workers`` processes. Returns one Converted per
    input, in the order given; ``out_dir`` is made where it is missing. Outputs no older than their inputs are skipped (``skip_existing``), so a second
    call after a crash converts what is missing; temporary files of dead processes of this machine are removed
    from ``out_dir`` before and after. Two inputs that would share an output, or an output that is an input
    (through any name or link), raise ValueError before anything is converted."""
    if to not in _SUFFIXES:
        raise ValueError(f"to is 'fits' or 'bmp', not {to!r}")
    sources = [os.fsdecode(path) for path in inputs]
    outputs = [output_in(out_dir, path, to) for path in sources]
    shared = [name for name, count in collections.Counter(outputs).items() if count > 1]
    if shared:
        raise ValueError(f"two inputs would both become {shared[0]}; nothing converted")
    inputs_by_file = {_file_of(source): source for source in reversed(sources)}  # the first input of a file names it
    inputs_by_file.pop(None, None)  # inputs that are not there: they fail one by one
    for output in outputs:  # an input's own folder, or a link to it: the input would be replaced by its output
        source = inputs_by_file.get(_file_of(output))
        if source is not None:
            raise ValueError(f"{output} is the input {source}; nothing converted")
    os.makedirs(out_dir, exist_ok=True)
    _dirira.remove_stale_temporaries(os.fsencode(out_dir))
    try:
        if client is not None:
            return _on_cluster(client, sources, outputs, to, skip_existing)
        with concurrent.futures.ProcessPoolExecutor(max_workers) as pool:
            return list(pool.map(convert_one, sources, outputs, [to] * len(sources), [skip_existing] * len(sources)))
    finally:
        _dirira.remove_stale_temporaries(os.fsencode(out_dir))


def _on_cluster(client, sources, outputs, to, skip_existing):
    """One dask task per file (not pure: a rerun converts again). A task whose worker dies is run again
    elsewhere by dask; one that cannot finish at all is reported failed with dask's reason."""
    futures = client.map(convert_one, sources, outputs, to=to, skip_existing=skip_existing, pure=False)
    report = []
    for source, output, future in zip(sources, outputs, futures):
        try:
            report.append(future.result())
        except Exception as error:
            report.append(Converted(source, output, "failed", str(error)))
    return report
