"""The loading overlay: water01 covers the left square of the screen (H x H)
and the first 64 columns of water02 are stretched over the remaining third
(H/3 x H, four times wider per texel). Both are cut from one night scene at
sea, 1792 x 768 units, of which the screen shows the left 1024:

  water01  texel (i, j) -> scene x = 3 i,       y = 3 j   (3 x 3 units)
  water02  texel (i, j) -> scene x = 768 + 4 i, y = 3 j   (4 x 3 units)

so water02's column 0 continues water01's column 255, and the rest of
water02 is the scene further right: a strip with the starry band of the
Milky Way running across it. A full moon over the sea, a lighthouse on a
rock at the right, the text line at the bottom lies on dark water."""

import numpy as np
from PIL import ImageDraw

import common

H = 768.0
HORIZON = 452.0
MOON = (330.0, 200.0, 62.0)
LIGHT = (905.0, 372.0)        # lighthouse lantern


def _scene(x, y, pil_masks):
    sky = common.ramp([(0, (4, 8, 34)), (200, (10, 22, 64)), (380, (24, 52, 100)),
                       (HORIZON, (46, 86, 130))], y)
    # the Milky Way: a tilted band of glow, dust and dense stars
    band_d = (y - (330.0 - 0.32 * x + 0.00012 * x * x)) / 70.0
    band = np.exp(-band_d ** 2)
    neb = common.fbm(x * 0.01, y * 0.01, 201, octaves=5)
    dust = common.fbm(x * 0.02 + 5.0, y * 0.02, 202, octaves=5)
    glow = band * common.smoothstep(0.3, 0.8, neb)
    sky = sky + np.array([90.0, 70.0, 150.0]) * (glow * 0.75)[..., None]
    sky = sky + np.array([60.0, 110.0, 150.0]) * (band * 0.25)[..., None]
    sky = sky * (1.0 - 0.45 * band * common.smoothstep(0.55, 0.75, dust))[..., None]
    # stars: a hashed lattice, denser inside the band
    cell = 6.0
    ix = np.floor(x / cell)
    iy = np.floor(y / cell)
    h1 = common._hash(ix.astype(np.int64), iy.astype(np.int64), 211)
    h2 = common._hash(ix.astype(np.int64), iy.astype(np.int64), 212)
    h3 = common._hash(ix.astype(np.int64), iy.astype(np.int64), 213)
    cx = (ix + 0.2 + 0.6 * h2) * cell
    cy = (iy + 0.2 + 0.6 * h3) * cell
    d2 = (x - cx) ** 2 + (y - cy) ** 2
    chance = 0.08 + 0.5 * band
    bright = np.where(h1 < chance, (h1 / np.maximum(chance, 1e-6)) ** 3, 0.0)
    star = bright * np.exp(-d2 / (1.2 + 2.5 * bright))
    star = star * common.smoothstep(HORIZON, HORIZON - 80.0, y)
    tint = np.stack([np.full_like(h2, 225.0) + 30 * h2, np.full_like(h2, 235.0), np.full_like(h2, 255.0) - 40 * h3], -1)
    sky = sky + tint * np.clip(star * 1.6, 0, 1)[..., None]

    # the moon with its halo
    mx, my, mr = MOON
    dm = np.hypot(x - mx, y - my)
    halo = np.exp(-(dm / 150.0) ** 2) * 0.35 + np.exp(-dm / 60.0) * 0.25
    sky = sky + np.array([150.0, 170.0, 200.0]) * halo[..., None]
    disc = common.smoothstep(mr + 1.5, mr - 1.5, dm)
    maria = common.fbm(x * 0.02 + 3.0, y * 0.02, 221, octaves=4)
    limb = np.sqrt(np.clip(1 - (dm / mr) ** 2, 0, 1))
    moon = np.array([236.0, 238.0, 226.0]) * (0.78 + 0.22 * limb)[..., None] * \
        (1.0 - 0.16 * common.smoothstep(0.45, 0.7, maria))[..., None]
    sky = common.blend(sky, moon, disc)

    # the sea: ripples grow finer towards the horizon
    below = np.maximum(y - HORIZON, 0.0)
    persp = 1.0 / (below + 12.0)
    wave = common.fbm(x * persp * 2.2, below * 0.11 + 0.0 * x, 231, octaves=4)
    wave2 = common.fbm(x * persp * 6.0, below * 0.35, 232, octaves=3)
    sea = common.ramp([(HORIZON, (30, 62, 104)), (HORIZON + 80, (14, 34, 70)),
                       (H, (4, 12, 32))], y)
    sea = sea * (0.75 + 0.5 * wave[..., None])
    # the moon's path: broken streaks of light widening towards the viewer
    path_w = 30.0 + below * 0.55
    path = np.exp(-((x - mx) / path_w) ** 2)
    sparkle = common.smoothstep(0.55, 0.72, wave2 * 0.6 + wave * 0.4)
    sea = sea + np.array([200.0, 215.0, 230.0]) * (path * sparkle * 0.9)[..., None]
    sea = sea + np.array([70.0, 90.0, 120.0]) * (path * 0.25 * common.smoothstep(HORIZON + 250, HORIZON, y))[..., None]
    # the lighthouse's reflection
    lpath = np.exp(-((x - LIGHT[0]) / (4.0 + below * 0.12)) ** 2) * np.exp(-below / 180.0)
    sea = sea + np.array([255.0, 200.0, 110.0]) * (lpath * sparkle * 0.8)[..., None]
    img = np.where((y >= HORIZON)[..., None], sea, sky)

    # the lighthouse's beam sweeping to the left, over sky and far water
    bx, by = LIGHT
    ang = np.arctan2(y - by, x - bx)
    beam_dir = np.pi + 0.06
    dang = np.angle(np.exp(1j * (ang - beam_dir)))
    dist = np.hypot(x - bx, y - by)
    beam = np.exp(-(dang / 0.05) ** 2) * np.exp(-dist / 650.0) * (x < bx)
    img = img + np.array([255.0, 225.0, 150.0]) * (beam * 0.45)[..., None]
    lamp = np.exp(-(dist / 5.0) ** 2) + 0.6 * np.exp(-dist / 22.0)
    img = img + np.array([255.0, 220.0, 140.0]) * np.clip(lamp, 0, 1)[..., None]

    # islands on the horizon, the rock and the lighthouse
    land, rock, tower, stripes, windows = pil_masks
    img = common.blend(img, np.array([10.0, 18.0, 36.0]), land)
    img = common.blend(img, common.ramp([(340, (40, 46, 66)), (470, (12, 16, 28))], y), rock)
    tower_col = common.ramp([(bx - 9, (90, 96, 120)), (bx + 9, (214, 218, 230))], x)
    tower_col = common.blend(tower_col, np.array([150.0, 40.0, 50.0]), stripes)
    img = common.blend(img, tower_col, tower)
    img = common.blend(img, np.array([255.0, 214.0, 130.0]), windows)
    lamp_core = np.exp(-(dist / 4.0) ** 2)
    img = img + np.array([255.0, 240.0, 200.0]) * lamp_core[..., None]
    return np.clip(img, 0, 255)


