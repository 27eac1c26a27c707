#!/usr/bin/env python3
"""Check that the built-in slides are JPEGs the program can show.

Every slide must be a baseline JFIF 1.01 JPEG of 1024 x 768 pixels with three
8-bit components sampled 2x2, 1x1, 1x1 (4:2:0), and its file size must lie
between 90 KB and 170 KB (1 KB = 1000 bytes).

Usage:
  check-slides.py             check resources/slides/ of this repository
  check-slides.py DIR         check slide01.jpg ... slide16.jpg in DIR
  check-slides.py FILE...     check the given JPEG files

With a directory, the folder must hold exactly slide01.jpg ... slide16.jpg and
no other file whose name contains ".jpg" in any case: the build packs every
"*.jpg" of the folder, and the archive reader recognises slides by the exact
lower-case bytes ".jpg", so a stray or upper-case name would add or lose a
slide unnoticed.

Prints one line per file and exits with status 1 if any check fails, 2 on a
usage error.
"""

import os
import struct
import sys

WIDTH = 1024
HEIGHT = 768
MIN_BYTES = 90_000
MAX_BYTES = 170_000
SLIDE_NAMES = [f"slide{i:02d}.jpg" for i in range(1, 17)]
# Luminance 2x2, both chroma components 1x1.
SAMPLING = (0x22, 0x11, 0x11)

SOI, EOI, SOS = 0xD8, 0xD9, 0xDA
APP0, DQT, SOF0 = 0xE0, 0xDB, 0xC0
# Start-of-frame markers: C0..CF except DHT (C4), JPG (C8) and DAC (CC).
SOF_MARKERS = {m for m in range(0xC0, 0xD0)} - {0xC4, 0xC8, 0xCC}
SOF_NAMES = {
    0xC1: "SOF1 (extended sequential)",
    0xC2: "SOF2 (progressive)",
    0xC3: "SOF3 (lossless)",
    0xC5: "SOF5 (differential sequential)",
    0xC6: "SOF6 (differential progressive)",
    0xC7: "SOF7 (differential lossless)",
    0xC9: "SOF9 (arithmetic sequential)",
    0xCA: "SOF10 (arithmetic progressive)",
    0xCB: "SOF11 (arithmetic lossless)",
    0xCD: "SOF13 (arithmetic differential sequential)",
    0xCE: "SOF14 (arithmetic differential progressive)",
    0xCF: "SOF15 (arithmetic differential lossless)",
}
# Markers that stand alone, without a length field.
STANDALONE = {0x01} | set(range(0xD0, 0xD8))


class SlideError(Exception):
    pass


def segments(data):
    """Yield (marker, offset, payload) for every marker segment after SOI,
    up to and including EOI. Entropy-coded data after SOS is skipped."""
    pos = 2
    n = len(data)
    while True:
        if pos >= n:
            raise SlideError("ends without an EOI marker")
        if data[pos] != 0xFF:
            raise SlideError(f"expected a marker at offset {pos}, found byte 0x{data[pos]:02X}")
        # Any number of 0xFF fill bytes may precede a marker code.
        while pos < n and data[pos] == 0xFF:
            pos += 1
        if pos >= n:
            raise SlideError("ends inside a marker")
        marker = data[pos]
        start = pos - 1
        pos += 1
        if marker == EOI:
            yield marker, start, b""
            return
        if marker in STANDALONE:
            yield marker, start, b""
            continue
        if marker in (0x00, SOI):
            raise SlideError(f"unexpected marker 0x{marker:02X} at offset {start}")
        if pos + 2 > n:
            raise SlideError(f"marker 0x{marker:02X} at offset {start} has no length")
        (length,) = struct.unpack(">H", data[pos:pos + 2])
        if length < 2 or pos + length > n:
            raise SlideError(f"marker 0x{marker:02X} at offset {start} has a bad length {length}")
        payload = data[pos + 2:pos + length]
        pos += length
        yield marker, start, payload
        if marker == SOS:
            # Skip the entropy-coded data: it ends at the first 0xFF that is
            # followed by neither a stuffed zero nor a restart marker.
            while True:
                pos = data.find(b"\xff", pos)
                if pos < 0 or pos + 1 >= n:
                    raise SlideError("scan data runs to the end of the file without EOI")
                nxt = data[pos + 1]
                if nxt == 0x00 or 0xD0 <= nxt <= 0xD7 or nxt == 0xFF:
                    pos += 1 if nxt == 0xFF else 2
                    continue
                break


def check_jfif(payload):
    if len(payload) < 14 or payload[:5] != b"JFIF\x00":
        raise SlideError("first segment after SOI is APP0 but not a JFIF header")
    major, minor = payload[5], payload[6]
    if (major, minor) != (1, 1):
        raise SlideError(f"JFIF version {major}.{minor:02d}, expected 1.01")


