#!/usr/bin/python3
"""Raster files written by Pillow and netpbm, with the 8-bit pixels their decoders read.

make FORMAT DIR: the cases of FORMAT (bmp, tga, pnm, pcx, webp, gif, tiff) into DIR, listed in DIR/manifest.txt as
  "ok NAME FILE WIDTH HEIGHT LAYOUT RAW" (layout 0 gray, 1 RGB, 2 RGBA, 3 CMYK) or "refuse NAME FILE KIND
  MESSAGE", tab-separated. check DIR: exits 1 unless the reference decoders read each file of
  DIR/check.txt ("FORMAT FILE WIDTH HEIGHT LAYOUT RAW", written by our encoders) as RAW.
"""
import io
import os
import random
import struct
import subprocess
import sys
import tempfile

from PIL import Image

MODES = ["L", "RGB", "RGBA", "CMYK"]  # by layout
SIZES = [(1, 1), (10, 3), (33, 17)]  # odd widths exercise row padding


def photo(width, height, mode, seed):
    """Smooth gradients with noise, like a small photo."""
    rnd = random.Random(seed)
    data = bytes(max(0, min(255, (x * (7 + 5 * c) + y * (11 - 3 * c) + 40 * c) % 256 + rnd.randint(-6, 6)))
                 for y in range(height) for x in range(width) for c in range({"L": 1}.get(mode, len(mode))))
    return Image.frombytes(mode, (width, height), data)


def netpbm(command, data):
    return subprocess.run(command, input=data, capture_output=True, check=True).stdout


def encoded(image, fmt, **options):
    out = io.BytesIO()
    image.save(out, fmt, **options)
    return out.getvalue()


def pillow(data):
    image = Image.open(io.BytesIO(data))
    image.load()
    return image


def opaque(image):
    return image.convert("RGB").convert("RGBA")


class Cases:
    def __init__(self, directory, extension):
        self.directory, self.extension, self.lines = directory, extension, []

    def write(self, name, data):
        with open(os.path.join(self.directory, name), "wb") as f:
            f.write(data)

    def ok(self, name, data, expected, layout):
        self.write(name + self.extension, data)
        self.write(name + ".raw", expected.convert(MODES[layout]).tobytes())
        self.lines.append(["ok", name, name + self.extension, *expected.size, layout, name + ".raw"])

    def refuse(self, name, data, kind, message):
        self.write(name + self.extension, data)
        self.lines.append(["refuse", name, name + self.extension, kind, message])


