#!/usr/bin/env python3
"""Writes the game's models (DirectX .x text files), the palette bitmap and the icon into data/.

Usage: python3 tools/models/make_models.py [output directory]   (default: data/ of the repository)

World conventions of the game: left-handed, x right, y up, z forward. Every polygon is wound
clockwise seen from its front, which makes (v1 - v0) x (v2 - v0) (the ordinary cross product)
point out of the front. Every polygon is convex. Each model carries MeshNormals so that smooth
shading gets exactly the normals meant here: polygons of one smoothing group (a surface meant to
be round: the fuselage with its nose, the canopy, the power item) share one averaged normal per
corner, every other polygon keeps its face normal at each corner (hard edges: wing and fin edges,
the letters' sides, the exhaust), and both sides of a two-sided fin keep their own normal.

Lighting to design for (the default quality): lit colour = colour x (0.4 + max(0, N.L)) with a
white light shining straight down, so an upward face shows 1.4x its colour and a vertical face
0.4x. Upward colours stay at or below about 0.7 so that they do not clip.

Only the standard library is used.
"""

import math
import os
import struct
import sys

EPS = 1e-6

# ---------------------------------------------------------------------------------------------
# Vector helpers


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def add(a, b):
    return (a[0] + b[0], a[1] + b[1], a[2] + b[2])


def mul(a, s):
    return (a[0] * s, a[1] * s, a[2] * s)


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def length(a):
    return math.sqrt(dot(a, a))


def normalize(a):
    n = length(a)
    return (a[0] / n, a[1] / n, a[2] / n)


def newell(poly):
    """Unit normal of a planar polygon: the direction of (v1 - v0) x (v2 - v0) for a convex one,
    taken over all the edges (Newell's method). With left-handed axes it points out of the side
    from which the polygon is seen clockwise."""
    n = (0.0, 0.0, 0.0)
    for i, p in enumerate(poly):
        n = add(n, cross(p, poly[(i + 1) % len(poly)]))
    return normalize(n)


def sum_vectors(vectors):
    total = (0.0, 0.0, 0.0)
    for v in vectors:
        total = add(total, v)
    return total


def centroid(points):
    n = len(points)
    return (sum(p[0] for p in points) / n, sum(p[1] for p in points) / n,
            sum(p[2] for p in points) / n)


# ---------------------------------------------------------------------------------------------
# Convex pieces


def convex_hull(points):
    """Faces of the convex hull of a few points: a list of (polygon, outward normal).

    Coplanar facets are merged into one convex polygon, points in the middle of an edge are
    dropped, and each polygon is wound clockwise seen from outside.
    """
    pts = []
    for p in points:
        if all(length(sub(p, q)) > 1e-9 for q in pts):
            pts.append(tuple(float(c) for c in p))
    planes = []
    n_pts = len(pts)
    for i in range(n_pts):
        for j in range(i + 1, n_pts):
            for k in range(j + 1, n_pts):
                n = cross(sub(pts[j], pts[i]), sub(pts[k], pts[i]))
                if length(n) < 1e-12:
                    continue
                n = normalize(n)
                d = dot(n, pts[i])
                side = [dot(n, p) - d for p in pts]
                if all(s <= EPS for s in side):
                    pass
                elif all(s >= -EPS for s in side):
                    n, d = mul(n, -1.0), -d
                else:
                    continue
                if any(dot(n, m) > 1 - 1e-9 and abs(d - e) < 1e-7 for m, e in planes):
                    continue
                planes.append((n, d))
    faces = []
    for n, d in planes:
        on = [p for p in pts if abs(dot(n, p) - d) < EPS]
        c = centroid(on)
        u = normalize(sub(on[0], c)) if length(sub(on[0], c)) > 1e-12 else None
        if u is None:
            continue
        w = cross(n, u)
        on.sort(key=lambda p: math.atan2(dot(sub(p, c), w), dot(sub(p, c), u)))
        # Drop points in the middle of an edge.
        changed = True
        while changed and len(on) > 3:
            changed = False
            for idx in range(len(on)):
                a, b, e = on[idx - 1], on[idx], on[(idx + 1) % len(on)]
                if length(cross(sub(b, a), sub(e, b))) < 1e-9:
                    on.pop(idx)
                    changed = True
                    break
        if len(on) < 3:
            continue
        if dot(cross(sub(on[1], on[0]), sub(on[2], on[0])), n) < 0:
            on.reverse()
        faces.append((on, n))
    return faces


