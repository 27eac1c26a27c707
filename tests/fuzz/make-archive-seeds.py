#!/usr/bin/env python3
"""Writes the archive fuzz target's seeds into corpus/archive/: small slide
archives in the program's layout (a directory of 32 slots of 48 bytes, a
40-byte NUL-padded name, the body's offset and size as unsigned 32-bit
little-endian numbers; the bodies back to back after it), made of the JPEG
fixtures, with the edge cases of the archive reader's unit tests.

Usage: tests/fuzz/make-archive-seeds.py   (from anywhere)"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "..", "fixtures", "jpeg")
OUT = os.path.join(HERE, "corpus", "archive")
SLOTS, SLOT_BYTES, NAME_BYTES = 32, 48, 40
DIRECTORY = SLOTS * SLOT_BYTES

# The codec entry's body: the fuzz target binds the codec linked into it,
# whatever the extracted file holds.
CODEC = b"codec library body"


def fixture(name):
    with open(os.path.join(FIXTURES, name), "rb") as f:
        return f.read()


def archive(entries, edit=None):
    """entries: (name bytes, body bytes) for slots 1, 2, ..."""
    directory = bytearray(DIRECTORY)
    bodies = bytearray()
    for slot, (name, body) in enumerate(entries, start=1):
        at = slot * SLOT_BYTES
        directory[at:at + len(name)] = name
        struct.pack_into("<II", directory, at + NAME_BYTES, DIRECTORY + len(bodies), len(body))
        bodies += body
    data = bytearray(directory + bodies)
    if edit:
        edit(data)
    return bytes(data)


def main():
    colours = fixture("colours.jpg")
    odd = fixture("odd-17x9.jpg")
    grey = fixture("grey-17x9.jpg")
    truncated = fixture("noise-truncated.jpg")
    codec = (b"ijl10.dll", CODEC)

    def slot_field(slot, offset, value):
        return lambda d: struct.pack_into("<I", d, slot * SLOT_BYTES + offset, value)

    def set_bytes(at, value):
        def edit(d):
            d[at:at + len(value)] = value
        return edit

    seeds = {
        "three-slides": archive([codec, (b"a.jpg", colours), (b"b.jpg", colours), (b"c.jpg", colours)]),
        "slides-of-other-sizes": archive([codec, (b"colours.jpg", colours), (b"odd.jpg", odd), (b"grey.jpg", grey)]),
        "corrupt-slide": archive([codec, (b"noise.jpg", truncated), (b"colours.jpg", colours)]),
        "no-slides": archive([codec]),
        "check-fails": archive([codec, (b"a.jpg", colours)], set_bytes(SLOT_BYTES, b"xj")),
        "shorter-than-the-check": archive([codec, (b"a.jpg", colours)])[:49],
        "shorter-than-the-directory": archive([codec, (b"a.jpg", colours)])[:DIRECTORY - 1],
        "upper-case-and-inner-jpg": archive([codec, (b"a.JPG", colours), (b"b.jpg.bak", odd)]),
        "slide-and-codec-in-one": archive([codec, (b"both.jpg.dll", colours)]),
        "two-codecs": archive([codec, (b"a.jpg", colours), (b"other.dll", CODEC)]),
        "codec-of-another-name": archive([(b"ijx.dll", CODEC), (b"a.jpg", colours)]),
        "empty-name-hides-the-rest": archive([codec, (b"a.jpg", colours), (b"", b""), (b"b.jpg", odd)]),
        "every-slot": archive([codec] + [(b"s%02d.jpg" % i, grey) for i in range(30)]),
        "name-without-nul": archive([codec, (b"x" * 36 + b".jpg", colours)]),
        "body-past-the-end": archive([codec, (b"a.jpg", colours)], slot_field(2, 44, len(colours) + 1)),
        "offset-past-the-end": archive([codec, (b"a.jpg", colours)], slot_field(2, 40, 0xFFFFFFF0)),
        "size-above-int32": archive([codec, (b"a.jpg", colours)], slot_field(2, 44, 0x80000000)),
    }
    os.makedirs(OUT, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
