#!/usr/bin/env python3
"""Turns a PNG picture (8 bits per channel, RGB or RGBA, not interlaced) into a 24-bit bitmap file,
rows bottom-up, for a module's BITMAP resource (rzd_embed_bitmap in cmake/rzd.cmake). An alpha
channel is laid over white."""
import argparse
import os
import struct
import sys
import zlib


def fail(message):
    sys.exit("png_to_bmp: " + message)


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail("%s is no PNG file" % path)
    at, header, idat = 8, None, b""
    while at + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        at += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    if header is None:
        fail("%s has no header" % path)
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace != 0:
        fail("%s: only 8-bit RGB or RGBA pictures without interlacing are taken" % path)
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else (up if pb <= pc else corner)
                line[i] = (line[i] + pred) & 0xFF
            elif kind != 0:
                fail("%s: unknown row filter %d" % (path, kind))
        rows.append(line)
        previous = line
    pixels = []
    for line in rows:
        row = []
        for x in range(width):
            r, g, b = line[x * channels:x * channels + 3]
            if channels == 4:
                a = line[x * channels + 3]
                r, g, b = [(v * a + 255 * (255 - a) + 127) // 255 for v in (r, g, b)]
            row.append((r, g, b))
        pixels.append(row)
    return width, height, pixels


def bitmap_file(width, height, pixels):
    stride = (width * 3 + 3) // 4 * 4
    image = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        image += line + bytes(stride - len(line))
    pels = 2835  # 72 pixels per inch
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(image), pels, pels, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(image), 0, 0, 14 + len(info))
    return head + info + bytes(image)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--input", required=True)
    parser.add_argument("--output", required=True)
    args = parser.parse_args()
    width, height, pixels = read_png(args.input)
    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    tmp = args.output + ".tmp"
    with open(tmp, "wb") as f:
        f.write(bitmap_file(width, height, pixels))
    os.replace(tmp, args.output)


if __name__ == "__main__":
    main()