def prism(outline, z0, z1):
    """Points of a convex 2-D outline (x, y) extruded from z0 to z1."""
    return [(x, y, z0) for x, y in outline] + [(x, y, z1) for x, y in outline]


def hull_2d(points):
    """Convex hull of 2-D points, in counter-clockwise order (monotone chain)."""
    pts = sorted(set((round(p[0], 9), round(p[1], 9)) for p in points))
    if len(pts) < 3:
        return pts

    def turn(o, a, b):
        return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0])

    lower, upper = [], []
    for p in pts:
        while len(lower) >= 2 and turn(lower[-2], lower[-1], p) <= 1e-12:
            lower.pop()
        lower.append(p)
    for p in reversed(pts):
        while len(upper) >= 2 and turn(upper[-2], upper[-1], p) <= 1e-12:
            upper.pop()
        upper.append(p)
    return lower[:-1] + upper[:-1]


# ---------------------------------------------------------------------------------------------
# Model building and .x output


def fmt(v):
    s = "%.5f" % v
    s = s.rstrip("0")
    if s.endswith("."):
        s += "0"
    if s == "-0.0":
        s = "0.0"
    return s


class Model:
    def __init__(self, name, description):
        self.name = name
        self.description = description
        self.vertices = []
        self.vertex_index = {}
        self.normals = []
        self.normal_index = {}
        self.faces = []  # (vertex indices, material, normal indices)
        # Polygons of smoothing groups wait here for their corners' shared normals:
        # (index into faces, group, face normal).
        self.smoothed = []
        self.materials = []

    def material(self, rgb, alpha=1.0, power=0.0, specular=(0, 0, 0), emissive=(0, 0, 0)):
        m = (tuple(rgb), alpha, power, tuple(specular), tuple(emissive))
        if m not in self.materials:
            self.materials.append(m)
        return self.materials.index(m)

    def _vertex(self, p):
        key = tuple(round(c, 5) for c in p)
        if key not in self.vertex_index:
            self.vertex_index[key] = len(self.vertices)
            self.vertices.append(key)
        return self.vertex_index[key]

    def _normal(self, n):
        key = tuple(round(c, 5) + 0.0 for c in normalize(n))
        if key not in self.normal_index:
            self.normal_index[key] = len(self.normals)
            self.normals.append(key)
        return self.normal_index[key]

    def polygon(self, pts, mat, normals=None, smooth=None):
        """Adds a convex polygon wound clockwise seen from its front. Its corners get the given
        normals, or the shared normals of the smoothing group named by smooth, or else the face
        normal (a hard edge all round)."""
        assert len(pts) >= 3
        face_n = newell(pts)
        vi = [self._vertex(p) for p in pts]
        assert len(set(vi)) == len(vi), "polygon with repeated vertices"
        if smooth is not None:
            self.smoothed.append((len(self.faces), smooth, face_n))
            self.faces.append((vi, mat, None))
            return
        ni = [self._normal(n) for n in (normals or [face_n] * len(pts))]
        self.faces.append((vi, mat, ni))

    def piece(self, points, colour_of, keep=lambda poly, n: True, smooth=None):
        """Adds the hull of points; colour_of(normal, polygon) gives each face's material and
        smooth(normal, polygon), when given, its smoothing group (None for a hard face)."""
        for poly, n in convex_hull(points):
            if keep(poly, n):
                self.polygon(poly, colour_of(n, poly), smooth=smooth and smooth(n, poly))

    def flat_up(self, outline_xz, mat, y=0.0, normal_at=None):
        """Adds a flat convex polygon at height y, facing up, from counter-clockwise (x, z);
        normal_at(point), when given, bends each corner's normal."""
        # Seen from above (+x to the right, +z up the screen) an outline that is counter-clockwise
        # in (x, z) stays counter-clockwise, so it is reversed to face up.
        pts = [(x, y, z) for x, z in reversed(outline_xz)]
        assert newell(pts)[1] > 0.99
        self.polygon(pts, mat, [normal_at(p) for p in pts] if normal_at else None)

    def smooth_normals(self):
        """Gives the polygons of each smoothing group their corners' shared normals: at a vertex,
        the face normals of the group's polygons around it, weighted by their corner angles. A
        corner whose shared normal leans more than about 70 degrees away from its polygon (the
        tip of a cone) takes the average of the polygon's other corners instead."""
        sums = {}
        for f, group, face_n in self.smoothed:
            vi = self.faces[f][0]
            pts = [self.vertices[i] for i in vi]
            for k, v in enumerate(vi):
                a = sub(pts[k - 1], pts[k])
                b = sub(pts[(k + 1) % len(pts)], pts[k])
                angle = math.acos(max(-1.0, min(1.0, dot(a, b) / (length(a) * length(b)))))
                key = (group, v)
                sums[key] = add(sums.get(key, (0.0, 0.0, 0.0)), mul(face_n, angle))
        for f, group, face_n in self.smoothed:
            vi, mat, _ = self.faces[f]
            shared = [normalize(sums[(group, v)]) for v in vi]
            corners = []
            for k, n in enumerate(shared):
                if dot(n, face_n) < 0.35:
                    others = [m for j, m in enumerate(shared) if j != k and dot(m, face_n) >= 0.35]
                    n = normalize(sum_vectors(others)) if others else face_n
                corners.append(self._normal(n))
            self.faces[f] = (vi, mat, corners)
        self.smoothed = []

    def write(self, path):
        self.smooth_normals()
        out = []
        out.append("xof 0302txt 0032\n")
        out.append("// GRONKA: %s\n" % self.description)
        out.append("// Written by tools/models/make_models.py; change the script, not this file.\n\n")
        out.append("Mesh %s {\n" % self.name)
        out.append(" %d;\n" % len(self.vertices))
        for i, v in enumerate(self.vertices):
            end = ";" if i == len(self.vertices) - 1 else ","
            out.append(" %s;%s;%s;%s\n" % (fmt(v[0]), fmt(v[1]), fmt(v[2]), end))
        out.append(" %d;\n" % len(self.faces))
        for i, (vi, _, _) in enumerate(self.faces):
            end = ";" if i == len(self.faces) - 1 else ","
            out.append(" %d;%s;%s\n" % (len(vi), ",".join(str(x) for x in vi), end))
        out.append("\n MeshMaterialList {\n")
        out.append("  %d;\n" % len(self.materials))
        out.append("  %d;\n" % len(self.faces))
        for i, (_, m, _) in enumerate(self.faces):
            end = ";" if i == len(self.faces) - 1 else ","
            out.append("  %d%s\n" % (m, end))
        for rgb, alpha, power, specular, emis in self.materials:
            out.append("  Material {\n")
            out.append("   %s;%s;%s;%s;;\n" % (fmt(rgb[0]), fmt(rgb[1]), fmt(rgb[2]), fmt(alpha)))
            out.append("   %s;\n" % fmt(power))
            out.append("   %s;%s;%s;;\n" % tuple(fmt(c) for c in specular))
            out.append("   %s;%s;%s;;\n" % tuple(fmt(c) for c in emis))
            out.append("  }\n")
        out.append(" }\n")
        out.append("\n MeshNormals {\n")
        out.append("  %d;\n" % len(self.normals))
        for i, n in enumerate(self.normals):
            end = ";" if i == len(self.normals) - 1 else ","
            out.append("  %s;%s;%s;%s\n" % (fmt(n[0]), fmt(n[1]), fmt(n[2]), end))
        out.append("  %d;\n" % len(self.faces))
        for i, (_, _, ni) in enumerate(self.faces):
            end = ";" if i == len(self.faces) - 1 else ","
            out.append("  %d;%s;%s\n" % (len(ni), ",".join(str(x) for x in ni), end))
        out.append(" }\n")
        out.append("}\n")
        with open(path, "w", newline="\n") as f:
            f.write("".join(out))


