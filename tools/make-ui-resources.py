#!/usr/bin/env python3
"""Renders the wizard's resource files into an output folder:

  application.ico    the program icon (16 to 64 pixels: the sizes of 96 to 192 DPI)
  images/NNN.bz2     type-34 images: bitmap files drawn here, bzip2-compressed
  fonts/NNN.bin      type-30 fonts: a LOGFONTW (92 bytes) and one byte of padding
  colours/NNN.bin    type-31 text colours: a COLORREF
  licenses/XX.rtf    type-32 licence agreement per language, from resources/licenses/XX.txt
  test-images/*.bz2  broken and oversized images for the tests

usage: make-ui-resources.py LICENSE_SOURCE_DIR OUTPUT_DIR
"""
import bz2
import math
import os
import struct
import sys


def bitmap_file(width, height, depth, pixel):
    """A bottom-up BI_RGB bitmap file; pixel(x, y) gives (r, g, b) with y from the top."""
    bytes_per_pixel = depth // 8
    stride = (width * bytes_per_pixel + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r)) if depth == 24 else bytes((b, g, r, 255))
        row += b"\0" * (stride - len(row))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, depth, 0, len(pixels), 2835, 2835, 0, 0)
    offset = 14 + len(info)
    header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    return header + info + pixels


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


WHITE = (255, 255, 255)
NAVY = (0, 51, 153)
SKY = (120, 170, 230)
TEAL = (0, 128, 128)


def banner(x, y):
    # White on the left, a blue band sweeping to the right, a ring as the product mark.
    base = mix(WHITE, (220, 232, 248), (x - 250) / 242)
    band = abs((y - 63 * 0.55) - (x - 300) * 0.12)
    if x > 260 and band < 6:
        base = mix(SKY, NAVY, (x - 260) / 232)
    d = math.hypot(x - 455, y - 31)
    if 18 <= d <= 24:
        base = NAVY
    elif d < 12:
        base = SKY
    return base


def side_picture(x, y):
    base = mix(NAVY, TEAL, y / 313)
    for cx, cy, r in ((40, 60, 30), (120, 150, 45), (60, 250, 36)):
        d = math.hypot(x - cx, y - cy)
        if r - 3 <= d <= r:
            base = mix(base, WHITE, 0.6)
    return base


def nox_logo(x, y):
    # A green rounded plate with three white strokes.
    inside = 2 <= x <= 95 and 1 <= y <= 17
    if not inside:
        return (240, 240, 240)
    if y in (6, 9, 12) and 10 <= x <= 88 - (y - 6) * 6:
        return WHITE
    return mix((40, 160, 80), (20, 110, 60), y / 18)


def gearfresh_logo(x, y):
    # A gear on the left and four bars that grow to the right.
    d = math.hypot(x - 17, y - 17)
    angle = math.atan2(y - 17, x - 17)
    tooth = 14 + (3 if math.cos(angle * 8) > 0.3 else 0)
    if d <= tooth and d >= 6:
        return (230, 120, 20)
    for i in range(4):
        left = 42 + i * 44
        top = 28 - (i + 1) * 5
        if left <= x < left + 36 and top <= y <= 30:
            return mix((240, 150, 40), (200, 90, 10), i / 3)
    return (240, 240, 240)


