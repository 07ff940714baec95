#!/usr/bin/python3
"""What the screens rely on in the pictures, checked on every picture before
the generator writes it, and on a folder of finished pictures:

    /usr/bin/python3 tools/pictures/rules.py assets

prints one line per broken rule and exits with their number (0: all kept).
The geometry comes from the screens' own formulas (panel pieces, button
rectangles in whole percentages), not from the generator's design, so that
a picture that merely agrees with its own design does not pass."""

import math
import os
import sys

import numpy as np

NAMES = ["water01", "font32", "orbel", "water02", "cow_big", "control2_texture2"] + \
    ["bkg0%d" % i for i in range(6)] + ["bkg1%d" % i for i in range(6)] + ["jub", "velmologo"]
HEADERS = (b"P6\n256 256\n255\n", b"P6 256 256 255\n")
SCREENS = [(640, 480), (800, 600), (1024, 768), (1280, 720), (1280, 1024), (1920, 1080)]
PICTURE_CELLS = "$*+,"  # the glyph cells that hold coloured pictures, not characters
BUTTONS = {"previous": 30, "pause": 40, "play": 50, "next": 60}


def border(p, width):
    return np.concatenate([p[:width].reshape(-1, 3), p[-width:].reshape(-1, 3),
                           p[:, :width].reshape(-1, 3), p[:, -width:].reshape(-1, 3)])


