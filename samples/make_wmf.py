#!/usr/bin/env python3
"""Writes a small Windows metafile (placeable header, then records) that shows
a house under a sun on a hill: filled rectangles, polygons and ellipses.

Usage: make_wmf.py OUTPUT.wmf
"""
import struct
import sys

WIDTH, HEIGHT = 400, 300  # logical units; 96 of them make an inch


def record(function, *words):
    """One metafile record: size in 16-bit words, function number, parameters."""
    body = struct.pack("<H", function) + b"".join(struct.pack("<h", w) for w in words)
    return struct.pack("<I", (4 + len(body)) // 2) + body


def colorref(rgb):
    r, g, b = (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF
    return r | (g << 8) | (b << 16)


def create_brush(rgb):
    # META_CREATEBRUSHINDIRECT: style BS_SOLID, COLORREF, hatch
    c = colorref(rgb)
    body = struct.pack("<HHIH", 0x02FC, 0, c, 0)
    return struct.pack("<I", (4 + len(body)) // 2) + body


def create_null_pen():
    # META_CREATEPENINDIRECT: style PS_NULL, width (0, 0), COLORREF 0
    body = struct.pack("<HHhhI", 0x02FA, 5, 0, 0, 0)
    return struct.pack("<I", (4 + len(body)) // 2) + body


def select(index):
    return record(0x012D, index)


def delete(index):
    return record(0x01F0, index)


def rectangle(left, top, right, bottom):
    return record(0x041B, bottom, right, top, left)


def ellipse(left, top, right, bottom):
    return record(0x0418, bottom, right, top, left)


def polygon(points):
    words = [len(points)]
    for x, y in points:
        words += [x, y]
    return record(0x0324, *words)


def filled(rgb, shape):
    """Brush in slot 1 for one shape, removed again afterwards."""
    return create_brush(rgb) + select(1) + shape + delete(1)


def main():
    out = sys.argv[1]
    records = b"".join([
        record(0x020B, 0, 0),            # SETWINDOWORG y, x
        record(0x020C, HEIGHT, WIDTH),   # SETWINDOWEXT y, x
        record(0x0102, 1),               # SETBKMODE transparent
        create_null_pen(), select(0),    # pen in slot 0: outlines off
    ])
    # Sky in bands from deep to pale blue.
    bands = 10
    for k in range(bands):
        top = k * 230 // bands
        blue = 0x3060C0 + k * 0x0A0A03
        records += filled(blue, rectangle(0, top, WIDTH, top + 230 // bands + 1))
    records += filled(0xFFD040, ellipse(290, 30, 360, 100))             # sun
    records += filled(0x3F8F3A, polygon([(0, 210), (120, 170), (260, 185),
                                         (400, 160), (400, 300), (0, 300)]))  # hill
    records += filled(0x2E6B2B, rectangle(0, 250, WIDTH, HEIGHT))           # meadow
    records += filled(0xE8D8B0, rectangle(110, 160, 230, 250))             # house
    records += filled(0xB03A2E, polygon([(100, 162), (170, 105), (240, 162)]))  # roof
    records += filled(0x6B4226, rectangle(155, 200, 185, 250))             # door
    records += filled(0x8EC8F0, rectangle(125, 175, 150, 195))             # windows
    records += filled(0x8EC8F0, rectangle(195, 175, 220, 195))
    records += filled(0x5A3A1E, rectangle(312, 190, 324, 250))             # trunk
    records += filled(0x2F7F2F, ellipse(285, 140, 350, 205))            # crown
    records += record(0x0000)                                               # EOF

    header_words = 9
    total_words = header_words + len(records) // 2
    max_record = max_record_words(records)
    meta_header = struct.pack("<HHHIHIH", 1, header_words, 0x0300, total_words, 2,
                              max_record, 0)
    placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, WIDTH, HEIGHT, 96, 0)
    checksum = 0
    for (word,) in struct.iter_unpack("<H", placeable):
        checksum ^= word
    with open(out, "wb") as f:
        f.write(placeable + struct.pack("<H", checksum) + meta_header + records)


def max_record_words(records):
    largest, pos = 0, 0
    while pos < len(records):
        (size,) = struct.unpack_from("<I", records, pos)
        largest = max(largest, size)
        pos += size * 2
    return largest


if __name__ == "__main__":
    main()
