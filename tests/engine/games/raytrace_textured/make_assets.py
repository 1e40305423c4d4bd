#!/usr/bin/env python3
"""Writes the assets of the raytrace-textured game: "pictures/gold.tga", a 2 x 2 picture of one
gold colour (230, 180, 20), and "models/panel.nml", a 4 x 4 square in the plane z = 0 facing -z
whose material samples that picture through its shader map. Run it from anywhere; it writes
beside it."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write_tga(path, width, height, rgb):
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height, 32, 8)
    r, g, b = rgb
    with open(path, "wb") as f:
        f.write(header + bytes([b, g, r, 255]) * (width * height))


PANEL = """<NML=1.0>
// A 4 x 4 square in the plane z = 0 facing -z, its material sampling pictures/gold.tga.
// Written by make_assets.py.
<Geometry=
\t<Materials=
\t\t<Material=
\t\t\t<Id="gold">
\t\t\t<ShaderMap=
\t\t\t\t<Map=
\t\t\t\t\t<Entry=<Type="Sampler 2D">>
\t\t\t\t\t<Entry=<Type="Texture"><Param=<Texture="pictures/gold.tga">>>
\t\t\t\t\t<Entry=<Type="Geometry UV"><Param=<Channel=0>>>
\t\t\t\t\t<Entry=<Type="Geometry Normal">>
\t\t\t\t>
\t\t\t\t<Diffuse=<Block=<Index=0><Input=<Block=<Index=1>><Block=<Index=2>>>>>
\t\t\t\t<Normal=<Block=<Index=3>>>
\t\t\t>
\t\t>
\t>
\t<RenderWord=<Lit>>
\t<AVertex=<Count=4><Data=
\t\t<Vector=<X=-2.0><Y=-2.0><Z=0.0>>
\t\t<Vector=<X=-2.0><Y=2.0><Z=0.0>>
\t\t<Vector=<X=2.0><Y=2.0><Z=0.0>>
\t\t<Vector=<X=2.0><Y=-2.0><Z=0.0>>
\t>>
\t<APolygon=<Count=2><BindingCount=6><Data=
\t\t<Polygon=<Count=3><Material=0><Index=0><Index=1><Index=2>>
\t\t<Polygon=<Count=3><Material=0><Index=0><Index=2><Index=3>>
\t>>
>
"""

if __name__ == "__main__":
    write_tga(os.path.join(HERE, "pictures", "gold.tga"), 2, 2, (230, 180, 20))
    with open(os.path.join(HERE, "models", "panel.nml"), "w") as f:
        f.write(PANEL)
