#!/usr/bin/env python3
"""Check the committed glyph font resources/font/vgafix.bin.

- It is 2,912 bytes: 224 glyphs of 13 rows.
- The digits and the colon leave their top and bottom rows (0 and 12) blank:
  the dark-screen clock moves one pixel up or down at each redraw and relies
  on those rows to wipe out the row of the old drawing that the new one does
  not cover.  Which of rows 10 and 11 they use is printed for information.
- The space is blank; every other printable ASCII character and every
  Cyrillic letter (codes 0xC0 ... 0xFF) has at least one pixel, and the
  capital letters of both alphabets stand on one baseline.
- The converter places glyphs with trimmed bounding boxes correctly (a small
  made-up BDF font).
- When xfonts-base and pcf2bdf are installed, make-vgafix.py rebuilds exactly
  the committed bytes.

Exit status 0 when every check passes, 1 otherwise.
"""

import os
import runpy
import shutil
import sys
import types

HERE = os.path.dirname(os.path.abspath(__file__))
FONT = os.path.join(HERE, "..", "..", "resources", "font", "vgafix.bin")

# The converter's file name has a hyphen, so load it by path.
make_vgafix = types.SimpleNamespace(
    **runpy.run_path(os.path.join(HERE, "make-vgafix.py")))

failures = []


def check(ok, message):
    if not ok:
        failures.append(message)
        print("FAIL: " + message)


def glyph(data, code):
    start = 13 * (code - 32)
    return data[start:start + 13]


def used_rows(rows):
    return [r for r, b in enumerate(rows) if b]


def check_committed(data):
    check(len(data) == 2912, "size is %d bytes, not 2912" % len(data))
    if len(data) != 2912:
        return

    for ch in "0123456789:":
        rows = glyph(data, ord(ch))
        check(rows[0] == 0 and rows[12] == 0,
              "%r draws in row 0 or 12: %s" % (ch, rows.hex(" ")))
        low = [r for r in (10, 11) if rows[r]]
        print("%r uses rows %s; of rows 10..11: %s"
              % (ch, used_rows(rows), low or "none"))

    check(not any(glyph(data, 32)), "the space is not blank")
    for code in list(range(33, 127)) + list(range(0xC0, 0x100)):
        check(any(glyph(data, code)), "code 0x%02X is blank" % code)

    # Q, De, Tse and Shcha reach below the baseline.
    capitals = [ord(c) for c in "ABCDEFGHIJKLMNOPRSTUVWXYZ"]
    capitals += [c for c in range(0xC0, 0xE0) if c not in (0xC4, 0xD6, 0xD9)]
    bottoms = {used_rows(glyph(data, c))[-1] for c in capitals
               if any(glyph(data, c))}
    check(len(bottoms) == 1, "capitals end on different rows: %s"
          % sorted(bottoms))


def bdf(chars, ascent=11, descent=2):
    """A minimal ISO10646 BDF font with the given (code, bbx, hex rows)."""
    out = ["STARTFONT 2.1", "FONTBOUNDINGBOX 8 13 0 -2",
           "STARTPROPERTIES 4", 'CHARSET_REGISTRY "ISO10646"',
           'CHARSET_ENCODING "1"', "FONT_ASCENT %d" % ascent,
           "FONT_DESCENT %d" % descent, "ENDPROPERTIES",
           "CHARS %d" % len(chars)]
    for code, bbx, rows in chars:
        out += ["STARTCHAR c%d" % code, "ENCODING %d" % code, "DWIDTH 8 0",
                "BBX %d %d %d %d" % bbx, "BITMAP"] + rows + ["ENDCHAR"]
    return "\n".join(out + ["ENDFONT", ""])


def check_placement():
    # (what, bbx, hex rows, expected cell rows as {row: byte})
    cases = [
        ("full cell", (8, 13, 0, -2), ["FF"] + ["00"] * 11 + ["81"],
         {0: 0xFF, 12: 0x81}),
        ("2x2 block on the baseline, 3 to the right", (2, 2, 3, 0),
         ["C0", "C0"], {9: 0x18, 10: 0x18}),
        ("1x1 dot at the bottom-left of the cell", (1, 1, 0, -2),
         ["80"], {12: 0x80}),
        ("3x1 bar at the top of the cell", (3, 1, 5, 10), ["E0"], {0: 0x07}),
        ("descender row below the baseline", (4, 2, 1, -1), ["F0", "90"],
         {10: 0x78, 11: 0x48}),
    ]
    for what, bbx, hexrows, expected in cases:
        want = bytes(expected.get(r, 0) for r in range(13))
        data, _ = make_vgafix.build(bdf([(ord("A"), bbx, hexrows)]))
        got = glyph(data, ord("A"))
        check(got == want, "placement of %s: got %s, want %s"
              % (what, got.hex(" "), want.hex(" ")))

    for what, chars in [
        ("pixel right of the cell", [(65, (2, 1, 7, 0), ["C0"])]),
        ("pixel above the cell", [(65, (1, 2, 0, 10), ["80", "00"])]),
        ("pixel below the cell", [(65, (1, 1, 0, -3), ["80"])]),
    ]:
        try:
            make_vgafix.build(bdf(chars))
            check(False, "%s was accepted" % what)
        except make_vgafix.FontError:
            pass

    data, blanks = make_vgafix.build(bdf([(0x0410, (8, 13, 0, -2),
                                           ["FF"] * 13)]))
    check(glyph(data, 0xC0) == b"\xff" * 13,
          "U+0410 did not land on code 0xC0")
    check((0x98, "undefined in cp1251") in blanks,
          "code 0x98 not reported as undefined")


def check_rebuild(data):
    if not (os.path.exists(make_vgafix.DEFAULT_PCF) and shutil.which("pcf2bdf")):
        print("rebuild check skipped: xfonts-base or pcf2bdf not installed")
        return
    bdf_text = make_vgafix.run_pcf2bdf(make_vgafix.DEFAULT_PCF)
    rebuilt, blanks = make_vgafix.build(bdf_text)
    check(rebuilt == data, "make-vgafix.py builds different bytes")
    for code, reason in blanks:
        print("left blank: code 0x%02X (%s)" % (code, reason))


def main():
    with open(FONT, "rb") as f:
        data = f.read()
    for step in (lambda: check_committed(data), check_placement,
                 lambda: check_rebuild(data)):
        try:
            step()
        except make_vgafix.FontError as e:
            check(False, "converter error: %s" % e)
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("vgafix.bin: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
