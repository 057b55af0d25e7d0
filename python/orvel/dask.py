"""Photo libraries on a Dask cluster: one row of metadata per file, and thumbnails.

Everything here runs unchanged on a distributed cluster: create a Client first, e.g.
    from dask.distributed import Client; Client("tcp://scheduler:8786")
"""
import json
import os

from ._lib import OrvelError
from ._metadata import read_metadata as _read_one

# The columns of read_metadata's frame, with their dtypes.
COLUMNS = {"path": "object", "status": "object", "error": "object", "camera": "object",
           "software": "object", "date": "object", "latitude": "float64",
           "longitude": "float64", "altitude": "float64", "orientation": "Int64",
           "tags": "object"}

# The capture date: the first of these tags a file has.
_DATE_TAGS = ("DateTimeOriginal", "CreateDate", "ModifyDate")
_NAN = float("nan")


def metadata_row(path):
    """One file's row; a file that cannot be read gives status "error" and the reason."""
    row = dict.fromkeys(COLUMNS)
    row.update(path=str(path), latitude=_NAN, longitude=_NAN, altitude=_NAN)
    try:
        meta = _read_one(path)
    except (OSError, ValueError, OrvelError) as failure:
        row.update(status="error", error=str(failure))
        return row
    row.update(status="ok", camera=meta.camera, software=meta.software,
               date=next((meta.tags[t] for t in _DATE_TAGS if t in meta.tags), None),
               orientation=meta.orientation, tags=json.dumps(meta.tags, ensure_ascii=False))
    if meta.gps is not None:
        row["latitude"], row["longitude"], row["altitude"] = meta.gps
    return row


def _frame(paths):
    import pandas as pd
    frame = pd.DataFrame([metadata_row(p) for p in paths], columns=list(COLUMNS))
    return frame.astype(COLUMNS)


def read_metadata(paths, npartitions=None):
    """A dask DataFrame with one row per path (columns: COLUMNS), read lazily in
    npartitions pieces (default: about 1,000 files each)."""
    import dask.dataframe as dd
    import pandas as pd
    paths = [str(p) for p in paths]
    if npartitions is None:
        npartitions = max(1, (len(paths) + 999) // 1000)
    npartitions = max(1, min(npartitions, len(paths) or 1))
    size = -(-len(paths) // npartitions) if paths else 0
    chunks = [paths[i:i + size] for i in range(0, len(paths), size)] if paths else [[]]
    empty = pd.DataFrame({name: pd.Series(dtype=kind) for name, kind in COLUMNS.items()})
    return dd.from_map(_frame, chunks, meta=empty)


def thumbnail_result(job, fit, quality=85, format="jpg"):
    """Writes the thumbnail of job = (path, output, error): the file oriented upright and
    shrunk to fit inside fit = (width, height), put in place whole (written beside it first).
    A dict of path, output, status ("ok" or "error"), error, width and height."""
    from ._image import Image
    path, output, error = job
    result = {"path": path, "output": None, "status": "error", "error": error,
              "width": None, "height": None}
    if error is not None:
        return result
    part = f"{output}.orvel-part-{os.getpid()}"
    try:
        with Image.open(path) as image, image.thumbnail(fit) as small:
            os.makedirs(os.path.dirname(output), exist_ok=True)
            small.save(part, format=format, quality=quality)
            os.replace(part, output)
            result.update(output=output, status="ok", width=small.width, height=small.height)
    except (OSError, ValueError, OrvelError) as failure:
        result["error"] = str(failure)
        if os.path.exists(part):
            os.unlink(part)
    return result


def _thumbnail_jobs(paths, out_dir, root, format):
    """(path, output, error) per path: its place under out_dir below root with the format's
    extension; a later path that names an earlier one's output (IMG_1.JPG and IMG_1.HEIC) is
    refused instead of replacing it."""
    jobs, taken = [], {}
    for path in paths:
        relative = os.path.relpath(path, root)
        output = os.path.join(out_dir, os.path.splitext(relative)[0] + "." + format)
        first = taken.setdefault(output, path)
        error = None if first == path else f"{output!r} is the thumbnail of {first!r}"
        jobs.append((path, output, error))
    return jobs


def thumbnails(paths, out_dir, fit, quality=85, format="jpg", root=None, npartitions=None):
    """A dask bag of thumbnail_result dicts, one per path in order, the thumbnails written
    under out_dir mirroring the tree below root (default: the directory the paths share)."""
    import dask.bag as db
    paths = [os.path.abspath(str(p)) for p in paths]
    if root is None:
        root = os.path.commonpath([os.path.dirname(p) for p in paths]) if paths else "."
    jobs = _thumbnail_jobs(paths, os.path.abspath(str(out_dir)), os.path.abspath(root), format)
    if npartitions is None:
        npartitions = max(1, (len(jobs) + 99) // 100)
    bag = db.from_sequence(jobs, npartitions=max(1, min(npartitions, len(jobs) or 1)))
    return bag.map(thumbnail_result, fit=tuple(fit), quality=quality, format=format)
