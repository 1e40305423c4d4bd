#!/usr/bin/env python3
"""Writes the side files of the terrain-field game: field/height.u16, the 64 x 64 height grid
(little-endian int16 samples, twentieths of a unit, row 0 first) with rolling ground and a flat
plateau 3 units high around column 20, row 20; field/blend.tga, the 1024 x 4 blend map giving
the left half of the field to layer 0 (red channel) and the right half to layer 1 (green); and
pictures/grass.tga and pictures/rock.tga, the two layers' 8 x 8 textures. Run it from anywhere;
it writes beside itself."""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SIZE = 64


def height(column, row):
    if abs(column - 20) <= 4 and abs(row - 20) <= 4:
        return 60
    return int(40 + 20 * math.sin(column * 0.3) * math.cos(row * 0.2))


def write_tga(path, width, height_px, pixel):
    """An uncompressed 32-bit TGA, rows from the bottom; pixel(x, y) gives (r, g, b, a)."""
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height_px, 32, 8)
    body = bytearray()
    for y in range(height_px):
        for x in range(width):
            r, g, b, a = pixel(x, y)
            body += bytes((b, g, r, a))
    with open(path, "wb") as f:
        f.write(header + bytes(body))


def main():
    os.makedirs(os.path.join(HERE, "field"), exist_ok=True)
    os.makedirs(os.path.join(HERE, "pictures"), exist_ok=True)
    with open(os.path.join(HERE, "field", "height.u16"), "wb") as f:
        for row in range(SIZE):
            f.write(b"".join(struct.pack("<h", height(column, row)) for column in range(SIZE)))
    write_tga(os.path.join(HERE, "field", "blend.tga"), 1024, 4,
              lambda x, y: (255, 0, 0, 0) if x < 512 else (0, 255, 0, 0))
    write_tga(os.path.join(HERE, "pictures", "grass.tga"), 8, 8,
              lambda x, y: (60 + 10 * ((x + y) % 2), 150, 50, 255))
    write_tga(os.path.join(HERE, "pictures", "rock.tga"), 8, 8,
              lambda x, y: (130, 120 + 10 * (x % 2), 110, 255))


if __name__ == "__main__":
    main()
