#!/usr/bin/env python3
"""make-icon.py: draws the program's icon (a night scene on a small screen)
and writes it as a Windows .ico with 16, 32 and 48 pixel images, or as one
PNG of a given size for the desktop's icon theme.

Usage: make-icon.py OUTPUT.ico        (kept in platform/win32/res/)
       make-icon.py OUTPUT.png SIZE   (kept in data/icons/)
"""
import math
import struct
import sys
import zlib


def draw(size):
    """Returns size*size RGBA pixels, top row first, drawn at 4x4 subsamples."""
    s = float(size)
    pixels = []
    for y in range(size):
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(4):
                for sx in range(4):
                    u = (x + (sx + 0.5) / 4) / s  # 0..1 across
                    v = (y + (sy + 0.5) / 4) / s  # 0..1 down
                    r, g, b, a = sample(u, v)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            a = acc[3] / 16
            if a > 0:
                pixels.append((acc[0] / acc[3], acc[1] / acc[3], acc[2] / acc[3], a))
            else:
                pixels.append((0, 0, 0, 0))
    return pixels


def sample(u, v):
    # A rounded screen: outside the corners is transparent.
    margin, radius = 0.04, 0.16
    cx = min(max(u, margin + radius), 1 - margin - radius)
    cy = min(max(v, margin + radius), 1 - margin - radius)
    if math.hypot(u - cx, v - cy) > radius:
        return (0, 0, 0, 0)
    # Frame.
    inner = 0.11
    if u < inner or u > 1 - inner or v < inner or v > 1 - inner:
        return (0.17, 0.19, 0.26, 1)
    # Moon with a bite taken out.
    if math.hypot(u - 0.66, v - 0.33) < 0.14 and math.hypot(u - 0.6, v - 0.28) > 0.12:
        return (1.0, 0.86, 0.35, 1)
    # Rolling hill.
    hill = 0.72 - 0.08 * math.sin((u - 0.1) * 5.0)
    if v > hill:
        return (0.20, 0.55 - 0.25 * (v - hill), 0.30, 1)
    # A walker on the hill: head, body and two striding legs.
    walker = (0.95, 0.42, 0.32, 1)
    top = hill - 0.30
    if math.hypot(u - 0.33, v - top) < 0.055:
        return walker
    if abs(u - 0.33) < 0.04 and top + 0.07 < v < hill - 0.09:
        return walker
    for lean in (-0.5, 0.5):
        if hill - 0.10 < v < hill + 0.01 and abs(u - 0.33 - lean * (v - (hill - 0.10))) < 0.025:
            return walker
    # Night sky, lighter towards the horizon.
    return (0.08, 0.10 + 0.25 * v, 0.30 + 0.35 * v, 1)


def bmp_entry(size):
    """One icon image: BITMAPINFOHEADER (double height), BGRA rows bottom-up, AND mask."""
    pixels = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in reversed(range(size)):
        row = bytearray()
        for x in range(size):
            r, g, b, a = pixels[y * size + x]
            row += bytes((round(b * 255), round(g * 255), round(r * 255), round(a * 255)))
        rows.append(bytes(row))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(size)):
        bits = bytearray(mask_stride)
        for x in range(size):
            if pixels[y * size + x][3] < 0.5:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + b"".join(rows) + bytes(mask)


def png_image(size):
    """An 8-bit RGBA PNG, rows top-down, each with filter byte 0."""
    pixels = draw(size)
    raw = bytearray()
    for y in range(size):
        raw.append(0)
        for x in range(size):
            r, g, b, a = pixels[y * size + x]
            raw += bytes((round(r * 255), round(g * 255), round(b * 255), round(a * 255)))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def main():
    if sys.argv[1].endswith(".png"):
        with open(sys.argv[1], "wb") as f:
            f.write(png_image(int(sys.argv[2])))
        return
    sizes = [16, 32, 48]
    images = [bmp_entry(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
