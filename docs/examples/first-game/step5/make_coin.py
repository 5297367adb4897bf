# Writes wave/coin.wav, the sound of a caught star: two short rising
# notes, 16-bit mono at 22050 samples a second. Run it in the game
# folder: python3 make_coin.py
import math
import os
import struct

RATE = 22050


def note(frequency, seconds):
    count = int(RATE * seconds)
    samples = []
    for k in range(count):
        fade = 1.0 - k / count                    # from full to silence
        samples.append(0.4 * fade * math.sin(2 * math.pi * frequency * k / RATE))
    return samples


samples = note(988, 0.08) + note(1319, 0.25)
data = b''.join(struct.pack('<h', int(s * 32767)) for s in samples)
# The format chunk: PCM (1), 1 channel, the rate, bytes a second, bytes a
# sample frame, bits a sample.
fmt = struct.pack('<HHIIHH', 1, 1, RATE, RATE * 2, 2, 16)
riff = b'WAVE' + b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<I', len(data)) + data
os.makedirs('wave', exist_ok=True)
with open('wave/coin.wav', 'wb') as f:
    f.write(b'RIFF' + struct.pack('<I', len(riff)) + riff)
