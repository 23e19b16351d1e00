#!/usr/bin/env python3
"""Draws the lit LED of the I/O line table: a 22 x 22 RGBA PNG of a green
round LED on a transparent background. A disabled label greys it out, so
there is no "off" picture.

    tools/draw_led.py views/ledon.png
"""
import math
import struct
import sys
import zlib

SIZE = 22
RADIUS = 9.5            # leaves a pixel of air around the glow ring
CENTRE = (SIZE - 1) / 2.0
HIGHLIGHT = (CENTRE - 3.0, CENTRE - 3.5)


def clamp(v):
    return max(0, min(255, int(round(v))))


def pixel(x, y):
    d = math.hypot(x - CENTRE, y - CENTRE)
    # Anti-aliased rim: coverage falls from 1 to 0 across the last pixel.
    coverage = max(0.0, min(1.0, RADIUS + 0.5 - d))
    if coverage == 0.0:
        return (0, 0, 0, 0)
    t = d / RADIUS  # 0 in the middle, 1 at the rim
    # A lit LED: bright green core fading to a darker rim.
    r = 40 + 60 * (1 - t)
    g = 150 + 105 * (1 - t * t)
    b = 30 + 40 * (1 - t)
    # Specular highlight towards the top left.
    h = math.hypot(x - HIGHLIGHT[0], y - HIGHLIGHT[1])
    shine = max(0.0, 1.0 - h / 4.0) ** 2
    r += (255 - r) * shine
    g += (255 - g) * shine
    b += (255 - b) * shine
    # A thin dark edge makes the LED readable on light backgrounds.
    if t > 0.88:
        edge = (t - 0.88) / 0.12
        r, g, b = (c * (1 - 0.45 * edge) for c in (r, g, b))
    return (clamp(r), clamp(g), clamp(b), clamp(255 * coverage))


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png():
    rows = b"".join(
        b"\x00" + bytes(v for x in range(SIZE) for v in pixel(x + 0.0, y + 0.0))
        for y in range(SIZE))
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "ledon.png"
    with open(out, "wb") as f:
        f.write(png())
