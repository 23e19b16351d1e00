#!/usr/bin/env python3
"""Draws the viewer's application icon: a camera body seen from the front
with its lens, the green LED of the I/O table on top and a trigger pulse
along the bottom. Writes an RGBA PNG per size into an icon theme's layout
(<size>x<size>/apps/camera-viewer.png), which packaging/ installs under
share/icons/hicolor/.

    tools/draw_icon.py packaging/icons
"""
import math
import os
import struct
import sys
import zlib

NAME = "camera-viewer"
SIZES = (32, 48, 128, 256)
# Samples per pixel along each axis; edges come out anti-aliased.
GRID = 4


def rounded_rect(x, y, left, top, right, bottom, radius):
    """True inside the rectangle with rounded corners (unit coordinates)."""
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return left <= x <= right and top <= y <= bottom and math.hypot(x - cx, y - cy) <= radius


def mix(a, b, t):
    return tuple(p + (q - p) * t for p, q in zip(a, b))


def pulse(x, y):
    """The trigger line: low, a rising edge, high, a falling edge, low."""
    width = 0.028
    low, high = 0.875, 0.795
    left, rise, fall, right = 0.22, 0.42, 0.58, 0.78
    if left <= x <= right:
        level = high if rise <= x <= fall else low
        if abs(y - level) <= width:
            return True
    for edge in (rise, fall):
        if abs(x - edge) <= width and high - width <= y <= low + width:
            return True
    return False


def sample(x, y):
    """Colour (r, g, b, a), 0..1, at a point of the unit square."""
    colour = None
    # Viewfinder hump on top, left of the LED; the body covers its lower half.
    if rounded_rect(x, y, 0.18, 0.08, 0.46, 0.24, 0.05):
        colour = (0.22, 0.27, 0.36, 1.0)
    # Body: slate blue, lighter towards the top, with a darker bevel.
    if rounded_rect(x, y, 0.06, 0.16, 0.94, 0.94, 0.12):
        colour = mix((0.30, 0.38, 0.50), (0.17, 0.22, 0.30), (y - 0.16) / 0.78) + (1.0,)
        if not rounded_rect(x, y, 0.09, 0.19, 0.91, 0.91, 0.09):
            colour = (0.13, 0.16, 0.22, 1.0)
    # Lens: a metal ring, dark glass, a blue gleam and a highlight.
    d = math.hypot(x - 0.5, y - 0.5)
    if d <= 0.27:
        colour = mix((0.80, 0.83, 0.88), (0.45, 0.50, 0.58), (y - 0.23) / 0.54) + (1.0,)
    if d <= 0.21:
        colour = (0.06, 0.08, 0.12, 1.0)
    if d <= 0.15:
        colour = mix((0.16, 0.36, 0.62), (0.05, 0.10, 0.20), d / 0.15) + (1.0,)
    if math.hypot(x - 0.45, y - 0.44) <= 0.045:
        colour = (0.92, 0.96, 1.0, 1.0)
    # The lit LED, as in the I/O table.
    led = math.hypot(x - 0.76, y - 0.30)
    if led <= 0.075:
        t = led / 0.075
        colour = (0.16 + 0.24 * (1 - t), 0.59 + 0.41 * (1 - t * t), 0.12 + 0.16 * (1 - t), 1.0)
        if math.hypot(x - 0.74, y - 0.28) <= 0.02:
            colour = (0.9, 1.0, 0.9, 1.0)
    if pulse(x, y):
        colour = (1.0, 0.80, 0.20, 1.0)
    return colour or (0.0, 0.0, 0.0, 0.0)


def pixel(px, py, size):
    acc = [0.0, 0.0, 0.0, 0.0]
    for sy in range(GRID):
        for sx in range(GRID):
            r, g, b, a = sample((px + (sx + 0.5) / GRID) / size, (py + (sy + 0.5) / GRID) / size)
            # Averaged premultiplied, so transparent samples do not darken edges.
            acc[0] += r * a
            acc[1] += g * a
            acc[2] += b * a
            acc[3] += a
    n = GRID * GRID
    alpha = acc[3] / n
    if alpha == 0.0:
        return (0, 0, 0, 0)
    return tuple(int(round(255 * c)) for c in (acc[0] / acc[3], acc[1] / acc[3], acc[2] / acc[3], alpha))


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(size):
    rows = b"".join(
        b"\x00" + bytes(v for x in range(size) for v in pixel(x, y, size))
        for y in range(size))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    root = sys.argv[1] if len(sys.argv) > 1 else "icons"
    for size in SIZES:
        folder = os.path.join(root, "%dx%d" % (size, size), "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, NAME + ".png"), "wb") as f:
            f.write(png(size))
