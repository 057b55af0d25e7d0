"""Images: decoding, encoding, the pixels without a copy (numpy), Pillow conversion, palettes."""
import ctypes
import os

from ._lib import OvColor, c_u8p, fspath_bytes, image_check, lib, take_buffer

# Pillow's mode names for the library's colour layouts, with channel counts.
_MODES = {0: ("L", 1), 1: ("RGB", 3), 2: ("RGBA", 4), 3: ("CMYK", 4)}
_LAYOUTS = {mode: (layout, channels) for layout, (mode, channels) in _MODES.items()}

# Encoders by file extension and name.
_FORMATS = {"png": 1, "jpg": 2, "jpeg": 2, "bmp": 3, "qoi": 4, "pnm": 5, "ppm": 5, "pgm": 5,
            "pam": 5, "tga": 8}

# Colour spaces a palette can be worked out in.
_SPACES = ["srgb", "srgb-linear", "p3", "p3-linear", "rec2020", "rec2020-linear", "a98",
           "a98-linear", "prophoto", "prophoto-linear", "xyz", "xyy", "lab", "lch", "oklab",
           "oklch", "hsv", "hsl", "hwb", "cmyk", "ycbcr", "ictcp", "jzazbz", "cam16",
           "cam16-ucs", "hct"]
_TGA_HINT = 8

# Resampling filters by name (Pillow's names where they agree).
_FILTERS = {"nearest": 0, "bilinear": 1, "box": 2}
# Turns counter-clockwise in degrees (as Pillow's rotate) and mirrors, as ov_image_rotate takes.
_TURNS = {90: 2, 180: 1, 270: 0}
_FLIPS = {"horizontal": 3, "vertical": 4}


def _orientation_of(data):
    """The EXIF orientation (1..8) stored in an image file's bytes; 1 when there is none."""
    meta = ctypes.c_void_p()
    if lib.ov_exif_read_buffer(data, len(data), ctypes.byref(meta)) != 0:
        return 1
    try:
        orientation = lib.ov_exif_get_orientation(meta)
    finally:
        lib.ov_exif_meta_free(meta)
    return orientation if 1 <= orientation <= 8 else 1


def _fit_inside(box, size):
    """The largest size with the aspect ratio of size inside box (each side at least 1)."""
    (box_w, box_h), (width, height) = box, size
    if width * box_h >= height * box_w:
        return box_w, min(box_h, max(1, round(height * box_w / width)))
    return min(box_w, max(1, round(width * box_h / height))), box_h


class _Handle:
    """Owns one image handle; freed when the last holder (the Image, or a numpy array over its
    pixels) lets go of it."""

    __slots__ = ("value", "__weakref__")

    def __init__(self, value):
        self.value = value

    def __del__(self):
        if self.value:
            lib.ov_image_free(self.value)
            self.value = None


