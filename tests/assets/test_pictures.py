#!/usr/bin/python3
# The pictures in assets/ against what the program does with them (geometry
# from the screen formulas, not from the generator), and Regenerate: the
# generator in tools/pictures makes exactly these files.
#
#     test_pictures.py SOURCE_DIR Pictures|Regenerate

import filecmp
import math
import os
import subprocess
import sys
import tempfile
import unittest

import numpy as np

SOURCE = None
NAMES = ["water01", "font32", "orbel", "water02", "cow_big", "control2_texture2"] + \
    ["bkg0%d" % i for i in range(6)] + ["bkg1%d" % i for i in range(6)] + ["jub", "velmologo"]
FILES = sorted([n + ".ppm" for n in NAMES] + ["font32.ppm.info"])
HEADERS = (b"P6\n256 256\n255\n", b"P6 256 256 255\n")
SCREENS = [(640, 480), (800, 600), (1024, 768), (1280, 720), (1280, 1024), (1920, 1080)]
PICTURE_CELLS = "$*+,"  # the glyph cells that hold coloured pictures, not characters
BUTTONS = {"previous": 30, "pause": 40, "play": 50, "next": 60}


def raw(name):
    with open(os.path.join(SOURCE, "assets", name), "rb") as f:
        return f.read()


def pixels(name):
    return np.frombuffer(raw(name + ".ppm")[15:], dtype=np.uint8).reshape(256, 256, 3).astype(np.int32)


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
    raise AssertionError("no panel piece under the button at %d%% on %dx%d" % (lowest, W, H))


class Pictures(unittest.TestCase):
    def test_every_picture_is_a_256_square_p6_in_one_of_the_two_header_forms(self):
        for name in NAMES:
            data = raw(name + ".ppm")
            self.assertEqual(len(data), 15 + 256 * 256 * 3, name)
            self.assertIn(data[:15], HEADERS, name)
        self.assertEqual({raw(name + ".ppm")[:15] for name in NAMES}, set(HEADERS))
        info = raw("font32.ppm.info")
        self.assertTrue(0 < len(info) <= 2048)
        info.decode("ascii")

    def test_glyph_cells_have_black_borders_and_grey_characters_or_coloured_pictures(self):
        # one black texel on every side of every cell: filtering at a cell's
        # edge must not pick up the neighbouring cell
        sheet = pixels("font32")
        self.assertEqual(int(sheet[:32, :32].max()), 0)
        for g in range(1, 64):
            row, col = divmod(g, 8)
            c, ch = sheet[32 * row:32 * row + 32, 32 * col:32 * col + 32], chr(32 + g)
            self.assertEqual(int(np.concatenate([c[0], c[31], c[:, 0], c[:, 31]]).max()), 0, ch)
            self.assertGreaterEqual((c.mean(axis=2) >= 128).sum(), 6, "%r is nearly empty" % ch)
            lit = c.max(axis=2) > 24
            coloured = lit & ((c[..., 0] != c[..., 1]) | (c[..., 1] != c[..., 2]))
            if ch in PICTURE_CELLS:
                self.assertGreater(lit.sum(), 40, ch)
                self.assertGreater(coloured.sum(), 0.5 * lit.sum(), "%r would turn white" % ch)
            else:
                self.assertEqual(int(coloured.sum()), 0, "%r has coloured texels" % ch)

    def test_buttons_fill_their_click_rectangles_and_every_symbol_texel_is_clickable(self):
        # The glass caps (blue) with their white symbols cover each clickable
        # rectangle, and what looks like a button is one, at any screen size.
        tex = pixels("control2_texture2")
        symbol = tex.min(axis=2) >= 225
        console = np.zeros((256, 256), dtype=bool)
        console[0:71, :] = True
        console[71:142, 0:127] = True
        outside = symbol & console
        self.assertGreater(int(outside.sum()), 200)
        for W, H in SCREENS:
            inside = np.zeros_like(outside)
            for button, lowest in BUTTONS.items():
                piece, (u0, v0, u1, v1) = button_texels(W, H, lowest)
                self.assertEqual(piece, "right of middle" if button == "next" else "middle")
                a = tex[v0:v1, u0:u1]
                face = (a[..., 2] > a[..., 0] + 40) | (a.min(axis=2) >= 160)
                self.assertGreater(face.mean(), 0.9, (W, H, button))
                self.assertGreaterEqual(int(symbol[v0:v1, u0:u1].sum()), 40, (W, H, button))
                inside[v0:v1, u0:u1] = True
            stray = outside & ~inside
            self.assertEqual(int(stray.sum()), 0, "symbol texels outside the buttons on %dx%d: %s"
                             % (W, H, np.argwhere(stray)[:5].tolist()))

    def test_tiles_without_black_logos_on_black_cow_on_white(self):
        # black is keyed out: a black texel in a tile would show what the disk
        # screen never erases
        for name in ["bkg%d%d" % (b, n) for b in (0, 1) for n in range(6)]:
            p = pixels(name)
            self.assertEqual(int((p.sum(axis=2) == 0).sum()), 0, "%s has black texels" % name)
            self.assertGreater(float(p.std()), 15.0, name)
        for name in ("orbel", "jub", "velmologo"):
            p = pixels(name)
            self.assertEqual(int(border(p, 4).max()), 0, name)
            self.assertTrue(0.1 < (p.sum(axis=2) > 0).mean() < 0.9, name)
        p = pixels("cow_big")
        self.assertGreater((border(p, 8).min(axis=1) >= 250).mean(), 0.9)
        self.assertGreater((p.mean(axis=2) < 80).mean(), 0.02)


class Regenerate(unittest.TestCase):
    def test_generator_reproduces_assets(self):
        with tempfile.TemporaryDirectory(prefix="pictures-regen-") as out:
            gen = os.path.join(SOURCE, "tools", "pictures", "make_pictures.py")
            subprocess.run([sys.executable, gen, out], check=True, env=dict(os.environ, PYTHONDONTWRITEBYTECODE="1"))
            self.assertEqual(sorted(os.listdir(out)), FILES)
            for name in FILES:
                self.assertTrue(filecmp.cmp(os.path.join(out, name), os.path.join(SOURCE, "assets", name),
                                            shallow=False), "%s differs from the committed picture" % name)


if __name__ == "__main__":
    SOURCE = os.path.abspath(sys.argv.pop(1))
    unittest.main()
