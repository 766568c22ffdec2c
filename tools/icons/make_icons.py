#!/usr/bin/env python3
"""Draws the desktop icon of the game at the hicolor theme's sizes and writes them as PNG files.

Usage: python3 tools/icons/make_icons.py [output directory]   (default: packaging/icons/)
Writes gronka-N.png for N in 16, 32, 48, 64, 128 and 256.

The picture is the game's craft seen from above, nose up, as in data/grk.bmp, but drawn from
vector shapes at each size: the outline of every part is the top view of the craft model (taken
from tools/models/make_models.py), shaded, with a dark outline and a shadow, over a rounded
square of night-blue arena floor. Shapes are filled with exact horizontal coverage on many
sub-rows per pixel, so every size is anti-aliased by itself rather than scaled from another.

Only the standard library is used.
"""

import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(HERE, "..", "models"))
from make_models import craft_parts, hull_2d  # noqa: E402

SIZES = (16, 32, 48, 64, 128, 256)

# ---------------------------------------------------------------------------------------------
# Shapes, in icon units: (0, 0) is the top left corner, (1, 1) the bottom right.


def rounded_square(left, top, right, bottom, radius, steps=12):
    points = []
    corners = [(right - radius, top + radius, -90), (right - radius, bottom - radius, 0),
               (left + radius, bottom - radius, 90), (left + radius, top + radius, 180)]
    for cx, cy, start in corners:
        for i in range(steps + 1):
            a = math.radians(start + 90 * i / steps)
            points.append((cx + radius * math.cos(a), cy + radius * math.sin(a)))
    return points


def circle(cx, cy, r, steps=32):
    return [(cx + r * math.cos(2 * math.pi * i / steps), cy + r * math.sin(2 * math.pi * i / steps))
            for i in range(steps)]


def grown(poly, r, steps=16):
    """The convex polygon `poly` grown by `r` all round (its sum with a disc)."""
    ring = circle(0, 0, r, steps)
    return hull_2d([(p[0] + d[0], p[1] + d[1]) for p in poly for d in ring])


def clipped(poly, keep):
    """The part of the convex polygon `poly` where keep(x, y) >= 0 (a linear function)."""
    out = []
    for i, a in enumerate(poly):
        b = poly[(i + 1) % len(poly)]
        ka, kb = keep(*a), keep(*b)
        if ka >= 0:
            out.append(a)
        if (ka >= 0) != (kb >= 0):
            t = ka / (ka - kb)
            out.append((a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1])))
    return out


def shifted(poly, dx, dy):
    return [(x + dx, y + dy) for x, y in poly]


# The craft: x right and z forward in the model become right and up in the icon. The small sizes
# give it all the room there is; the larger ones leave the floor a border round it.
CRAFT_CENTRE_Z = 0.01


def craft_scale(size):
    return 0.80 if size <= 32 else 0.72


def craft_outlines(scale):
    parts = {}
    for name, points, _, _ in craft_parts():
        parts[name] = hull_2d([(0.5 + p[0] * scale, 0.5 - (p[2] - CRAFT_CENTRE_Z) * scale)
                               for p in points])
    return parts


# ---------------------------------------------------------------------------------------------
# Paints: functions of (x, y) in icon units giving (r, g, b).


def flat(colour):
    return lambda x, y: colour


