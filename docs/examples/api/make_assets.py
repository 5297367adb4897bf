# Writes the image, wave and MIDI files of the reference's example games.
# Run it in docs/examples/api: python3 make_assets.py
# The robot's model and animation files are built from their text forms
# by tessmodel: the program named by $TESSMODEL, else tessmodel on the PATH.
# The output is the same, byte for byte, on every run.
import math
import os
import struct
import subprocess


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def bmp(width, height, pixel):
    """A 24-bit BMP; pixel(x, y) gives (r, g, b), y from the top."""
    pad = bytes((4 - width * 3 % 4) % 4)
    rows = b''
    for y in range(height - 1, -1, -1):
        for x in range(width):
            r, g, b = pixel(x, y)
            rows += bytes((b, g, r))
        rows += pad
    header = struct.pack('<2sIHHI', b'BM', 54 + len(rows), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    return header + info + rows


def grey(level):
    level = max(0, min(255, int(level)))
    return (level, level, level)


# images: tiles.bmp holds two 64 x 64 pictures side by side, a red disc
# and a blue diamond; tiles_a.bmp makes everything around them clear.
def tile_colour(x, y):
    return (230, 60, 50) if x < 64 else (60, 110, 240)


def tile_alpha(x, y):
    cx, cy = x % 64 + 0.5 - 32, y + 0.5 - 32
    if x < 64:
        return grey(255 * max(0.0, min(1.0, 28 - math.hypot(cx, cy))))
    return grey(255 * max(0.0, min(1.0, 28 - abs(cx) - abs(cy))))


write('images/image/tiles.bmp', bmp(128, 64, tile_colour))
write('images/image/tiles_a.bmp', bmp(128, 64, tile_alpha))
# A 32 x 32 evening sky, stretched over the whole screen.
write('images/image/sky.bmp', bmp(32, 32, lambda x, y: (40 + 4 * y, 50 + 3 * y, 120 - y)))

# field: a 32 x 32 checker for the field.
write('field/field/check.bmp', bmp(32, 32, lambda x, y: (200, 190, 150) if (x // 16 + y // 16) % 2 else (150, 170, 110)))

# boards: a 32 x 32 spark, white at the centre, clear at the edge.
write('boards/image/spark.bmp', bmp(32, 32, lambda x, y: (255, 240, 160)))
write('boards/image/spark_a.bmp', bmp(32, 32, lambda x, y: grey(
    255 * max(0.0, 1.0 - math.hypot(x + 0.5 - 16, y + 0.5 - 16) / 16) ** 1.5)))

# sound: a short beep, 8-bit mono at 11025 samples a second.
RATE = 11025
beep = bytes(128 + int(90 * (1 - k / 2205) * math.sin(2 * math.pi * 660 * k / RATE)) for k in range(2205))
fmt = struct.pack('<HHIIHH', 1, 1, RATE, RATE, 1, 8)
body = b'WAVE' + b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<I', len(beep)) + beep
write('sound/wave/beep.wav', b'RIFF' + struct.pack('<I', len(body)) + body)


# sound: a four-bar tune, format 0, 480 ticks a quarter note.
def varlen(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


events = b'\x00\xff\x51\x03' + struct.pack('>I', 500000)[1:]    # 120 beats a minute
events += b'\x00\xc0\x0b'                                          # vibraphone
for note in [60, 64, 67, 72, 67, 64, 60, 55] * 2:
    events += b'\x00\x90' + bytes((note, 90)) + varlen(240) + b'\x80' + bytes((note, 0))
events += b'\x00\xff\x2f\x00'
write('sound/midi/tune.mid', b'MThd' + struct.pack('>IHHH', 6, 0, 1, 480) +
      b'MTrk' + struct.pack('>I', len(events)) + events)

# models: the robot's part tree and its animation, from their text forms.
tessmodel = os.environ.get('TESSMODEL', 'tessmodel')
for text, out in [('robot.txt', 'robot.mdl'), ('wave.txt', 'wave.ani')]:
    subprocess.run([tessmodel, 'build', 'models/model/' + text, 'models/model/' + out], check=True)
