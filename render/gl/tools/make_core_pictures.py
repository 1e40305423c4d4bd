#!/usr/bin/env python3
"""Makes the two pictures the renderer's core programs sample, beside its shader library:

  noise.tga   64 x 64: per pixel a random unit vector in rgb (as v * 0.5 + 0.5, the ambient
              occlusion turns its samples with it) and a uniform random value in alpha (for the
              grain of the picture effects). Repeated over the screen.
  dither.tga  8 x 8: the thresholds of an ordered dither in grey, (rank + 1) / 65 of white, so
              that a surface of opacity a keeps about a of its pixels: the materials' dithered
              opacity discards where opacity + 0.01 is below the threshold.

Both are uncompressed 32-bit TGA files, first row at the top. The output is the same on every
run (a fixed seed), so the files are committed and a test checks they still match.

Usage: make_core_pictures.py <folder>            write both files into folder
       make_core_pictures.py --check <folder>    exit 1 when the files there differ
"""
import math
import os
import struct
import sys

NOISE_SIZE = 64
DITHER_SIZE = 8


class XorShift32:
    """A small generator of our own, so the pictures never depend on a library's choices."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF or 1

    def next(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x

    def uniform(self):
        """A float in [0, 1)."""
        return self.next() / 4294967296.0


def byte(value):
    """A value in [0, 1] as a byte, rounded."""
    return max(0, min(255, int(math.floor(value * 255.0 + 0.5))))


def noise_pixels():
    random = XorShift32(0x51A0C0DE)
    pixels = []
    for _ in range(NOISE_SIZE * NOISE_SIZE):
        # A direction uniform on the sphere: z uniform in [-1, 1], the angle uniform around it.
        z = random.uniform() * 2.0 - 1.0
        angle = random.uniform() * 2.0 * math.pi
        flat = math.sqrt(max(0.0, 1.0 - z * z))
        x, y = flat * math.cos(angle), flat * math.sin(angle)
        grain = random.uniform()
        pixels.append((byte(x * 0.5 + 0.5), byte(y * 0.5 + 0.5), byte(z * 0.5 + 0.5), byte(grain)))
    return pixels


def bayer(size):
    """The ordered-dither ranks 0 .. size * size - 1 as rows of a size x size matrix."""
    if size == 1:
        return [[0]]
    half = bayer(size // 2)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            base = 4 * half[y % (size // 2)][x % (size // 2)]
            row.append(base + [[0, 2], [3, 1]][y * 2 // size][x * 2 // size])
        rows.append(row)
    return rows


def dither_pixels():
    count = DITHER_SIZE * DITHER_SIZE
    pixels = []
    for row in bayer(DITHER_SIZE):
        for rank in row:
            grey = byte((rank + 1) / (count + 1.0))
            pixels.append((grey, grey, grey, 255))
    return pixels


def tga(width, height, pixels):
    """Uncompressed true-colour TGA, 32 bits, first row at the top (descriptor 0x28)."""
    header = struct.pack('<BBBHHBHHHHBB', 0, 0, 2, 0, 0, 0, 0, 0, width, height, 32, 0x28)
    body = bytearray()
    for r, g, b, a in pixels:
        body += bytes((b, g, r, a))
    return header + bytes(body)


def pictures():
    return {
        'noise.tga': tga(NOISE_SIZE, NOISE_SIZE, noise_pixels()),
        'dither.tga': tga(DITHER_SIZE, DITHER_SIZE, dither_pixels()),
    }


def main(arguments):
    check = arguments[:1] == ['--check']
    if check:
        arguments = arguments[1:]
    if len(arguments) != 1:
        sys.stderr.write(__doc__)
        return 2
    folder = arguments[0]
    status = 0
    for name, data in pictures().items():
        path = os.path.join(folder, name)
        if check:
            try:
                with open(path, 'rb') as f:
                    same = f.read() == data
            except OSError:
                same = False
            if not same:
                sys.stderr.write('%s differs from what make_core_pictures.py makes\n' % path)
                status = 1
        else:
            with open(path, 'wb') as f:
                f.write(data)
    return status


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