# ---------------------------------------------------------------------------------------------
# The craft: about 1 unit from tail to nose along +z, wings spanning 1 unit.

# Cross-section of the fuselage: a hexagon, flat on top and below, scaled per station.
SECTION = [(-1.0, 0.0), (-0.55, 0.8), (0.55, 0.8), (1.0, 0.0), (0.55, -0.6), (-0.55, -0.6)]


def section(z, s, y=0.0):
    return [(x * s, y + v * s, z) for x, v in SECTION]


def mirror_x(points):
    return [(-p[0], p[1], p[2]) for p in points]


def craft_parts():
    """The craft's convex parts as (name, points, colour rule name, face filter)."""
    parts = []
    tip = (0.0, -0.005, 0.55)
    s_nose = section(0.30, 0.085)
    s_front = section(0.05, 0.108)
    s_rear = section(-0.35, 0.104)
    s_tail = section(-0.45, 0.07)

    def not_at(zs):
        return lambda poly, n: not (abs(n[2]) > 0.999 and any(abs(poly[0][2] - z) < 1e-6 for z in zs))

    parts.append(("nose", [tip] + s_nose, "nose", not_at([0.30])))
    parts.append(("front body", s_nose + s_front, "body", not_at([0.30, 0.05])))
    parts.append(("mid body", s_front + s_rear, "body", not_at([0.05, -0.35])))
    parts.append(("tail body", s_rear + s_tail, "body", not_at([-0.35])))
    canopy = [(-0.035, 0.055, 0.27), (0.035, 0.055, 0.27), (-0.05, 0.062, 0.02),
              (0.05, 0.062, 0.02), (-0.045, 0.068, -0.12), (0.045, 0.068, -0.12),
              (-0.03, 0.135, 0.12), (0.03, 0.135, 0.12), (-0.03, 0.135, -0.04),
              (0.03, 0.135, -0.04)]
    parts.append(("canopy", canopy, "canopy", lambda poly, n: n[1] > -0.5))
    wing = [(0.06, -0.01 + dy, 0.12) for dy in (0.02, -0.02)] + \
           [(0.06, -0.01 + dy, -0.30) for dy in (0.02, -0.02)] + \
           [(0.52, -0.03 + dy, -0.18) for dy in (0.006, -0.006)] + \
           [(0.52, -0.03 + dy, -0.30) for dy in (0.006, -0.006)]
    # Faces of the wing roots, tailplane roots and fin feet lie inside the fuselage.
    def not_root(poly, n):
        return not (abs(n[0]) > 0.99 and all(abs(p[0]) < 0.1 for p in poly))

    def not_foot(poly, n):
        return n[1] > -0.9

    parts.append(("right wing", wing, "wing", not_root))
    parts.append(("left wing", mirror_x(wing), "wing", not_root))
    stab = [(0.06, dy, -0.28) for dy in (0.012, -0.012)] + \
           [(0.06, dy, -0.45) for dy in (0.012, -0.012)] + \
           [(0.25, 0.02 + dy, -0.40) for dy in (0.005, -0.005)] + \
           [(0.25, 0.02 + dy, -0.47) for dy in (0.005, -0.005)]
    parts.append(("right tailplane", stab, "wing", not_root))
    parts.append(("left tailplane", mirror_x(stab), "wing", not_root))
    fin = [(0.045 + dx, 0.05, -0.17) for dx in (-0.011, 0.011)] + \
          [(0.045 + dx, 0.05, -0.43) for dx in (-0.011, 0.011)] + \
          [(0.15 + dx, 0.28, -0.36) for dx in (-0.008, 0.008)] + \
          [(0.15 + dx, 0.28, -0.46) for dx in (-0.008, 0.008)]
    parts.append(("right fin", fin, "fin", not_foot))
    parts.append(("left fin", mirror_x(fin), "fin", not_foot))
    return parts


