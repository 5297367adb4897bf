# Writes field/grass.bmp, the field's texture: 64 x 64 pixels of grass,
# a 24-bit BMP. Run it in the game folder: python3 make_grass.py
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


def grass(x, y):
    # A fixed scatter of lighter and darker blades, the same on every run.
    speck = (x * 73 + y * 151 + x * y * 7) % 17
    light = 0.8 + speck / 80
    return (int(110 * light), int(210 * light), int(80 * light))


os.makedirs('field', exist_ok=True)
with open('field/grass.bmp', 'wb') as f:
    f.write(bmp(grass))