def icon_image(size):
    """One icon image: BITMAPINFOHEADER (double height), BGRA rows bottom-up, an empty AND mask."""
    rows = []
    for y in range(size - 1, -1, -1):
        row = bytearray()
        for x in range(size):
            d = math.hypot(x - (size - 1) / 2, y - (size - 1) / 2)
            if d <= size * 0.47:
                r, g, b = mix(SKY, NAVY, d / (size * 0.47))
                if abs(x - size * 0.38) < size * 0.08 or (abs((x - size * 0.38) - abs(y - size / 2)) < size * 0.09
                                                          and x > size * 0.38):
                    r, g, b = WHITE
                row += bytes((b, g, r, 255))
            else:
                row += bytes((0, 0, 0, 0))
        rows.append(bytes(row))
    mask_stride = ((size + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + b"\0" * (mask_stride * size)


def icon_file(sizes):
    images = [icon_image(size) for size in sizes]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for size, image in zip(sizes, images):
        directory += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + b"".join(images)


def logfont(points, weight, face="Microsoft Sans Serif"):
    name = face.encode("utf-16-le").ljust(64, b"\0")[:64]
    return struct.pack("<iiiiiBBBBBBBB", points, 0, 0, 0, weight, 0, 0, 0, 0, 3, 2, 1, 0x22) + name + b"\0"


def rtf_escape(text):
    out = []
    for ch in text:
        code = ord(ch)
        if ch in "\\{}":
            out.append("\\" + ch)
        elif code < 128:
            out.append(ch)
        else:
            out.append("\\u%d?" % (code if code < 32768 else code - 65536))
    return "".join(out)


def license_rtf(text, japanese):
    paragraphs = [p.strip().replace("\n", " ") for p in text.strip().split("\n\n")]
    if japanese:
        head = r"{\rtf1\ansi\ansicpg932\deff0{\fonttbl{\f0\fnil\fcharset128 MS UI Gothic;}}"
    else:
        head = r"{\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fswiss\fcharset0 Microsoft Sans Serif;}}"
    body = [head, r"\viewkind4\uc1\pard\sa120\f0\fs16"]
    for index, paragraph in enumerate(paragraphs):
        escaped = rtf_escape(paragraph)
        body.append((r"\b %s\b0\par" if index == 0 else r"%s\par") % escaped)
    body.append("}")
    return ("\r\n".join(body) + "\r\n").encode("ascii")


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    license_dir, out = sys.argv[1], sys.argv[2]
    images = {
        500: bitmap_file(492, 63, 24, banner),
        501: bitmap_file(164, 314, 24, side_picture),
        512: bitmap_file(98, 19, 32, nox_logo),
        514: bitmap_file(219, 35, 32, gearfresh_logo),
    }
    for number, data in images.items():
        write(os.path.join(out, "images", "%d.bz2" % number), bz2.compress(data, 9))

    write(os.path.join(out, "application.ico"), icon_file((32, 16, 20, 24, 40, 48, 64)))

    fonts = {1003: logfont(8, 700), 1004: logfont(12, 400), 1011: logfont(12, 400), 1053: logfont(12, 400)}
    for number, data in fonts.items():
        assert len(data) == 93
        write(os.path.join(out, "fonts", "%d.bin" % number), data)

    colours = {1003: (0, 0, 0), 1053: (99, 103, 106), 1054: (106, 115, 122), 1059: (106, 115, 122),
               1060: (106, 115, 122), 1093: (106, 115, 122)}
    for number, (r, g, b) in colours.items():
        write(os.path.join(out, "colours", "%d.bin" % number), bytes((r, g, b, 0)))

    for language in ("en", "de", "es", "fr", "ja"):
        with open(os.path.join(license_dir, "license_%s.txt" % language), encoding="utf-8") as f:
            write(os.path.join(out, "licenses", "%s.rtf" % language), license_rtf(f.read(), language == "ja"))

    # Test images: a valid one of 3 MiB (the decompression buffer must grow),
    # a header that claims more rows than present, a pixel offset past the end,
    # a damaged bzip2 stream, and bytes that are no bzip2 stream at all.
    large = bitmap_file(1024, 1024, 24, lambda x, y: (x & 255, y & 255, 128))
    write(os.path.join(out, "test-images", "large.bz2"), bz2.compress(large, 9))
    small = bitmap_file(16, 16, 24, lambda x, y: (200, 40, 40))
    lying = bytearray(small)
    struct.pack_into("<i", lying, 22, 4000)  # height
    write(os.path.join(out, "test-images", "lying-height.bz2"), bz2.compress(bytes(lying)))
    far = bytearray(small)
    struct.pack_into("<I", far, 10, 0x7FFFFFF0)  # pixel offset
    write(os.path.join(out, "test-images", "pixel-offset.bz2"), bz2.compress(bytes(far)))
    damaged = bytearray(bz2.compress(small))
    for i in range(len(damaged) // 2, len(damaged) // 2 + 8):
        damaged[i] ^= 0x5A
    write(os.path.join(out, "test-images", "damaged-stream.bz2"), bytes(damaged))
    write(os.path.join(out, "test-images", "not-bzip2.bz2"), small)
    # Written last: the build's sign that everything above is in place.
    write(os.path.join(out, "rendered.stamp"), b"")


if __name__ == "__main__":
    main()
