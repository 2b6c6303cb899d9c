#!/usr/bin/python3
"""Large test pictures for the memory benchmark, made at benchmark time.

Every picture shows the same pattern: four quadrants of flat colour (QUADRANTS,
top left, top right, bottom left, bottom right) with a checkerboard of +-12 on
every channel laid over them, pixel by pixel, so the pictures do not compress
to nothing yet any area average well inside a quadrant is exactly its colour.
`expect` prints those colours for checking a thumbnail against them.

Rows repeat (two kinds per half), so even a gigapixel picture is written in
seconds and never held: PNG rows are deflated as they are made, TIFF strips
and tiles are compressed once per kind and the file points at them again and
again.

    make-large.py ppm  W H OUT [--noise]    binary PPM, for cjpeg, cwebp, cjxl
    make-large.py png  W H OUT [--bits 16 | --noise]
                                            PNG, 8-bit RGB (or 16-bit), not interlaced
    make-large.py bmp  W H OUT              24-bit BMP, bottom-up
    make-large.py tiff W H OUT [--tile N]   deflated TIFF, strips of 16 rows or N x N tiles
    make-large.py expect                    the four colours, one "R G B" line each
"""
import os
import struct
import sys
import zlib

QUADRANTS = [(200, 40, 40), (40, 160, 60), (50, 70, 200), (230, 230, 230)]
CHECKER = 12


def pixel(colour, odd, bits):
    """One pixel of `colour`, raised (odd False) or lowered by the checker."""
    delta = -CHECKER if odd else CHECKER
    values = [c + delta for c in colour]
    if bits == 16:
        return b"".join(struct.pack(">H", v * 257) for v in values)
    return bytes(values)


def row(y, width, height, bits=8, bgr=False):
    """Row y as bytes: two quadrants side by side, the checker along it."""
    top = y < height // 2
    left, right = (QUADRANTS[0], QUADRANTS[1]) if top else (QUADRANTS[2], QUADRANTS[3])
    half = width // 2
    out = []
    for start, count, colour in ((0, half, left), (half, width - half, right)):
        if bgr:
            colour = colour[::-1]
        first = pixel(colour, (start + y) % 2 == 1, bits)
        second = pixel(colour, (start + y) % 2 == 0, bits)
        out.append((first + second) * (count // 2) + (first if count % 2 else b""))
    return b"".join(out)


def kinds(width, height, bits=8, bgr=False):
    """The four distinct rows: (top even, top odd, bottom even, bottom odd)."""
    half = height // 2
    return {key: row(y, width, height, bits, bgr)
            for key, y in (((0, 0), 0), ((0, 1), 1), ((1, 0), half + half % 2),
                           ((1, 1), half + 1 - half % 2))}


NOISE = False


def row_of(rows, y, height):
    line = rows[(0 if y < height // 2 else 1, y % 2)]
    if not NOISE:
        return line
    # The PNG filter byte (a row of odd length) stays as it is.
    start = len(line) % 3
    body = line[start:]
    mask = int.from_bytes(os.urandom(len(body)), "big") & int.from_bytes(b"\7" * len(body), "big")
    return line[:start] + (int.from_bytes(body, "big") ^ mask).to_bytes(len(body), "big")


def write_ppm(width, height, out):
    rows = kinds(width, height)
    with open(out, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height))
        for y in range(height):
            f.write(row_of(rows, y, height))


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(
        ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def write_png(width, height, out, bits=8):
    rows = {k: b"\0" + v for k, v in kinds(width, height, bits).items()}
    deflate = zlib.compressobj(6)
    with open(out, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, bits, 2, 0, 0, 0)))
        pending = []
        size = 0
        for y in range(height):
            data = deflate.compress(row_of(rows, y, height))
            if data:
                pending.append(data)
                size += len(data)
            if size > (1 << 20):
                f.write(chunk(b"IDAT", b"".join(pending)))
                pending, size = [], 0
        pending.append(deflate.flush())
        f.write(chunk(b"IDAT", b"".join(pending)))
        f.write(chunk(b"IEND", b""))


def write_bmp(width, height, out):
    stride = (width * 3 + 3) & ~3
    rows = {k: v + b"\0" * (stride - width * 3) for k, v in kinds(width, height, bgr=True).items()}
    with open(out, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 54 + stride * height, 0, 0, 54))
        f.write(struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, stride * height,
                            2835, 2835, 0, 0))
        for y in range(height - 1, -1, -1):
            f.write(row_of(rows, y, height))


def write_tiff(width, height, out, tile=0):
    """Little-endian TIFF, RGB 8-bit, deflate, strips of 16 rows or tiles."""
    rows = kinds(width, height)
    step_y = tile or 16
    pieces = {}   # block content -> offset in file
    offsets, counts = [], []
    body = bytearray()
    header = 8
    for top in range(0, height, step_y):
        lefts = range(0, width, tile) if tile else [0]
        for left in lefts:
            lines = []
            for y in range(top, top + step_y):
                if y >= height:
                    lines.append(b"\0" * ((tile or width) * 3))
                    continue
                line = row_of(rows, y, height)
                if tile:
                    line = line[left * 3:(left + tile) * 3]
                    line += b"\0" * (tile * 3 - len(line))
                lines.append(line)
            raw = b"".join(lines)
            if raw not in pieces:
                data = zlib.compress(raw, 6)
                pieces[raw] = (header + len(body), len(data))
                body += data
            offset, count = pieces[raw]
            offsets.append(offset)
            counts.append(count)
    fields = [(256, 4, [width]), (257, 4, [height]), (258, 3, [8, 8, 8]),
              (259, 3, [8]), (262, 3, [2]), (277, 3, [3]), (284, 3, [1])]  # deflate, RGB
    if tile:
        fields += [(322, 4, [tile]), (323, 4, [tile]), (324, 4, offsets), (325, 4, counts)]
    else:
        fields += [(273, 4, offsets), (278, 4, [step_y]), (279, 4, counts)]
    fields.sort()
    ifd_at = header + len(body)
    extra_at = ifd_at + 2 + 12 * len(fields) + 4
    entries, extra = [], bytearray()
    for tag, kind, values in fields:
        data = b"".join(struct.pack("<H" if kind == 3 else "<I", v) for v in values)
        if len(data) <= 4:
            entries.append(struct.pack("<HHI", tag, kind, len(values)) + data.ljust(4, b"\0"))
        else:
            entries.append(struct.pack("<HHII", tag, kind, len(values), extra_at + len(extra)))
            extra += data
    with open(out, "wb") as f:
        f.write(b"II*\0" + struct.pack("<I", ifd_at))
        f.write(body)
        f.write(struct.pack("<H", len(fields)) + b"".join(entries) + struct.pack("<I", 0))
        f.write(extra)


def main(args):
    if args[:1] == ["expect"]:
        for colour in QUADRANTS:
            print(*colour)
        return 0
    if len(args) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    kind, width, height, out = args[0], int(args[1]), int(args[2]), args[3]
    option = args[4:6]
    global NOISE
    NOISE = option == ["--noise"]
    if kind == "ppm":
        write_ppm(width, height, out)
    elif kind == "png":
        write_png(width, height, out, 16 if option == ["--bits", "16"] else 8)
    elif kind == "bmp":
        write_bmp(width, height, out)
    elif kind == "tiff":
        write_tiff(width, height, out, int(option[1]) if option[:1] == ["--tile"] else 0)
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
