#!/usr/bin/env python3
"""Draws the pictures of the desktop-application interface.

strip: a 24-bit bitmap file, a horizontal strip of two 36 x 36 pictures on white (the scanner
       feeding one sheet, and feeding both sides of a sheet);
icon:  an icon file with one 48 x 48 32-bit picture of the scanner (alpha 0 outside it).
"""
import argparse
import struct

WHITE = (255, 255, 255)
BODY = (64, 72, 84)
PANEL = (110, 122, 138)
SLOT = (24, 28, 34)
SHEET = (250, 250, 246)
EDGE = (40, 40, 40)
LED = (60, 200, 90)
ACCENT = (40, 120, 220)


def scanner(size, duplex=False):
    """The pictogram as rows of RGB tuples (None = background)."""
    s = size / 36.0
    px = [[None] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    # the sheet standing in the feeder, with a border and text lines
    rect(10, 2, 26, 20, EDGE)
    rect(11, 3, 25, 20, SHEET)
    for line in (6, 9, 12, 15):
        rect(13, line, 23, line + 1, ACCENT if duplex and line == 6 else (150, 150, 150))
    if duplex:
        rect(6, 5, 10, 19, EDGE)  # the back side showing behind
        rect(7, 6, 10, 19, (225, 230, 240))
    # the body, its output slot and the panel with a light
    rect(3, 18, 33, 31, BODY)
    rect(5, 20, 31, 22, SLOT)
    rect(5, 25, 20, 29, PANEL)
    rect(26, 26, 29, 28, LED)
    return px


def bmp(width, height, rows):
    """A bottom-up 24-bit BMP file."""
    stride = (width * 3 + 3) // 4 * 4
    pixels = bytearray()
    for y in reversed(range(height)):
        line = bytearray()
        for x in range(width):
            r, g, b = rows[y][x]
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        pixels += line
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(pixels), 0, 0, 14 + 40)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + bytes(pixels)


def ico(size, rows):
    """An icon file with one 32-bit picture and an empty AND mask."""
    xor = bytearray()
    for y in reversed(range(size)):
        for x in range(size):
            c = rows[y][x]
            xor += bytes((0, 0, 0, 0)) if c is None else bytes((c[2], c[1], c[0], 255))
    mask_stride = (size + 31) // 32 * 4
    mask = bytes(mask_stride * size)
    info = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = info + bytes(xor) + mask
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--strip', required=True)
    parser.add_argument('--icon', required=True)
    args = parser.parse_args()
    strip = [[WHITE] * 72 for _ in range(36)]
    for index, duplex in enumerate((False, True)):
        picture = scanner(36, duplex)
        for y in range(36):
            for x in range(36):
                if picture[y][x] is not None:
                    strip[y][index * 36 + x] = picture[y][x]
    with open(args.strip, 'wb') as out:
        out.write(bmp(72, 36, strip))
    with open(args.icon, 'wb') as out:
        out.write(ico(48, scanner(48)))


if __name__ == '__main__':
    main()
