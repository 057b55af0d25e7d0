"""Loading libOrvel and declaring the C functions the package calls.

ctypes releases the GIL for the length of every call into the library, so threads that read
metadata or decode images run in parallel."""
import ctypes
import ctypes.util
import glob
import os
import sys

c_u8p = ctypes.POINTER(ctypes.c_uint8)


class OvColor(ctypes.Structure):
    _fields_ = [("c0", ctypes.c_float), ("c1", ctypes.c_float), ("c2", ctypes.c_float),
                ("alpha", ctypes.c_float), ("space", ctypes.c_uint32)]


class OrvelError(Exception):
    """A failure the library reported: its status code and its message."""

    def __init__(self, status, message, context=""):
        self.status = status
        self.message = message
        super().__init__(f"{context}: {message}" if context else message)


def _candidates():
    """ORVEL_LIBRARY first, then the lib folders of the install prefixes, then the linker's
    search path."""
    named = os.environ.get("ORVEL_LIBRARY")
    if named:
        yield named
        return
    names = ("libOrvel.so", "libOrvel.so.*", "libOrvel.dylib", "libOrvel.*.dylib")
    prefixes = dict.fromkeys([sys.prefix, sys.base_prefix, "/usr/local", "/usr"])
    for prefix in prefixes:
        for lib in ("lib", "lib64", "lib/x86_64-linux-gnu", "lib/aarch64-linux-gnu"):
            for name in names:
                yield from sorted(glob.glob(os.path.join(prefix, lib, name)))
    found = ctypes.util.find_library("Orvel")
    if found:
        yield found


def _load():
    tried = []
    for path in _candidates():
        try:
            return ctypes.CDLL(path)
        except OSError as failure:
            tried.append(f"{path} ({failure})")
    where = "; ".join(tried) or "no libOrvel in the install prefixes or the linker's path"
    raise ImportError(f"cannot load libOrvel: {where}; set ORVEL_LIBRARY to its path")