def few_colours(image, colours, seed):
    rnd = random.Random(seed)
    palette = Image.new("P", (1, 1))
    palette.putpalette([rnd.randrange(256) for _ in range(3 * colours)] * (256 // colours))
    return image.convert("RGB").quantize(palette=palette, dither=Image.Dither.NONE).convert("RGB")


def bmp_top_down(data):
    """The same bitmap with rows stored top-down under a negative height."""
    offset, height = int.from_bytes(data[10:14], "little"), int.from_bytes(data[22:26], "little")
    row = (int.from_bytes(data[18:22], "little") * int.from_bytes(data[28:30], "little") + 31) // 32 * 4
    rows = [data[offset + i * row: offset + (i + 1) * row] for i in reversed(range(height))]
    return data[:22] + (-height).to_bytes(4, "little", signed=True) + data[26:offset] + b"".join(rows)


def make_bmp(c):
    for w, h in SIZES:
        source = photo(w, h, "RGB", w * h)
        for label, image in {"rgb": source, "rgba": photo(w, h, "RGBA", w), "bits1": source.convert("1"),
                             "gray8": source.convert("L"), "pal8": source.quantize(40)}.items():
            data = encoded(image, "BMP")
            bits = int.from_bytes(data[28:30], "little")
            for name, variant in (("", data), ("_topdown", bmp_top_down(data))):
                decoded = pillow(variant)
                assert decoded.convert("RGB").tobytes() == pillow(data).convert("RGB").tobytes()
                c.ok(f"pil_{label}_{w}x{h}{name}", variant, opaque(decoded), 1 if bits == 24 else 2)
        for bpp, colours in ((1, 2), (4, 11), (8, 60), (24, 0)):
            image = few_colours(source, colours, bpp) if colours else source
            data = netpbm(["ppmtobmp", "-bpp", str(bpp)], encoded(image, "PPM"))
            assert pillow(data).convert("RGB").tobytes() == image.tobytes()
            c.ok(f"netpbm_{bpp}bpp_{w}x{h}", data, opaque(image), 1 if bpp == 24 else 2)
    c.refuse("netpbm_os2", netpbm(["ppmtobmp", "-os2"], encoded(photo(5, 4, "RGB", 1), "PPM")), 1,
             "bmp: only BITMAPINFOHEADER-and-larger DIB headers are supported")


def tga_layout(data):
    """Gray types give gray; 32-bit pixels or map entries give RGBA; the rest RGB."""
    if data[2] in (3, 11):
        return 0
    return 2 if (data[7] if data[2] in (1, 9) else data[16]) == 32 else 1


def tga_mapped32(image, first):
    """A colour-mapped TGA with 32-bit B, G, R, A entries that starts at index `first`."""
    indices = image.quantize(30)
    pal = (indices.getpalette() + [0] * 90)[:90]
    entries = b"".join(bytes([pal[3 * i + 2], pal[3 * i + 1], pal[3 * i], 40 + 7 * i]) for i in range(30))
    header = bytes([0, 1, 1]) + first.to_bytes(2, "little") + bytes([30, 0, 32, 0, 0, 0, 0])
    header += image.size[0].to_bytes(2, "little") + image.size[1].to_bytes(2, "little") + b"\x08\x20"
    return header + entries + bytes(first + i for i in indices.tobytes())


def tgatoppm_rgba(data):
    """netpbm's reading with alpha (Pillow reads no 32-bit colour maps)."""
    with tempfile.TemporaryDirectory() as directory:
        alpha = os.path.join(directory, "alpha.pgm")
        rgb = pillow(netpbm(["tgatoppm", "--alphaout=" + alpha], data))
        with open(alpha, "rb") as f:
            rgb.putalpha(pillow(f.read()))
    return rgb


def make_tga(c):
    for w, h in SIZES:
        source = photo(w, h, "RGB", w + h)
        for label, image in {"gray": source.convert("L"), "rgb": source, "rgba": photo(w, h, "RGBA", w),
                             "mapped": source.quantize(50)}.items():
            for rle in (None, "tga_rle"):
                for orientation in (-1, 1):  # bottom-up, top-down
                    data = encoded(image, "TGA", orientation=orientation, compression=rle)
                    c.ok(f"pil_{label}_{rle}_{orientation}_{w}x{h}", data, pillow(data), tga_layout(data))
        ppm, pgm = encoded(source.quantize(200).convert("RGB"), "PPM"), encoded(source.convert("L"), "PPM")
        for label, options, data in (("cmap", ["-cmap"], ppm), ("cmap_raw", ["-cmap", "-norle"], ppm),
                                     ("rgb", ["-rgb"], ppm), ("rgb_raw", ["-rgb", "-norle"], ppm),
                                     ("gray", ["-mono"], pgm), ("gray_raw", ["-mono", "-norle"], pgm)):
            tga = netpbm(["pamtotga"] + options, data)
            mode = "L" if data is pgm else "RGB"
            assert pillow(tga).convert(mode).tobytes() == pillow(data).convert(mode).tobytes()
            c.ok(f"netpbm_{label}_{w}x{h}", tga, pillow(tga), tga_layout(tga))
        for first in (0, 3):
            c.ok(f"mapped32_first{first}_{w}x{h}", tga_mapped32(source, first),
                 tgatoppm_rgba(tga_mapped32(source, first)), 2)
    c.refuse("pil_bilevel", encoded(photo(4, 3, "L", 2).convert("1"), "TGA"), 3, "tga: grayscale depth must be 8")
    c.refuse("netpbm_cmap16", netpbm(["pamtotga", "-cmap16"], encoded(photo(4, 3, "RGB", 3), "PPM")), 3,
             "tga: palette must be 24/32-bit")


def pam(width, height, depth, maxval, tupltype, seed):
    """A P7 file of random samples, with the extremes of the range among them."""
    rnd = random.Random(seed)
    samples = [rnd.randint(0, maxval) for _ in range(width * height * depth)]
    samples[:3] = [maxval, maxval // 2 + 1, 0][: len(samples)]
    header = f"P7\nWIDTH {width}\nHEIGHT {height}\nDEPTH {depth}\nMAXVAL {maxval}\nTUPLTYPE {tupltype}\nENDHDR\n"
    return header.encode() + b"".join(s.to_bytes(2 if maxval > 255 else 1, "big") for s in samples)


def pnm_reference(data, layout):
    """netpbm's samples of the file, rescaled to 8 bits: (v * 255 + maxval / 2) / maxval."""
    header, _, body = netpbm(["pamtopam"], data).partition(b"ENDHDR\n")
    fields = dict(line.split(b" ", 1) for line in header.split(b"\n")[1:] if b" " in line)
    width, height, maxval = (int(fields[k]) for k in (b"WIDTH", b"HEIGHT", b"MAXVAL"))
    size = 2 if maxval > 255 else 1
    samples = (int.from_bytes(body[i: i + size], "big") for i in range(0, len(body), size))
    return Image.frombytes(MODES[layout], (width, height), bytes((s * 255 + maxval // 2) // maxval for s in samples))


def make_pnm(c):
    kinds = (("bits", 1, "BLACKANDWHITE", [1]), ("gray", 1, "GRAYSCALE", [255, 100, 1000, 65535]),
             ("rgb", 3, "RGB", [255, 31, 4095, 65535]), ("rgba", 4, "RGB_ALPHA", []))
    for w, h in SIZES:
        for label, depth, tupltype, maxvals in kinds:
            for maxval in maxvals:
                for plain in ("", "-plain"):
                    data = netpbm(["pamtopnm", plain or "-quiet"], pam(w, h, depth, maxval, tupltype, w * maxval))
                    c.ok(f"{label}_{maxval}{plain}_{w}x{h}", data, pnm_reference(data, depth // 2), depth // 2)
            for maxval in {min(maxvals or [255]), max(maxvals or [65535])}:
                data = netpbm(["pamtopam"], pam(w, h, depth, maxval, tupltype, w + maxval))
                c.ok(f"pam_{label}_{maxval}_{w}x{h}", data, pnm_reference(data, depth // 2), depth // 2)
    # Comments and extra white space in headers, as hand-edited files have them.
    data = netpbm(["pamtopnm", "-plain"], pam(5, 2, 3, 255, "RGB", 9))
    c.ok("comments_plain", data.replace(b"P3\n", b"P3\n# by hand\n  ", 1).replace(b"\n255", b" #c\n255", 1),
         pnm_reference(data, 1), 1)
    data = netpbm(["pamtopnm"], pam(5, 2, 1, 255, "GRAYSCALE", 8))
    c.ok("comments_raw", data.replace(b"P5\n", b"P5 # size next\n", 1), pnm_reference(data, 0), 0)
    c.refuse("pam_gray_alpha", netpbm(["pamtopam"], pam(3, 2, 2, 255, "GRAYSCALE_ALPHA", 4)), 1,
             "pnm: PAM depth must be 1, 3, or 4")


def pcx_unpacked(data):
    """The same PCX stored without run-length encoding (encoding 0)."""
    height = int.from_bytes(data[10:12], "little") - int.from_bytes(data[6:8], "little") + 1
    out, pos = bytearray(), 128
    while len(out) < data[65] * int.from_bytes(data[66:68], "little") * height:
        out += bytes([data[pos + 1]]) * (data[pos] & 0x3F) if data[pos] >= 0xC0 else bytes([data[pos]])
        pos += 2 if data[pos] >= 0xC0 else 1
    return data[:2] + b"\0" + data[3:128] + bytes(out) + data[pos:]


def pcx_reference(data, layout):
    """Set bits of 1-bit images are white whatever the header palette says, as Pillow reads them;
    colour through netpbm (Pillow misreads narrow RGB files)."""
    return pillow(data) if layout == 0 else opaque(pillow(netpbm(["pcxtoppm"], data)))


def make_pcx(c):
    for w, h in SIZES:
        source = photo(w, h, "RGB", 3 * w + h)
        images = {"mono": (source.convert("1"), 0), "gray": (source.convert("L"), 2),
                  "mapped": (source.quantize(70), 2), "rgb": (source, 1)}
        if w == 1:
            del images["rgb"]  # Pillow drops the last plane of one-pixel-wide RGB rows
        for label, (image, layout) in images.items():
            data = encoded(image, "PCX")
            c.ok(f"pil_{label}_{w}x{h}", data, pcx_reference(data, layout), layout)
            # No reference decoder reads encoding 0: the same scanlines, unpacked here.
            c.ok(f"pil_{label}_raw_{w}x{h}", pcx_unpacked(data), pcx_reference(data, layout), layout)
        gray = encoded(images["gray"][0], "PCX")  # Pillow's gray palette is the identity
        c.ok(f"gray_info2_{w}x{h}", gray[:68] + b"\2\0" + gray[70:-769], pcx_reference(gray, 0), 0)
        for label, options, image, layout in (("24bit", ["-24bit"], source, 1),
                                              ("8bit", ["-8bit"], source.quantize(90), 2),
                                              ("mono", [], few_colours(source, 2, 5), 0)):
            data = netpbm(["ppmtopcx"] + options, encoded(image.convert("RGB"), "PPM"))
            c.ok(f"netpbm_{label}_{w}x{h}", data, pcx_reference(data, layout), layout)
    colours = [(0, 0, 0), (255, 0, 0), (0, 0, 255), (255, 255, 255)]
    four = encoded(Image.frombytes("RGB", (9, 4), bytes(v for i in range(36) for v in colours[i % 4])), "PPM")
    for label, options in (("planes2", []), ("packed2", ["-packed"])):
        c.refuse(f"netpbm_{label}", netpbm(["ppmtopcx"] + options, four), 1, "pcx: unsupported pixel layout")


def run(command, **options):
    return subprocess.run(command, capture_output=True, check=True, **options).stdout


def riff_chunk(fourcc, payload):
    return fourcc + len(payload).to_bytes(4, "little") + payload + b"\0" * (len(payload) & 1)


def riff_chunks(data):
    pos, chunks = 12, []
    while pos + 8 <= len(data):
        size = int.from_bytes(data[pos + 4: pos + 8], "little")
        chunks.append((data[pos: pos + 4], data[pos + 8: pos + 8 + size]))
        pos += 8 + size + (size & 1)
    return chunks


def webp_form(chunks):
    body = b"WEBP" + b"".join(riff_chunk(t, p) for t, p in chunks)
    return b"RIFF" + len(body).to_bytes(4, "little") + body


def cwebp(image, options, directory):
    source, target = os.path.join(directory, "in.png"), os.path.join(directory, "out.webp")
    image.save(source)
    run(["cwebp", "-quiet"] + options + [source, "-o", target])
    with open(target, "rb") as f:
        return f.read()


def dwebp(data, directory):
    source, target = os.path.join(directory, "in.webp"), os.path.join(directory, "out.png")
    with open(source, "wb") as f:
        f.write(data)
    run(["dwebp", "-quiet", source, "-o", target])  # PNG
    return pillow(open(target, "rb").read())


def vp8l_alpha_hint(data):
    payload = dict(riff_chunks(data))[b"VP8L"]
    return (int.from_bytes(payload[1:5], "little") >> 28) & 1


def extended(data, width, height, extra_flags=0, before=(), after=()):
    """The VP8L image of a simple file in the extended layout, among metadata chunks."""
    vp8l = dict(riff_chunks(data))[b"VP8L"]
    flags = 0x20 | 0x08 | 0x04 | extra_flags
    vp8x = bytes([flags, 0, 0, 0]) + (width - 1).to_bytes(3, "little") + (height - 1).to_bytes(3, "little")
    return webp_form([(b"VP8X", vp8x), (b"ICCP", b"icc!"), *before, (b"VP8L", vp8l), *after,
                      (b"EXIF", b"II*\0\x08\0\0\0\0\0\0\0\0"), (b"XMP ", b"<x:xmpmeta/>")])


def make_webp(c):
    with tempfile.TemporaryDirectory() as tmp:
        def ok(name, data):
            decoded = dwebp(data, tmp)
            c.ok(name, data, decoded, 2 if vp8l_alpha_hint(data) else 1)

        for w, h in ((1, 1), (37, 23), (61, 47)):
            rgb, rgba = photo(w, h, "RGB", w), photo(w, h, "RGBA", h)
            for level in range(10):
                ok(f"z{level}_rgb_{w}x{h}", cwebp(rgb, ["-lossless", "-z", str(level)], tmp))
            for level in (0, 6, 9):
                ok(f"z{level}_rgba_exact_{w}x{h}", cwebp(rgba, ["-lossless", "-exact", "-z", str(level)], tmp))
                ok(f"z{level}_pal_{w}x{h}", cwebp(few_colours(rgb, 1 + level, w), ["-lossless", "-z", str(level)], tmp))
            ok(f"rgba_{w}x{h}", cwebp(rgba, ["-lossless", "-z", "4"], tmp))
            ok(f"extended_{w}x{h}", extended(cwebp(rgb, ["-lossless"], tmp), w, h))
        for level in (0, 6, 9):
            ok(f"z{level}_large", cwebp(photo(301, 257, "RGBA", 3), ["-lossless", "-exact", "-z", str(level)], tmp))
        # ALPH planes over an opaque image: raw, and a lossless stream whose green is the alpha.
        rgb, mask = photo(37, 23, "RGB", 5), photo(37, 23, "L", 6)
        base = cwebp(rgb, ["-lossless"], tmp)
        plane = dict(riff_chunks(cwebp(mask.convert("RGB"), ["-lossless"], tmp)))[b"VP8L"][5:]
        expected = dwebp(base, tmp).convert("RGB")
        expected.putalpha(mask)
        for label, alph in (("raw", b"\0" + mask.tobytes()), ("lossless", b"\1" + plane)):
            data = extended(base, 37, 23, 0x10, after=[(b"ALPH", alph)])
            c.ok(f"alph_{label}", data, expected, 2)
        c.refuse("lossy", cwebp(rgb, ["-q", "60"], tmp), 1, "webp: VP8 lossy decode not yet implemented")
        c.refuse("lossy_alpha", cwebp(photo(9, 9, "RGBA", 2), ["-q", "60"], tmp), 1,
                 "webp: VP8X without a VP8L payload (lossy/anim unsupported)")
        frames = [os.path.join(tmp, f"f{i}.png") for i in range(2)]
        for i, frame in enumerate(frames):
            photo(8, 8, "RGB", i).save(frame)
        run(["img2webp", "-lossless", *frames, "-o", os.path.join(tmp, "anim.webp")])
        c.refuse("animated", open(os.path.join(tmp, "anim.webp"), "rb").read(), 1, "webp: animated images unsupported")
        c.refuse("canvas_differs", extended(base, 37, 22), 3, "webp: VP8X canvas and payload dimensions differ")
        vp8l = dict(riff_chunks(base))[b"VP8L"]
        vp8x = extended(base, 37, 23)
        # A green code whose code lengths repeat zeros (symbol 18, 7 extra bits) past its 280
        # symbols: refused before anything is written past the lengths.
        fields = [(0, 3), (0, 1), (0, 4), (0, 3), (1, 3), (1, 3), (0, 3), (0, 1)] + [(1, 1), (127, 7)] * 3
        acc = n = 0
        for value, width in fields:
            acc, n = acc | value << n, n + width
        overrun = b"\x2f" + ((36 | 22 << 14)).to_bytes(4, "little") + acc.to_bytes((n + 7) // 8 + 4, "little")
        for name, kind, message, data in (
                ("container", 2, "webp: container truncated", base[:11]),
                ("not_riff", 1, "webp: not a RIFF", b"RIFX" + base[4:]),
                ("not_webp", 1, "webp: not a WEBP", base[:8] + b"WEBQ" + base[12:]),
                ("riff_size", 3, "webp: bad RIFF size", base[:4] + (len(base) - 7).to_bytes(4, "little") + base[8:]),
                ("first_chunk", 3, "webp: first chunk exceeds RIFF payload",
                 base[:16] + (len(vp8l) + 2).to_bytes(4, "little") + base[20:]),
                ("empty_vp8l", 3, "webp: empty VP8L chunk", webp_form([(b"VP8L", b"")])),
                ("unknown", 1, "webp: unknown chunk ABCD", webp_form([(b"ABCD", b"12")])),
                ("vp8x_size", 1, "webp: VP8X chunk must be 10 bytes", webp_form([(b"VP8X", bytes(9))])),
                ("vp8x_reserved", 1, "webp: VP8X reserved bits are nonzero", webp_form([(b"VP8X", b"\1" + bytes(9))])),
                ("canvas", 1, "webp: canvas too large", webp_form([(b"VP8X", bytes(4) + b"\0\x40\0" + bytes(3))])),
                ("no_vp8l", 1, "webp: VP8X without a VP8L payload (lossy/anim unsupported)",
                 webp_form([(b"VP8X", bytes(10)), (b"EXIF", b"x")])),
                ("chunk_exceeds", 3, "webp: chunk exceeds RIFF payload",
                 vp8x[:34] + (len(vp8x)).to_bytes(4, "little") + vp8x[38:]),
                ("signature", 1, "webp: missing VP8L sig", webp_form([(b"VP8L", b"\x2e" + vp8l[1:])])),
                ("version", 1, "webp: unsupported VP8L version 1",
                 webp_form([(b"VP8L", vp8l[:4] + bytes([vp8l[4] | 0x20]) + vp8l[5:])])),
                ("lengths_overrun", 3, "webp: code lengths overrun the alphabet", webp_form([(b"VP8L", overrun)])),
                ("bitstream", 2, "webp: bitstream truncated", webp_form([(b"VP8L", vp8l[:len(vp8l) // 2])])),
                ("alph_short", 2, "webp: ALPH short", extended(base, 37, 23, 0x10, after=[(b"ALPH", b"")])),
                ("alph_filtered", 1, "webp: filtered or preprocessed ALPH unsupported",
                 extended(base, 37, 23, 0x10, after=[(b"ALPH", b"\x04" + mask.tobytes())])),
                ("alph_compression", 1, "webp: ALPH compression 2 unsupported",
                 extended(base, 37, 23, 0x10, after=[(b"ALPH", b"\x02" + mask.tobytes())])),
                ("alph_plane", 2, "webp: ALPH plane short",
                 extended(base, 37, 23, 0x10, after=[(b"ALPH", b"\0" + mask.tobytes()[1:])]))):
            c.refuse(name, data, kind, message)


def gif_parts(data):
    """Header, global table, the blocks before the first image, its descriptor, the rest."""
    table = 3 << ((data[10] & 7) + 1) if data[10] & 0x80 else 0
    pos = 13 + table
    while data[pos] == 0x21:
        pos += 2
        while data[pos]:
            pos += data[pos] + 1
        pos += 1
    assert data[pos] == 0x2C
    return data[:13], data[13:13 + table], data[13 + table:pos], data[pos:pos + 10], data[pos + 10:]


def gif_local(data):
    """The first image's palette moved from the global table into a local one."""
    header, table, blocks, descriptor, rest = gif_parts(data)
    packed = descriptor[9] | 0x80 | (header[10] & 7)
    return header[:10] + bytes([header[10] & 0x70]) + header[11:] + blocks + descriptor[:9] + bytes([packed]) + table + rest


def gif_on_screen(data, left, top, width, height):
    """The first image placed on a larger logical screen."""
    header, table, blocks, descriptor, rest = gif_parts(data)
    screen = struct.pack("<HH", width, height)
    return header[:6] + screen + header[10:] + table + blocks + descriptor[:1] + struct.pack("<HH", left, top) + descriptor[5:] + rest


def first_frame(data):
    image = pillow(data)
    image.seek(0)
    return image.convert("RGBA")


def make_gif(c):
    for w, h in ((1, 1), (1, 10), (37, 23), (64, 48), (301, 199)):
        source = photo(w, h, "RGB", w + 2 * h)
        for colours in (2, 16, 256):
            image = source.quantize(colours)
            for interlace in (False, True):
                name = f"c{colours}_i{int(interlace)}_{w}x{h}"
                data = encoded(image, "GIF", interlace=interlace)
                c.ok(name, data, first_frame(data), 2)
                c.ok(name + "_local", gif_local(data), first_frame(data), 2)
            data = encoded(image, "GIF", transparency=1)
            c.ok(f"c{colours}_transparent_{w}x{h}", data, first_frame(data), 2)
        frames = [source.quantize(50), photo(w, h, "RGB", 9).quantize(30)]
        data = encoded(frames[0], "GIF", save_all=True, append_images=frames[1:], duration=50, loop=0)
        c.ok(f"animated_{w}x{h}", data, first_frame(data), 2)
        small = gif_on_screen(encoded(source.quantize(20), "GIF"), 3, 2, w + 5, h + 4)
        c.ok(f"small_on_screen_{w}x{h}", small, first_frame(small).crop((3, 2, 3 + w, 2 + h)), 2)
    good = encoded(photo(5, 5, "RGB", 1).quantize(4), "GIF")
    c.refuse("version", good[:3] + b"88a" + good[6:], 1, "gif: unsupported version")
    header, table, blocks, _, _ = gif_parts(good)
    c.refuse("no_image", header + table + blocks + b"\x3b", 3, "gif: no image data")

    def lzw(minimum, *codes):  # GIF codes, least significant bit first, widening as decoders do
        width, nxt, first, acc, n = minimum + 1, (1 << minimum) + 2, True, 0, 0
        for code in codes:
            acc, n = acc | code << n, n + width
            if code == 1 << minimum:
                width, nxt, first = minimum + 1, (1 << minimum) + 2, True
            elif code != (1 << minimum) + 1:
                if not first and nxt < 4096:
                    nxt += 1
                    width += nxt == 1 << width and width < 12
                first = False
        return acc.to_bytes((n + 7) // 8, "little")

    def gif(data, exponent=1, minimum=2, size=(2, 2), descriptor_packed=0, screen=(2, 2)):
        table = bytes(range(3 << (exponent + 1)))
        head = b"GIF89a" + struct.pack("<HH", *screen) + bytes([0x80 | exponent, 0, 0]) + table
        image = b"\x2c" + struct.pack("<HHHH", 0, 0, *size) + bytes([descriptor_packed, minimum])
        return head + image + bytes([len(data)]) + data + b"\0\x3b"
    two = gif(lzw(2, 4, 0, 1, 0, 1, 5))
    c.ok("built_2x2", two, first_frame(two), 2)
    for name, kind, message, data in (
            ("header", 2, "gif: header truncated", two[:12]),
            ("signature", 1, "gif: bad signature", b"JIF" + two[3:]),
            ("dimensions", 3, "gif: bad dimensions", two[:6] + b"\0\0" + two[8:]),
            ("too_many", 3, "gif: too many pixels", two[:6] + b"\xff\xff\xff\xff" + two[10:]),
            ("global_table", 2, "gif: global color table truncated", two[:20]),
            ("extension", 2, "gif: extension truncated", two[:25] + b"\x21"),
            ("gce", 2, "gif: GCE truncated", two[:25] + b"\x21\xf9\x04\x01"),
            ("no_descriptor", 3, "gif: no image descriptor", two[:25]),
            ("marker", 3, "gif: unknown block marker", two[:25] + b"\x99"),
            ("descriptor", 2, "gif: image descriptor truncated", two[:30]),
            ("image_dims", 3, "gif: bad image dimensions", gif(lzw(2, 4, 5), size=(0, 2))),
            ("image_pixels", 3, "gif: image has too many pixels", gif(lzw(2, 4, 5), size=(65535, 65535))),
            ("local_table", 2, "gif: local color table truncated", gif(b"", descriptor_packed=0x87)[:60]),
            ("min_size_missing", 3, "gif: missing LZW min code size", two[:35]),
            ("sub_block", 2, "gif: sub-block truncated", two[:38]),
            ("min_size", 3, "gif: bad LZW min code size", gif(lzw(2, 4, 5), minimum=9)),
            ("code", 3, "gif: bad LZW code", gif(lzw(2, 4, 7))),
            ("exceeds", 3, "gif: LZW output exceeds the frame size", gif(lzw(2, 4, 0, 1, 0, 1, 0, 5))),
            ("short", 3, "gif: LZW output too short", gif(lzw(2, 4, 0, 1, 5))),
            ("no_end_code", 2, "gif: LZW stream truncated", gif(lzw(2, 4, 0, 1, 0, 1))),
            ("palette_index", 3, "gif: palette index out of range", gif(lzw(2, 4, 0, 1, 2, 1, 5), exponent=0))):
        c.refuse(name, data, kind, message)


def tiff_file(width, height, bits, spp, photometric, rows, big, colormap=None, extra=()):
    """An uncompressed single-image TIFF of `rows` (packed row bytes); `extra` adds or replaces
    fields as (tag, type, values)."""
    order = ">" if big else "<"
    fields = {256: (4, [width]), 257: (4, [height]), 258: (3, [bits] * spp), 259: (3, [1]),
              262: (3, [photometric]), 273: (4, [0]), 277: (3, [spp]), 278: (4, [height]),
              279: (4, [len(rows)])}
    if colormap:
        fields[320] = (3, colormap)
    fields.update({tag: (typ, values) for tag, typ, values in extra})
    entries = sorted((tag, typ, values) for tag, (typ, values) in fields.items())
    data_at = 8 + 2 + 12 * len(entries) + 4
    blobs, out = b"", []
    for tag, typ, values in entries:
        packed = b"".join(struct.pack(order + ("H" if typ == 3 else "I"), v) for v in values)
        if len(packed) <= 4:
            out.append((tag, typ, len(values), packed.ljust(4, b"\0")))
        else:
            out.append((tag, typ, len(values), struct.pack(order + "I", data_at + len(blobs))))
            blobs += packed + b"\0" * (len(packed) & 1)
    strip_at = data_at + len(blobs)
    head = (b"MM\0*" if big else b"II*\0") + struct.pack(order + "I", 8) + struct.pack(order + "H", len(out))
    for tag, typ, count, value in out:
        if tag == 273 and fields[273][1] == [0]:
            value = struct.pack(order + "I", strip_at)
        head += struct.pack(order + "HHI", tag, typ, count) + value
    return head + b"\0\0\0\0" + blobs + rows


def pack_rows(samples, width, height, spp, bits, big):
    rows = b""
    per_row = width * spp
    for y in range(height):
        row = samples[y * per_row:(y + 1) * per_row]
        if bits == 16:
            rows += b"".join(struct.pack(">H" if big else "<H", v) for v in row)
        elif bits == 8:
            rows += bytes(row)
        else:
            acc, n, out = 0, 0, bytearray()
            for v in row:
                acc, n = acc << bits | v, n + bits
                if n == 8:
                    out.append(acc)
                    acc, n = 0, 0
            if n:
                out.append(acc << (8 - n))
            rows += bytes(out)
    return rows


def tiff_expected(samples, width, height, spp, bits, photometric, colormap):
    """The 8-bit pixels a TIFF of these samples stands for: 1-bit to 0/255, 4-bit times 17, 16-bit
    high byte, white-is-zero inverted, palette looked up, gray and alpha widened to RGBA."""
    scale = {1: lambda v: v * 255, 4: lambda v: v * 17, 8: lambda v: v, 16: lambda v: v >> 8}[bits]
    if photometric == 3:
        n = len(colormap) // 3
        data = bytes(colormap[c * n + v] >> 8 for v in samples for c in range(3))
        return Image.frombytes("RGB", (width, height), data), 1
    values = [scale(v) for v in samples]
    if photometric == 0:
        values = [v if spp == 2 and i % 2 else 255 - v for i, v in enumerate(values)]
    if photometric in (0, 1) and spp == 2:
        data = bytes(v for i in range(0, len(values), 2) for v in (values[i],) * 3 + (values[i + 1],))
        return Image.frombytes("RGBA", (width, height), data), 2
    mode, layout = {1: ("L", 0), 3: ("RGB", 1), 4: ("CMYK", 3) if photometric == 5 else ("RGBA", 2)}[spp]
    return Image.frombytes(mode, (width, height), bytes(values)), layout


def make_tiff(c):
    kinds = (("white0", 0, 1, (1, 4, 8, 16)), ("black0", 1, 1, (1, 4, 8, 16)), ("gray_alpha", 1, 2, (8, 16)),
             ("white0_alpha", 0, 2, (8,)), ("rgb", 2, 3, (8, 16)), ("rgba", 2, 4, (8, 16)),
             ("palette", 3, 1, (4, 8)), ("mask", 4, 1, (1,)), ("cmyk", 5, 4, (8, 16)))
    variants = (("none", []), ("lzw", ["-c", "lzw"]), ("lzw_pred", ["-c", "lzw:2"]), ("zip", ["-c", "zip"]),
                ("zip_pred", ["-c", "zip:2"]), ("packbits", ["-c", "packbits"]), ("strips3", ["-r", "3"]),
                ("tiles", ["-t", "-w", "16", "-l", "16"]), ("tiles_lzw_pred", ["-t", "-w", "16", "-l", "32", "-c", "lzw:2"]),
                ("tiles_zip", ["-t", "-w", "32", "-l", "16", "-c", "zip"]), ("tiles_packbits", ["-t", "-c", "packbits"]))
    rnd = random.Random(17)
    with tempfile.TemporaryDirectory() as tmp:
        source, target = os.path.join(tmp, "in.tif"), os.path.join(tmp, "out.tif")
        for label, photometric, spp, depths in kinds:
            for bits in depths:
                width, height = (37, 21) if bits > 1 else (45, 19)
                samples = [rnd.randrange(1 << bits) for _ in range(width * height * spp)]
                if bits >= 8:  # smooth runs, so that predictors and dictionaries have work
                    samples = [(i * 37 // spp + (v >> (bits - 3))) % (1 << bits) for i, v in enumerate(samples)]
                colormap = [rnd.randrange(65536) for _ in range(3 << bits)] if photometric == 3 else None
                expected, layout = tiff_expected(samples, width, height, spp, bits, photometric, colormap)
                extra = [(338, 3, [2])] if spp in (2, 4) and photometric != 5 else []
                for big in (False, True):
                    plain = tiff_file(width, height, bits, spp, photometric,
                                      pack_rows(samples, width, height, spp, bits, big), big, colormap, extra)
                    with open(source, "wb") as f:
                        f.write(plain)
                    for name, options in variants:
                        if "pred" in name and bits < 8:
                            continue
                        run(["tiffcp"] + options + (["-B"] if big else ["-L"]) + [source, target])
                        data = open(target, "rb").read()
                        if bits in (8,) and photometric in (1, 2, 3, 5) and spp != 2:
                            assert pillow(data).convert(expected.mode).tobytes() == expected.tobytes(), name
                        c.ok(f"{label}_{bits}_{name}_{'mm' if big else 'ii'}", data, expected, layout)
        run(["tiffcp", "-8", source, target])
        c.refuse("bigtiff", open(target, "rb").read(), 1, "tiff: bad magic (not classic TIFF)")
        def lzw(*codes):  # 9-bit codes, most significant bit first
            bits = "".join(f"{code:09b}" for code in codes) + "0" * 7
            return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits) - 7, 8))

        def gray(extra=(), rows=bytes(8), bits=8, spp=1, photometric=1):
            return tiff_file(4, 2, bits, spp, photometric, rows, False, extra=extra)
        for name, kind, message, data in (
                ("ycbcr", 1, "tiff: YCbCr unsupported", gray(photometric=6, spp=3, rows=bytes(24))),
                ("planar", 1, "tiff: planar configuration 2 unsupported", gray([(284, 3, [2])])),
                ("float", 1, "tiff: floating-point samples unsupported", gray([(339, 3, [3])], bytes(16), 16)),
                ("jpeg", 1, "tiff: compression 7 unsupported", gray([(259, 3, [7])])),
                ("bits2", 1, "tiff: 2-bit samples unsupported", gray(bits=2)),
                ("sub_byte_spp", 1, "tiff: sub-byte samples need spp=1", gray(bits=4, spp=3, photometric=2)),
                ("predictor3", 1, "tiff: predictor 3 unsupported", gray([(317, 3, [3])])),
                ("predictor_bits", 1, "tiff: predictor 2 needs 8/16-bit samples", gray([(317, 3, [2])], bits=4)),
                ("gray_spp3", 1, "tiff: gray with spp=3 unsupported", gray(spp=3, rows=bytes(24))),
                ("rgb_spp2", 1, "tiff: RGB with spp=2 unsupported", gray(spp=2, photometric=2, rows=bytes(16))),
                ("palette_spp", 1, "tiff: palette needs spp=1", gray(spp=3, photometric=3, rows=bytes(24))),
                ("mask_spp", 1, "tiff: mask needs spp=1", gray(spp=2, photometric=4, rows=bytes(16))),
                ("cmyk_spp", 1, "tiff: CMYK needs spp=4", gray(spp=3, photometric=5, rows=bytes(24))),
                ("photometric8", 1, "tiff: photometric 8 unsupported", gray(photometric=8)),
                ("header", 2, "tiff: header truncated", b"II*\0\x08\0\0"),
                ("byte_order", 1, "tiff: bad byte order", b"IM" + gray()[2:]),
                ("ifd_offset", 3, "tiff: IFD offset out of range", gray()[:4] + b"\xff\xff\0\0" + gray()[8:]),
                ("ifd_entries", 2, "tiff: IFD entries truncated", gray()[:40]),
                ("dimensions", 3, "tiff: bad image dimensions", gray([(256, 4, [0])])),
                ("too_many_pixels", 3, "tiff: image has too many pixels", gray([(256, 4, [1 << 16]), (257, 4, [1 << 15])])),
                ("colormap", 3, "tiff: ColorMap too small", gray([(320, 3, [0] * 700)], photometric=3)),
                ("tile_dims", 3, "tiff: bad tile dimensions", gray([(322, 4, [0]), (323, 4, [16])])),
                ("tile_table", 2, "tiff: tile offset/count table truncated", gray([(322, 4, [16]), (323, 4, [16])])),
                ("strip_table", 2, "tiff: strip offset/count table truncated", gray([(278, 4, [1])])),
                ("empty_strip", 3, "tiff: empty strip/tile", gray([(279, 4, [0])])),
                ("strip_range", 2, "tiff: strip/tile bytes out of range", gray([(279, 4, [9])])),
                ("strip_short", 2, "tiff: decoded strip/tile too short", gray(rows=bytes(7))),
                ("lzw_first", 3, "tiff: bad LZW first code", gray([(259, 3, [5])], lzw(256, 300))),
                ("lzw_code", 3, "tiff: bad LZW code", gray([(259, 3, [5])], lzw(256, 1, 300))),
                ("lzw_exceeds", 3, "tiff: LZW output exceeds expected size",
                 gray([(259, 3, [5])], lzw(256, *[1] * 9))),
                ("packbits_literal", 2, "tiff: PackBits literal run truncated", gray([(259, 3, [32773])], b"\x07\1\2\3")),
                ("packbits_repeat", 2, "tiff: PackBits repeat run truncated", gray([(259, 3, [32773])], b"\xfd\1\x80\xff")),
                ("packbits_exceeds", 3, "tiff: PackBits output exceeds expected size",
                 gray([(259, 3, [32773])], b"\xf9\1\xff\2\0\0\0\0"))):
            c.refuse(name, data, kind, message)


def check(directory):
    with open(os.path.join(directory, "check.txt")) as f:
        lines = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    failures = 0
    for fmt, name, width, height, layout, raw in lines:
        with open(os.path.join(directory, name), "rb") as f, open(os.path.join(directory, raw), "rb") as g:
            data, expected = f.read(), g.read()
        layout = int(layout)
        if fmt == "pnm":
            image = pnm_reference(data, layout)
        else:
            image = pillow(data)
            if fmt == "bmp" and layout == 2:  # readers ignore the fourth byte of our 32-bit BMP
                image, layout, expected = image.convert("RGB"), 1, bytes(b for i, b in enumerate(expected) if i % 4 != 3)
        if (image.convert(MODES[layout]).tobytes(), image.size) != (expected, (int(width), int(height))):
            print(f"{name}: the reference decoder reads other pixels", file=sys.stderr)
            failures += 1
    print(f"checked {len(lines)} files, {failures} mismatches")
    return 1 if failures or not lines else 0


def main(argv):
    if argv[1] == "check":
        return check(argv[2])
    cases = Cases(argv[3], "." + argv[2])
    {"bmp": make_bmp, "tga": make_tga, "pnm": make_pnm, "pcx": make_pcx, "webp": make_webp,
     "gif": make_gif, "tiff": make_tiff}[argv[2]](cases)
    with open(os.path.join(argv[3], "manifest.txt"), "w") as f:
        f.writelines("\t".join(str(v) for v in line) + "\n" for line in cases.lines)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
