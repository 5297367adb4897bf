#!/usr/bin/env python3
"""Turns an X window dump (xwd, TrueColor, 24 or 32 bits a pixel) read
from stdin into a PNG file:  xwd -root | python3 tools/xwd_to_png.py OUT.png"""

import struct
import sys
import zlib


def main():
    data = sys.stdin.buffer.read()
    fields = struct.unpack('>25I', data[:100])
    header_size, version, pixmap_format, depth, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14:17]
    ncolors = fields[19]
    if version != 7 or pixmap_format != 2 or bits_per_pixel not in (24, 32):
        sys.exit('xwd_to_png: only TrueColor ZPixmap dumps of 24 or 32 bits are read')
    at = header_size + 12 * ncolors
    step = bits_per_pixel // 8
    order = 'little' if byte_order == 0 else 'big'

    def shift(mask):
        return (mask & -mask).bit_length() - 1
    rs, gs, bs = shift(red_mask), shift(green_mask), shift(blue_mask)
    rows = bytearray()
    for y in range(height):
        line = data[at + y * bytes_per_line: at + y * bytes_per_line + width * step]
        rows.append(0)
        for x in range(0, width * step, step):
            v = int.from_bytes(line[x:x + step], order)
            rows += bytes(((v & red_mask) >> rs, (v & green_mask) >> gs, (v & blue_mask) >> bs))

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    png = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
           chunk(b'IDAT', zlib.compress(bytes(rows), 6)) + chunk(b'IEND', b''))
    with open(sys.argv[1], 'wb') as f:
        f.write(png)


if __name__ == '__main__':
    main()
