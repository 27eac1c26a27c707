#!/usr/bin/env python3
"""Build the program's 8 x 13 glyph font (the VGAFIX resource).

The glyphs come from the public-domain misc-fixed 8x13 font of X11, which
Debian ships in xfonts-base as a Unicode (ISO10646-1) PCF file.  The output is
2,912 bytes, no header: 224 glyphs for the character codes 32 ... 255, 13 bytes
per glyph, one byte per pixel row from the top, bit 7 the leftmost pixel and
a set bit a foreground pixel.  Codes 32 ... 127 are ASCII; codes 128 ... 255
follow the Windows-1251 (Cyrillic) code page, so each of them is looked up in
the Unicode font by the code point that code page gives it.

A code with no Unicode meaning (0x98 in Windows-1251) or whose character the
font lacks gets a blank glyph; every such code is listed on standard error.

Usage:
    make-vgafix.py [--pcf FILE.pcf.gz | --bdf FILE.bdf] [-o OUTPUT]

With --pcf (the default is xfonts-base's installed 8x13.pcf.gz) the script
runs pcf2bdf itself.  Without -o the bytes go to standard output.  The same
input always gives the same bytes.
"""

import argparse
import subprocess
import sys

DEFAULT_PCF = "/usr/share/fonts/X11/misc/8x13.pcf.gz"

CELL_WIDTH = 8
CELL_HEIGHT = 13
FIRST_CODE = 32
GLYPH_COUNT = 224
CODE_PAGE = "cp1251"


class FontError(Exception):
    pass


def parse_bdf(text):
    """Return (properties, glyphs) of a BDF font.

    properties maps a property name to its raw value string; glyphs maps an
    encoding (a Unicode code point for an ISO10646 font) to a dict with the
    glyph's bounding box and its bitmap rows as integers, one per row, with the
    row's leftmost pixel in the top bit of its padded byte width.
    """
    properties = {}
    glyphs = {}
    lines = text.splitlines()
    i = 0
    n = len(lines)

    in_properties = False
    while i < n:
        line = lines[i].strip()
        i += 1
        if not line:
            continue
        key = line.split(None, 1)[0]
        if key == "STARTPROPERTIES":
            in_properties = True
            continue
        if key == "ENDPROPERTIES":
            in_properties = False
            continue
        if in_properties:
            parts = line.split(None, 1)
            properties[parts[0]] = parts[1].strip('"') if len(parts) > 1 else ""
            continue
        if key == "FONTBOUNDINGBOX":
            properties["FONTBOUNDINGBOX"] = line.split(None, 1)[1]
            continue
        if key != "STARTCHAR":
            continue

        glyph = {"encoding": None, "bbx": None, "dwidth": None, "rows": None}
        while i < n:
            line = lines[i].strip()
            i += 1
            f = line.split()
            if not f:
                continue
            if f[0] == "ENCODING":
                # "ENCODING -1 n" marks a glyph with no standard encoding.
                code = int(f[1])
                glyph["encoding"] = code if code >= 0 else None
            elif f[0] == "DWIDTH":
                glyph["dwidth"] = int(f[1])
            elif f[0] == "BBX":
                glyph["bbx"] = tuple(int(v) for v in f[1:5])
            elif f[0] == "BITMAP":
                if glyph["bbx"] is None:
                    raise FontError("BITMAP before BBX near line %d" % i)
                height = glyph["bbx"][1]
                rows = []
                for _ in range(height):
                    if i >= n:
                        raise FontError("bitmap cut short at end of file")
                    rows.append(lines[i].strip())
                    i += 1
                glyph["rows"] = rows
            elif f[0] == "ENDCHAR":
                break
        if glyph["encoding"] is None:
            continue
        if glyph["bbx"] is None or glyph["rows"] is None:
            raise FontError("glyph %d has no BBX or BITMAP" % glyph["encoding"])
        glyphs[glyph["encoding"]] = glyph
    return properties, glyphs


