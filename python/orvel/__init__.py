"""libOrvel from Python: read, edit and strip photo metadata; decode and encode images.

    meta = orvel.read_metadata("photo.jpg")
    meta.camera, meta.gps, meta.orientation, meta.tags["Model"]
    orvel.strip("photo.jpg", "clean.jpg")
    with orvel.edit("photo.jpg") as e:
        e["Artist"] = "Jane Doe"
        e.gps = (-33.87, 151.21, 10)
"""
from ._lib import OrvelError
from ._image import Image
from ._metadata import Edit, Metadata, edit, read_metadata, strip, strip_bytes
from ._lib import lib as _lib

__version__ = "1.1.0"


def library_version():
    """The version of the loaded libOrvel."""
    return _lib.ov_version().decode()


__all__ = ["Edit", "Image", "Metadata", "OrvelError", "edit", "library_version",
           "read_metadata", "strip", "strip_bytes"]
