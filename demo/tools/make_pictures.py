#!/usr/bin/env python3
"""Writes the demo's pictures: small uncompressed TGA files (bottom-up rows), 24-bit BGR for
the textures of the yard, 32-bit BGRA with alpha for the 2D overlay (its window skin and
sprites)."""
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


def write_tga32(name, width, height, pixel):
    # Image descriptor 8: eight alpha bits, rows bottom-up.
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height, 32, 8)
    rows = bytearray()
    for y in reversed(range(height)):
        for x in range(width):
            r, g, b, a = pixel(x, y)
            rows += bytes((b, g, r, a))
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


# The overlay's window skin, cut from one 64 x 64 panel: a rounded frame of 10 pixels, a light
# border of 2, a title bar of 24 rows and a dark translucent inside. The corners are 12 pixels
# wide, the top ones as high as the title bar and the bottom ones 12 high; the edges are 4
# pixels along the side they tile.
PANEL = 64
TITLE = 24
CORNER = 12
RADIUS = 10


def panel(x, y):
    # Outside the rounded corners: transparent.
    cx = min(max(x, RADIUS), PANEL - 1 - RADIUS)
    cy = min(max(y, RADIUS), PANEL - 1 - RADIUS)
    d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
    if d > RADIUS:
        return (0, 0, 0, 0)
    if d > RADIUS - 2 or x < 2 or y < 2 or x >= PANEL - 2 or y >= PANEL - 2:
        return (200, 220, 255, 255)          # the border
    if y < TITLE:
        shade = 150 - 3 * y                  # the title bar, darker downwards
        return (40, 70, shade, 235)
    return (20, 28, 48, 215)                 # the inside; the fill colour of hud.nml


def piece(name, x0, y0, width, height):
    write_tga32(name, width, height, lambda x, y: panel(x0 + x, y0 + y))


piece("skin_top.tga", CORNER, 0, 4, TITLE)
piece("skin_left.tga", 0, TITLE, CORNER, 4)
piece("skin_right.tga", PANEL - CORNER, TITLE, CORNER, 4)
piece("skin_bottom.tga", CORNER, PANEL - CORNER, 4, CORNER)
piece("skin_top_left.tga", 0, 0, CORNER, TITLE)
piece("skin_top_right.tga", PANEL - CORNER, 0, CORNER, TITLE)
piece("skin_bottom_left.tga", 0, PANEL - CORNER, CORNER, CORNER)
piece("skin_bottom_right.tga", PANEL - CORNER, PANEL - CORNER, CORNER, CORNER)


def star(x, y):
    # A five-pointed yellow star on a transparent ground, 32 x 32.
    import math
    dx, dy = x - 15.5, y - 15.5
    r = (dx * dx + dy * dy) ** 0.5
    angle = math.atan2(dy, dx) + math.pi / 2
    edge = 8 + 7 * abs(math.cos(2.5 * angle))
    if r > edge:
        return (0, 0, 0, 0)
    return (255, 210 + int(40 * (1 - r / 16)), 60, 255)


def ball_icon(x, y):
    # The ball as a round icon: its red and yellow checker inside a circle, 24 x 24.
    if (x - 11.5) ** 2 + (y - 11.5) ** 2 > 11.5 ** 2:
        return (0, 0, 0, 0)
    return (220, 60, 40, 255) if ((x // 4) + (y // 4)) % 2 == 0 else (250, 210, 60, 255)


def bar(x, y):
    # A green gauge, 64 x 8, brighter at the top.
    return (60, 200 - 10 * y, 90, 230)


write_tga32("hud_star.tga", 32, 32, star)
write_tga32("hud_ball.tga", 24, 24, ball_icon)
write_tga32("hud_bar.tga", 64, 8, bar)


# A soft round puff for the turntable's smoke: white, its alpha falling off from the centre.
def puff(x, y):
    dx, dy = (x - 15.5) / 15.5, (y - 15.5) / 15.5
    d = min(1.0, (dx * dx + dy * dy) ** 0.5)
    return (255, 255, 255, int(255 * (1.0 - d) ** 2))


write_tga32("smoke.tga", 32, 32, puff)


# The settings window's widgets: a button face, and the check box pictures the player looks
# for under "ui/" (a tick on a light box, and the empty box).
def button(x, y):
    edge = x < 2 or y < 2 or x >= 94 or y >= 22
    return (40, 60, 110, 255) if edge else (90, 130, 200, 235)


def check_box(ticked):
    def pixel(x, y):
        if x < 2 or y < 2 or x >= 14 or y >= 14:
            return (30, 30, 40, 255)
        if ticked and (abs(x - y) <= 1 or abs(x + y - 15) <= 1) and 4 <= x <= 11:
            return (40, 160, 60, 255)
        return (235, 235, 225, 255)
    return pixel


write_tga32("hud_button.tga", 96, 24, button)
OUT = os.path.join(HERE, "..", "crates", "ui")
os.makedirs(OUT, exist_ok=True)
write_tga32("ui_check_true.tga", 16, 16, check_box(True))
write_tga32("ui_check_false.tga", 16, 16, check_box(False))
