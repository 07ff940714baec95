#!/usr/bin/python3
"""Composes mock-ups of what the musicdisk shows from the pictures in a
directory, with the program's screen geometry, to check by eye that the
band tiles join, that the control panel's buttons lie under the rectangles
the mouse clicks, and how the overlay and the logos look in place.

    /usr/bin/python3 tools/pictures/mock_screen.py assets OUTDIR [WIDTH HEIGHT]

Writes OUTDIR/disk.png (the disk screen in mid-scroll), disk_buttons.png
(the same with the click rectangles outlined in red), disk_t0.png (the
scroll position of the first frame), loading.png (the overlay), intro.png,
intro_jub.png and intro_orbel.png (the logos over the swirl and the star
streaks), previews/NAME.png of every picture and previews/all.png of all.
Quads are drawn with bilinear filtering and clamped texture coordinates,
alpha from the loader's conversion mode."""

import math
import os
import sys

import numpy as np
from PIL import Image

KEY_BLACK, LUMINANCE, OPAQUE, GREY_TO_WHITE = 0, 1, 2, 3

SLOTS = [("water01", OPAQUE), ("font32", GREY_TO_WHITE), ("orbel", KEY_BLACK),
         ("water02", OPAQUE), ("cow_big", OPAQUE), ("control2_texture2", OPAQUE)] + \
    [("bkg0%d" % i, KEY_BLACK) for i in range(6)] + [("bkg1%d" % i, KEY_BLACK) for i in range(6)] + \
    [("jub", KEY_BLACK), ("velmologo", KEY_BLACK)]


def read_ppm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    assert fields[0] == b"P6"
    w, h = int(fields[1]), int(fields[2])
    pos += 1
    return np.frombuffer(data[pos:pos + w * h * 3], dtype=np.uint8).reshape(h, w, 3)


def convert(rgb, mode):
    """RGBA float 0..1 as the picture loader makes it."""
    rgb = rgb.astype(np.int32)
    mean = rgb.sum(axis=2) // 3
    out = rgb.copy()
    if mode == OPAQUE:
        a = np.full(mean.shape, 255)
    elif mode == LUMINANCE:
        a = mean
    elif mode == GREY_TO_WHITE:
        a = mean
        grey = (rgb[..., 0] == rgb[..., 1]) & (rgb[..., 1] == rgb[..., 2])
        out[grey] = 255
    else:
        a = np.where(rgb.sum(axis=2) == 0, 0, 255)
    return np.concatenate([out, a[..., None]], axis=2).astype(np.float64) / 255.0


class Screen:
    def __init__(self, w, h, textures):
        self.w, self.h = w, h
        self.px = np.zeros((h, w, 3))
        self.tex = textures

    def quad(self, slot, x0, y0, x1, y1, u0, v0, u1, v1, bright=1.0, alpha=1.0):
        """An axis-aligned textured rectangle, as the batch draws it."""
        tex = self.tex[slot]
        xa, xb = max(int(math.floor(x0)), 0), min(int(math.ceil(x1)), self.w)
        ya, yb = max(int(math.floor(y0)), 0), min(int(math.ceil(y1)), self.h)
        if xa >= xb or ya >= yb or x1 <= x0 or y1 <= y0:
            return
        cx = np.arange(xa, xb) + 0.5
        cy = np.arange(ya, yb) + 0.5
        inx = (cx >= x0) & (cx < x1)
        iny = (cy >= y0) & (cy < y1)
        u = u0 + (cx - x0) / (x1 - x0) * (u1 - u0)
        v = v0 + (cy - y0) / (y1 - y0) * (v1 - v0)
        s = self.sample(tex, u, v)
        rgb = s[..., :3] * bright
        a = s[..., 3:] * alpha
        m = (iny[:, None] & inx[None, :])[..., None]
        region = self.px[ya:yb, xa:xb]
        self.px[ya:yb, xa:xb] = np.where(m, region * (1 - a) + rgb * a, region)

    @staticmethod
    def sample(tex, u, v):
        h, w = tex.shape[:2]
        fu = np.clip(u - 0.5, 0, w - 1)
        fv = np.clip(v - 0.5, 0, h - 1)
        iu = np.minimum(np.floor(fu).astype(int), w - 2)
        iv = np.minimum(np.floor(fv).astype(int), h - 2)
        tu = (fu - iu)[None, :, None]
        tv = (fv - iv)[:, None, None]
        a = tex[iv][:, iu]
        b = tex[iv][:, iu + 1]
        c = tex[iv + 1][:, iu]
        d = tex[iv + 1][:, iu + 1]
        return (a * (1 - tu) + b * tu) * (1 - tv) + (c * (1 - tu) + d * tu) * tv

    def centred(self, slot, x, y, w, h, u0, v0, u1, v1, bright=1.0, alpha=1.0):
        self.quad(slot, x - w / 2, y - h / 2, x + w / 2, y + h / 2, u0, v0, u1, v1, bright, alpha)

    def glyph_cell(self, ch):
        c = ord(ch)
        g = c - 64 if ord("a") <= c <= ord("z") else c - 32
        row = g // 8
        return 32 * (g - 8 * row), 32 * row

    def text(self, s, row, centre, alpha):
        size = self.w / 40.0
        off = size * (40 - len(s)) * 0.5 if centre else 0.0
        for i, ch in enumerate(s):
            u, v = self.glyph_cell(ch)
            self.centred(1, off + size * i + self.w // 75, size * row + self.w / 75.0, size, size,
                         u, v, u + 32, v + 32, 1.0, alpha)

    def scroller(self, message, t):
        first = t // 50
        cell = self.w // 20
        for i in range(21):
            ch = message[(first + i) % len(message)]
            if ch == " ":
                continue
            shift = cell * (t % 50) / -50.0
            left = cell * i + shift
            phase = (68 * (first + i + 0.5) - 2 * t) / 100.0
            top = self.h - self.w / 10.0 + self.h * math.sin(phase) / 25.0
            u, v = self.glyph_cell(ch)
            self.quad(1, left, top, left + cell, top + cell, u, v, u + 32, v + 32)

    def png(self):
        return Image.fromarray(np.clip(self.px * 255 + 0.5, 0, 255).astype(np.uint8))


