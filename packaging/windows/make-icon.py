#!/usr/bin/env python3
"""Makes kerfo.ico, the icon of kerfo.exe and of the installer, from Kerfo's own picture.

    packaging/windows/make-icon.py   (needs rsvg-convert: apt-get install librsvg2-bin)

Renders packaging/icons/kerfo.svg at the sizes Explorer, the taskbar and the list of
installed programs ask for, and writes them into one .ico next to this script: the small
sizes as 32-bit bitmaps with alpha (what every icon reader takes), 256 as PNG. The .ico is
kept in the repository, so building needs neither tool; run this again when the picture
changes.
"""
import os
import struct
import subprocess
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SVG = os.path.join(HERE, "..", "icons", "kerfo.svg")
ICO = os.path.join(HERE, "kerfo.ico")
BITMAP_SIZES = [16, 20, 24, 32, 40, 48, 64]
PNG_SIZES = [256]


def render(size, folder):
    path = os.path.join(folder, f"{size}.png")
    subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size), "-o", path, SVG], check=True)
    with open(path, "rb") as f:
        return f.read()


def rgba_rows(png):
    """The rows of an 8-bit RGBA PNG, top first, as rsvg-convert writes it."""
    assert png[:8] == b"\x89PNG\r\n\x1a\n"
    at, data, width, height = 8, b"", 0, 0
    while at < len(png):
        length, kind = struct.unpack(">I4s", png[at:at + 8])
        body = png[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour == 6 and interlace == 0, "rsvg-convert wrote another PNG kind"
        elif kind == b"IDAT":
            data += body
        at += 12 + length
    raw, stride, rows, previous = zlib.decompress(data), width * 4, [], bytearray(width * 4)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            left = line[x - 4] if x >= 4 else 0
            up = previous[x]
            corner = previous[x - 4] if x >= 4 else 0
            if kind == 1:
                line[x] = (line[x] + left) & 0xFF
            elif kind == 2:
                line[x] = (line[x] + up) & 0xFF
            elif kind == 3:
                line[x] = (line[x] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[x] = (line[x] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xFF
        rows.append(bytes(line))
        previous = line
    return width, height, rows


def bitmap(png):
    """An icon bitmap: BITMAPINFOHEADER (twice the height: colour and mask), BGRA rows bottom
    first, then the 1-bit mask (all zero: the alpha channel decides)."""
    width, height, rows = rgba_rows(png)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(b for i in range(0, len(row), 4) for b in (row[i + 2], row[i + 1], row[i], row[i + 3]))
                      for row in reversed(rows))
    mask = b"\0" * (((width + 31) // 32) * 4 * height)
    return header + pixels + mask


def main():
    with tempfile.TemporaryDirectory() as folder:
        images = [(size, bitmap(render(size, folder))) for size in BITMAP_SIZES]
        images += [(size, render(size, folder)) for size in PNG_SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(ICO, "wb") as f:
        f.write(directory + b"".join(data for _, data in images))
    print(f"wrote {ICO}: {', '.join(str(size) for size, _ in images)} pixels")


main()
