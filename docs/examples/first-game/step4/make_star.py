# Writes image/star.bmp (a yellow star, 64 x 64, 24-bit BMP) and its
# alpha companion image/star_a.bmp (white where the star is opaque, black
# where it is clear). Run it in the game folder: python3 make_star.py
import math
import os
import struct

SIZE = 64


def bmp(pixel):
    """A 24-bit BMP of SIZE x SIZE; pixel(x, y) gives (r, g, b), y from the top."""
    rows = b''
    for y in range(SIZE - 1, -1, -1):          # BMP rows go bottom first
        for x in range(SIZE):
            r, g, b = pixel(x, y)
            rows += bytes((b, g, r))               # and each pixel is B, G, R
    header = struct.pack('<2sIHHI', b'BM', 54 + len(rows), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    return header + info + rows


def inside(x, y):
    """How much of the star covers pixel (x, y): 0.0 to 1.0."""
    dx, dy = x + 0.5 - SIZE / 2, y + 0.5 - SIZE / 2
    angle = math.atan2(dy, dx) + math.pi / 2
    radius = math.hypot(dx, dy)
    # Five points: the edge swings between an outer and an inner radius.
    edge = 13 + 17 * abs(math.cos(angle * 2.5)) ** 3
    return max(0.0, min(1.0, edge - radius))


def star(x, y):
    shade = 1.0 - 0.4 * y / SIZE
    return (255, int(220 * shade), int(60 * shade))


def alpha(x, y):
    level = int(255 * inside(x, y))
    return (level, level, level)


os.makedirs('image', exist_ok=True)
with open('image/star.bmp', 'wb') as f:
    f.write(bmp(star))
with open('image/star_a.bmp', 'wb') as f:
    f.write(bmp(alpha))
