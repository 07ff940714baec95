"""The twelve background tiles: one evening panorama 1536 x 512 texels, cut
into 6 x 2 tiles of 256 x 256. The disk screen draws the upper row (bkg00 to
bkg05) directly above the lower row (bkg10 to bkg15) and scrolls both by the
same amount, so tile n of the lower band always sits under tile n of the
upper band: one picture, cut into twelve, joins at every edge.

Upper band: evening sky with stars, clouds lit by a low sun, snow-capped
mountains. Lower band: a mountain lake mirroring them, a village of lit
windows on the far shore, forested hills with a little town in front.

The pictures are keyed black-transparent and the disk screen never erases,
so no pixel is pure black."""

import numpy as np
from PIL import ImageDraw

import common

PW, PH = 1536, 512
S = 2                       # computed at twice the size, then averaged
HORIZON = 300.0             # lake surface
SUN = (1010.0, 248.0)


def _grid():
    x = (np.arange(PW * S) + 0.5) / S
    y = (np.arange(PH * S) + 0.5) / S
    return np.meshgrid(x, y)


def _sky(x, y):
    sky = common.ramp([(0, (14, 12, 46)), (60, (34, 22, 84)), (130, (88, 40, 118)),
                       (190, (178, 70, 112)), (240, (240, 124, 84)), (285, (255, 184, 112)),
                       (300, (255, 208, 146))], y)
    d = np.hypot((x - SUN[0]) / 1.6, y - SUN[1])
    sky = sky + np.array([255.0, 150.0, 70.0]) * (0.55 * np.exp(-d / 70.0))[..., None]
    sky = sky + np.array([255.0, 200.0, 140.0]) * (0.6 * np.exp(-(d / 30.0) ** 2))[..., None]
    # stars, fading out towards the glow of the horizon
    n = 260
    sx = common.hash_points(n, 31) * PW
    sy = common.hash_points(n, 32) ** 1.6 * 150.0
    sb = 0.35 + 0.65 * common.hash_points(n, 33) ** 2
    stars = np.zeros_like(x)
    for i in range(n):
        x0, y0 = int(sx[i] * S), int(sy[i] * S)
        ys, xs = slice(max(y0 - 4, 0), y0 + 5), slice(max(x0 - 4, 0), x0 + 5)
        dd = (x[ys, xs] - sx[i]) ** 2 + (y[ys, xs] - sy[i]) ** 2
        stars[ys, xs] += sb[i] * np.exp(-dd / 0.35)
    fade = common.smoothstep(170.0, 20.0, y)
    sky = sky + np.array([255.0, 245.0, 230.0]) * np.clip(stars * fade, 0, 1)[..., None]
    # the sun's disc
    ds = np.hypot(x - SUN[0], y - SUN[1])
    sun = common.smoothstep(17.0, 15.5, ds)
    sky = common.blend(sky, np.array([255.0, 244.0, 200.0]), sun)
    return sky


def _clouds(img, x, y):
    n = common.fbm(x * 0.0045, y * 0.016, 51, octaves=6)
    warp = common.fbm(x * 0.002, y * 0.01, 52, octaves=3)
    n = n + 0.25 * (warp - 0.5)
    band = np.exp(-((y - 115.0) / 65.0) ** 2) + 0.8 * np.exp(-((y - 200.0) / 24.0) ** 2)
    dens = common.smoothstep(0.47, 0.74, n * (0.55 + 0.45 * band)) * band
    dens = np.clip(dens, 0, 1)
    # underside lit: density just below less than here -> lit edge
    below = np.roll(dens, -6 * S, axis=0)
    lit = np.clip(dens - below, 0, 1)
    base = common.ramp([(40, (70, 46, 108)), (120, (128, 64, 118)), (200, (196, 92, 104)),
                        (260, (232, 132, 96))], y)
    d = np.hypot((x - SUN[0]) / 2.5, y - SUN[1])
    near_sun = np.exp(-d / 120.0)
    col = base + np.array([255.0, 170.0, 110.0]) * (lit * 1.6 + near_sun * 0.6)[..., None]
    col = col * (0.85 + 0.3 * n[..., None])
    return common.blend(img, np.clip(col, 0, 255), dens * 0.92)


def _ridge(xs, seed, base, height, scale, octaves=6, sun_dip=0.0):
    n = common.noise1d(xs / scale, seed, octaves=octaves, gain=0.52)
    n = np.clip((n - 0.18) / 0.64, 0, 1)
    h = height * n ** 1.25
    h = h * (1.0 - sun_dip * np.exp(-((xs - SUN[0]) / 170.0) ** 2))
    return base - h