CRAFT_COLOURS = {
    "body": (0.62, 0.64, 0.70),      # light grey fuselage
    "belly": (0.42, 0.44, 0.50),
    "nose": (0.70, 0.16, 0.12),      # red nose cone
    "canopy": (0.20, 0.45, 0.78),    # blue glass
    "wing": (0.36, 0.42, 0.58),      # blue-grey wings and tailplanes
    "wing edge": (0.26, 0.30, 0.42),
    "wing tip": (0.78, 0.18, 0.12),  # red tips
    "fin": (0.80, 0.20, 0.14),       # red twin fins
    "exhaust": (1.0, 0.62, 0.16),    # orange nozzle, seen from the chase camera
}


def craft_colour(rule, n, poly):
    if rule == "body":
        if n[2] < -0.99:
            return "exhaust"
        return "belly" if n[1] < -0.5 else "body"
    if rule == "wing":
        if abs(n[0]) > 0.9 and min(abs(p[0]) for p in poly) > 0.2:
            return "wing tip"
        return "wing" if abs(n[1]) > 0.9 else "wing edge"
    return rule


def make_craft():
    m = Model("craft", "the player's craft, nose along +z")
    mats = {}
    for key, rgb in CRAFT_COLOURS.items():
        emissive = (0.35, 0.18, 0.0) if key == "exhaust" else (0, 0, 0)
        power = 20.0 if key == "canopy" else 8.0
        mats[key] = m.material(rgb, power=power, specular=(0.3, 0.3, 0.3), emissive=emissive)
    for _, points, rule, keep in craft_parts():
        m.piece(points, lambda n, poly, rule=rule: mats[craft_colour(rule, n, poly)], keep,
                lambda n, poly, rule=rule: craft_smoothing(rule, n, poly))
    return m


def craft_smoothing(rule, n, poly):
    """The fuselage with its nose and the canopy are round; the exhaust's rim, the wings,
    tailplanes and fins keep hard edges."""
    if rule in ("body", "nose"):
        return None if craft_colour(rule, n, poly) == "exhaust" else "fuselage"
    return "canopy" if rule == "canopy" else None