def panel_pieces(W, H):
    # Screen rectangle and texel rectangle of each of the four panel quads.
    top, bottom = H / 20 - H / 10 / 2, H / 20 + H / 10 / 2
    for name, cx, width, tex in (
            ("middle", W // 2 + W / -12.0, W // 3, (0, 0, 256, 71)),
            ("right of middle", W // 2 + W / 6.0 - 1, W // 6 + 2, (0, 71, 127, 142)),
            ("left end", W * 0.125, W // 4, (0, 142, 256, 212)),
            ("right end", W - W * 0.125, W // 4, (128, 71, 256, 142))):
        yield name, (cx - width / 2, top, cx + width / 2, bottom), tex


def button_texels(W, H, lowest):
    # Texel rectangle (u0, v0, u1, v1), end exclusive, lying under the pixels
    # whose whole percentages are lowest..lowest+6 across and 2..6 down.
    x0, x1 = math.ceil(lowest * W / 100), math.ceil((lowest + 7) * W / 100) - 1
    y0, y1 = math.ceil(2 * H / 100), math.ceil(7 * H / 100) - 1
    for name, (sx0, sy0, sx1, sy1), (u0, v0, u1, v1) in panel_pieces(W, H):
        if sx0 <= x0 + 0.5 and x1 + 0.5 < sx1:
            def u(x):
                return u0 + (x - sx0) / (sx1 - sx0) * (u1 - u0)

            def v(y):
                return v0 + (y - sy0) / (sy1 - sy0) * (v1 - v0)
            return name, (int(u(x0 + 0.5)), int(v(y0 + 0.5)), int(u(x1 + 0.5)) + 1, int(v(y1 + 0.5)) + 1)
    return None, None


def glyph_cells(sheet):
    # One black texel on every side of every cell: filtering at a cell's
    # edge must not pick up the neighbouring cell. Characters are grey (they
    # are drawn white), the picture cells keep their colours.
    if sheet[:32, :32].max() != 0:
        yield "font32: the blank cell is not black"
    for g in range(1, 64):
        row, col = divmod(g, 8)
        c, ch = sheet[32 * row:32 * row + 32, 32 * col:32 * col + 32].astype(np.int32), chr(32 + g)
        if np.concatenate([c[0], c[31], c[:, 0], c[:, 31]]).max() != 0:
            yield "font32: cell %r has no black border" % ch
        if (c.mean(axis=2) >= 128).sum() < 6:
            yield "font32: cell %r is nearly empty" % ch
        lit = c.max(axis=2) > 24
        coloured = lit & ((c[..., 0] != c[..., 1]) | (c[..., 1] != c[..., 2]))
        if ch in PICTURE_CELLS and (lit.sum() <= 40 or coloured.sum() <= 0.5 * lit.sum()):
            yield "font32: picture cell %r would turn white" % ch
        if ch not in PICTURE_CELLS and coloured.sum():
            yield "font32: character %r has coloured texels" % ch


def buttons(tex):
    # The glass caps (blue) with their white symbols cover each clickable
    # rectangle, and what looks like a button is one, at any screen size.
    tex = tex.astype(np.int32)
    symbol = tex.min(axis=2) >= 225
    console = np.zeros((256, 256), dtype=bool)
    console[0:71, :] = True
    console[71:142, 0:127] = True
    outside = symbol & console
    if outside.sum() <= 200:
        yield "control2_texture2: the buttons have no symbols"
    for W, H in SCREENS:
        inside = np.zeros_like(outside)
        for button, lowest in BUTTONS.items():
            piece, rect = button_texels(W, H, lowest)
            if piece != ("right of middle" if button == "next" else "middle"):
                yield "control2_texture2: %s on %dx%d is not on its panel piece" % (button, W, H)
                continue
            u0, v0, u1, v1 = rect
            a = tex[v0:v1, u0:u1]
            face = (a[..., 2] > a[..., 0] + 40) | (a.min(axis=2) >= 160)
            if face.mean() <= 0.9 or symbol[v0:v1, u0:u1].sum() < 40:
                yield "control2_texture2: %s on %dx%d does not fill its click rectangle" % (button, W, H)
            inside[v0:v1, u0:u1] = True
        stray = outside & ~inside
        if stray.any():
            yield "control2_texture2: symbol texels outside the buttons on %dx%d: %s" % (
                W, H, np.argwhere(stray)[:5].tolist())


def broken(pictures):
    """The rules the pictures (name without .ppm -> 256x256x3 uint8) break."""
    for name in ["bkg%d%d" % (b, n) for b in (0, 1) for n in range(6)]:
        # Black is keyed out: a black texel in a tile would show what the
        # disk screen never erases.
        p = pictures[name].astype(np.int32)
        if (p.sum(axis=2) == 0).any() or p.std() <= 15.0:
            yield "%s has black or flat texels" % name
    for name in ("orbel", "jub", "velmologo"):
        p = pictures[name].astype(np.int32)
        if border(p, 4).max() != 0 or not 0.1 < (p.sum(axis=2) > 0).mean() < 0.9:
            yield "%s is not a logo on black" % name
    p = pictures["cow_big"].astype(np.int32)
    if (border(p, 8).min(axis=1) >= 250).mean() <= 0.9 or (p.mean(axis=2) < 80).mean() <= 0.02:
        yield "cow_big is not a dark cow on white"
    yield from glyph_cells(pictures["font32"])
    yield from buttons(pictures["control2_texture2"])


def read_folder(folder):
    # The pictures of a folder; a file that is no 256x256 P6 in one of the
    # two header forms is a broken rule itself.
    pictures, problems = {}, []
    for name in NAMES:
        with open(os.path.join(folder, name + ".ppm"), "rb") as f:
            data = f.read()
        if len(data) != 15 + 256 * 256 * 3 or data[:15] not in HEADERS:
            problems.append("%s.ppm is not a 256x256 P6 picture" % name)
            data = bytes(15 + 256 * 256 * 3)
        pictures[name] = np.frombuffer(data[15:], dtype=np.uint8).reshape(256, 256, 3)
    with open(os.path.join(folder, "font32.ppm.info"), "rb") as f:
        info = f.read()
    if not 0 < len(info) <= 2048 or not info.isascii():
        problems.append("font32.ppm.info is not short ASCII text")
    return pictures, problems


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: rules.py PICTURE_FOLDER\n")
        return 2
    pictures, problems = read_folder(argv[1])
    problems += list(broken(pictures))
    for problem in problems:
        print(problem)
    return min(len(problems), 100)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