def bands(scr, t):
    W, H = scr.w, scr.h
    tw = W / 3.0
    o = (math.sin(t / 1500.0) * 1.5 + 1.5) * tw
    k = int(o / tw)
    f = o - tw * k
    for i in range(4):
        xl, xr = tw * i - f, tw * (i + 1) - f
        if 6 + k + i <= 11:
            scr.quad(6 + k + i, xl, H / 10, xr, H / 10 + H * 4.5 / 10, 0.1, 0.1, 256, 256)
        if 12 + k + i <= 17:
            scr.quad(12 + k + i, xl, H / 10 + H * 4.5 / 10, xr, H / 10 + H * 9 / 10, 0.1, 0.1, 256, 256)


def panel(scr, t):
    W, H = scr.w, scr.h
    y, h = H / 20, H / 10
    scr.centred(5, W // 2 + W / -12.0, y, W // 3, h, 0, 0, 256, 71)
    scr.centred(5, W // 2 + W / 6.0 - 1, y, W // 6 + 2, h, 0, 71, 127, 142)
    scr.centred(5, W * 0.125, y, W // 4, h, 0, 142, 256, 212, (math.sin(t / 1000.0) + 1) * 0.5)
    scr.centred(5, W - W * 0.125, y, W // 4, h, 128, 71, 256, 142, (math.sin(t / -1000.0) + 1) * 0.5)


def overlay(scr, a):
    W, H = scr.w, scr.h
    scr.centred(0, H / 2, H / 2, H, H, 0, 0, 256, 256, 1.0, a)
    scr.centred(3, W - H / 6, H / 2, H / 3, H, 0, 0, 64, 256, 1.0, a)


SONGS = ["Harbour Lights", "Glass Orbit", "Midnight Ferry", "Copper Rain", "Velvet Engine"]
MESSAGE = " " * 21 + "Greetings from the Velmo crew to every entrant of the Orbel compo!" + " " * 21


def disk_frame(scr, t, mouse=None):
    bands(scr, t)
    scr.scroller(MESSAGE, t)
    panel(scr, t)
    for d, row, a in ((-2, 3, 0.05), (-1, 4, 0.15), (0, 5, 1.0), (1, 6, 0.15), (2, 7, 0.05)):
        scr.text("%d. %s" % (3 + d, SONGS[2 + d]), row, True, a)
    scr.text("PLACE 3", 29, False, 1.0)
    if mouse:
        mx, my = mouse
        for i in range(12):
            age = (i + 1) / 13.0
            sx = mx + (i - 6) * 4 + 3 * math.sin(i * 2.1)
            sy = my + 6 + age * age * 70
            u = 64 + 32 * (i % 3)
            scr.centred(1, sx, sy, age * scr.w / 20, age * scr.h / 15, u, 32, u + 32, 64, 1.0, 1.01 - age)
        scr.centred(1, mx, my, scr.w / 80, scr.h / 60, 128, 32, 160, 64)


def outline_buttons(img, w, h):
    px = np.asarray(img).copy()
    for lo in (30, 40, 50, 60):
        x0 = math.ceil(lo * w / 100)
        x1 = math.ceil((lo + 7) * w / 100) - 1
        y0 = math.ceil(2 * h / 100)
        y1 = math.ceil(7 * h / 100) - 1
        px[y0, x0:x1 + 1] = px[y1, x0:x1 + 1] = (255, 0, 0)
        px[y0:y1 + 1, x0] = px[y0:y1 + 1, x1] = (255, 0, 0)
    return Image.fromarray(px)


def swirl(scr, textures):
    """The cow turned and laid over itself many times, faintly."""
    W, H = scr.w, scr.h
    cow = Image.fromarray(np.clip(textures[4][..., :3] * 255, 0, 255).astype(np.uint8)).resize((W, W), Image.BILINEAR)
    acc = np.zeros((H, W, 3))
    for k in range(300):
        turned = np.asarray(cow.rotate(90 + k * 1.2 * 180 / math.pi * math.pi / 150 * 2, resample=Image.BILINEAR),
                            dtype=np.float64)[(W - H) // 2:(W - H) // 2 + H] / 255.0
        acc = acc * (1 - 0.0078) + turned * 0.0078
    return acc


def intro_frame(scr, background, slot, line, row):
    W, H = scr.w, scr.h
    scr.px = background.copy()
    for i in range(50):
        r = ((i * 7919) % 97) / 97.0 * H / 10
        x = ((i / 50.0) * W + i * 37) % W
        y = 0.9 * H + r
        if 0 < x < W and 0 < y < H:
            scr.centred(1, x, y, W / 10, H / 15, 128, 0, 160, 32, 1.0, 0.03)
    scr.centred(slot, W / 2, H / 2, W // 3, W / 3, 0, 0, 256, 256)
    if line:
        scr.text(line, row, True, 1.0)


def main(argv):
    if len(argv) not in (3, 5):
        sys.stderr.write("usage: mock_screen.py PICTURE_DIR OUTDIR [WIDTH HEIGHT]\n")
        return 2
    src, out = argv[1], argv[2]
    w, h = (int(argv[3]), int(argv[4])) if len(argv) == 5 else (640, 480)
    os.makedirs(os.path.join(out, "previews"), exist_ok=True)
    raw = [read_ppm(os.path.join(src, name + ".ppm")) for name, _ in SLOTS]
    for (name, _), rgb in zip(SLOTS, raw):
        Image.fromarray(rgb).save(os.path.join(out, "previews", name + ".png"))
    textures = [convert(rgb, mode) for rgb, (_, mode) in zip(raw, SLOTS)]

    scr = Screen(w, h, textures)
    disk_frame(scr, 2600, mouse=(int(w * 0.53), int(h * 0.3)))
    img = scr.png()
    img.save(os.path.join(out, "disk.png"))
    outline_buttons(img, w, h).save(os.path.join(out, "disk_buttons.png"))

    scr = Screen(w, h, textures)
    disk_frame(scr, 0)
    scr.png().save(os.path.join(out, "disk_t0.png"))

    scr = Screen(w, h, textures)
    disk_frame(scr, 900)
    overlay(scr, 1.0)
    scr.text("LOADING", 29, True, 1.0)
    scr.png().save(os.path.join(out, "loading.png"))

    scr = Screen(w, h, textures)
    background = swirl(scr, textures)
    for name, slot, line, row in (("intro.png", 19, "feat. orbel", 18), ("intro_jub.png", 18, None, 0),
                                  ("intro_orbel.png", 2, "a msx compo held by", 4)):
        intro_frame(scr, background, slot, line, row)
        scr.png().save(os.path.join(out, name))

    sheet = Image.new("RGB", (6 * 260, 4 * 260), (40, 40, 40))
    for i, (name, _) in enumerate(SLOTS):
        sheet.paste(Image.fromarray(raw[i]), ((i % 6) * 260 + 2, (i // 6) * 260 + 2))
    sheet.save(os.path.join(out, "previews", "all.png"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