# (name, result type, argument types)
_SIGNATURES = [
    ("ov_exif_init", None, []),
    ("ov_version", ctypes.c_char_p, []),
    ("ov_exif_strerror", ctypes.c_char_p, [ctypes.c_int32]),
    ("ov_image_strerror", ctypes.c_char_p, [ctypes.c_int32]),
    ("ov_exif_buffer_free", None, [c_u8p]),
    ("ov_image_buffer_free", None, [c_u8p]),
    ("ov_exif_read_file", ctypes.c_int32, [ctypes.c_char_p, ctypes.POINTER(ctypes.c_void_p)]),
    ("ov_exif_read_buffer", ctypes.c_int32,
     [ctypes.c_char_p, ctypes.c_int64, ctypes.POINTER(ctypes.c_void_p)]),
    ("ov_exif_is_valid", ctypes.c_bool, [ctypes.c_void_p]),
    ("ov_exif_tag_count", ctypes.c_int64, [ctypes.c_void_p]),
    ("ov_exif_tag_at", ctypes.c_int32,
     [ctypes.c_void_p, ctypes.c_int64, ctypes.POINTER(ctypes.c_char_p),
      ctypes.POINTER(ctypes.c_char_p)]),
    ("ov_exif_get_gps", ctypes.c_bool,
     [ctypes.c_void_p] + [ctypes.POINTER(ctypes.c_double)] * 3),
    ("ov_exif_get_orientation", ctypes.c_int32, [ctypes.c_void_p]),
    ("ov_exif_to_json", ctypes.c_char_p, [ctypes.c_void_p]),
    ("ov_exif_meta_free", None, [ctypes.c_void_p]),
    ("ov_exif_edit_open", ctypes.c_int32, [ctypes.c_char_p, ctypes.POINTER(ctypes.c_void_p)]),
    ("ov_exif_edit_open_buffer", ctypes.c_int32,
     [ctypes.c_char_p, ctypes.c_int64, ctypes.POINTER(ctypes.c_void_p)]),
    ("ov_exif_edit_set_tag", ctypes.c_int32, [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p]),
    ("ov_exif_set_artist", None, [ctypes.c_void_p, ctypes.c_char_p]),
    ("ov_exif_set_software", None, [ctypes.c_void_p, ctypes.c_char_p]),
    ("ov_exif_set_datetime", None, [ctypes.c_void_p, ctypes.c_char_p]),
    ("ov_exif_set_gps", None, [ctypes.c_void_p] + [ctypes.c_double] * 3),
    ("ov_exif_strip_all", None, [ctypes.c_void_p]),
    ("ov_exif_edit_free", None, [ctypes.c_void_p]),
    ("ov_exif_edit_write", ctypes.c_int32, [ctypes.c_void_p, ctypes.c_char_p]),
    ("ov_exif_edit_write_buffer", ctypes.c_int32,
     [ctypes.c_void_p, ctypes.POINTER(c_u8p), ctypes.POINTER(ctypes.c_int64)]),
    ("ov_exif_strip_file", ctypes.c_int32, [ctypes.c_char_p, ctypes.c_char_p]),
    ("ov_exif_strip_buffer", ctypes.c_int32,
     [ctypes.c_char_p, ctypes.c_int64, ctypes.POINTER(c_u8p), ctypes.POINTER(ctypes.c_int64)]),
    ("ov_image_decode_buffer", ctypes.c_int32,
     [ctypes.c_char_p, ctypes.c_int64, ctypes.c_int32, ctypes.POINTER(ctypes.c_void_p)]),
    ("ov_image_from_pixels", ctypes.c_int32,
     [ctypes.c_int32, ctypes.c_int32, ctypes.c_int32, ctypes.c_void_p, ctypes.c_int64,
      ctypes.POINTER(ctypes.c_void_p)]),
    ("ov_image_encode", ctypes.c_int32,
     [ctypes.c_void_p, ctypes.c_int32, ctypes.c_int32, ctypes.POINTER(c_u8p),
      ctypes.POINTER(ctypes.c_int64)]),
    ("ov_image_width", ctypes.c_int32, [ctypes.c_void_p]),
    ("ov_image_height", ctypes.c_int32, [ctypes.c_void_p]),
    ("ov_image_channels", ctypes.c_int32, [ctypes.c_void_p]),
    ("ov_image_get_colorspace", ctypes.c_uint8, [ctypes.c_void_p]),
    ("ov_image_pixels", ctypes.c_int32,
     [ctypes.c_void_p, ctypes.POINTER(c_u8p), ctypes.POINTER(ctypes.c_int64)]),
    ("ov_image_free", None, [ctypes.c_void_p]),
    ("ov_image_resize", ctypes.c_int32,
     [ctypes.c_void_p, ctypes.c_int32, ctypes.c_int32, ctypes.c_int32,
      ctypes.POINTER(ctypes.c_void_p)]),
    ("ov_image_rotate", ctypes.c_int32,
     [ctypes.c_void_p, ctypes.c_int32, ctypes.POINTER(ctypes.c_void_p)]),
    ("ov_image_apply_orientation", ctypes.c_int32,
     [ctypes.c_void_p, ctypes.c_uint32, ctypes.POINTER(ctypes.c_void_p)]),
    ("ov_image_crop", ctypes.c_int32,
     [ctypes.c_void_p] + [ctypes.c_int32] * 4 + [ctypes.POINTER(ctypes.c_void_p)]),
    ("ov_image_extract_palette", ctypes.c_int32,
     [ctypes.c_void_p, ctypes.c_int32, ctypes.c_char_p, ctypes.c_uint32, ctypes.c_void_p,
      ctypes.POINTER(ctypes.c_void_p)]),
    ("ov_palette_len", ctypes.c_int64, [ctypes.c_void_p]),
    ("ov_palette_color_at", ctypes.c_int32,
     [ctypes.c_void_p, ctypes.c_int64, ctypes.POINTER(OvColor)]),
    ("ov_palette_free", None, [ctypes.c_void_p]),
]

lib = _load()
for _name, _result, _args in _SIGNATURES:
    _function = getattr(lib, _name)
    _function.restype = _result
    _function.argtypes = _args
lib.ov_exif_init()


def exif_check(status, context=""):
    if status != 0:
        raise OrvelError(status, lib.ov_exif_strerror(status).decode(), context)


def image_check(status, context=""):
    if status != 0:
        raise OrvelError(status, lib.ov_image_strerror(status).decode(), context)


def take_buffer(pointer, length, free):
    """The bytes of a buffer the library handed out, which is then released."""
    try:
        return ctypes.string_at(pointer, length.value)
    finally:
        free(pointer)


def fspath_bytes(path):
    return os.fsencode(os.fspath(path))
