#!/usr/bin/env python3
"""Writes the demo's geometries as NML: a crate (unit cube), a floor (unit square in the XZ
plane) and a ball (UV sphere of radius 0.5). Each carries its one material and texture."""
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "crates", "models")


def fmt(v):
    return "%.4f" % v


def write_geometry(name, comment, vertices, triangles, uvs, material):
    lines = ["<NML=1.0>", "// " + comment, "<Geometry="]
    lines.append("\t<Materials=")
    for line in material:
        lines.append("\t\t" + line)
    lines.append("\t>")
    lines.append("\t<RenderWord=<Lit>>")
    lines.append("\t<AVertex=<Count=%d><Data=" % len(vertices))
    for x, y, z in vertices:
        lines.append("\t\t<Vector=<X=%s><Y=%s><Z=%s>>" % (fmt(x), fmt(y), fmt(z)))
    lines.append("\t>>")
    lines.append("\t<APolygon=<Count=%d><BindingCount=%d><Data=" % (len(triangles), 3 * len(triangles)))
    for a, b, c in triangles:
        lines.append("\t\t<Polygon=<Count=3><Material=0><Index=%d><Index=%d><Index=%d>>" % (a, b, c))
    lines.append("\t>>")
    lines.append("\t<AUV=<Count=1><Data=")
    for u, v in uvs:
        lines.append("\t\t<Value=<U=%s><V=%s>>" % (fmt(u), fmt(v)))
    lines.append("\t>>")
    lines.append(">")
    with open(os.path.join(OUT, name), "w") as f:
        f.write("\n".join(lines) + "\n")


def material(name, picture, diffuse):
    # Smoothing asks for vertex normals: without it the geometry gets none and every light sees
    # one made-up normal per object. Corners meeting at more than 60 degrees stay sharp (the
    # crate's edges); the ball's facets, closer than that, are smoothed.
    return ["<Material=",
            "\t<Id=\"%s\">" % name,
            "\t<Diffuse=<X=%s><Y=%s><Z=%s><W=1.0>>" % tuple(fmt(c) for c in diffuse),
            "\t<Specular=<X=0.2><Y=0.2><Z=0.2>>",
            "\t<Glossiness=8.0>",
            "\t<MaxSmoothingAngle=0.5>",
            "\t<RenderMask=<Smoothing>>",
            "\t<TextureStage=<Index=0><Texture=\"%s\"><Active>>" % picture,
            ">"]


def crate():
    v = [(x, y, z) for x in (-0.5, 0.5) for y in (-0.5, 0.5) for z in (-0.5, 0.5)]
    index = {p: i for i, p in enumerate(v)}
    faces = []
    for axis in range(3):
        for side in (-0.5, 0.5):
            corners = []
            for a, b in ((-0.5, -0.5), (0.5, -0.5), (0.5, 0.5), (-0.5, 0.5)):
                p = [0.0, 0.0, 0.0]
                p[axis] = side
                p[(axis + 1) % 3] = a
                p[(axis + 2) % 3] = b
                corners.append(index[tuple(p)])
            if side < 0:
                corners.reverse()
            faces.append(corners)
    triangles, uvs = [], []
    square = [(0, 0), (1, 0), (1, 1), (0, 1)]
    for f in faces:
        for t in ((0, 1, 2), (0, 2, 3)):
            triangles.append(tuple(f[i] for i in t))
            uvs.extend(square[i] for i in t)
    return v, triangles, uvs


def floor():
    v = [(-0.5, 0.0, -0.5), (0.5, 0.0, -0.5), (0.5, 0.0, 0.5), (-0.5, 0.0, 0.5)]
    triangles = [(0, 2, 1), (0, 3, 2)]
    uv = [(0, 0), (8, 0), (8, 8), (0, 8)]
    uvs = [uv[i] for t in triangles for i in t]
    return v, triangles, uvs


def ball(rings=6, segments=10):
    v = [(0.0, 0.5, 0.0)]
    for r in range(1, rings):
        phi = math.pi * r / rings
        for s in range(segments):
            theta = 2 * math.pi * s / segments
            v.append((0.5 * math.sin(phi) * math.cos(theta), 0.5 * math.cos(phi), 0.5 * math.sin(phi) * math.sin(theta)))
    v.append((0.0, -0.5, 0.0))
    bottom = len(v) - 1

    def ring(r, s):
        return 1 + (r - 1) * segments + (s % segments)

    triangles = []
    for s in range(segments):
        triangles.append((0, ring(1, s + 1), ring(1, s)))
        triangles.append((bottom, ring(rings - 1, s), ring(rings - 1, s + 1)))
        for r in range(1, rings - 1):
            a, b = ring(r, s), ring(r, s + 1)
            c, d = ring(r + 1, s), ring(r + 1, s + 1)
            triangles.append((a, b, d))
            triangles.append((a, d, c))
    uvs = []
    for t in triangles:
        for i in t:
            x, y, z = v[i]
            uvs.append((0.5 + math.atan2(z, x) / (2 * math.pi), 0.5 - y))
    return v, triangles, uvs


os.makedirs(OUT, exist_ok=True)
write_geometry("crate.nml", "A wooden crate: a unit cube around its centre.", *crate(),
               material("crate", "pictures/crate.tga", (1.0, 0.9, 0.8)))
write_geometry("floor.nml", "The floor: a unit square in the XZ plane, scaled by the scene.", *floor(),
               material("floor", "pictures/floor.tga", (1.0, 1.0, 1.0)))
write_geometry("ball.nml", "A ball: a sphere of radius 0.5 around its centre.", *ball(),
               material("ball", "pictures/ball.tga", (1.0, 1.0, 1.0)))