def _masks(sx, sy, ox):
    """Silhouettes drawn with PIL on the sample grid: sx, sy are the scene
    units per sample, ox the scene x of sample column 0."""
    w = int(round(1024 * 4 / sx)) if ox > 0 else int(round(H / sx))
    hgt = int(round(H / sy))

    def P(X, Y):
        return ((X - ox) / sx, Y / sy)

    def mask(fn):
        im = common.Image.new("L", (w, hgt), 0)
        fn(ImageDraw.Draw(im))
        return np.asarray(im, dtype=np.float64) / 255.0

    xs = np.arange(0.0, 1800.0, 4.0)
    isl = common.noise1d(xs / 60.0, 241, octaves=4)
    top = HORIZON - np.clip(isl - 0.5, 0, 1) * 60.0 * np.exp(-((xs - 560.0) / 160.0) ** 2) \
        - np.clip(isl - 0.45, 0, 1) * 40.0 * np.exp(-((xs - 80.0) / 120.0) ** 2) - 1.0

    def land(d):
        pts = [P(X, Y) for X, Y in zip(xs, top)] + [P(xs[-1], HORIZON + 1.5), P(xs[0], HORIZON + 1.5)]
        d.polygon(pts, fill=255)

    def rock(d):
        d.polygon([P(830, HORIZON + 8), P(850, 430), P(872, 418), P(890, 412), P(930, 414),
                   P(955, 426), P(985, 440), P(1010, HORIZON + 10)], fill=255)

    def tower(d):
        d.polygon([P(893, 414), P(898, 380), P(912, 380), P(917, 414)], fill=255)
        d.rectangle([P(894, 376), P(916, 381)], fill=255)
        d.polygon([P(896, 364), P(905, 354), P(914, 364)], fill=255)

    def stripes(d):
        for y0 in (386.0, 400.0):
            d.polygon([P(890, y0), P(920, y0), P(920, y0 + 6), P(890, y0 + 6)], fill=255)

    def windows(d):
        d.rectangle([P(898, 366), P(912, 375)], fill=255)

    return [mask(f) for f in (land, rock, tower, stripes, windows)]


def _render(ox, units_x, cols, sub_x, sub_y):
    """Render 256 rows x cols texels whose column i covers scene x from
    ox + units_x * i, each texel averaged from sub_x x sub_y samples."""
    sx = units_x / sub_x
    sy = 3.0 / sub_y
    xs = ox + (np.arange(cols * sub_x) + 0.5) * sx
    ys = (np.arange(256 * sub_y) + 0.5) * sy
    x, y = np.meshgrid(xs, ys)
    masks = _masks(sx, sy, ox)
    masks = [m[: y.shape[0], : x.shape[1]] for m in masks]
    masks = [np.pad(m, ((0, y.shape[0] - m.shape[0]), (0, x.shape[1] - m.shape[1]))) for m in masks]
    img = _scene(x, y, masks)
    img = img.reshape(256, sub_y, cols, sub_x, 3).mean(axis=(1, 3))
    return img


def make():
    w1 = _render(0.0, 3.0, 256, 3, 3)
    w2 = _render(H, 4.0, 256, 4, 3)
    return {"water01": common.to_bytes(w1), "water02": common.to_bytes(w2)}
