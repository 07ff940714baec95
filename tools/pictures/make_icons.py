#!/usr/bin/python3
"""Writes the musicdisk's launcher icons from its own mascot picture: the
singing orb of assets/orbel.ppm without its lettering, black keyed to
transparent, as PNG files of 32, 48, 64, 128 and 256 pixels.

    /usr/bin/python3 tools/pictures/make_icons.py assets/orbel.ppm desktop/icons

Debian's python3-numpy and python3-pil; the same input gives the same bytes."""

import os
import sys

import numpy as np
from PIL import Image

SIZES = (32, 48, 64, 128, 256)
# The orb and its note lie in rows 0-167 and columns 46-237; the lettering
# starts below. The crop is made square with black (transparent) above.
TOP, BOTTOM, LEFT, RIGHT = 0, 168, 46, 238
# Texels this dark are background; the ramp above it keeps the glow soft.
KEY_LEVEL, KEY_RAMP = 8, 40


def icon(ppm_path):
    with open(ppm_path, "rb") as f:
        data = f.read()
    rgb = np.frombuffer(data[-256 * 256 * 3:], dtype=np.uint8).reshape(256, 256, 3)
    crop = rgb[TOP:BOTTOM, LEFT:RIGHT]
    side = RIGHT - LEFT
    square = np.zeros((side, side, 3), dtype=np.uint8)
    square[side - (BOTTOM - TOP):] = crop
    level = square.max(axis=2).astype(np.float64)
    alpha = np.clip((level - KEY_LEVEL) * 255.0 / KEY_RAMP, 0, 255).astype(np.uint8)
    return Image.fromarray(np.dstack([square, alpha]), "RGBA")


def main():
    source, out = sys.argv[1], sys.argv[2]
    picture = icon(source)
    os.makedirs(out, exist_ok=True)
    for size in SIZES:
        picture.resize((size, size), Image.LANCZOS).save(os.path.join(out, "musicdisk-%d.png" % size), optimize=True)


if __name__ == "__main__":
    main()