def mix(a, b, t):
    t = min(1.0, max(0.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def vertical(top, bottom, y0=0.0, y1=1.0):
    return lambda x, y: mix(top, bottom, (y - y0) / (y1 - y0))


def across(centre, edge, half_width):
    """Bright along the craft's axis, darker towards `half_width` either side: a rounded body."""
    return lambda x, y: mix(centre, edge, (abs(x - 0.5) / half_width) ** 1.5)


def outward(root, tip, x_root, x_tip):
    return lambda x, y: mix(root, tip, (abs(x - 0.5) - x_root) / (x_tip - x_root))


# ---------------------------------------------------------------------------------------------
# Filling: exact coverage along each sub-row, sub-rows averaged.


def coverage(polys, size, subrows):
    """Coverage (0..1) of the union of `polys` (icon units) per pixel: {row: {column: value}}."""
    scaled = [[(x * size, y * size) for x, y in poly] for poly in polys if len(poly) >= 3]
    cover = {}
    if not scaled:
        return cover
    top = max(0, int(min(y for poly in scaled for _, y in poly)))
    bottom = min(size - 1, int(max(y for poly in scaled for _, y in poly)))
    weight = 1.0 / subrows
    for row in range(top, bottom + 1):
        line = {}
        for s in range(subrows):
            y = row + (s + 0.5) / subrows
            spans = []
            for poly in scaled:
                xs = []
                for i, (ax, ay) in enumerate(poly):
                    bx, by = poly[(i + 1) % len(poly)]
                    if (ay <= y < by) or (by <= y < ay):
                        xs.append(ax + (y - ay) * (bx - ax) / (by - ay))
                xs.sort()
                spans += [(xs[i], xs[i + 1]) for i in range(0, len(xs) - 1, 2)]
            spans.sort()
            merged = []
            for a, b in spans:
                if merged and a <= merged[-1][1]:
                    merged[-1][1] = max(merged[-1][1], b)
                else:
                    merged.append([a, b])
            for a, b in merged:
                a, b = max(a, 0.0), min(b, float(size))
                if b <= a:
                    continue
                for col in range(int(a), min(size - 1, int(math.ceil(b) - 1)) + 1):
                    part = min(b, col + 1) - max(a, col)
                    if part > 0:
                        line[col] = line.get(col, 0.0) + part * weight
        if line:
            cover[row] = line
    return cover


class Canvas:
    """Premultiplied RGBA in floats, composited layer by layer."""

    def __init__(self, size):
        self.size = size
        self.subrows = 16 if size <= 64 else 8
        self.pixels = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]

    def fill(self, polys, paint, opacity=1.0):
        for row, line in coverage(polys, self.size, self.subrows).items():
            out = self.pixels[row]
            y = (row + 0.5) / self.size
            for col, cov in line.items():
                a = min(1.0, cov) * opacity
                r, g, b = paint((col + 0.5) / self.size, y)
                pr, pg, pb, pa = out[col]
                keep = 1.0 - a
                out[col] = (r * a + pr * keep, g * a + pg * keep, b * a + pb * keep, a + pa * keep)

    def rgba_rows(self):
        rows = []
        for line in self.pixels:
            row = bytearray()
            for r, g, b, a in line:
                if a <= 0:
                    row += b"\0\0\0\0"
                    continue
                row += bytes(min(255, round(c / a)) for c in (r, g, b))
                row.append(min(255, round(a * 255)))
            rows.append(bytes(row))
        return rows


# ---------------------------------------------------------------------------------------------
# The icon.

FLOOR_TOP, FLOOR_BOTTOM = (46, 74, 150), (12, 18, 50)
GRID = (120, 160, 235)
OUTLINE = (14, 16, 34)
BODY_LIGHT, BODY_DARK = (246, 248, 252), (150, 158, 184)
WING_ROOT, WING_TIP = (128, 150, 212), (70, 86, 146)
RED_LIGHT, RED_DARK = (244, 84, 60), (176, 30, 24)
CANOPY_LIGHT, CANOPY_DARK = (130, 200, 255), (36, 100, 200)
GLOW_INNER, GLOW_OUTER = (255, 236, 150), (255, 140, 30)


def draw(size):
    px = 1.0 / size
    canvas = Canvas(size)

    # The arena floor, with its grid where there is room for one.
    margin = 0.5 * px if size <= 32 else 0.03
    badge = rounded_square(margin, margin, 1 - margin, 1 - margin, 0.2)
    canvas.fill([badge], vertical(FLOOR_TOP, FLOOR_BOTTOM))
    if size >= 48:
        width = max(px, 0.008)
        lines = []
        for i in range(1, 6):
            c = i / 6
            lines.append(clipped_box(c - width / 2, 0, c + width / 2, 1))
            lines.append(clipped_box(0, c - width / 2, 1, c + width / 2))
        inside = [clip_to_convex_badge(line, margin) for line in lines]
        canvas.fill([p for p in inside if p], flat(GRID), 0.22)

    scale = craft_scale(size)
    parts = craft_outlines(scale)
    outline_width = max(0.9 * px, 0.016)

    # The shadow on the floor, down and to the right, as under a light from the top left.
    offset = max(1.2 * px, 0.045)
    canvas.fill([shifted(grown(p, outline_width), offset, offset) for p in parts.values()],
                flat((0, 0, 8)), 0.45)
    # The dark outline round every part, then the parts from the lowest up.
    canvas.fill([grown(p, outline_width) for p in parts.values()], flat(OUTLINE))

    wing_root, wing_tip = 0.06 * scale, 0.52 * scale
    for name in ("right wing", "left wing"):
        canvas.fill([parts[name]], outward(WING_ROOT, WING_TIP, wing_root, wing_tip))
        # Red tips, as on the model.
        edge = wing_tip - 0.07 * scale
        sign = 1 if name == "right wing" else -1
        canvas.fill([clipped(parts[name], lambda x, y, s=sign: s * (x - 0.5) - edge)],
                    vertical(RED_LIGHT, RED_DARK, 0.5, 0.8))
    for name in ("right tailplane", "left tailplane"):
        canvas.fill([parts[name]], outward(WING_ROOT, WING_TIP, wing_root, 0.25 * scale))
    body = [parts[n] for n in ("tail body", "mid body", "front body")]
    canvas.fill(body, across(BODY_LIGHT, BODY_DARK, 0.108 * scale))
    canvas.fill([parts["nose"]], across(RED_LIGHT, RED_DARK, 0.09 * scale))
    canvas.fill([parts["canopy"]], vertical(CANOPY_LIGHT, CANOPY_DARK, *canopy_span(parts)))
    if size >= 32:
        # A glint on the glass.
        top, bottom = canopy_span(parts)
        glint = clipped(clipped(parts["canopy"], lambda x, y: 0.5 - x),
                        lambda x, y: (top + (bottom - top) * 0.45) - y)
        canvas.fill([glint], flat((255, 255, 255)), 0.55)
    for name in ("right fin", "left fin"):
        canvas.fill([parts[name]], vertical(RED_LIGHT, RED_DARK, 0.6, 0.9))

    # The engine's glow behind the tail.
    if size >= 32:
        tail_y = max(y for poly in body for _, y in poly)
        r = 0.05
        canvas.fill([circle(0.5, tail_y + r * 0.6, r)],
                    lambda x, y: mix(GLOW_INNER, GLOW_OUTER,
                                     math.hypot(x - 0.5, y - tail_y - r * 0.6) / r), 0.9)
    return canvas.rgba_rows()


def canopy_span(parts):
    ys = [y for _, y in parts["canopy"]]
    return min(ys), max(ys)


def clipped_box(left, top, right, bottom):
    return [(left, top), (right, top), (right, bottom), (left, bottom)]


def clip_to_convex_badge(poly, margin):
    """A grid line cut to the floor's square (its rounded corners are left to the floor)."""
    inset = margin + 0.02
    for keep in (lambda x, y: x - inset, lambda x, y: 1 - inset - x,
                 lambda x, y: y - inset, lambda x, y: 1 - inset - y):
        poly = clipped(poly, keep)
        if len(poly) < 3:
            return None
    return poly


# ---------------------------------------------------------------------------------------------
# PNG: 8-bit RGBA, each row with the filter that leaves the smallest sum of residues.


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filtered(row, previous, bpp=4):
    best = None
    for kind in range(5):
        out = bytearray([kind])
        for i, x in enumerate(row):
            a = row[i - bpp] if i >= bpp else 0
            b = previous[i]
            c = previous[i - bpp] if i >= bpp else 0
            predictor = (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]
            out.append((x - predictor) & 0xFF)
        cost = sum(v if v < 128 else 256 - v for v in out[1:])
        if best is None or cost < best[0]:
            best = (cost, out)
    return best[1]


def png(rows):
    height, width = len(rows), len(rows[0]) // 4

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    raw = bytearray()
    previous = bytes(len(rows[0]))
    for row in rows:
        raw += filtered(row, previous)
        previous = row
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "..", "packaging",
                                                                 "icons")
    os.makedirs(out_dir, exist_ok=True)
    for size in SIZES:
        path = os.path.join(out_dir, "gronka-%d.png" % size)
        data = png(draw(size))
        with open(path, "wb") as f:
            f.write(data)
        print("%s  %d bytes" % (os.path.relpath(path), len(data)))


if __name__ == "__main__":
    main()