class Image:
    """A decoded image: 8-bit samples, interleaved, rows top to bottom."""

    def __init__(self, handle, orientation=1):
        self._h = _Handle(handle)
        # How the stored pixels are to be turned for display (EXIF orientation 1..8); the
        # transforms keep it, orient() applies it.
        self.orientation = orientation

    # ---- making images
    @classmethod
    def open(cls, path):
        """Decodes an image file; .tga files are read as TGA, which has no signature."""
        with open(path, "rb") as file:
            data = file.read()
        tga = os.fsdecode(path).lower().endswith(".tga")
        return cls.from_bytes(data, hint=_TGA_HINT if tga else 0)

    @classmethod
    def from_bytes(cls, data, hint=0):
        data = bytes(data)
        if not data:
            raise ValueError("Image.from_bytes: empty bytes")
        handle = ctypes.c_void_p()
        image_check(lib.ov_image_decode_buffer(data, len(data), hint, ctypes.byref(handle)),
                    "decode")
        return cls(handle.value, _orientation_of(data))

    @classmethod
    def frombuffer(cls, mode, size, data):
        """An image of mode ("L", "RGB", "RGBA") and size (width, height) from packed pixels."""
        layout, _ = _LAYOUTS[mode]
        width, height = size
        view = memoryview(data).cast("B")
        buffer = (ctypes.c_uint8 * len(view)).from_buffer_copy(view) if view.readonly else \
            (ctypes.c_uint8 * len(view)).from_buffer(view)
        handle = ctypes.c_void_p()
        image_check(lib.ov_image_from_pixels(width, height, layout, buffer, len(view),
                                             ctypes.byref(handle)), "from pixels")
        return cls(handle.value)

    @classmethod
    def from_array(cls, array):
        """From a numpy array of uint8, shaped (height, width) or (height, width, 1|3|4)."""
        import numpy as np
        array = np.ascontiguousarray(array, dtype=np.uint8)
        if array.ndim == 2:
            array = array[:, :, None]
        if array.ndim != 3 or array.shape[2] not in (1, 3, 4):
            raise ValueError(f"from_array: shape {array.shape} is not (h, w[, 1|3|4])")
        mode = {1: "L", 3: "RGB", 4: "RGBA"}[array.shape[2]]
        return cls.frombuffer(mode, (array.shape[1], array.shape[0]), array.reshape(-1))

    @classmethod
    def from_pillow(cls, picture):
        if picture.mode not in ("L", "RGB", "RGBA"):
            picture = picture.convert("RGBA" if "A" in picture.getbands() else "RGB")
        return cls.frombuffer(picture.mode, picture.size, picture.tobytes())

    # ---- what it is
    def _live(self):
        if self._h is None:
            raise ValueError("the image is closed")
        return self._h.value

    @property
    def width(self):
        return lib.ov_image_width(self._live())

    @property
    def height(self):
        return lib.ov_image_height(self._live())

    @property
    def size(self):
        return (self.width, self.height)

    @property
    def channels(self):
        return lib.ov_image_channels(self._live())

    @property
    def mode(self):
        layout = lib.ov_image_get_colorspace(self._live())
        return _MODES.get(layout, (f"layout{layout}", 0))[0]

    def _pixels(self):
        pointer, length = c_u8p(), ctypes.c_int64()
        image_check(lib.ov_image_pixels(self._live(), ctypes.byref(pointer),
                                        ctypes.byref(length)), "pixels")
        return pointer, length.value

    def tobytes(self):
        pointer, length = self._pixels()
        return ctypes.string_at(pointer, length)

    def __array__(self, dtype=None, copy=None):
        """np.asarray(image): the pixels as (height, width, channels) uint8 without a copy.
        The array keeps the pixels alive after the image is closed."""
        import numpy as np
        return np.asarray(_PixelView(self), dtype=dtype)

    def to_pillow(self):
        from PIL import Image as PillowImage
        return PillowImage.frombytes(self.mode, self.size, self.tobytes())

    # ---- transforms: each gives a new image and leaves this one as it is
    def _derive(self, context, call, *args):
        out = ctypes.c_void_p()
        image_check(call(self._live(), *args, ctypes.byref(out)), context)
        return Image(out.value, self.orientation)

    def resize(self, size, filter=None):
        """A (width, height) copy resampled with "box" (area average, the default when
        shrinking), "bilinear" (the default when enlarging) or "nearest"."""
        width, height = size
        if filter is None:
            filter = "box" if width <= self.width and height <= self.height else "bilinear"
        if filter not in _FILTERS:
            raise ValueError(f"resize: unknown filter {filter!r} (nearest, bilinear, box)")
        return self._derive("resize", lib.ov_image_resize, width, height, _FILTERS[filter])

    def rotate(self, angle):
        """The image turned counter-clockwise by a multiple of 90 degrees (as Pillow's)."""
        if angle % 90:
            raise ValueError(f"rotate: {angle} is not a multiple of 90 degrees")
        turn = angle % 360
        return self.copy() if turn == 0 else self._derive("rotate", lib.ov_image_rotate,
                                                          _TURNS[turn])

    def flip(self, direction="horizontal"):
        """The image mirrored left-right ("horizontal") or top-bottom ("vertical")."""
        if direction not in _FLIPS:
            raise ValueError(f"flip: unknown direction {direction!r}")
        return self._derive("flip", lib.ov_image_rotate, _FLIPS[direction])

    def crop(self, box):
        """The pixels of box = (left, upper, right, lower), right and lower excluded (as
        Pillow's)."""
        left, upper, right, lower = box
        return self._derive("crop", lib.ov_image_crop, left, upper, right - left, lower - upper)

    def copy(self):
        return self._derive("copy", lib.ov_image_apply_orientation, 1)

    def orient(self):
        """The image upright: turned by the EXIF orientation of the file it came from."""
        upright = self._derive("orient", lib.ov_image_apply_orientation, self.orientation)
        upright.orientation = 1
        return upright

    def thumbnail(self, size):
        """The upright image shrunk to fit inside size = (width, height) with its aspect ratio
        (box filter); never enlarged. Unlike Pillow's, a new image: this one is unchanged."""
        upright = self.orient()
        if upright.width <= size[0] and upright.height <= size[1]:
            return upright
        return upright.resize(_fit_inside(size, upright.size), "box")

    # ---- writing
    def encode(self, format="png", quality=90):
        code = _FORMATS.get(str(format).lower().lstrip("."))
        if code is None:
            raise ValueError(f"encode: unknown format {format!r}")
        out, length = c_u8p(), ctypes.c_int64()
        image_check(lib.ov_image_encode(self._live(), code, quality, ctypes.byref(out),
                                        ctypes.byref(length)), f"encode {format}")
        return take_buffer(out, length, lib.ov_image_buffer_free)

    def save(self, path, format=None, quality=90):
        """Writes the image in the format named, or the one the file's extension names;
        quality (1..100) is JPEG's."""
        if format is None:
            format = os.path.splitext(os.fspath(path))[1].lstrip(".")
        data = self.encode(format, quality)
        with open(path, "wb") as file:
            file.write(data)

    def palette(self, n=8, algo="wu", space="oklab", seed=0):
        """At most n representative colours, as (c0, c1, c2) in the space they were found in."""
        if space not in _SPACES:
            raise ValueError(f"palette: unknown space {space!r}")
        handle = ctypes.c_void_p()
        image_check(lib.ov_image_extract_palette(self._live(), n, algo.encode(),
                                                 _SPACES.index(space) + 1,
                                                 _seed_options(seed), ctypes.byref(handle)),
                    "palette")
        try:
            colour = OvColor()
            colours = []
            for index in range(lib.ov_palette_len(handle)):
                image_check(lib.ov_palette_color_at(handle, index, ctypes.byref(colour)))
                colours.append((colour.c0, colour.c1, colour.c2))
            return colours
        finally:
            lib.ov_palette_free(handle)

    # ---- lifetime
    def close(self):
        """Lets go of the image; numpy arrays over its pixels keep them until they go."""
        self._h = None

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()

    def __repr__(self):
        if self._h is None:
            return "<orvel.Image closed>"
        return f"<orvel.Image {self.mode} {self.width}x{self.height}>"


class _PixelView:
    """What numpy sees: the array interface over the pixels, and their owner, which the array
    holds through this view (its base)."""

    def __init__(self, image):
        pointer, _ = image._pixels()
        self.owner = image._h
        self.__array_interface__ = {
            "shape": (image.height, image.width, image.channels), "typestr": "|u1",
            "data": (ctypes.addressof(pointer.contents), False), "version": 3}


class _QuantizeOptions(ctypes.Structure):
    _fields_ = [("seed", ctypes.c_int64), ("max_iterations", ctypes.c_int32),
                ("weighted", ctypes.c_int32), ("parallel", ctypes.c_int32),
                ("threads", ctypes.c_int32)]


def _seed_options(seed):
    return ctypes.byref(_QuantizeOptions(seed, 20, 0, 0, 0))
