#!/usr/bin/python3
"""Raster files written by Pillow and netpbm, with the 8-bit pixels their decoders read.

make FORMAT DIR: the cases of FORMAT (bmp, tga, pnm, pcx) into DIR, listed in DIR/manifest.txt as
  "ok NAME FILE WIDTH HEIGHT LAYOUT RAW" (layout 0 gray, 1 RGB, 2 RGBA) or "refuse NAME FILE KIND
  MESSAGE", tab-separated. check DIR: exits 1 unless the reference decoders read each file of
  DIR/check.txt ("FORMAT FILE WIDTH HEIGHT LAYOUT RAW", written by our encoders) as RAW.
"""
import io
import os
import random
import subprocess
import sys
import tempfile

from PIL import Image

MODES = ["L", "RGB", "RGBA"]  # by layout
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
    {"bmp": make_bmp, "tga": make_tga, "pnm": make_pnm, "pcx": make_pcx}[argv[2]](cases)
    with open(os.path.join(argv[3], "manifest.txt"), "w") as f:
        f.writelines("\t".join(str(v) for v in line) + "\n" for line in cases.lines)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
