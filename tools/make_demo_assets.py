#!/usr/bin/env python3
"""Makes every asset of the demo game (game/) from code. Run from the
repository root:

    python3 tools/make_demo_assets.py [--tessmodel PATH]

Images are 24-bit BMP files (with "_a" alpha companions) and one raw "G2"
image; meshes are text mesh files; models and animations are written in
tessmodel's text form and turned into binary files by tessmodel (found at
--tessmodel, $TESSMODEL or build/release/bin/tessmodel); waves are
synthesised; the MIDI files are composed here note by note.

The output is byte-for-byte the same on every run."""

import argparse
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

GAME = 'game'


def out_path(name):
    path = os.path.join(GAME, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    return path


def write_file(name, data):
    with open(out_path(name), 'wb') as f:
        f.write(data)


def clamp8(v):
    return max(0, min(255, int(v)))


# ---------------------------------------------------------------- images

def bmp_bytes(width, height, pixel):
    """pixel(x, y) -> (r, g, b), y counted from the top."""
    row_size = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):  # bottom-up rows
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((clamp8(b), clamp8(g), clamp8(r)))
        row += bytes(row_size - len(row))
        data += row
    header = struct.pack('<2sIHHI', b'BM', 54 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + bytes(data)


def g2_bytes(width, height, pixel):
    """The raw 24-bit format: "G2", height, width, padded rows bottom first."""
    row_size = (width * 3 + 3) & ~3
    data = bytearray(b'G2' + struct.pack('<ii', height, width))
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((clamp8(b), clamp8(g), clamp8(r)))
        row += bytes(row_size - len(row))
        data += row
    return bytes(data)


def write_image(name, width, height, rgba):
    """rgba(x, y) -> (r, g, b, a); writes NAME and, when any texel is not
    opaque, its alpha companion (grey levels in a BMP)."""
    cache = [[rgba(x, y) for x in range(width)] for y in range(height)]
    write_file(name, bmp_bytes(width, height, lambda x, y: cache[y][x][:3]))
    if any(p[3] < 255 for row in cache for p in row):
        base, ext = name[:-4], name[-4:]
        write_file(base + '_a' + ext, bmp_bytes(width, height, lambda x, y: (cache[y][x][3],) * 3))


def smoothstep(e0, e1, x):
    t = max(0.0, min(1.0, (x - e0) / (e1 - e0)))
    return t * t * (3 - 2 * t)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


# A 5 x 7 pixel font for the logo, the only text drawn into an image (the
# rest of the game's text is the host's own).
GLYPHS = {
    'S': ['01111', '10000', '10000', '01110', '00001', '00001', '11110'],
    'T': ['11111', '00100', '00100', '00100', '00100', '00100', '00100'],
    'A': ['01110', '10001', '10001', '11111', '10001', '10001', '10001'],
    'R': ['11110', '10001', '10001', '11110', '10100', '10010', '10001'],
    'G': ['01111', '10000', '10000', '10111', '10001', '10001', '01111'],
    'D': ['11110', '10001', '10001', '10001', '10001', '10001', '11110'],
    'E': ['11111', '10000', '10000', '11110', '10000', '10000', '11111'],
    'N': ['10001', '11001', '10101', '10011', '10001', '10001', '10001'],
    ' ': ['00000'] * 7,
}


def logo_pixels(text, cell):
    """Set of (x, y) cells lit by the text, and its size in cells."""
    lit = set()
    x0 = 0
    for ch in text:
        glyph = GLYPHS[ch]
        for gy, line in enumerate(glyph):
            for gx, bit in enumerate(line):
                if bit == '1':
                    lit.add((x0 + gx, gy))
        x0 += 6
    return lit, x0 - 1, 7


def make_images():
    rng = random.Random(19)
    stars = [(rng.randrange(640), rng.randrange(300), rng.random()) for _ in range(140)]
    star_at = {(x, y): b for x, y, b in stars}

    def title_bg(x, y):
        # Night sky over two rows of rolling hills.
        t = y / 479.0
        sky = mix((10, 14, 46), (70, 40, 110), t)
        b = star_at.get((x, y))
        if b is not None:
            sky = mix(sky, (255, 250, 220), 0.4 + 0.6 * b)
        far = 330 + 22 * math.sin(x / 70.0) + 12 * math.sin(x / 23.0 + 1)
        near = 390 + 30 * math.sin(x / 95.0 + 2) + 8 * math.sin(x / 31.0)
        if y > near:
            return mix((30, 90, 50), (12, 40, 24), (y - near) / 120.0)
        if y > far:
            return mix((40, 70, 90), (28, 50, 70), (y - far) / 100.0)
        return sky
    write_file('image/title.bmp', bmp_bytes(640, 480, title_bg))

    # The logo: a raw G2 image with a BMP alpha companion (the loader picks
    # each format by its first two bytes, whatever the name).
    lit, cw, ch = logo_pixels('STAR GARDEN', 1)
    cell = 6
    lw, lh = cw * cell + 8, ch * cell + 8

    def logo(x, y):
        cx, cy = (x - 4) // cell, (y - 4) // cell
        if x >= 4 and y >= 4 and (cx, cy) in lit:
            t = (y - 4) / (ch * cell)
            return mix((255, 240, 120), (255, 140, 40), t) + (255,)
        sx, sy = (x - 8) // cell, (y - 8) // cell
        if x >= 8 and y >= 8 and (sx, sy) in lit:
            return (40, 10, 60, 200)  # drop shadow
        return (0, 0, 0, 0)
    cache = [[logo(x, y) for x in range(lw)] for y in range(lh)]
    write_file('image/logo.g24', g2_bytes(lw, lh, lambda x, y: cache[y][x][:3]))
    write_file('image/logo_a.g24', bmp_bytes(lw, lh, lambda x, y: (cache[y][x][3],) * 3))

    def star_shape(x, y, size, points=5, inner=0.45):
        cx = cy = (size - 1) / 2.0
        dx, dy = x - cx, y - cy
        r = math.hypot(dx, dy) / (size / 2.0)
        a = math.atan2(dy, dx) + math.pi / 2
        k = (a * points / (2 * math.pi)) % 1.0
        edge = inner + (1 - inner) * abs(1 - 2 * k)
        return r <= edge, r
    def cursor(x, y):
        inside, r = star_shape(x, y, 32)
        if not inside:
            return (0, 0, 0, 0)
        return mix((255, 255, 200), (255, 170, 30), r) + (255,)
    write_image('image/cursor.bmp', 32, 32, cursor)

    def pointer(x, y):
        # An arrow pointer with its hot spot at the top-left corner.
        if y < 20 and x <= y * 0.6 and x < 12:
            edge = x == 0 or x >= y * 0.6 - 1 or y == 19
            return ((20, 20, 20) if edge else (250, 250, 250)) + (255,)
        return (0, 0, 0, 0)
    write_image('image/pointer.bmp', 16, 32, pointer)

    def sparkle(x, y):
        d = math.hypot(x - 15.5, y - 15.5)
        cross = max(0.0, 1 - abs(x - 15.5) / 2.5) * max(0.0, 1 - abs(y - 15.5) / 15.5)
        cross = max(cross, max(0.0, 1 - abs(y - 15.5) / 2.5) * max(0.0, 1 - abs(x - 15.5) / 15.5))
        a = max(cross, max(0.0, 1 - d / 7.0))
        return (255, 250, 200, int(255 * min(1.0, a * 1.4)))
    write_image('image/sparkle.bmp', 32, 32, sparkle)

    def glow(x, y):
        # Additive: black adds nothing, so no alpha image is needed.
        d = math.hypot(x - 31.5, y - 31.5) / 32.0
        v = max(0.0, 1 - d) ** 2
        return (int(255 * v), int(200 * v), int(90 * v), 255)
    write_image('image/glow.bmp', 64, 64, glow)

    def ring(x, y):
        # The selection marker: a down-pointing triangle in a ring.
        d = math.hypot(x - 15.5, y - 15.5)
        if 11 <= d <= 15:
            return (120, 255, 255, 255)
        if y >= 6 and y <= 20 and abs(x - 15.5) <= (20 - y) * 0.55:
            return (255, 255, 255, 255)
        return (0, 0, 0, 0)
    write_image('image/ring.bmp', 32, 32, ring)

    def you(x, y):
        # The marker over the player: a rounded tag with a point below.
        if y < 14 and 2 <= x < 30:
            return (255, 90, 120, 230)
        if 14 <= y < 22 and abs(x - 15.5) <= (22 - y) * 0.8:
            return (255, 90, 120, 230)
        return (0, 0, 0, 0)
    write_image('image/you.bmp', 32, 24, you)

    def panel(x, y):
        # The HUD panel: a rounded dark plate with a light rim.
        w, h = 256, 64
        rx = min(x, w - 1 - x)
        ry = min(y, h - 1 - y)
        if rx < 6 and ry < 6 and math.hypot(6 - rx, 6 - ry) > 6:
            return (0, 0, 0, 0)
        if rx < 2 or ry < 2:
            return (200, 220, 255, 220)
        return mix((20, 30, 60), (40, 50, 90), y / h) + (170,)
    write_image('image/panel.bmp', 256, 64, panel)

    def sky(x, y):
        # The garden's sky, drawn behind the scene: deep blue to haze.
        return mix((70, 120, 200), (190, 220, 240), y / 127.0)
    write_file('image/sky.bmp', bmp_bytes(8, 128, sky))

    noise = [[rng.random() for _ in range(64)] for _ in range(64)]

    def grass(x, y):
        n = noise[y][x]
        blade = (x * 7 + y * 3) % 11 == 0
        base = mix((70, 140, 60), (95, 170, 70), n)
        return mix(base, (150, 210, 90), 0.5) if blade else base
    write_file('image/grass.bmp', bmp_bytes(64, 64, grass))

    def sand(x, y):
        n = noise[(y * 3) % 64][(x * 5) % 64]
        pebble = noise[x][y] > 0.96
        return (150, 140, 130) if pebble else mix((200, 175, 120), (225, 200, 145), n)
    write_file('image/sand.bmp', bmp_bytes(64, 64, sand))

    def crate(x, y):
        edge = x < 4 or y < 4 or x > 59 or y > 59
        diag = abs(x - y) < 3 or abs(x - (63 - y)) < 3
        plank = (y // 8) % 2 == 0
        if edge or diag:
            return (110, 70, 35)
        return (170, 120, 65) if plank else (185, 135, 75)
    write_file('image/crate.bmp', bmp_bytes(64, 64, crate))

    def fill(x, y):
        # The light ramp of the mesh light pass: lit at the top, dark below.
        level = 255 - y * 3
        return (level, level, level)
    write_file('system/texure/fill.bmp', bmp_bytes(2, 64, fill))


# ---------------------------------------------------------------- meshes

def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def norm(a):
    n = math.sqrt(dot(a, a)) or 1.0
    return (a[0] / n, a[1] / n, a[2] / n)


# Baked shading for models: the host lights meshes only through its light
# pass, so faces carry their light in their material colour.
SUN = norm((0.4, 1.0, -0.6))


def shade(colour, normal):
    k = 0.55 + 0.45 * max(0.0, dot(norm(normal), SUN))
    return (colour[0] * k, colour[1] * k, colour[2] * k)


class Mesh:
    """Faces of 3 or 4 corners; each face oriented so that the host's
    face normal (P0 - P1) x (P0 - P2) points away from `centre`."""

    def __init__(self):
        self.positions = []
        self.faces = []       # (indices, material)
        self.materials = []   # (r, g, b, a, texture)
        self.texcoords = None

    def material(self, r, g, b, a=1.0, texture=''):
        key = (round(r, 4), round(g, 4), round(b, 4), a, texture)
        if key not in self.materials:
            self.materials.append(key)
        return self.materials.index(key)

    def point(self, p):
        self.positions.append(tuple(float(c) for c in p))
        return len(self.positions) - 1

    def face(self, corners, colour=None, outward=None, material=None, alpha=1.0, texture=''):
        pts = [self.positions[i] for i in corners]
        n = cross(sub(pts[0], pts[1]), sub(pts[0], pts[2]))
        if outward is not None and dot(n, outward) < 0:
            corners = [corners[0]] + list(reversed(corners[1:]))
            n = (-n[0], -n[1], -n[2])
        if material is None:
            r, g, b = shade(colour, n)
            material = self.material(r, g, b, alpha, texture)
        self.faces.append((list(corners), material))

    def box(self, lo, hi, colour, alpha=1.0, texture=''):
        x0, y0, z0 = lo
        x1, y1, z1 = hi
        c = ((x0 + x1) / 2, (y0 + y1) / 2, (z0 + z1) / 2)
        quads = [
            [(x0, y0, z0), (x0, y1, z0), (x1, y1, z0), (x1, y0, z0)],
            [(x0, y0, z1), (x1, y0, z1), (x1, y1, z1), (x0, y1, z1)],
            [(x0, y0, z0), (x0, y0, z1), (x0, y1, z1), (x0, y1, z0)],
            [(x1, y0, z0), (x1, y1, z0), (x1, y1, z1), (x1, y0, z1)],
            [(x0, y0, z0), (x1, y0, z0), (x1, y0, z1), (x0, y0, z1)],
            [(x0, y1, z0), (x0, y1, z1), (x1, y1, z1), (x1, y1, z0)],
        ]
        uv = [(0, 1), (0, 0), (1, 0), (1, 1)]
        for q in quads:
            fc = tuple(sum(p[i] for p in q) / 4 for i in range(3))
            ids = [self.point(p) for p in q]
            if texture:
                if self.texcoords is None:
                    self.texcoords = {}
                for i, u in zip(ids, uv):
                    self.texcoords[i] = u
            self.face(ids, colour, sub(fc, c), alpha=alpha, texture=texture)

    def solid(self, points, faces, colour, centre, alpha=1.0):
        ids = [self.point(p) for p in points]
        for f in faces:
            pts = [points[i] for i in f]
            fc = tuple(sum(p[i] for p in pts) / len(pts) for i in range(3))
            self.face([ids[i] for i in f], colour, sub(fc, centre), alpha=alpha)

    def text(self):
        lines = ['xof 0303txt 0032', '', 'Mesh {', ' %d;' % len(self.positions)]
        for i, p in enumerate(self.positions):
            lines.append(' %.6f;%.6f;%.6f;%s' % (p[0], p[1], p[2], ',' if i + 1 < len(self.positions) else ';'))

        def face_lines(lists):
            lines.append(' %d;' % len(lists))
            for i, f in enumerate(lists):
                lines.append(' %d;%s%s' % (len(f), ','.join(str(k) for k in f), ';,' if i + 1 < len(lists) else ';;'))
        face_lines([f for f, _ in self.faces])
        lines += ['', ' MeshMaterialList {', '  %d;' % len(self.materials), '  %d;' % len(self.faces)]
        for i, (_, m) in enumerate(self.faces):
            lines.append('  %d%s' % (m, ',' if i + 1 < len(self.faces) else ';'))
        for r, g, b, a, tex in self.materials:
            lines.append('  Material {')
            lines.append('   %.6f;%.6f;%.6f;%.6f;;' % (r, g, b, a))
            lines.append('   5.000000;')
            lines.append('   0.000000;0.000000;0.000000;;')
            lines.append('   0.000000;0.000000;0.000000;;')
            if tex:
                lines.append('   TextureFilename {')
                lines.append('    "%s";' % tex)
                lines.append('   }')
            lines.append('  }')
        lines.append(' }')
        # One normal per face, the host's own face normal.
        normals = []
        for f, _ in self.faces:
            p = [self.positions[i] for i in f]
            normals.append(norm(cross(sub(p[0], p[1]), sub(p[0], p[2]))))
        lines += [' MeshNormals {', '  %d;' % len(normals)]
        for i, n in enumerate(normals):
            lines.append('  %.6f;%.6f;%.6f;%s' % (n[0], n[1], n[2], ',' if i + 1 < len(normals) else ';'))
        face_lines([[i] * len(f) for i, (f, _) in enumerate(self.faces)])
        lines.append(' }')
        if self.texcoords is not None:
            lines += [' MeshTextureCoords {', '  %d;' % len(self.positions)]
            for i in range(len(self.positions)):
                u, v = self.texcoords.get(i, (0.0, 0.0))
                lines.append('  %.6f;%.6f;%s' % (u, v, ',' if i + 1 < len(self.positions) else ';'))
            lines.append(' }')
        lines.append('}')
        return ('\r\n'.join(lines) + '\r\n').encode('ascii')


def write_mesh(name, mesh):
    write_file(name, mesh.text())


def box_mesh(lo, hi, colour=(1, 1, 1)):
    m = Mesh()
    m.box(lo, hi, colour)
    return m


# ---------------------------------------------------------------- models

class Part:
    def __init__(self, name, mesh='', parent=-1, pivot=(0, 0, 0), kind=1):
        self.name, self.mesh, self.parent, self.pivot, self.kind = name, mesh, parent, pivot, kind
        self.children = []


def model_text(parts, root=0):
    for i, p in enumerate(parts):
        if p.parent >= 0:
            parts[p.parent].children.append(i)
    out = ['model', 'highest %d' % (len(parts) - 1), 'root %d' % root]
    for i, p in enumerate(parts):
        out += ['part %d' % i, '  kind %d' % p.kind, '  name "%s"' % p.name, '  mesh "%s"' % p.mesh,
                '  parent %d' % p.parent, '  children' + ''.join(' %d' % c for c in p.children),
                '  v0 1 0 0', '  v1 0 1 0', '  v2 0 0 1', '  v3 0 0 0', '  v4 0 0 0', '  v5 0 0 0',
                '  v6 %r %r %r' % tuple(float(c) for c in p.pivot), '  v7 0 0 0']
    return '\n'.join(out) + '\n'


def anime_text(model, tracks, frames):
    """tracks: one list of keys per part: (frame, (rx, ry, rz), (dx, dy, dz),
    (mx, my, mz), mesh)."""
    out = ['anime', 'version 1', 'model "%s"' % model, 'highest %d' % (len(tracks) - 1), 'unused 0']
    for t, keys in enumerate(tracks):
        out.append('track %d' % t)
        for frame, rot, direction, move, mesh in keys:
            out.append('  key %d rot %d %d %d dir %d %d %d move %r %r %r mesh %d' % (
                (frame,) + tuple(rot) + tuple(direction) + tuple(float(c) for c in move) + (mesh,)))
    out.append('frames %d' % frames)
    return '\n'.join(out) + '\n'


# The binary layouts tessmodel writes, for a checkout where tessmodel is
# not built; both give the same bytes (compare with `tessmodel dump`).
def pack_model_text(text):
    words = [line.split() for line in text.splitlines() if line.strip()]
    it = iter(words)
    assert next(it) == ['model']
    highest = int(next(it)[1])
    root = int(next(it)[1])
    out = bytearray(struct.pack('<ii', highest, root))

    def name(w):
        raw = ' '.join(w[1:])[1:-1].encode('ascii')
        return raw + bytes(257 - len(raw))
    for _ in range(highest + 1):
        next(it)
        kind = int(next(it)[1])
        n = name(next(it))
        mesh = name(next(it))
        parent = int(next(it)[1])
        children = [int(c) for c in next(it)[1:]]
        children += [-1] * (20 - len(children))
        out += bytes([kind]) + n + mesh + struct.pack('<i', parent) + struct.pack('<20i', *children)
        for _ in range(8):
            out += struct.pack('<3f', *[float(c) for c in next(it)[1:4]])
    return bytes(out)


def pack_anime_text(text):
    words = [line.split() for line in text.splitlines() if line.strip()]
    i = 0
    assert words[i] == ['anime']
    version = int(words[1][1])
    raw = words[2][1][1:-1].encode('ascii')
    highest = int(words[3][1])
    unused = int(words[4][1])
    out = bytearray(struct.pack('<i', version) + raw + bytes(257 - len(raw)) + struct.pack('<ii', highest, unused))
    i = 5
    for _ in range(highest + 1):
        i += 1
        keys = 0
        while words[i][0] == 'key':
            w = words[i]
            out += struct.pack('<4h3bx3fhxx', int(w[1]), int(w[3]), int(w[4]), int(w[5]), int(w[7]), int(w[8]),
                               int(w[9]), float(w[11]), float(w[12]), float(w[13]), int(w[15]))
            keys += 1
            i += 1
        for _ in range(keys, 30):
            out += struct.pack('<4h3bx3fhxx', -1, 0, 0, 0, 1, 1, 1, 0.0, 0.0, 0.0, -1)
    out += struct.pack('<i', int(words[i][1]))
    return bytes(out)


class ModelBuilder:
    def __init__(self, tessmodel):
        self.tessmodel = tessmodel
        self.scratch = tempfile.mkdtemp(prefix='demo-models-')

    def build(self, name, text):
        path = out_path(name)
        if self.tessmodel:
            source = os.path.join(self.scratch, os.path.basename(name) + '.txt')
            with open(source, 'w') as f:
                f.write(text)
            subprocess.run([self.tessmodel, 'build', source, path], check=True)
        else:
            packed = pack_model_text(text) if text.startswith('model') else pack_anime_text(text)
            with open(path, 'wb') as f:
                f.write(packed)

    def close(self):
        shutil.rmtree(self.scratch, ignore_errors=True)


def write_description(name, lines):
    write_file(name, ('\r\n'.join(lines) + '\r\n').encode('ascii'))


def key(frame, rot=(0, 0, 0), mesh=0, direction=(1, 1, 1), move=(0, 0, 0)):
    return (frame, rot, direction, move, mesh)


def make_models(builder):
    # The hero: a part tree of body, head, two arms and two legs; each
    # mesh is modelled around its joint, which is the part's pivot.
    write_mesh('model/hero_body.x', box_mesh((-0.45, -0.5, -0.3), (0.45, 0.55, 0.3), (0.25, 0.45, 0.95)))
    head = Mesh()
    head.box((-0.38, 0.0, -0.36), (0.38, 0.72, 0.36), (1.0, 0.82, 0.66))
    head.box((-0.24, 0.36, -0.42), (-0.08, 0.5, -0.36), (0.1, 0.1, 0.2))   # eyes, facing -z
    head.box((0.08, 0.36, -0.42), (0.24, 0.5, -0.36), (0.1, 0.1, 0.2))
    head.box((-0.42, 0.62, -0.4), (0.42, 0.82, 0.4), (0.9, 0.3, 0.2))      # cap
    write_mesh('model/hero_head.x', head)
    write_mesh('model/hero_arm.x', box_mesh((-0.14, -0.8, -0.14), (0.14, 0.05, 0.14), (0.95, 0.75, 0.3)))
    write_mesh('model/hero_leg.x', box_mesh((-0.17, -0.85, -0.17), (0.17, 0.0, 0.17), (0.3, 0.3, 0.45)))
    write_mesh('model/hero_box.x', box_mesh((-0.6, -1.35, -0.5), (0.6, 1.4, 0.5)))
    parts = [
        Part('body', 'hero_body.x'),
        Part('head', 'hero_head.x', 0, (0, 0.55, 0)),
        Part('arm_l', 'hero_arm.x', 0, (-0.6, 0.45, 0)),
        Part('arm_r', 'hero_arm.x', 0, (0.6, 0.45, 0)),
        Part('leg_l', 'hero_leg.x', 0, (-0.22, -0.5, 0)),
        Part('leg_r', 'hero_leg.x', 0, (0.22, -0.5, 0)),
    ]
    builder.build('model/hero.mdl', model_text(parts))

    def swing(part, amount, frames, opposite=False):
        a, b = (360 - amount, amount) if opposite else (amount, 360 - amount)
        half = frames // 2
        # Forward by decreasing angles, back by increasing ones, through 0.
        return [key(0, (a, 0, 0), part), key(half, (b, 0, 0), part, (-1, 1, 1) if not opposite else (1, 1, 1)),
                key(frames, (a, 0, 0), part, (1, 1, 1) if not opposite else (-1, 1, 1))]
    walk = [
        [key(0, mesh=0, move=(0, 0, 0)), key(4, mesh=0, move=(0, 0.08, 0)), key(8, mesh=0, move=(0, 0, 0)),
         key(12, mesh=0, move=(0, 0.08, 0)), key(16, mesh=0, move=(0, 0, 0))],
        [key(0, mesh=1)],
        swing(2, 35, 16, opposite=True),
        swing(3, 35, 16),
        swing(4, 30, 16),
        swing(5, 30, 16, opposite=True),
    ]
    builder.build('model/hero_walk.ani', anime_text('hero.mdl', walk, 16))
    idle = [
        [key(0, mesh=0), key(10, mesh=0, move=(0, 0.04, 0)), key(20, mesh=0)],
        [key(0, (0, 350, 0), 1), key(10, (0, 10, 0), 1), key(20, (0, 350, 0), 1, (1, -1, 1))],
        [key(0, (0, 0, 0), 2), key(10, (0, 0, 8), 2), key(20, (0, 0, 0), 2, (1, 1, -1))],
        [key(0, (0, 0, 0), 3), key(10, (0, 0, 352), 3, (1, 1, -1)), key(20, (0, 0, 0), 3)],
        [key(0, mesh=4)],
        [key(0, mesh=5)],
    ]
    builder.build('model/hero_idle.ani', anime_text('hero.mdl', idle, 20))
    write_description('model/hero.cha', ['MODEL:[hero.mdl]', 'BOX:[hero_box.x]', 'ANIME:[0,hero_idle.ani]',
                                         'ANIME:[1,hero_walk.ani]'])

    # A gem: an octahedron of two colours; shared by every pick-up.
    gem = Mesh()
    pts = [(0, 0.7, 0), (0, -0.7, 0), (0.45, 0, 0), (-0.45, 0, 0), (0, 0, 0.45), (0, 0, -0.45)]
    faces = [(0, 2, 4), (0, 4, 3), (0, 3, 5), (0, 5, 2), (1, 4, 2), (1, 3, 4), (1, 5, 3), (1, 2, 5)]
    gem.solid(pts, faces, (1.0, 0.85, 0.2), (0, 0, 0))
    write_mesh('model/gem.x', gem)
    write_mesh('model/gem_box.x', box_mesh((-0.5, -0.75, -0.5), (0.5, 0.75, 0.5)))
    builder.build('model/gem.mdl', model_text([Part('gem', 'gem.x')]))
    write_description('model/gem.cha', ['MODEL:[gem.mdl]', 'BOX:[gem_box.x]'])

    # The crystal on its plinth, shown tinted: a tall octahedron.
    crystal = Mesh()
    pts = [(0, 3.2, 0), (0, 0.6, 0), (0.7, 1.6, 0), (-0.7, 1.6, 0), (0, 1.6, 0.7), (0, 1.6, -0.7)]
    crystal.solid(pts, faces, (0.8, 0.9, 1.0), (0, 1.6, 0))
    crystal.box((-0.9, 0.0, -0.9), (0.9, 0.6, 0.9), (0.6, 0.6, 0.65))
    write_mesh('model/crystal.x', crystal)
    write_mesh('model/crystal_box.x', box_mesh((-0.9, -0.5, -0.9), (0.9, 3.2, 0.9)))
    builder.build('model/crystal.mdl', model_text([Part('crystal', 'crystal.x')]))
    write_description('model/crystal.cha', ['MODEL:[crystal.mdl]', 'BOX:[crystal_box.x]'])

    # A rock, an obstacle: a squashed, uneven box.
    rock = Mesh()
    pts = [(-1.0, 0, -0.9), (1.1, 0, -1.0), (1.0, 0, 1.0), (-0.9, 0, 1.1),
           (-0.7, 1.3, -0.6), (0.8, 1.2, -0.7), (0.6, 1.4, 0.7), (-0.8, 1.1, 0.6)]
    rock.solid(pts, [(0, 1, 2, 3), (4, 5, 6, 7), (0, 1, 5, 4), (1, 2, 6, 5), (2, 3, 7, 6), (3, 0, 4, 7)],
               (0.55, 0.55, 0.6), (0, 0.6, 0))
    write_mesh('model/rock.x', rock)
    write_mesh('model/rock_box.x', box_mesh((-1.0, -0.5, -1.0), (1.0, 3.0, 1.0)))
    builder.build('model/rock.mdl', model_text([Part('rock', 'rock.x')]))
    write_description('model/rock.cha', ['MODEL:[rock.mdl]', 'BOX:[rock_box.x]'])

    # A tree of two parts: trunk and crown.
    write_mesh('model/trunk.x', box_mesh((-0.25, 0, -0.25), (0.25, 1.6, 0.25), (0.5, 0.32, 0.18)))
    crown = Mesh()
    pts = [(0, 2.4, 0), (-1.2, 0, -1.2), (1.2, 0, -1.2), (1.2, 0, 1.2), (-1.2, 0, 1.2)]
    crown.solid(pts, [(0, 1, 2), (0, 2, 3), (0, 3, 4), (0, 4, 1), (1, 2, 3, 4)], (0.2, 0.6, 0.3), (0, 0.6, 0))
    write_mesh('model/crown.x', crown)
    write_mesh('model/tree_box.x', box_mesh((-0.5, -0.5, -0.5), (0.5, 3.6, 0.5)))
    builder.build('model/tree.mdl', model_text([Part('trunk', 'trunk.x'), Part('crown', 'crown.x', 0, (0, 1.2, 0))]))
    write_description('model/tree.cha', ['MODEL:[tree.mdl]', 'BOX:[tree_box.x]'])

    # A crate with a texture, given to the host as a lone mesh file.
    crate = Mesh()
    crate.box((-0.7, 0, -0.7), (0.7, 1.4, 0.7), (1, 1, 1), texture='crate.bmp')
    write_mesh('model/crate.x', crate)
    write_mesh('model/crate_box.x', box_mesh((-0.7, -0.5, -0.7), (0.7, 3.0, 0.7)))
    write_description('model/crate.cha', ['MODEL:[crate.x]', 'BOX:[crate_box.x]'])

    # The pond's water: a translucent slab, drawn in the transparent list.
    water = Mesh()
    ring = [(math.cos(a * math.pi / 8) * 3.2, 0.0, math.sin(a * math.pi / 8) * 2.6) for a in range(16)]
    ids = [water.point(p) for p in ring]
    centre = water.point((0, 0, 0))
    mat = water.material(0.3, 0.6, 0.95, 0.55)
    for a in range(16):
        water.face([centre, ids[a], ids[(a + 1) % 16]], outward=(0, 1, 0), material=mat)
    write_mesh('model/water.x', water)
    write_description('model/water.cha', ['MODEL:[water.x]'])

    # The flag the mouse plants on the ground.
    flag = Mesh()
    flag.box((-0.05, 0, -0.05), (0.05, 1.8, 0.05), (0.85, 0.85, 0.85))
    cloth = [flag.point(p) for p in [(0.05, 1.75, 0), (0.85, 1.5, 0), (0.05, 1.25, 0)]]
    red = flag.material(1.0, 0.3, 0.4)
    flag.face(cloth, outward=(0, 0, -1), material=red)
    back = [flag.point(p) for p in [(0.05, 1.75, 0), (0.85, 1.5, 0), (0.05, 1.25, 0)]]
    flag.face(back, outward=(0, 0, 1), material=flag.material(0.8, 0.2, 0.3))
    write_mesh('model/flag.x', flag)
    write_description('model/flag.cha', ['MODEL:[flag.x]'])

    # The game's own system models, as the old host's games carry them: the
    # board quad (left-top, right-top, right-bottom, left-bottom, facing +z,
    # the side lookAtCamera turns to the eye) and the one-part model a lone
    # mesh file is drawn through.
    quad = Mesh()
    quad.texcoords = {}
    ids = [quad.point(p) for p in [(0.5, 0.5, 0), (-0.5, 0.5, 0), (-0.5, -0.5, 0), (0.5, -0.5, 0)]]
    for i, uv in zip(ids, [(0, 0), (1, 0), (1, 1), (0, 1)]):
        quad.texcoords[i] = uv
    quad.faces.append((ids, quad.material(1, 1, 1)))
    write_mesh('system/board/board.x', quad)
    builder.build('system/board/board.mdl', model_text([Part('board', 'board.x')]))
    write_description('system/board/board.cha', ['MODEL:[board.mdl]'])
    builder.build('system/dummy/dummy.mdl', model_text([Part('dummy', '', kind=0)]))


# ---------------------------------------------------------------- field

FIELD_HALF = 24.0
FIELD_STEP = 1.5


def ground(x, z):
    """The garden's height: a bowl for the pond, rolling hills, a ridge."""
    h = 0.0
    h += 2.6 * math.exp(-((x - 12) ** 2 + (z - 10) ** 2) / 30.0)   # hill north-east
    h += 1.8 * math.exp(-((x + 13) ** 2 + (z - 4) ** 2) / 22.0)    # hill west
    h += 3.5 * smoothstep(14, 22, z)                              # the far ridge
    h += 2.0 * smoothstep(-16, -23, z)                            # behind the start
    h -= 1.2 * math.exp(-((x - 7) ** 2 + (z + 8) ** 2) / 12.0)     # the pond's bowl
    h += 0.25 * math.sin(x * 0.7) * math.sin(z * 0.5)
    return round(h, 3)


def on_path(x, z):
    # A sandy path from the start to the crystal.
    return abs(x - 2.0 * math.sin(z / 6.0)) < 1.6 and z < 12


def make_field():
    n = int(2 * FIELD_HALF / FIELD_STEP)
    m = Mesh()
    m.texcoords = {}
    grass = m.material(1, 1, 1, 1.0, 'grass.bmp')
    sand = m.material(1, 1, 1, 1.0, 'sand.bmp')
    ids = {}
    for j in range(n + 1):
        for i in range(n + 1):
            x, z = -FIELD_HALF + i * FIELD_STEP, -FIELD_HALF + j * FIELD_STEP
            ids[(i, j)] = m.point((x, ground(x, z), z))
            m.texcoords[ids[(i, j)]] = (x / 6.0, z / 6.0)
    for j in range(n):
        for i in range(n):
            x, z = -FIELD_HALF + (i + 0.5) * FIELD_STEP, -FIELD_HALF + (j + 0.5) * FIELD_STEP
            quad = [ids[(i, j)], ids[(i, j + 1)], ids[(i + 1, j + 1)], ids[(i + 1, j)]]
            m.face(quad, outward=(0, 1, 0), material=sand if on_path(x, z) else grass)
    text = m.text()
    write_file('field/garden.x', text)
    # The textures are looked up in the field's own folder.
    shutil.copyfile(out_path('image/grass.bmp'), out_path('field/grass.bmp'))
    shutil.copyfile(out_path('image/sand.bmp'), out_path('field/sand.bmp'))
    shutil.copyfile(out_path('image/crate.bmp'), out_path('model/crate.bmp'))


# ---------------------------------------------------------------- waves

RATE = 22050


def wave_bytes(samples):
    data = b''.join(struct.pack('<h', max(-32767, min(32767, int(s * 32767)))) for s in samples)
    fmt = struct.pack('<HHIIHH', 1, 1, RATE, RATE * 2, 2, 16)
    return (b'RIFF' + struct.pack('<I', 4 + 8 + len(fmt) + 8 + len(data)) + b'WAVE' +
            b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<I', len(data)) + data)


def tone(freqs, seconds, volume=0.5, attack=0.005, shape='sine', sweep=0.0):
    out = []
    n = int(RATE * seconds)
    phase = 0.0
    for k in range(n):
        t = k / RATE
        f = freqs[min(len(freqs) - 1, int(k * len(freqs) / n))] * (1 + sweep * t / seconds)
        phase += 2 * math.pi * f / RATE
        env = min(1.0, t / attack) * (1 - k / n) ** 1.5
        if shape == 'square':
            v = 0.6 if math.sin(phase) >= 0 else -0.6
        else:
            v = math.sin(phase) + 0.3 * math.sin(2 * phase)
        out.append(v * env * volume)
    return out


def make_waves():
    write_file('wave/move.wav', wave_bytes(tone([880], 0.06, 0.35, shape='square')))
    write_file('wave/ok.wav', wave_bytes(tone([660, 990], 0.22, 0.45)))
    write_file('wave/select.wav', wave_bytes(tone([1200], 0.08, 0.4, sweep=0.5)))
    write_file('wave/pickup.wav', wave_bytes(tone([784, 988, 1175, 1568], 0.36, 0.45)))
    write_file('wave/chime.wav', wave_bytes(tone([2093], 0.5, 0.25)))
    rng = random.Random(7)
    thud = [rng.uniform(-1, 1) * math.exp(-k / 900.0) * 0.6 + math.sin(k * 2 * math.pi * 90 / RATE) *
            math.exp(-k / 2500.0) * 0.5 for k in range(int(RATE * 0.18))]
    write_file('wave/bump.wav', wave_bytes(thud))
    # The warning of the last seconds: a steady warble longer than the one
    # second between two warnings, so ending the game has to stop it.
    warble = []
    n = int(RATE * 1.2)
    phase = 0.0
    for k in range(n):
        f = 1320 if (k * 10 // RATE) % 2 == 0 else 990
        phase += 2 * math.pi * f / RATE
        edge = min(1.0, k / 220.0, (n - k) / 220.0)
        warble.append((0.22 if math.sin(phase) >= 0 else -0.22) * edge)
    write_file('wave/alarm.wav', wave_bytes(warble))
    write_file('wave/flag.wav', wave_bytes(tone([520], 0.12, 0.4, sweep=-0.3)))


# ---------------------------------------------------------------- MIDI

def varlen(v):
    out = [v & 0x7F]
    v >>= 7
    while v:
        out.append(0x80 | (v & 0x7F))
        v >>= 7
    return bytes(reversed(out))


def midi_track(events):
    """events: (tick, bytes); sorted stably by tick."""
    events = sorted(events, key=lambda e: e[0])
    data = bytearray()
    now = 0
    for tick, msg in events:
        data += varlen(tick - now) + msg
        now = tick
    data += varlen(0) + b'\xff\x2f\x00'
    return b'MTrk' + struct.pack('>I', len(data)) + bytes(data)


NOTE = {'C': 0, 'D': 2, 'E': 4, 'F': 5, 'G': 7, 'A': 9, 'B': 11}


def pitch(name):
    base = NOTE[name[0]]
    rest = name[1:]
    if rest.startswith('#'):
        base += 1
        rest = rest[1:]
    elif rest.startswith('b'):
        base -= 1
        rest = rest[1:]
    return 12 * (int(rest) + 1) + base


def notes(channel, line, start, unit, velocity=90):
    """line: 'C5:2 D5 - E5:4' (a dash rests); lengths in units."""
    events = []
    t = start
    for word in line.split():
        name, _, length = word.partition(':')
        length = int(length or 1) * unit
        if name != '-':
            for p in name.split('+'):
                events.append((t, bytes((0x90 | channel, pitch(p), velocity))))
                events.append((t + length - unit // 8, bytes((0x80 | channel, pitch(p), 0))))
        t += length
    return events, t


def midi_file(tempo_us, tracks, division=480):
    head = b'MThd' + struct.pack('>IHHH', 6, 1, len(tracks) + 1, division)
    meta = midi_track([(0, b'\xff\x51\x03' + struct.pack('>I', tempo_us)[1:]),
                       (0, b'\xff\x58\x04\x04\x02\x18\x08')])
    return head + meta + b''.join(midi_track(t) for t in tracks)


def program(channel, number):
    return (0, bytes((0xC0 | channel, number)))


def make_midi():
    e = 240  # an eighth note at 480 ticks a quarter
    # Title: a two-bar intro on the celesta, then an eight-bar loop.
    intro_m, t = notes(0, 'E5 G5 C6 G5 E5 G5 C6 G5 F5 A5 C6 A5 G5 B5 D6 B5', 0, e, 70)
    theme = ('C6:3 B5 A5:2 G5:2 E5:2 G5:2 A5:4 - G5 A5 B5 C6:3 D6 E6:2 D6:2 C6:6 -:2 '
             'A5:3 G5 F5:2 E5:2 D5:2 E5:2 F5:4 - E5 F5 G5 A5:3 B5 C6:2 B5:2 C6:6 -:2')
    melody, end = notes(0, theme, t, e, 95)
    bass_line = ' '.join(['C3:4 G3:4', 'A2:4 E3:4', 'F2:4 C3:4', 'G2:4 D3:4'] * 4)
    bass, _ = notes(1, 'C3:8 F3:4 G3:4 ' + bass_line, 0, e, 80)
    pad_line = ' '.join(['C4+E4+G4:8', 'A3+C4+E4:8', 'F3+A3+C4:8', 'G3+B3+D4:8'] * 2)
    pads, _ = notes(2, pad_line, t, e, 45)
    title = midi_file(500000, [
        [program(0, 8), (0, b'\xb0\x07\x64')] + intro_m + melody,
        [program(1, 33), (0, b'\xb1\x07\x5a')] + bass,
        [program(2, 89), (0, b'\xb2\x07\x46')] + pads,
    ])
    write_file('midi/title.mid', title)

    # Level: a lighter, quicker tune over a walking bass and a hi-hat.
    tune = ('G5 A5 B5 D6 B5:2 A5:2 G5 E5 D5 E5 G5:4 A5 B5 A5 G5 E5:2 D5:2 E5 G5 A5 B5 A5:4 '
            'G5 A5 B5 D6 E6:2 D6:2 B5 D6 E6 G6 E6:4 D6 B5 A5 G5 A5:2 B5:2 G5:8')
    lead, end = notes(0, tune, 0, e, 88)
    walk, _ = notes(1, ' '.join(['G2:2 D3:2 G3:2 D3:2', 'C3:2 G3:2 C4:2 G3:2', 'E3:2 B3:2 E4:2 B3:2',
                                 'D3:2 A3:2 D4:2 A3:2'] * 2), 0, e, 85)
    hats = []
    for k in range(end // e):
        hats.append((k * e, bytes((0x99, 42, 60 if k % 2 else 80))))
        hats.append((k * e + 60, bytes((0x89, 42, 0))))
        if k % 4 == 0:
            hats.append((k * e, bytes((0x99, 36, 90))))
            hats.append((k * e + 60, bytes((0x89, 36, 0))))
    level = midi_file(400000, [
        [program(0, 13), (0, b'\xb0\x07\x5a')] + lead,
        [program(1, 32), (0, b'\xb1\x07\x64')] + walk,
        hats,
    ])
    write_file('midi/level.mid', level)

    fanfare, _ = notes(0, 'C5 E5 G5 C6:3 G5 C6:6', 0, e, 100)
    low, _ = notes(1, 'C3:6 G2:2 C3:6', 0, e, 90)
    write_file('midi/result.mid', midi_file(450000, [[program(0, 56)] + fanfare, [program(1, 58)] + low]))


# ---------------------------------------------------------------- texts

# The game's Japanese texts, written in code page 932 as the host reads
# script text; the scripts load the table with dofile.
TEXTS = [
    ('start', 'はじめる'),
    ('records', 'きろく'),
    ('quit', 'おわる'),
    ('howto', '星を5つ集めよう！  矢印キーで歩き、クリックで旗を立てる'),
    ('recordTitle', 'ハイスコア'),
    ('plays', 'あそんだ回数'),
    ('score', 'スコア'),
    ('time', 'のこり'),
    ('gems', '星'),
    ('go', 'スタート！'),
    ('clear', 'クリア！'),
    ('timeUp', 'じかんぎれ'),
    ('newRecord', 'しんきろく！'),
    ('back', 'Z かクリックでタイトルへ'),
    ('selected', 'えらんだもの'),
    ('names', ['ゆうしゃ', '星', '水晶', '岩', '木', '木箱', '池', '旗']),
]


def squirrel_string(text):
    # A second byte of 0x5C would read as an escape in a script string.
    assert b'\\' not in text.encode('cp932'), text
    return '"' + text.replace('\\', '\\\\').replace('"', '\\"') + '"'


def make_texts():
    lines = ['// The game\'s texts (code page 932), made by tools/make_demo_assets.py.', 'return {']
    for key, value in TEXTS:
        if isinstance(value, list):
            value = '[' + ', '.join(squirrel_string(v) for v in value) + ']'
        else:
            value = squirrel_string(value)
        lines.append('\t%s = %s' % (key, value))
    lines.append('};')
    write_file('script/text.nut', ('\r\n'.join(lines) + '\r\n').encode('cp932'))


# ---------------------------------------------------------------- main

def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--tessmodel', default=os.environ.get('TESSMODEL', 'build/release/bin/tessmodel'))
    args = parser.parse_args()
    tessmodel = args.tessmodel if os.path.exists(args.tessmodel) else None
    if not tessmodel:
        print('tessmodel not found at %s: packing model files here' % args.tessmodel, file=sys.stderr)
    for folder in ('image', 'model', 'field', 'wave', 'midi', 'system'):
        shutil.rmtree(os.path.join(GAME, folder), ignore_errors=True)
    make_images()
    builder = ModelBuilder(tessmodel)
    try:
        make_models(builder)
    finally:
        builder.close()
    make_field()
    make_waves()
    make_midi()
    make_texts()
    # Start-up settings: windowed, 640 x 480, 32 bits per pixel, pad plug-in on.
    write_file('init.dat', struct.pack('<iBBBB', 1, 0, 0, 32, 1))


if __name__ == '__main__':
    main()