def make_shadow():
    m = Model("shadow", "the craft's shadow, flat and dark at height 0")
    dark = m.material((0.08, 0.08, 0.09))
    for name, points, _, _ in craft_parts():
        if name in ("canopy",) or "fin" in name:
            continue
        outline = hull_2d([(p[0], p[2]) for p in points])
        m.flat_up(outline, dark)
    return m


# ---------------------------------------------------------------------------------------------
# The ground: 80 x 80, checkerboard of 16 x 16 squares of 5 units.


def make_ground():
    m = Model("ground", "the arena floor, 80 x 80 checkerboard facing up at height 0")
    light = m.material((0.22, 0.50, 0.20))
    dark = m.material((0.14, 0.34, 0.13))
    for i in range(16):
        for j in range(16):
            x0, z0 = -40 + 5 * i, -40 + 5 * j
            m.flat_up([(x0, z0), (x0 + 5, z0), (x0 + 5, z0 + 5), (x0, z0 + 5)],
                      light if (i + j) % 2 == 0 else dark)
    return m


# ---------------------------------------------------------------------------------------------
# The bullet: two crossed thin fins, 0.6 long, each visible from both sides.


def make_beam():
    m = Model("beam", "a bullet: two crossed bright fins 0.6 long along +z")
    yellow = m.material((1.0, 0.88, 0.20), emissive=(0.5, 0.4, 0.05))
    orange = m.material((1.0, 0.52, 0.08), emissive=(0.5, 0.2, 0.0))
    half_w = 0.06
    outline = [(0.0, -0.30), (half_w, -0.18), (half_w, 0.16), (0.0, 0.30), (-half_w, 0.16),
               (-half_w, -0.18)]
    horizontal = [(a, 0.0, z) for a, z in outline]
    vertical = [(0.0, a, z) for a, z in outline]
    for poly, mat in ((horizontal, yellow), (vertical, orange)):
        m.polygon(poly, mat)
        m.polygon(list(reversed(poly)), mat)
    return m


# ---------------------------------------------------------------------------------------------
# The title: "GRONKA" in block letters in the x-y plane, front faces at z = 0 facing -z.

LETTER_W, LETTER_H, STROKE, GAP, DEPTH = 2.3, 3.2, 0.62, 0.42, 0.6


def vpar(x0, y0, x1, y1, h):
    """Parallelogram with vertical edges: at x0 from y0 to y0 + h, at x1 from y1 to y1 + h."""
    return [(x0, y0), (x1, y1), (x1, y1 + h), (x0, y0 + h)]


