#!/usr/bin/env python3
"""Draws the program's icon: a small framed landscape from one of the slides.

The icon holds three pictures, 16 x 16, 32 x 32 and 48 x 48 pixels, each in
24-bit colour with a 1-bit transparency (AND) mask, in the classic .ico
layout that every Windows version shows: an ICONDIR, one ICONDIRENTRY per
picture, then per picture a BITMAPINFOHEADER (height doubled for the mask),
the colour rows bottom-up and the mask rows bottom-up.

Each picture is a landscape-format frame (3:4 of the icon's width high,
centred; transparent above and below) around the slide, which ImageMagick's
`convert` cuts to the frame's opening and scales down. Only the standard
library and `convert` are used.

    tools/icon/make-icon.py [--slide resources/slides/slide01.jpg] [--out resources/icon/velmorascr.ico]

The build uses the committed result; run this again only to change the icon.
"""

import argparse
import os
import struct
import subprocess
import sys

SIZES = (16, 32, 48)

# Frame colours, outside in: a dark edge, the wood's lit and shaded faces,
# plain wood, and a dark step down to the picture.
FRAME_EDGE = (0x2B, 0x1A, 0x0E)
FRAME_WOOD = (0x9A, 0x62, 0x2A)
FRAME_LIGHT = (0xD8, 0xA4, 0x5C)   # top and left faces of the wood catch the light
FRAME_SHADE = (0x6A, 0x40, 0x1A)   # bottom and right faces lie in shadow
FRAME_INNER = (0x3C, 0x24, 0x10)   # the step down to the picture


def frame_thickness(size):
    return {16: 2, 32: 3, 48: 4}[size]


def frame_box(size):
    """The frame's outer rectangle (x0, y0, x1, y1), corners included."""
    height = size * 3 // 4
    top = (size - height) // 2
    return 0, top, size - 1, top + height - 1


def scaled_slide(slide, width, height):
    """The slide cut to width:height about its centre and scaled to width x height, as RGB rows."""
    probe = subprocess.run(["identify", "-format", "%w %h", slide], check=True, capture_output=True, text=True)
    sw, sh = (int(v) for v in probe.stdout.split())
    # The largest centred area of the slide with the opening's shape.
    if sw * height > sh * width:
        cw, ch = (sh * width + height // 2) // height, sh
    else:
        cw, ch = sw, (sw * height + width // 2) // width
    cx, cy = (sw - cw) // 2, (sh - ch) // 2
    raw = subprocess.run(
        ["convert", slide, "-crop", f"{cw}x{ch}+{cx}+{cy}", "+repage",
         "-filter", "Lanczos", "-resize", f"{width}x{height}!",
         "-unsharp", "0x0.75+0.6+0", "-depth", "8", "rgb:-"],
        check=True, capture_output=True).stdout
    if len(raw) != width * height * 3:
        sys.exit(f"convert gave {len(raw)} bytes for a {width} x {height} picture")
    return [[tuple(raw[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)] for y in range(height)]


def draw_icon(slide, size):
    """One picture: rows of RGB tuples top-down, and rows of mask bits (1 = transparent)."""
    x0, y0, x1, y1 = frame_box(size)
    t = frame_thickness(size)
    inner_w, inner_h = (x1 - x0 + 1) - 2 * t, (y1 - y0 + 1) - 2 * t
    picture = scaled_slide(slide, inner_w, inner_h)

    pixels = [[(0, 0, 0)] * size for _ in range(size)]
    mask = [[1] * size for _ in range(size)]
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            mask[y][x] = 0
            ring = min(x - x0, y - y0, x1 - x, y1 - y)  # 0 = outermost row of the frame
            if ring >= t:
                pixels[y][x] = picture[y - y0 - t][x - x0 - t]
            elif ring == 0:
                pixels[y][x] = FRAME_EDGE
            elif ring == t - 1 and t > 2:
                pixels[y][x] = FRAME_INNER
            elif ring == 1:
                # Lit on the top and left faces, shaded on the bottom and right.
                lit = (y - y0 == ring) or (x - x0 == ring)
                pixels[y][x] = FRAME_LIGHT if lit else FRAME_SHADE
            else:
                pixels[y][x] = FRAME_WOOD
    return pixels, mask


def bmp_image(pixels, mask):
    """BITMAPINFOHEADER, 24-bit colour rows and the AND mask, both bottom-up, rows padded to 4 bytes."""
    size = len(pixels)
    color_row = (size * 3 + 3) & ~3
    mask_row = ((size + 31) // 32) * 4
    colors = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        colors += line + bytes(color_row - len(line))
    bits = bytearray()
    for row in reversed(mask):
        line = bytearray(mask_row)
        for x, bit in enumerate(row):
            if bit:
                line[x // 8] |= 0x80 >> (x % 8)
        bits += line
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 24, 0, len(colors) + len(bits), 0, 0, 0, 0)
    return header + colors + bits


def ico(images):
    """ICONDIR and its entries, then the images."""
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 24, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return bytes(out)


def main():
    root = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--slide", default=os.path.join(root, "resources", "slides", "slide01.jpg"))
    parser.add_argument("--out", default=os.path.join(root, "resources", "icon", "velmorascr.ico"))
    args = parser.parse_args()

    images = [(size, bmp_image(*draw_icon(args.slide, size))) for size in SIZES]
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    with open(args.out, "wb") as f:
        f.write(ico(images))
    print(f"{args.out}: {', '.join(f'{s} x {s}' for s in SIZES)}, 24-bit colour")


if __name__ == "__main__":
    main()
