#!/usr/bin/python3
"""Makes the raster font the on-screen profiler and the statistics text write with, from DejaVu
Sans (Debian's fonts-dejavu-core), drawn through Pillow (python3-pil):

  <name>.nml     the font description: "Font" with "Common" (Height, BaseLine, PageCount) and one
                 "Char" per glyph (Id, U, V, W, H, OffsetU, OffsetV, Step, Page)
  <name>_00.tga  the first page: glyphs 32 to 79
  <name>_01.tga  the second page: glyphs 80 to 126

Pages are 256 x 256 uncompressed 32-bit TGA files, first row at the top, white with the glyph's
coverage in alpha. Every metric is in page units (a page is 1 wide and 1 high), which is also
the glyph's size on screen in clip-space units before the text size scales it: U and V the
top-left corner of the glyph's box, W and H its size, OffsetU and OffsetV where the box sits
right of and below the pen's top-left corner, Step the advance, Height the line height and
BaseLine the distance from a line's top to its base line.

Usage: make_raster_font.py <folder> [name]    writes <folder>/<name>.nml and its pages (name: arial)
"""
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFont

FONT_FILE = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
PIXEL_SIZE = 24
PAGE_SIZE = 256
PAGES = [range(32, 80), range(80, 127)]
PAD = 1


def write_tga(path, image):
    """An uncompressed 32-bit TGA, first row at the top (descriptor 0x28)."""
    width, height = image.size
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height, 32, 0x28)
    body = bytearray()
    for r, g, b, a in image.getdata():
        body += bytes((b, g, r, a))
    with open(path, "wb") as out:
        out.write(header + body)


def units(pixels):
    return "%.6f" % (pixels / float(PAGE_SIZE))


def make(folder, name):
    font = ImageFont.truetype(FONT_FILE, PIXEL_SIZE)
    ascent, descent = font.getmetrics()
    chars = []
    for page_index, codes in enumerate(PAGES):
        page = Image.new("RGBA", (PAGE_SIZE, PAGE_SIZE), (255, 255, 255, 0))
        coverage = Image.new("L", (PAGE_SIZE, PAGE_SIZE), 0)
        draw = ImageDraw.Draw(coverage)
        x, y, row_height = PAD, PAD, 0
        for code in codes:
            ch = chr(code)
            advance = font.getlength(ch)
            left, top, right, bottom = font.getbbox(ch)
            if right <= left or bottom <= top:      # the space: no box, only its advance
                left, top, right, bottom = 0, 0, 1, 1
            w, h = right - left, bottom - top
            if x + w + PAD > PAGE_SIZE:
                x, y, row_height = PAD, y + row_height + PAD, 0
            if y + h + PAD > PAGE_SIZE:
                raise SystemExit("page %d is full at glyph %d" % (page_index, code))
            if ch != " ":
                draw.text((x - left, y - top), ch, font=font, fill=255)
            chars.append((code, x, y, w, h, left, top, advance, page_index))
            x += w + PAD
            row_height = max(row_height, h)
        page.putalpha(coverage)
        write_tga(os.path.join(folder, "%s_%02d.tga" % (name, page_index)), page)

    lines = ["<NML=1.0>",
             "// DejaVu Sans at %d pixels on %d pages of %d x %d, made by make_raster_font.py."
             % (PIXEL_SIZE, len(PAGES), PAGE_SIZE, PAGE_SIZE),
             "<Font=",
             "    <Common= <Height=%s> <BaseLine=%s> <PageCount=%d> >"
             % (units(ascent + descent), units(ascent), len(PAGES))]
    for code, x, y, w, h, left, top, advance, page_index in chars:
        lines.append("    <Char= <Id=%d> <U=%s> <V=%s> <W=%s> <H=%s> <OffsetU=%s> <OffsetV=%s> <Step=%s> <Page=%d> >"
                     % (code, units(x), units(y), units(w), units(h), units(left), units(top),
                        units(advance), page_index))
    lines.append(">")
    with open(os.path.join(folder, name + ".nml"), "w") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    make(sys.argv[1], sys.argv[2] if len(sys.argv) == 3 else "arial")