def cell_rows(glyph, ascent):
    """Place one BDF glyph in the 8 x 13 cell; return its 13 row bytes.

    The cell's top row lies at height ascent - 1 above the baseline and its
    bottom row at -descent.  A glyph's BBX (w, h, xoff, yoff) puts its bottom
    bitmap row at height yoff and its leftmost column at x = xoff, so bitmap
    row j (0 = top) lands in cell row ascent - (yoff + h) + j.
    """
    width, height, xoff, yoff = glyph["bbx"]
    top = ascent - (yoff + height)
    out = [0] * CELL_HEIGHT
    for j, hexrow in enumerate(glyph["rows"]):
        padded_bits = 4 * len(hexrow)
        if padded_bits < width:
            raise FontError("bitmap row %r narrower than BBX width %d"
                            % (hexrow, width))
        bits = int(hexrow, 16) if hexrow else 0
        for column in range(width):
            if not (bits >> (padded_bits - 1 - column)) & 1:
                continue
            x = xoff + column
            row = top + j
            if not (0 <= x < CELL_WIDTH and 0 <= row < CELL_HEIGHT):
                raise FontError("glyph %d has a pixel outside the 8 x 13 cell"
                                " (column %d, row %d)"
                                % (glyph["encoding"], x, row))
            out[row] |= 0x80 >> x
    return out


def code_point(code):
    """Unicode code point shown for character code 32 ... 255, or None."""
    if code < 128:
        return code
    try:
        return ord(bytes([code]).decode(CODE_PAGE))
    except UnicodeDecodeError:
        return None


def build(bdf_text):
    """Return (the 2,912 font bytes, list of (code, reason) left blank)."""
    properties, glyphs = parse_bdf(bdf_text)
    if properties.get("CHARSET_REGISTRY", "").upper() != "ISO10646":
        raise FontError("expected a Unicode (ISO10646) font, got registry %r"
                        % properties.get("CHARSET_REGISTRY"))
    try:
        ascent = int(properties["FONT_ASCENT"])
        descent = int(properties["FONT_DESCENT"])
    except (KeyError, ValueError):
        raise FontError("font has no usable FONT_ASCENT / FONT_DESCENT")
    if ascent + descent != CELL_HEIGHT:
        raise FontError("font is %d rows high, the cell is %d"
                        % (ascent + descent, CELL_HEIGHT))

    out = bytearray()
    blanks = []
    for code in range(FIRST_CODE, FIRST_CODE + GLYPH_COUNT):
        cp = code_point(code)
        if cp is None:
            blanks.append((code, "undefined in %s" % CODE_PAGE))
            rows = [0] * CELL_HEIGHT
        elif cp not in glyphs:
            blanks.append((code, "U+%04X not in font" % cp))
            rows = [0] * CELL_HEIGHT
        else:
            glyph = glyphs[cp]
            if glyph["dwidth"] not in (None, CELL_WIDTH):
                raise FontError("U+%04X advances %d pixels, not %d"
                                % (cp, glyph["dwidth"], CELL_WIDTH))
            rows = cell_rows(glyph, ascent)
        out.extend(rows)
    assert len(out) == CELL_HEIGHT * GLYPH_COUNT
    return bytes(out), blanks


def run_pcf2bdf(pcf_path):
    """Return the BDF text of a PCF font (pcf2bdf reads .pcf.gz as well)."""
    try:
        done = subprocess.run(["pcf2bdf", pcf_path], check=True,
                              stdout=subprocess.PIPE)
    except FileNotFoundError:
        raise FontError("pcf2bdf not found (Debian package pcf2bdf)")
    except subprocess.CalledProcessError as e:
        raise FontError("pcf2bdf failed on %s (exit %d)"
                        % (pcf_path, e.returncode))
    return done.stdout.decode("latin-1")


def read_bdf(args):
    if args.bdf:
        with open(args.bdf, encoding="latin-1") as f:
            return f.read()
    return run_pcf2bdf(args.pcf)


def main(argv):
    parser = argparse.ArgumentParser(
        description="Build the 8 x 13 glyph font resource from X11 misc-fixed.")
    source = parser.add_mutually_exclusive_group()
    source.add_argument("--pcf", default=DEFAULT_PCF,
                        help="Unicode 8x13 PCF font, run through pcf2bdf "
                             "(default: %(default)s)")
    source.add_argument("--bdf", help="Unicode 8x13 BDF font")
    parser.add_argument("-o", "--output",
                        help="file to write (default: standard output)")
    args = parser.parse_args(argv)

    try:
        data, blanks = build(read_bdf(args))
    except (FontError, OSError) as e:
        print("make-vgafix: %s" % e, file=sys.stderr)
        return 1

    for code, reason in blanks:
        print("make-vgafix: code 0x%02X left blank: %s" % (code, reason),
              file=sys.stderr)
    if args.output:
        with open(args.output, "wb") as f:
            f.write(data)
    else:
        sys.stdout.buffer.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
