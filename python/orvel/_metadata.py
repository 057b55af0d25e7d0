"""Metadata: reading into a plain record, editing in a context, stripping."""
import ctypes
import errno
import json as _json
import os
import stat

from ._lib import OrvelError, c_u8p, exif_check, fspath_bytes, lib, take_buffer


def _check_readable(path):
    """The library reads a missing file as one without metadata; callers expect an OSError.
    Pipes and devices are refused rather than read (which could block)."""
    mode = os.stat(path).st_mode
    if stat.S_ISDIR(mode):
        raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), os.fspath(path))
    if not stat.S_ISREG(mode):
        raise OSError(errno.EINVAL, "not a regular file", os.fspath(path))
    with open(path, "rb") as file:
        file.read(1)


class Metadata:
    """A file's metadata, copied out of the library at once (no handle is kept).

    tags: {name: value} sorted by name; gps: (latitude, longitude, altitude) or None;
    orientation: the EXIF number or None; camera, software: texts or None; json: the
    library's JSON text; is_valid: whether any metadata was found."""

    __slots__ = ("tags", "gps", "orientation", "camera", "software", "json", "is_valid")

    def __init__(self, handle):
        self.is_valid = bool(lib.ov_exif_is_valid(handle))
        name, value = ctypes.c_char_p(), ctypes.c_char_p()
        tags = {}
        for index in range(lib.ov_exif_tag_count(handle)):
            exif_check(lib.ov_exif_tag_at(handle, index, ctypes.byref(name), ctypes.byref(value)))
            tags[name.value.decode("utf-8", "replace")] = value.value.decode("utf-8", "replace")
        self.tags = tags
        lat, lon, alt = ctypes.c_double(), ctypes.c_double(), ctypes.c_double()
        found = lib.ov_exif_get_gps(handle, ctypes.byref(lat), ctypes.byref(lon), ctypes.byref(alt))
        self.gps = (lat.value, lon.value, alt.value) if found else None
        self.orientation = lib.ov_exif_get_orientation(handle) or None
        text = lib.ov_exif_to_json(handle)
        if text is None:
            raise OrvelError(1, lib.ov_exif_strerror(1).decode(), "json")
        self.json = text.decode("utf-8", "replace")
        document = _json.loads(self.json)
        self.camera = document.get("camera") or None
        self.software = document.get("software") or None

    def __repr__(self):
        return (f"<orvel.Metadata camera={self.camera!r} tags={len(self.tags)} "
                f"gps={self.gps!r} orientation={self.orientation!r}>")


def read_metadata(source):
    """The metadata of a file (a path) or of bytes (bytes, bytearray or memoryview)."""
    handle = ctypes.c_void_p()
    if isinstance(source, (bytes, bytearray, memoryview)):
        data = bytes(source)
        if not data:
            raise ValueError("read_metadata: empty bytes")
        exif_check(lib.ov_exif_read_buffer(data, len(data), ctypes.byref(handle)), "read_metadata")
    else:
        _check_readable(source)
        exif_check(lib.ov_exif_read_file(fspath_bytes(source), ctypes.byref(handle)),
                   f"read_metadata {os.fspath(source)!r}")
    try:
        return Metadata(handle)
    finally:
        lib.ov_exif_meta_free(handle)


def strip(source, destination):
    """Writes a copy of source without its metadata to destination (which may be source)."""
    _check_readable(source)
    exif_check(lib.ov_exif_strip_file(fspath_bytes(source), fspath_bytes(destination)),
               f"strip {os.fspath(source)!r}")


def strip_bytes(data):
    """The bytes of an image without its metadata."""
    data = bytes(data)
    if not data:
        raise ValueError("strip_bytes: empty bytes")
    out, length = c_u8p(), ctypes.c_int64()
    exif_check(lib.ov_exif_strip_buffer(data, len(data), ctypes.byref(out), ctypes.byref(length)),
               "strip_bytes")
    return take_buffer(out, length, lib.ov_exif_buffer_free)


def _text(value):
    return value.encode("utf-8") if isinstance(value, str) else bytes(value)


class Edit:
    """EXIF tags of a file or of bytes being changed; see edit()."""

    def __init__(self, source):
        self._handle = ctypes.c_void_p()
        self._path = None
        self.result = None
        if isinstance(source, (bytes, bytearray, memoryview)):
            data = bytes(source)
            status = lib.ov_exif_edit_open_buffer(data, len(data), ctypes.byref(self._handle))
        else:
            _check_readable(source)
            self._path = source
            status = lib.ov_exif_edit_open(fspath_bytes(source), ctypes.byref(self._handle))
        exif_check(status, "edit")

    def _live(self):
        if not self._handle:
            raise ValueError("the edit is closed")
        return self._handle

    def __setitem__(self, name, value):
        exif_check(lib.ov_exif_edit_set_tag(self._live(), _text(name), _text(str(value))),
                   f"edit {name!r}")

    def _setter(function):  # noqa: N805 - a helper used while the class is built
        return property(fset=lambda self, text: function(self._live(), _text(text)))

    artist = _setter(lib.ov_exif_set_artist)
    software = _setter(lib.ov_exif_set_software)
    datetime = _setter(lib.ov_exif_set_datetime)
    del _setter

    @property
    def gps(self):
        raise AttributeError("gps can only be set")

    @gps.setter
    def gps(self, position):
        latitude, longitude, *rest = position
        lib.ov_exif_set_gps(self._live(), latitude, longitude, rest[0] if rest else 0.0)

    def strip_all(self):
        lib.ov_exif_strip_all(self._live())

    def write(self, destination=None):
        """Saves the edit: a file edit into destination (default: the file itself); an edit
        of bytes into .result, which is also returned."""
        if self._path is None:
            out, length = c_u8p(), ctypes.c_int64()
            exif_check(lib.ov_exif_edit_write_buffer(self._live(), ctypes.byref(out),
                                                     ctypes.byref(length)), "edit write")
            self.result = take_buffer(out, length, lib.ov_exif_buffer_free)
            return self.result
        target = fspath_bytes(destination) if destination is not None else None
        exif_check(lib.ov_exif_edit_write(self._live(), target), "edit write")
        return None

    def close(self):
        if self._handle:
            lib.ov_exif_edit_free(self._handle)
            self._handle = ctypes.c_void_p()

    def __enter__(self):
        return self

    def __exit__(self, kind, value, traceback):
        try:
            if kind is None:
                self.write()
        finally:
            self.close()

    def __del__(self):
        self.close()


def edit(source):
    """with orvel.edit("photo.jpg") as e: e["Artist"] = "..."; e.gps = (lat, lon, alt)
    writes on a clean exit; for bytes, the edited bytes are in e.result afterwards."""
    return Edit(source)