def _mountains(img, x, y, horizon_col):
    xs = x[0]
    # far range with snow
    far = _ridge(xs, 61, 272.0, 140.0, 190.0, sun_dip=0.55)
    smooth = common.blur(far[None, :].repeat(3, 0), 6.0 * S)[1]
    slope = np.gradient(smooth) * S
    face = np.sign(SUN[0] - xs)
    light = np.clip(0.5 + np.tanh(-slope * 1.5 * face) * 0.5, 0, 1)[None, :]
    below = y - far[None, :]
    body = common.smoothstep(-0.6, 0.6, below)
    # ridges and gullies: the x-gradient of a 2D ridged noise field
    t = 1.0 - np.abs(2.0 * common.fbm(x * 0.022, y * 0.03 - far[None, :] * 0.01, 62, octaves=5) - 1.0)
    gx = (np.roll(t, -2, axis=1) - np.roll(t, 2, axis=1)) * face[None, :]
    shade = np.clip(light * 0.75 + gx * 3.0 + (t - 0.5) * 0.3, 0, 1.2)
    depth = np.clip(below / 110.0, 0, 1)
    dark = np.array([56.0, 38.0, 90.0])
    lit = np.array([214.0, 128.0, 146.0])
    col = dark + (lit - dark) * shade[..., None]
    snowline = 14.0 + 22.0 * common.fbm(x * 0.03, y * 0.05, 63, octaves=3) * common.smoothstep(236.0, 170.0, far[None, :])
    snow = common.smoothstep(2.0, -2.0, below - snowline) * common.smoothstep(236.0, 205.0, far[None, :])
    snowcol = np.array([128.0, 112.0, 180.0]) + np.array([127.0, 105.0, 60.0]) * np.clip(shade * 1.1, 0, 1)[..., None]
    col = common.blend(col, snowcol, snow * np.clip(0.55 + t * 0.6, 0, 1))
    haze = 0.08 + 0.5 * depth ** 1.5
    col = col + (horizon_col - col) * haze[..., None]
    img = common.blend(img, col, body)

    # nearer, darker foothills with a forest texture
    near = _ridge(xs + 3000.0, 71, 296.0, 58.0, 95.0)
    below = y - near[None, :]
    body = common.smoothstep(-0.6, 0.6, below)
    tex = common.fbm(x * 0.12, y * 0.12, 72, octaves=3)
    col = common.ramp([(0, (70, 52, 92)), (30, (48, 40, 74)), (60, (36, 34, 62))], below)
    col = col * (0.8 + 0.4 * tex[..., None])
    rim = np.exp(-below / 2.0) * (below > 0)
    col = col + np.array([230.0, 120.0, 80.0]) * (rim * 0.5)[..., None]
    img = common.blend(img, col, body)
    return img


def _village_mask(x0, x1, ybase, seed, scale, count):
    """Houses with lit windows: (silhouette, windows) coverage masks."""
    house = common.Image.new("L", (PW * S, PH * S), 0)
    win = common.Image.new("L", (PW * S, PH * S), 0)
    dh, dw = ImageDraw.Draw(house), ImageDraw.Draw(win)
    r = common.hash_points(count * 4, seed)
    xpos = x0
    for i in range(count):
        w = scale * (1.6 + 1.4 * r[4 * i])
        h = scale * (1.4 + 1.6 * r[4 * i + 1])
        yb = ybase(xpos + w / 2)
        roof = scale * (0.7 + 0.5 * r[4 * i + 2])
        X0, X1 = xpos * S, (xpos + w) * S
        Y0, Y1 = (yb - h) * S, (yb + 2) * S
        dh.rectangle([X0, Y0, X1, Y1], fill=255)
        dh.polygon([(X0 - scale * 0.3 * S, Y0), ((X0 + X1) / 2, Y0 - roof * S), (X1 + scale * 0.3 * S, Y0)], fill=255)
        if r[4 * i + 3] > 0.86:   # a church tower
            tx = (X0 + X1) / 2
            dh.rectangle([tx - 0.35 * scale * S, Y0 - 2.4 * scale * S, tx + 0.35 * scale * S, Y0], fill=255)
            dh.polygon([(tx - 0.5 * scale * S, Y0 - 2.4 * scale * S), (tx, Y0 - 4.0 * scale * S),
                        (tx + 0.5 * scale * S, Y0 - 2.4 * scale * S)], fill=255)
        # windows: a grid, some lit
        cols = max(1, int(w / (scale * 0.8)))
        rows = max(1, int(h / (scale * 0.9)))
        for cx in range(cols):
            for cy in range(rows):
                k = common.hash_points(1, seed * 977 + i * 131 + cx * 17 + cy)[0]
                if k < 0.55:
                    wx = xpos + (cx + 0.5) * w / cols
                    wy = yb - h + (cy + 0.45) * h / rows
                    q = scale * 0.22
                    dw.rectangle([(wx - q) * S, (wy - q * 1.3) * S, (wx + q) * S, (wy + q * 1.3) * S], fill=255)
        xpos += w + scale * (0.2 + 2.2 * r[(4 * i + 5) % (4 * count)])
        if xpos > x1:
            break
    return (np.asarray(house, dtype=np.float64) / 255.0, np.asarray(win, dtype=np.float64) / 255.0)


