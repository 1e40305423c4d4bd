#!/usr/bin/env python3
"""Writes the demo's pictures: small uncompressed 24-bit TGA files (bottom-up rows, BGR)."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "crates", "pictures")


def write_tga(name, width, height, pixel):
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height, 24, 0)
    rows = bytearray()
    for y in range(height):
        for x in range(width):
            r, g, b = pixel(x, y)
            rows += bytes((b, g, r))
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(header + bytes(rows))


def checker(a, b, cell):
    return lambda x, y: a if ((x // cell) + (y // cell)) % 2 == 0 else b


def planks(x, y):
    # Wooden boards with a darker seam every 16 pixels.
    if y % 16 == 0 or x % 32 == 0:
        return (90, 55, 25)
    shade = 150 + ((x * 7 + y * 3) % 20)
    return (shade, int(shade * 0.65), int(shade * 0.3))


os.makedirs(OUT, exist_ok=True)
write_tga("floor.tga", 64, 64, checker((200, 200, 190), (70, 90, 110), 8))
write_tga("crate.tga", 64, 64, planks)
write_tga("ball.tga", 32, 32, checker((220, 60, 40), (250, 210, 60), 4))
