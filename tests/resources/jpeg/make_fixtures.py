#!/usr/bin/env python3
"""Writes the JPEG fixtures of the decoder tests: pictures of ours (soft colour fields with a few
sharp edges) as PPM/PGM, encoded by libjpeg-turbo's cjpeg (Debian package libjpeg-turbo-progs).
For the subsampled files it also keeps libjpeg-turbo's own decode with repeated chroma samples
(djpeg -nosmooth -dct int) as <name>.ppm: stb_image interpolates chroma, so only these show where
each chroma sample lands. Run from anywhere; the files land beside this script. Re-running gives
the same bytes."""
import math
import os
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def colour(x, y, w, h):
    u, v = x / max(w - 1, 1), y / max(h - 1, 1)
    r = 128 + 100 * math.sin(6.0 * u + 1.0) * math.cos(3.0 * v)
    g = 40 + 180 * v
    b = 200 - 150 * u * v
    # a hard-edged disc and a stripe: the decoder's rounding near edges is seen too
    if (u - 0.3) ** 2 + (v - 0.6) ** 2 < 0.04:
        r, g, b = 250, 230, 20
    if 0.70 < u < 0.78:
        r, g, b = 20, 20, 60
    return [max(0, min(255, int(c))) for c in (r, g, b)]


def source(w, h, grey, path):
    with open(path, "wb") as f:
        f.write(b"%s\n%d %d\n255\n" % (b"P5" if grey else b"P6", w, h))
        data = bytearray()
        for y in range(h):
            for x in range(w):
                r, g, b = colour(x, y, w, h)
                data += bytes([(r * 77 + g * 150 + b * 29) >> 8]) if grey else bytes([r, g, b])
        f.write(data)


# name, width, height, grey, cjpeg options
FIXTURES = [
    ("h1v1.jpg", 61, 43, False, ["-sample", "1x1"]),
    ("h2v1.jpg", 61, 43, False, ["-sample", "2x1"]),
    ("h1v2.jpg", 61, 43, False, ["-sample", "1x2"]),
    ("h2v2.jpg", 61, 43, False, ["-sample", "2x2"]),
    ("grey.jpg", 61, 43, True, []),
    ("h2v2_q100.jpg", 40, 24, False, ["-quality", "100"]),
    ("h2v2_optimized.jpg", 61, 43, False, ["-optimize"]),
    ("h2v2_restart1.jpg", 61, 43, False, ["-restart", "1B"]),
    ("h1v1_restart7.jpg", 61, 43, False, ["-sample", "1x1", "-restart", "7B"]),
    ("grey_restart3.jpg", 61, 43, True, ["-restart", "3B"]),
    ("progressive_h2v2.jpg", 61, 43, False, ["-progressive"]),
    ("progressive_h1v1.jpg", 61, 43, False, ["-progressive", "-sample", "1x1"]),
    ("progressive_h2v1_restart2.jpg", 61, 43, False, ["-progressive", "-sample", "2x1", "-restart", "2B"]),
    ("progressive_grey.jpg", 61, 43, True, ["-progressive"]),
    ("one_pixel.jpg", 1, 1, False, []),
    ("odd_17x9.jpg", 17, 9, False, ["-progressive", "-sample", "2x1"]),
    ("wide_203x5.jpg", 203, 5, False, ["-sample", "1x2"]),
    ("h4v1.jpg", 32, 16, False, ["-sample", "4x1"]),
    ("arithmetic.jpg", 16, 16, False, ["-arithmetic"]),
]


def main():
    with tempfile.TemporaryDirectory() as tmp:
        for name, w, h, grey, options in FIXTURES:
            src = os.path.join(tmp, name + (".pgm" if grey else ".ppm"))
            source(w, h, grey, src)
            out = os.path.join(HERE, name)
            subprocess.run(["cjpeg", "-quality", "85"] + options + ["-outfile", out, src], check=True)
            if not grey and options[:2] != ["-sample", "1x1"] and "-arithmetic" not in options \
                    and "4x1" not in options and (w, h) != (1, 1):
                ref = os.path.join(HERE, name[:-4] + ".ppm")
                with open(ref, "wb") as f:
                    subprocess.run(["djpeg", "-nosmooth", "-dct", "int", "-pnm", out], stdout=f, check=True)
            print(name, os.path.getsize(out))


if __name__ == "__main__":
    main()
