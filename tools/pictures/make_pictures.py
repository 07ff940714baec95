#!/usr/bin/python3
"""Writes every picture the musicdisk shows into a directory (normally
assets/): twenty 256x256 binary PPM files and the small font32.ppm.info.

    /usr/bin/python3 tools/pictures/make_pictures.py assets

The output depends only on this code, the DejaVu fonts and the Debian
python3-numpy / python3-pil it runs with: no clock, no unseeded randomness.
Running it twice gives the same bytes. Pictures that break what the screens
rely on (rules.py) are not written: each broken rule is named and the exit
status is 1."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import common  # noqa: E402
import control_panel  # noqa: E402
import cow  # noqa: E402
import font_sheet  # noqa: E402
import landscape  # noqa: E402
import logos  # noqa: E402
import rules  # noqa: E402
import water  # noqa: E402

L, B = common.HEADER_LINES, common.HEADER_BLANKS


def pictures():
    """(file name, header form, function making the uint8 RGB array)."""
    bands = {}

    def band_tile(n):
        def make():
            if not bands:
                bands.update(landscape.make_tiles())
            return bands[n]
        return make

    overlay = {}

    def water_part(name):
        def make():
            if not overlay:
                overlay.update(water.make())
            return overlay[name]
        return make

    out = [
        ("water01.ppm", L, water_part("water01")),
        ("font32.ppm", B, font_sheet.make),
        ("orbel.ppm", L, logos.make_orbel),
        ("water02.ppm", B, water_part("water02")),
        ("cow_big.ppm", L, cow.make),
        ("control2_texture2.ppm", B, control_panel.make),
    ]
    for i in range(6):
        out.append(("bkg0%d.ppm" % i, L if i % 2 == 0 else B, band_tile("bkg0%d" % i)))
    for i in range(6):
        out.append(("bkg1%d.ppm" % i, B if i % 2 == 0 else L, band_tile("bkg1%d" % i)))
    out.append(("jub.ppm", B, logos.make_jub))
    out.append(("velmologo.ppm", L, logos.make_velmologo))
    return out


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_pictures.py OUTPUT_DIRECTORY\n")
        return 2
    outdir = argv[1]
    made = [(name, header, make()) for name, header, make in pictures()]
    problems = list(rules.broken({name[:-len(".ppm")]: rgb for name, _, rgb in made}))
    for problem in problems:
        sys.stderr.write("make_pictures.py: %s\n" % problem)
    if problems:
        return 1
    os.makedirs(outdir, exist_ok=True)
    for name, header, rgb in made:
        common.write_ppm(os.path.join(outdir, name), rgb, header)
    with open(os.path.join(outdir, "font32.ppm.info"), "wb") as f:
        f.write(font_sheet.INFO_TEXT.encode("ascii"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