def box(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def chamfered_box(x0, y0, x1, y1, c, corners="abcd"):
    """Box with the named corners cut by c: a bottom-left, b bottom-right, c top-right, d top-left."""
    pts = []
    if "a" in corners:
        pts += [(x0, y0 + c), (x0 + c, y0)]
    else:
        pts.append((x0, y0))
    if "b" in corners:
        pts += [(x1 - c, y0), (x1, y0 + c)]
    else:
        pts.append((x1, y0))
    if "c" in corners:
        pts += [(x1, y1 - c), (x1 - c, y1)]
    else:
        pts.append((x1, y1))
    if "d" in corners:
        pts += [(x0 + c, y1), (x0, y1 - c)]
    else:
        pts.append((x0, y1))
    return pts


def letter_pieces(ch):
    W, H, t = LETTER_W, LETTER_H, STROKE
    c = t * 0.6
    if ch == "G":
        return [
            chamfered_box(0, 0, t, H, c, "ad"),
            chamfered_box(0, H - t, W, H, c, "dc"),
            chamfered_box(0, 0, W, t, c, "ab"),
            chamfered_box(W - t, 0, W, H * 0.5, c, "b"),
            box(W * 0.48, H * 0.5 - t, W, H * 0.5),
            box(W - t, H - t * 1.7, W, H - t * 0.5),
        ]
    if ch == "R":
        m = H * 0.44
        return [
            box(0, 0, t, H),
            chamfered_box(0, H - t, W, H, c, "c"),
            chamfered_box(W - t, m, W, H - t * 0.5, c, "b"),
            box(0, m, W - t * 0.5, m + t),
            [(W * 0.28, m + t * 0.3), (W * 0.28 + t * 1.15, m + t * 0.3), (W, 0.0),
             (W - t * 1.15, 0.0)],
        ]
    if ch == "O":
        return [
            chamfered_box(0, 0, t, H, c, "ad"),
            chamfered_box(W - t, 0, W, H, c, "bc"),
            chamfered_box(0, H - t, W, H, c, "cd"),
            chamfered_box(0, 0, W, t, c, "ab"),
        ]
    if ch == "N":
        return [
            box(0, 0, t, H),
            box(W - t, 0, W, H),
            [(0, H), (0, H - t * 0.2), (W - t * 1.3, 0), (W, 0), (W, t * 0.2), (t * 1.3, H)],
        ]
    if ch == "K":
        return [
            box(0, 0, t, H),
            vpar(t * 0.5, H * 0.30, W, H - t * 1.45, t * 1.45),
            [(t * 0.6, H * 0.52), (t * 0.6 + t * 1.2, H * 0.52), (W, 0.0), (W - t * 1.2, 0.0)],
        ]
    if ch == "A":
        apex_w = t * 1.1
        cx = W * 0.5
        return [
            [(0, 0), (t * 1.15, 0), (cx + apex_w * 0.5, H), (cx - apex_w * 0.5, H)],
            [(W - t * 1.15, 0), (W, 0), (cx + apex_w * 0.5, H), (cx - apex_w * 0.5, H)],
            box(W * 0.22, H * 0.2, W * 0.78, H * 0.2 + t * 0.75),
        ]
    raise ValueError(ch)


def make_title():
    m = Model("title", "the title GRONKA in block letters, face towards -z")
    face = m.material((0.70, 0.42, 0.06), power=10.0, specular=(0.4, 0.4, 0.4))
    side = m.material((0.62, 0.22, 0.06))
    back = m.material((0.30, 0.10, 0.04))
    word = "GRONKA"
    total = len(word) * LETTER_W + (len(word) - 1) * GAP
    for i, ch in enumerate(word):
        x_off = -total / 2 + i * (LETTER_W + GAP)
        y_off = -LETTER_H / 2
        for outline in letter_pieces(ch):
            pts2 = [(x + x_off, y + y_off) for x, y in outline]
            m.piece(prism(pts2, 0.0, DEPTH),
                    lambda n, poly: face if n[2] < -0.99 else (back if n[2] > 0.99 else side))
    return m


# ---------------------------------------------------------------------------------------------
# Power-ups, the marker under them and the debris shard.


def make_speed():
    m = Model("speed", "speed item: a double cyan arrowhead pointing along +z")
    # Two cyans on the two sides of the ridge so that the arrowheads read as solid.
    light = m.material((0.14, 0.66, 0.72))
    top = m.material((0.06, 0.50, 0.58))
    under = m.material((0.04, 0.34, 0.40))
    for z0 in (-0.42, 0.02):
        # An arrowhead with a ridge along the top and the bottom: six triangles.
        pts = [(0.0, 0.0, z0 + 0.48), (-0.5, 0.0, z0), (0.5, 0.0, z0), (0.0, 0.17, z0 + 0.22),
               (0.0, -0.12, z0 + 0.22)]
        m.piece(pts, lambda n, poly: (light if n[0] < 0 else top) if n[1] > 0 else under)
    return m


def make_power():
    m = Model("power", "power item: a red octahedron 1 unit tall")
    reds = [m.material((0.74, 0.12, 0.10)), m.material((0.56, 0.06, 0.08))]
    r = 0.5
    ring = [(r * 0.8, 0, 0), (0, 0, r * 0.8), (-r * 0.8, 0, 0), (0, 0, -r * 0.8)]
    pts = ring + [(0, r, 0), (0, -r, 0)]
    faces = convex_hull(pts)
    for poly, n in faces:
        shade = 0 if (n[0] * n[2] > 0) else 1
        m.polygon(poly, reds[shade], smooth="gem")
    return m


def make_grip():
    m = Model("grip", "grip item: two crossed green rings (a gyroscope)")
    greens = [m.material((0.20, 0.66, 0.22)), m.material((0.12, 0.46, 0.16))]
    big_r, tube = 0.42, 0.07
    seg = 10
    for axis in (0, 1):  # ring in the x-y plane, then in the y-z plane
        def at(theta, a, b):
            # Point of the tube at angle theta round the ring, offset a outwards and b across.
            ct, st = math.cos(theta), math.sin(theta)
            radial = (ct, st, 0.0) if axis == 0 else (0.0, st, ct)
            across = (0.0, 0.0, 1.0) if axis == 0 else (1.0, 0.0, 0.0)
            return add(mul(radial, big_r + a), mul(across, b)), radial

        diamond = [(tube, 0.0), (0.0, tube), (-tube, 0.0), (0.0, -tube)]
        for s in range(seg):
            t0 = 2 * math.pi * s / seg + (0.0 if axis == 0 else math.pi / seg)
            t1 = 2 * math.pi * (s + 1) / seg + (0.0 if axis == 0 else math.pi / seg)
            for k in range(4):
                a0, b0 = diamond[k]
                a1, b1 = diamond[(k + 1) % 4]
                p00, r0 = at(t0, a0, b0)
                p01, _ = at(t0, a1, b1)
                p11, r1 = at(t1, a1, b1)
                p10, _ = at(t1, a0, b0)
                quad = [p00, p01, p11, p10]
                centre = mul(add(r0, r1), big_r * 0.5)
                mid = centroid(quad)
                if dot(newell(quad), sub(mid, centre)) < 0:
                    quad.reverse()
                # Smooth normals: from the tube's centre line out through each corner.
                normals = []
                for p in quad:
                    rr = normalize((p[0], p[1], 0.0) if axis == 0 else (0.0, p[1], p[2]))
                    normals.append(normalize(sub(p, mul(rr, big_r))))
                m.polygon(quad, greens[(s + k) % 2], normals)
    return m


def make_marker():
    m = Model("marker", "the ground marker under an item: a flat ring with four pointers")
    gold = m.material((0.62, 0.56, 0.12))
    n = 12
    r_out, r_in = 0.75, 0.58
    r_mid, bend = (r_out + r_in) / 2, math.radians(40)

    def rounded(p):
        # The ring is flat but shaded as a rounded rim: normals lean out at its outer edge and in
        # at its inner edge.
        out = normalize((p[0], 0.0, p[2]))
        lean = math.sin(bend) * (1 if math.hypot(p[0], p[2]) > r_mid else -1)
        return (out[0] * lean, math.cos(bend), out[2] * lean)

    for i in range(n):
        a0, a1 = 2 * math.pi * i / n, 2 * math.pi * (i + 1) / n
        quad = [(r_out * math.cos(a0), r_out * math.sin(a0)), (r_out * math.cos(a1), r_out * math.sin(a1)),
                (r_in * math.cos(a1), r_in * math.sin(a1)), (r_in * math.cos(a0), r_in * math.sin(a0))]
        m.flat_up(quad, gold, normal_at=rounded)
    for k in range(4):
        a = math.pi / 2 * k
        ca, sa = math.cos(a), math.sin(a)
        tri = [(0.5 * ca, 0.5 * sa), (0.22 * ca - 0.09 * sa, 0.22 * sa + 0.09 * ca),
               (0.22 * ca + 0.09 * sa, 0.22 * sa - 0.09 * ca)]
        tri = hull_2d(tri)
        m.flat_up(tri, gold)
    return m


def make_debris():
    m = Model("shard", "a debris shard about 0.25 across")
    orange = m.material((0.86, 0.44, 0.10))
    grey = m.material((0.48, 0.48, 0.52))
    pts = [(0.12, 0.02, 0.03), (-0.09, 0.05, 0.10), (-0.04, -0.06, -0.12), (0.03, 0.11, -0.05),
           (-0.02, -0.07, 0.06)]
    for i, (poly, n) in enumerate(convex_hull(pts)):
        m.polygon(poly, orange if i % 2 == 0 else grey)
    return m


# ---------------------------------------------------------------------------------------------
# Bitmaps


def palette():
    """256 colours: a 6 x 6 x 6 colour cube (0 black .. 215 white), then 40 greys ending white."""
    colours = []
    for r in range(6):
        for g in range(6):
            for b in range(6):
                colours.append((r * 51, g * 51, b * 51))
    for k in range(40):
        v = round((k + 1) * 255 / 40)
        colours.append((v, v, v))
    return colours


def write_pal_bmp(path):
    width = height = 16
    colours = palette()
    assert len(colours) == 256
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
    pixels = bytearray()
    for row in range(height):  # bottom-up rows: the first stored row is the bottom one
        y = height - 1 - row
        pixels += bytes(y * width + x for x in range(width))
    offset = 14 + 40 + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels), 2835, 2835, 256,
                       256)
    with open(path, "wb") as f:
        f.write(header + info + table + pixels)


