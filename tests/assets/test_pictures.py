#!/usr/bin/python3
"""Checks the pictures in assets/ against what the program does with them:
the file format the loader reads, the glyph sheet's cells, the control
panel's buttons under the clickable rectangles, the background tiles that
are never pure black (the disk screen is never erased), the logos keyed on
black and the cow on white. Geometry is computed here from the screen formulas, independently
of the generator. (That the generator makes exactly these files is
test_regenerate.py's business.)"""

import math
import os
import sys
import unittest

import numpy as np

ASSETS = None
NAMES = ["water01", "font32", "orbel", "water02", "cow_big", "control2_texture2"] + \
    ["bkg0%d" % i for i in range(6)] + ["bkg1%d" % i for i in range(6)] + ["jub", "velmologo"]
HEADERS = (b"P6\n256 256\n255\n", b"P6 256 256 255\n")
PPM_SIZE = 15 + 256 * 256 * 3
SCREENS = [(640, 480), (800, 600), (1024, 768), (1280, 720), (1280, 1024), (1920, 1080)]


def raw(name):
    with open(os.path.join(ASSETS, name + ".ppm"), "rb") as f:
        return f.read()


def pixels(name):
    data = raw(name)
    return np.frombuffer(data[15:], dtype=np.uint8).reshape(256, 256, 3).astype(np.int32)


class FileFormat(unittest.TestCase):
    def test_every_picture_is_a_256_square_p6_in_one_of_the_two_header_forms(self):
        for name in NAMES:
            data = raw(name)
            self.assertEqual(len(data), PPM_SIZE, name)
            self.assertIn(data[:15], HEADERS, name)
        self.assertEqual({raw(name)[:15] for name in NAMES}, set(HEADERS))
        with open(os.path.join(ASSETS, "font32.ppm.info"), "rb") as f:
            info = f.read()
        self.assertTrue(0 < len(info) <= 2048)
        info.decode("ascii")


# --- glyph sheet ------------------------------------------------------------

PICTURE_CELLS = {"$": 4, "*": 10, "+": 11, ",": 12}


def cell(sheet, g):
    row, col = divmod(g, 8)
    return sheet[32 * row:32 * row + 32, 32 * col:32 * col + 32]