def _trees(xs_range, ybase, seed, hmin, hmax, spacing):
    im = common.Image.new("L", (PW * S, PH * S), 0)
    d = ImageDraw.Draw(im)
    x = xs_range[0]
    i = 0
    while x < xs_range[1]:
        r = common.hash_points(3, seed + i * 7)
        h = hmin + (hmax - hmin) * r[0]
        w = h * (0.32 + 0.1 * r[1])
        yb = ybase(x) + 2.0
        tiers = 4
        for k in range(tiers):
            top = yb - h * (1.0 - k * 0.2) - 0.0
            bot = yb - h * (0.55 - k * 0.16)
            half = w * (0.45 + 0.18 * k)
            d.polygon([((x - half) * S, bot * S), (x * S, top * S), ((x + half) * S, bot * S)], fill=255)
        d.rectangle([(x - w * 0.06) * S, (yb - h * 0.1) * S, (x + w * 0.06) * S, (yb + 3) * S], fill=255)
        x += spacing * (0.5 + r[2])
        i += 1
    return np.asarray(im, dtype=np.float64) / 255.0


def make_panorama():
    x, y = _grid()
    above = _sky(x, y)
    above = _clouds(above, x, y)
    above = _mountains(above, x, y, np.array([196.0, 118.0, 140.0]))

    # the lake mirrors the rows above the shore, rippled and darkened
    img = above.copy()
    rows = np.arange(PH * S)
    lake = rows >= HORIZON * S
    depth = np.maximum(y - HORIZON, 0.0)
    ripple = (common.fbm(x * 0.02, y * 0.45, 81, octaves=3) - 0.5) * (1.0 + depth * 0.06)
    src_y = np.clip(2 * HORIZON - y + ripple * 3.0, 0, HORIZON - 0.5)
    src_x = np.clip(x + ripple * 6.0, 0, PW - 0.5)
    iy = np.clip((src_y * S).astype(int), 0, PH * S - 1)
    ix = np.clip((src_x * S).astype(int), 0, PW * S - 1)
    mirror = above[iy, ix]
    water = mirror * np.array([0.72, 0.74, 0.86]) + np.array([6.0, 10.0, 24.0])
    streaks = common.fbm(x * 0.008, y * 0.9, 82, octaves=3)
    water = water * (0.82 + 0.36 * streaks[..., None])
    glitter_n = common.fbm(x * 0.25, y * 1.1, 83, octaves=2)
    path = np.exp(-((x - SUN[0]) / (14.0 + depth * 0.9)) ** 2)
    glitter = common.smoothstep(0.6, 0.75, glitter_n) * path
    water = water + np.array([255.0, 210.0, 150.0]) * (glitter * 0.9)[..., None]
    img[lake] = water[lake]

    # far shore: a dark strip with a village
    shore_y = HORIZON + 0.5 + 2.5 * common.noise1d(x[0] / 40.0, 91, octaves=3)
    shore = common.smoothstep(-0.6, 0.6, y - (HORIZON - 2.0)) * common.smoothstep(0.6, -0.6, y - shore_y[None, :])
    img = common.blend(img, np.array([40.0, 30.0, 56.0]), shore)
    far_trees = _trees((0, PW), lambda X: HORIZON, 101, 4.0, 9.0, 5.0)
    img = common.blend(img, np.array([38.0, 30.0, 58.0]), far_trees)
    houses, windows = _village_mask(330.0, 760.0, lambda X: HORIZON, 7, 3.0, 60)
    img = common.blend(img, np.array([34.0, 26.0, 50.0]), houses)
    img = common.blend(img, np.array([255.0, 214.0, 120.0]), windows)
    # the lights' reflections: short vertical streaks below the shore
    win_cols = windows.max(axis=0)
    refl = common.blur(np.repeat(win_cols[None, :], 1, axis=0), 1.0)[0]
    rdepth = y - HORIZON - 2.0
    wobble = common.fbm(x * 0.3, y * 0.8, 92, octaves=2)
    glow = refl[None, :] * np.exp(-np.maximum(rdepth, 0) / 14.0) * (rdepth > 0) * common.smoothstep(0.35, 0.6, wobble)
    img = img + np.array([255.0, 190.0, 100.0]) * (glow * 0.8)[..., None]

    # hills in front, with forest and a town; the rim catches the sunset
    xs = x[0]
    hill1 = _ridge(xs + 9000.0, 111, 410.0, 70.0, 160.0, octaves=5)
    hill1 = np.minimum(hill1, 430.0)
    hill1[(xs > 1060) & (xs < 1440)] = np.minimum(hill1[(xs > 1060) & (xs < 1440)], 395.0)
    below = y - hill1[None, :]
    body = common.smoothstep(-0.6, 0.6, below)
    tex = common.fbm(x * 0.06, y * 0.08, 112, octaves=4)
    col = common.ramp([(0, (62, 70, 70)), (20, (34, 52, 54)), (80, (16, 30, 36)), (140, (8, 16, 22))], below)
    col = col * (0.8 + 0.4 * tex[..., None])
    col = col + np.array([240.0, 140.0, 80.0]) * (np.exp(-below / 2.5) * 0.45 * (below > 0))[..., None]
    img = common.blend(img, col, body)

    def hill1_at(X):
        return float(np.interp(X, xs, hill1))
    trees1 = _trees((0, 1050), hill1_at, 121, 14.0, 30.0, 7.0)
    trees1b = _trees((1450, PW), hill1_at, 122, 14.0, 30.0, 7.0)
    t1 = np.clip(trees1 + trees1b, 0, 1)
    img = common.blend(img, np.array([22.0, 38.0, 40.0]), t1)

    houses, windows = _village_mask(1075.0, 1430.0, hill1_at, 13, 7.0, 40)
    wall = common.ramp([(330, (120, 86, 92)), (400, (70, 56, 70))], y)
    img = common.blend(img, wall, houses)
    img = common.blend(img, np.array([255.0, 220.0, 130.0]), windows)
    halo = common.blur(windows, 3.0 * S)
    img = img + np.array([255.0, 170.0, 80.0]) * np.clip(halo * 0.8, 0, 1)[..., None]

    hill2 = _ridge(xs + 20000.0, 131, 470.0, 55.0, 120.0, octaves=5)
    below = y - hill2[None, :]
    body = common.smoothstep(-0.6, 0.6, below)
    tex = common.fbm(x * 0.08, y * 0.1, 132, octaves=4)
    col = common.ramp([(0, (30, 46, 44)), (20, (16, 30, 32)), (60, (8, 16, 20))], below)
    col = col * (0.8 + 0.4 * tex[..., None])
    col = col + np.array([220.0, 120.0, 70.0]) * (np.exp(-below / 2.0) * 0.35 * (below > 0))[..., None]
    img = common.blend(img, col, body)

    def hill2_at(X):
        return float(np.interp(X, xs, hill2))
    trees2 = _trees((0, PW), hill2_at, 141, 26.0, 56.0, 16.0)
    img = common.blend(img, np.array([12.0, 22.0, 26.0]), trees2)

    # fireflies over the near hill
    n = 70
    fx = common.hash_points(n, 151) * PW
    fy = 430.0 + common.hash_points(n, 152) * 70.0
    ff = np.zeros_like(x)
    for i in range(n):
        X0, Y0 = int(fx[i] * S), int(fy[i] * S)
        ys, xsl = slice(max(Y0 - 8, 0), Y0 + 9), slice(max(X0 - 8, 0), X0 + 9)
        dd = (x[ys, xsl] - fx[i]) ** 2 + (y[ys, xsl] - fy[i]) ** 2
        ff[ys, xsl] += np.exp(-dd / 0.6) + 0.25 * np.exp(-dd / 6.0)
    img = img + np.array([200.0, 255.0, 140.0]) * np.clip(ff, 0, 1)[..., None] * 0.8

    pano = common.downsample(np.clip(img, 0, 255), S)
    # the screen is never erased: keep every texel visibly non-black
    return np.maximum(pano, np.array([3.0, 5.0, 8.0]))


def make_tiles(pano=None):
    if pano is None:
        pano = make_panorama()
    px = common.to_bytes(pano)
    tiles = {}
    for band, prefix in ((0, "bkg0"), (1, "bkg1")):
        for n in range(6):
            tiles["%s%d" % (prefix, n)] = np.ascontiguousarray(
                px[band * 256:(band + 1) * 256, n * 256:(n + 1) * 256])
    return tiles