def point_in_convex(poly, x, y):
    sign = 0
    for i in range(len(poly)):
        ax, ay = poly[i]
        bx, by = poly[(i + 1) % len(poly)]
        c = (bx - ax) * (y - ay) - (by - ay) * (x - ax)
        if abs(c) < 1e-12:
            continue
        s = 1 if c > 0 else -1
        if sign == 0:
            sign = s
        elif s != sign:
            return False
    return True


def icon_pixels(size=32):
    """The icon: the craft seen from above, nose up, with a dark outline, on a transparent
    background. Returns rows top to bottom of (r, g, b, a)."""
    layers = []  # (2-D outline in pixels, colour), drawn in order
    scale = 25.0
    cx, cy = size / 2, size / 2

    def to_px(p):
        # x right, z up the image (the nose points up); centre of the craft's length in the middle
        return (cx + p[0] * scale, cy - (p[2] - 0.04) * scale)

    order = ["right wing", "left wing", "right tailplane", "left tailplane", "tail body",
             "mid body", "front body", "nose", "canopy", "right fin", "left fin"]
    parts = {name: (pts, rule) for name, pts, rule, _ in craft_parts()}
    icon_colours = {"wing": (92, 112, 168), "body": (214, 218, 230), "nose": (214, 48, 36),
                    "canopy": (60, 140, 230), "fin": (230, 58, 40)}
    for name in order:
        pts, rule = parts[name]
        outline = hull_2d([to_px(p) for p in pts])
        layers.append((outline, icon_colours[rule]))
    sub_n = 4
    cover = [[None] * size for _ in range(size)]
    for py in range(size):
        for px in range(size):
            hits = []
            for sy in range(sub_n):
                for sx in range(sub_n):
                    x = px + (sx + 0.5) / sub_n
                    y = py + (sy + 0.5) / sub_n
                    colour = None
                    for outline, col in layers:
                        if point_in_convex(outline, x, y):
                            colour = col
                    if colour:
                        hits.append(colour)
            if hits:
                r = sum(c[0] for c in hits) // len(hits)
                g = sum(c[1] for c in hits) // len(hits)
                b = sum(c[2] for c in hits) // len(hits)
                cover[py][px] = (r, g, b, round(255 * len(hits) / (sub_n * sub_n)))
    rows = []
    outline_col = (16, 20, 40)
    for py in range(size):
        row = []
        for px in range(size):
            c = cover[py][px]
            if c and c[3] >= 128:
                row.append((c[0], c[1], c[2], 255))
                continue
            near = 0
            for dy in (-1, 0, 1):
                for dx in (-1, 0, 1):
                    qy, qx = py + dy, px + dx
                    if 0 <= qy < size and 0 <= qx < size and cover[qy][qx]:
                        near = max(near, cover[qy][qx][3])
            if c:
                # Edge pixel: the part's colour over the outline.
                a = c[3] / 255
                row.append((round(c[0] * a + outline_col[0] * (1 - a)),
                            round(c[1] * a + outline_col[1] * (1 - a)),
                            round(c[2] * a + outline_col[2] * (1 - a)), 255))
            elif near:
                row.append(outline_col + (min(255, near * 2),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def write_icon_bmp(path):
    rows = icon_pixels(32)
    size = 32
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    offset = 14 + 40
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 32, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)
    return rows


# ---------------------------------------------------------------------------------------------

MODELS = [
    ("my.x", make_craft),
    ("zimen.x", make_ground),
    ("beam.x", make_beam),
    ("shadow.x", make_shadow),
    ("ts.x", make_title),
    ("speed.x", make_speed),
    ("power.x", make_power),
    ("grip.x", make_grip),
    ("items.x", make_marker),
    ("die.x", make_debris),
]


def check(model):
    """Every polygon convex and planar, wound so that its stored normal agrees with it."""
    for vi, _, ni in model.faces:
        pts = [model.vertices[i] for i in vi]
        n = newell(pts)
        d = dot(n, pts[0])
        for p in pts:
            assert abs(dot(n, p) - d) < 2e-3, (model.name, "not planar", pts)
        for i in range(len(pts)):
            a, b, c = pts[i], pts[(i + 1) % len(pts)], pts[(i + 2) % len(pts)]
            assert dot(cross(sub(b, a), sub(c, b)), n) > -1e-9, (model.name, "not convex", pts)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "data")
    os.makedirs(out_dir, exist_ok=True)
    for file_name, make in MODELS:
        model = make()
        check(model)
        model.write(os.path.join(out_dir, file_name))
        print("%-9s %4d polygons %4d vertices  %s" % (file_name, len(model.faces),
                                                      len(model.vertices), model.description))
    write_pal_bmp(os.path.join(out_dir, "pal.bmp"))
    write_icon_bmp(os.path.join(out_dir, "grk.bmp"))
    print("pal.bmp, grk.bmp")


if __name__ == "__main__":
    main()