class GlyphSheet(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.sheet = pixels("font32")

    def test_cells_have_black_borders_and_content_grey_for_characters_coloured_for_pictures(self):
        # one black texel on every side of every cell: filtering at a cell's
        # edge must not pick up the neighbouring cell
        self.assertEqual(int(cell(self.sheet, 0).max()), 0)
        for g in range(1, 64):
            c, ch = cell(self.sheet, g), chr(32 + g)
            self.assertEqual(int(np.concatenate([c[0], c[31], c[:, 0], c[:, 31]]).max()), 0, ch)
            self.assertGreaterEqual((c.mean(axis=2) >= 128).sum(), 6, "%r is nearly empty" % ch)
            lit = c.max(axis=2) > 24
            coloured = lit & ((c[..., 0] != c[..., 1]) | (c[..., 1] != c[..., 2]))
            if ch in PICTURE_CELLS:
                self.assertGreater(lit.sum(), 40, ch)
                self.assertGreater(coloured.sum(), 0.5 * lit.sum(), "%r would turn white" % ch)
            else:
                self.assertEqual(int(coloured.sum()), 0, "%r has coloured texels" % ch)

# --- control panel ------------------------------------------------------------

def panel_pieces(W, H):
    """Screen rectangle and texel rectangle of each of the four panel quads."""
    top, bottom = H / 20 - H / 10 / 2, H / 20 + H / 10 / 2
    pieces = {}
    for name, cx, width, tex in (
            ("middle", W // 2 + W / -12.0, W // 3, (0, 0, 256, 71)),
            ("right of middle", W // 2 + W / 6.0 - 1, W // 6 + 2, (0, 71, 127, 142)),
            ("left end", W * 0.125, W // 4, (0, 142, 256, 212)),
            ("right end", W - W * 0.125, W // 4, (128, 71, 256, 142))):
        pieces[name] = ((cx - width / 2, top, cx + width / 2, bottom), tex)
    return pieces


BUTTONS = {"previous": 30, "pause": 40, "play": 50, "next": 60}


def button_texels(W, H, lowest):
    """Texel rectangle (u0, v0, u1, v1), end exclusive, lying under the
    pixels whose whole percentages are lowest..lowest+6 across and 2..6 down."""
    x0 = math.ceil(lowest * W / 100)
    x1 = math.ceil((lowest + 7) * W / 100) - 1
    y0 = math.ceil(2 * H / 100)
    y1 = math.ceil(7 * H / 100) - 1
    for name, ((sx0, sy0, sx1, sy1), (u0, v0, u1, v1)) in panel_pieces(W, H).items():
        if sx0 <= x0 + 0.5 and x1 + 0.5 < sx1:
            def u(x):
                return u0 + (x - sx0) / (sx1 - sx0) * (u1 - u0)

            def v(y):
                return v0 + (y - sy0) / (sy1 - sy0) * (v1 - v0)
            return name, (int(u(x0 + 0.5)), int(v(y0 + 0.5)), int(u(x1 + 0.5)) + 1, int(v(y1 + 0.5)) + 1)
    raise AssertionError("no panel piece under the button at %d%% on %dx%d" % (lowest, W, H))


class ControlPanel(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tex = pixels("control2_texture2")
        # the white of the button symbols
        cls.symbol = cls.tex.min(axis=2) >= 225

    def test_each_button_face_with_its_symbol_fills_its_click_rectangle(self):
        # the glass caps (blue) with their white symbols cover each clickable
        # rectangle, so the button is as large as what reacts to the mouse
        for W, H in SCREENS:
            for button, lowest in BUTTONS.items():
                piece, (u0, v0, u1, v1) = button_texels(W, H, lowest)
                self.assertEqual(piece, "right of middle" if button == "next" else "middle")
                a = self.tex[v0:v1, u0:u1]
                face = (a[..., 2] > a[..., 0] + 40) | (a.min(axis=2) >= 160)
                self.assertGreater(face.mean(), 0.9, (W, H, button))
                self.assertGreaterEqual(int(self.symbol[v0:v1, u0:u1].sum()), 40, (W, H, button))

    def test_every_symbol_texel_is_clickable_on_every_screen(self):
        # what looks like a button is a button: white symbol texels on the
        # two middle pieces lie inside the click rectangles at any size
        console = np.zeros((256, 256), dtype=bool)
        console[0:71, :] = True
        console[71:142, 0:127] = True
        outside = self.symbol & console
        self.assertGreater(int(outside.sum()), 200)
        for W, H in SCREENS:
            inside = np.zeros_like(outside)
            for lowest in BUTTONS.values():
                _, (u0, v0, u1, v1) = button_texels(W, H, lowest)
                inside[v0:v1, u0:u1] = True
            stray = outside & ~inside
            self.assertEqual(int(stray.sum()), 0, "symbol texels outside the buttons on %dx%d: %s"
                             % (W, H, np.argwhere(stray)[:5].tolist()))

# --- backgrounds and overlay --------------------------------------------------

class Backgrounds(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.bands = [[pixels("bkg%d%d" % (b, n)) for n in range(6)] for b in (0, 1)]

    def test_tiles_are_pictures_without_a_black_texel(self):
        # black is keyed out: a black texel would show what the disk screen
        # never erases
        for b in (0, 1):
            for n, p in enumerate(self.bands[b]):
                self.assertEqual(int((p.sum(axis=2) == 0).sum()), 0, "bkg%d%d has black texels" % (b, n))
                self.assertGreater(float(p.std()), 15.0, "bkg%d%d" % (b, n))


class Logos(unittest.TestCase):
    def test_logos_stand_on_black(self):
        for name in ("orbel", "jub", "velmologo"):
            with self.subTest(name=name):
                p = pixels(name)
                ring = np.concatenate([p[:4].reshape(-1, 3), p[-4:].reshape(-1, 3),
                                       p[:, :4].reshape(-1, 3), p[:, -4:].reshape(-1, 3)])
                self.assertEqual(int(ring.max()), 0)
                shown = (p.sum(axis=2) > 0).mean()
                self.assertTrue(0.1 < shown < 0.9, shown)

    def test_cow_on_white(self):
        p = pixels("cow_big")
        ring = np.concatenate([p[:8].reshape(-1, 3), p[-8:].reshape(-1, 3),
                               p[:, :8].reshape(-1, 3), p[:, -8:].reshape(-1, 3)])
        self.assertGreater((ring.min(axis=1) >= 250).mean(), 0.9)
        self.assertGreater((p.mean(axis=2) < 80).mean(), 0.02)


if __name__ == "__main__":
    ASSETS = os.path.abspath(sys.argv.pop(1))
    unittest.main()
