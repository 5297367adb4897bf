#!/usr/bin/env python3
"""Draws the demo game's images. Run from the repository root:

    python3 tools/make_demo_assets.py

Every image of game/ is made here, from code, as 24-bit BMP files."""

import math
import os
import struct


def write_bmp(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b), y counted from the top."""
    row_size = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):  # bottom-up rows
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += bytes(row_size - len(row))
        data += row
    header = struct.pack('<2sIHHI', b'BM', 54 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(header + info + data)


def ball(x, y):
    cx, cy, radius = 15.5, 15.5, 15.0
    d = math.hypot(x - cx, y - cy)
    if d > radius:
        return (0, 0, 0)
    # Lit from the upper left.
    light = max(0.0, 1.0 - math.hypot(x - 10, y - 10) / 24.0)
    return (int(60 + 195 * light), int(120 + 120 * light), int(255 * (0.4 + 0.6 * light)))


def fill(x, y):
    # The light ramp: lit at the top, dark at the bottom, in three bands.
    level = 255 if y < 24 else (176 if y < 44 else 112)
    return (level, level, level)


def tile(x, y):
    dark = ((x // 16) + (y // 16)) % 2 == 0
    return (24, 32, 56) if dark else (32, 44, 72)


write_bmp('game/image/ball.bmp', 32, 32, ball)
write_bmp('game/image/tile.bmp', 64, 64, tile)
write_bmp('game/system/texure/fill.bmp', 8, 64, fill)

# Start-up settings: windowed, 640 x 480, 32 bits per pixel, pad plug-in on.
with open('game/init.dat', 'wb') as f:
    f.write(struct.pack('<iBBBB', 1, 0, 0, 32, 1))