def check_sof0(payload):
    if len(payload) < 6:
        raise SlideError("SOF0 segment too short")
    precision, height, width, ncomp = struct.unpack(">BHHB", payload[:6])
    if precision != 8:
        raise SlideError(f"sample precision {precision}, expected 8")
    if (width, height) != (WIDTH, HEIGHT):
        raise SlideError(f"size {width}x{height}, expected {WIDTH}x{HEIGHT}")
    if ncomp != 3:
        raise SlideError(f"{ncomp} components, expected 3")
    if len(payload) != 6 + 3 * ncomp:
        raise SlideError("SOF0 segment length does not match its component count")
    sampling = tuple(payload[6 + 3 * i + 1] for i in range(ncomp))
    if sampling != SAMPLING:
        got = ", ".join(f"0x{s:02X}" for s in sampling)
        want = ", ".join(f"0x{s:02X}" for s in SAMPLING)
        raise SlideError(f"sampling factors {got}, expected {want}")


def check_dqt(payload):
    # Baseline allows 8-bit tables only: precision nibble 0.
    pos = 0
    while pos < len(payload):
        pq = payload[pos] >> 4
        if pq != 0:
            raise SlideError("16-bit quantisation table, not allowed in a baseline JPEG")
        pos += 1 + 64


def check_file(path):
    """Return a one-line summary for a good slide, raise SlideError otherwise."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        raise SlideError(f"cannot read: {e.strerror}") from None
    size = len(data)
    if data[:2] != b"\xff\xd8":
        raise SlideError("does not start with SOI (not a JPEG file)")

    seen_sof0 = False
    seen_sos = False
    first = True
    for marker, offset, payload in segments(data):
        if first:
            if marker != APP0:
                raise SlideError("no APP0 JFIF header directly after SOI")
            check_jfif(payload)
            first = False
        if marker == SOF0:
            if seen_sof0:
                raise SlideError(f"second SOF0 at offset {offset}")
            check_sof0(payload)
            seen_sof0 = True
        elif marker in SOF_MARKERS:
            raise SlideError(f"{SOF_NAMES[marker]} frame at offset {offset}; only baseline SOF0 is allowed")
        elif marker == DQT:
            check_dqt(payload)
        elif marker == SOS:
            if not seen_sof0:
                raise SlideError("scan before the SOF0 frame header")
            seen_sos = True
        elif marker == EOI:
            if offset + 2 != size:
                raise SlideError(f"{size - offset - 2} bytes of trailing data after EOI")
    if not seen_sof0:
        raise SlideError("no SOF0 frame header")
    if not seen_sos:
        raise SlideError("no scan (SOS)")
    if not MIN_BYTES <= size <= MAX_BYTES:
        raise SlideError(f"size {size} bytes, expected {MIN_BYTES} to {MAX_BYTES}")
    return f"{size} bytes, baseline JFIF 1.01, {WIDTH}x{HEIGHT}, 4:2:0"


def files_in_directory(folder):
    """The slide paths of a folder, and problems with the folder's names."""
    problems = []
    try:
        names = set(os.listdir(folder))
    except OSError as e:
        return [], [f"{folder}: cannot list: {e.strerror}"]
    for name in sorted(names):
        if ".jpg" in name.lower() and name not in SLIDE_NAMES:
            problems.append(f"{os.path.join(folder, name)}: FAIL: unexpected file; "
                            f"the slides are exactly {SLIDE_NAMES[0]} ... {SLIDE_NAMES[-1]}")
    paths = []
    for name in SLIDE_NAMES:
        path = os.path.join(folder, name)
        if name in names:
            paths.append(path)
        else:
            problems.append(f"{path}: FAIL: missing")
    return paths, problems


def main(argv):
    if any(a in ("-h", "--help") for a in argv):
        print(__doc__.strip())
        return 0
    if not argv:
        here = os.path.dirname(os.path.abspath(__file__))
        argv = [os.path.join(here, "..", "..", "resources", "slides")]
    if len(argv) == 1 and os.path.isdir(argv[0]):
        paths, problems = files_in_directory(os.path.normpath(argv[0]))
    elif any(os.path.isdir(a) for a in argv):
        print("check-slides: give either one directory or a list of files", file=sys.stderr)
        return 2
    else:
        paths, problems = list(argv), []

    failed = len(problems)
    for line in problems:
        print(line)
    for path in paths:
        try:
            print(f"{path}: OK: {check_file(path)}")
        except SlideError as e:
            print(f"{path}: FAIL: {e}")
            failed += 1
    if failed:
        print(f"check-slides: FAILED: {failed} problem(s)")
    else:
        print(f"check-slides: all {len(paths)} slides good")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
