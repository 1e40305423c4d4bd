#!/usr/bin/env python3
"""Writes the geometries of the mesh-ground game as NML: "pad", a square pad of 8 x 8 quads
(10 units across, its top at y = 0, facing up) that the game uses as a triangle-mesh ground,
and "gem", a hexagonal prism (radius 0.5, height 0.6, centred on its origin) that the game
uses as a convex hull. Run it from anywhere; it writes into models/ beside it."""
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "models")


def fmt(v):
    return "%.4f" % v


def write_geometry(name, comment, vertices, polygons, colour):
    lines = ["<NML=1.0>", "// " + comment + " Written by make_models.py.", "<Geometry="]
    lines.append("\t<Materials=")
    lines.append("\t\t<Material= <Id=\"%s\"> <Diffuse=<X=%s><Y=%s><Z=%s><W=1.0>> <MaxSmoothingAngle=0.5> <RenderMask=<Smoothing>> >"
                 % ((name,) + tuple(fmt(c) for c in colour)))
    lines.append("\t>")
    lines.append("\t<RenderWord=<Lit>>")
    lines.append("\t<AVertex=<Count=%d><Data=" % len(vertices))
    for x, y, z in vertices:
        lines.append("\t\t<Vector=<X=%s><Y=%s><Z=%s>>" % (fmt(x), fmt(y), fmt(z)))
    lines.append("\t>>")
    corners = sum(len(p) for p in polygons)
    lines.append("\t<APolygon=<Count=%d><BindingCount=%d><Data=" % (len(polygons), corners))
    for p in polygons:
        lines.append("\t\t<Polygon=<Count=%d><Material=0>%s>" % (len(p), "".join("<Index=%d>" % i for i in p)))
    lines.append("\t>>")
    lines.append(">")
    with open(os.path.join(OUT, name + ".nml"), "w") as f:
        f.write("\n".join(lines) + "\n")


def pad(half=5.0, cells=8):
    vertices = []
    for z in range(cells + 1):
        for x in range(cells + 1):
            vertices.append((-half + 2 * half * x / cells, 0.0, -half + 2 * half * z / cells))
    quads = []
    for z in range(cells):
        for x in range(cells):
            a = z * (cells + 1) + x
            quads.append((a, a + cells + 1, a + cells + 2, a + 1))
    write_geometry("pad", "A flat pad of %d x %d quads, %g units across, its top at y = 0." % (cells, cells, 2 * half),
                   vertices, quads, (0.4, 0.6, 0.4))


def gem(radius=0.5, half_height=0.3, sides=6):
    ring = [(radius * math.cos(2 * math.pi * k / sides), radius * math.sin(2 * math.pi * k / sides))
            for k in range(sides)]
    vertices = [(x, -half_height, z) for x, z in ring] + [(x, half_height, z) for x, z in ring]
    bottom = list(reversed(range(sides)))
    top = list(range(sides, 2 * sides))
    sides_quads = [(k, (k + 1) % sides, sides + (k + 1) % sides, sides + k) for k in range(sides)]
    write_geometry("gem", "A hexagonal prism of radius %g and height %g around its origin." % (radius, 2 * half_height),
                   vertices, [bottom, top] + sides_quads, (0.8, 0.3, 0.5))


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    pad()
    gem()
