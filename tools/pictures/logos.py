"""The three logos the intro shows in the middle of the screen, each on
black (keyed transparent): the competition's mascot ("orbel"), the makers'
group ("jub", lettered TORVANE) and the production ("velmologo", VELMO).
Drawn four times finer and averaged. Each logo lies on a dark backing that
follows its outline; inside it no texel is pure black, so only the
background outside turns transparent."""

import numpy as np
from PIL import Image, ImageDraw

import common

N = 1024
FLOOR = np.array([6.0, 6.0, 10.0])     # darkest colour inside a logo
BACKING = np.array([10.0, 12.0, 28.0])  # the dark plate behind a logo


def _grid():
    c = np.arange(N) + 0.5
    return np.meshgrid(c, c)


def _dilate(mask, px):
    """The mask grown by about px pixels, with soft edges: a blur, then a
    steep threshold (much faster than a rank filter of that size)."""
    return np.clip(common.blur(mask, px * 0.5) * 20.0, 0, 1)


def _text(text, fontfile, size, centre, stroke=0):
    return common.text_mask((N, N), text, common.font(fontfile, size), centre, stroke)


def _lettering(img, x, y, mask, stops, outline_px, outline_col, glow_col=None, glow_r=0.0):
    """Fill mask with a vertical gradient, with a dark outline and a glow."""
    if glow_col is not None:
        g = common.blur(_dilate(mask, outline_px), glow_r)
        img = img + np.asarray(glow_col, dtype=np.float64) * np.clip(g * 1.4, 0, 1)[..., None]
    ring = _dilate(mask, outline_px)
    img = common.blend(img, np.asarray(outline_col, dtype=np.float64), ring)
    img = common.blend(img, common.ramp(stops, y), mask)
    return img


def _finish(img, content):
    """Lay the logo on a dark backing that follows its outline at a short
    distance, cut everything outside the backing to black (transparent) and
    average down. The backing gives the logo a clean dark edge over any
    picture behind it, instead of a glow that fades into a ragged dark halo;
    inside it no texel is pure black."""
    backing = _dilate(content, 26)
    base = np.maximum(img, BACKING)
    img = base * backing[..., None]
    small = common.downsample(np.clip(img, 0, 255), N // 256)
    cov = common.downsample(backing, N // 256)
    small = np.where(cov[..., None] > 0.5, np.maximum(small, FLOOR), small)
    return common.to_bytes(small)


def make_orbel():
    """The competition's mascot: a glossy orb with headphones, singing a
    note, above the lettering ORBEL."""
    x, y = _grid()
    img = np.zeros((N, N, 3))
    content = np.zeros((N, N))
    cx, cy, r = 512.0, 380.0, 250.0
    # headphone band behind the orb
    band = common.shape_mask((N, N), lambda d: d.arc([cx - r - 40, cy - r - 60, cx + r + 40, cy + r], 190, 350, fill=255, width=46))
    img = common.blend(img, common.ramp([(100, (120, 130, 150)), (300, (60, 64, 80))], y), band)
    content = np.maximum(content, band)
    # the orb
    dx, dy = (x - cx) / r, (y - cy) / r
    rr = dx * dx + dy * dy
    orb = common.smoothstep(1.01, 0.99, np.sqrt(rr))
    z = np.sqrt(np.clip(1 - rr, 0, 1))
    light = np.clip(-0.5 * dx - 0.6 * dy + 0.62 * z, 0, 1)
    body = common.ramp([(0, (20, 70, 120)), (0.5, (30, 150, 200)), (1, (120, 230, 250))], light)
    body = body + np.array([255.0, 120.0, 200.0]) * (np.clip(1 - z, 0, 1) ** 3 * 0.5)[..., None]
    spec = np.exp(-((dx + 0.42) ** 2 + (dy + 0.5) ** 2) / 0.03)
    body = body + (255 - body) * spec[..., None] * 0.9
    img = common.blend(img, body, orb)
    content = np.maximum(content, orb)
    # ear cups
    for s in (-1, 1):
        cup = common.shape_mask((N, N), lambda d, s=s: d.rounded_rectangle(
            [cx + s * (r - 10) - 45, cy - 80, cx + s * (r - 10) + 45, cy + 90], radius=38, fill=255))
        img = common.blend(img, common.ramp([(cy - 80, (250, 120, 150)), (cy + 90, (160, 40, 90))], y), cup)
        content = np.maximum(content, cup)
    # face: eyes and a singing mouth
    face = Image.new("RGB", (N, N), (0, 0, 0))
    fm = Image.new("L", (N, N), 0)
    for target, col in ((face, None), (fm, 255)):
        d = ImageDraw.Draw(target)
        for s in (-1, 1):
            ex = cx + s * 85
            d.ellipse([ex - 48, cy - 90, ex + 48, cy + 20], fill=col or (250, 252, 255))
            d.ellipse([ex - 26 + 8, cy - 60, ex + 26 + 8, cy + 6], fill=col or (16, 24, 44))
            d.ellipse([ex - 10 + 8, cy - 50, ex + 6 + 8, cy - 34], fill=col or (255, 255, 255))
        d.ellipse([cx - 44, cy + 55, cx + 44, cy + 135], fill=col or (60, 14, 40))
        d.ellipse([cx - 26, cy + 95, cx + 26, cy + 130], fill=col or (240, 100, 130))
    fmask = np.asarray(fm, dtype=np.float64) / 255.0
    img = common.blend(img, np.asarray(face, dtype=np.float64), fmask)
    # a note floating off to the right
    note = common.shape_mask((N, N), lambda d: (
        d.ellipse([760, 250, 850, 310], fill=255),
        d.rectangle([826, 110, 846, 282], fill=255),
        d.polygon([(846, 110), (920, 150), (920, 185), (846, 150)], fill=255)))
    img = _lettering(img, x, y, note, [(100, (255, 236, 120)), (320, (255, 150, 40))], 8, (40, 20, 10))
    content = np.maximum(content, _dilate(note, 8))
    # lettering
    letters = _text("ORBEL", "DejaVuSans-Bold.ttf", 228, (512, 815))
    img = _lettering(img, x, y, letters, [(720, (255, 250, 200)), (790, (255, 200, 60)),
                                           (830, (255, 120, 40)), (900, (220, 50, 80))],
                     14, (40, 14, 40), glow_col=(255, 90, 160), glow_r=10.0)
    content = np.maximum(content, _dilate(letters, 14))
    return _finish(img, content)


def make_jub():
    """The makers' group: a ring with a stylised T-shaped tower in it, and
    the chrome lettering TORVANE across it."""
    x, y = _grid()
    img = np.zeros((N, N, 3))
    content = np.zeros((N, N))
    cx, cy = 512.0, 430.0
    dist = np.hypot(x - cx, y - cy)
    ring = common.smoothstep(6.0, 0.0, np.abs(dist - 300.0) - 22.0)
    ang = np.arctan2(y - cy, x - cx)
    ringcol = common.ramp([(-3.2, (255, 120, 40)), (-1.6, (255, 210, 90)), (0, (200, 60, 120)),
                           (1.6, (120, 60, 200)), (3.2, (255, 120, 40))], ang)
    img = common.blend(img, ringcol, ring)
    content = np.maximum(content, ring)
    # tower emblem
    tower = common.shape_mask((N, N), lambda d: (
        d.polygon([(400, 200), (624, 200), (624, 260), (556, 260), (586, 650), (438, 650), (468, 260), (400, 260)], fill=255),
        d.polygon([(512, 110), (560, 190), (464, 190)], fill=255)))
    img = _lettering(img, x, y, tower, [(110, (255, 255, 255)), (280, (190, 200, 220)), (450, (90, 100, 130)),
                                         (650, (170, 180, 205))], 10, (20, 22, 36), glow_col=(90, 120, 255), glow_r=9.0)
    content = np.maximum(content, _dilate(tower, 10))
    letters = _text("TORVANE", "DejaVuSerif-Bold.ttf", 158, (512, 750))
    img = _lettering(img, x, y, letters, [(680, (255, 255, 255)), (735, (200, 214, 236)), (752, (70, 80, 110)),
                                           (770, (150, 170, 210)), (820, (240, 246, 255))],
                     12, (16, 18, 34), glow_col=(255, 140, 60), glow_r=9.0)
    content = np.maximum(content, _dilate(letters, 12))
    return _finish(img, content)


def make_velmologo():
    """The production: VELMO over a spinning record, with MUSICDISK below.
    The band from texel row 184 to 215 stays empty, where the intro writes
    its "feat." line over the logo."""
    x, y = _grid()
    img = np.zeros((N, N, 3))
    content = np.zeros((N, N))
    cx, cy, r = 512.0, 304.0, 238.0
    dist = np.hypot(x - cx, y - cy)
    disc = common.smoothstep(r + 2, r - 2, dist)
    grooves = 0.5 + 0.5 * np.sin(dist * 0.9)
    sheen_ang = np.arctan2(y - cy, x - cx)
    sheen = np.exp(-((np.angle(np.exp(1j * (sheen_ang + 0.8)))) / 0.35) ** 2) + \
        np.exp(-((np.angle(np.exp(1j * (sheen_ang - 2.34)))) / 0.35) ** 2)
    vinyl = np.array([34.0, 32.0, 46.0]) + np.array([22.0, 20.0, 30.0]) * grooves[..., None] + \
        np.array([90.0, 110.0, 150.0]) * (sheen * 0.45)[..., None]
    img = common.blend(img, vinyl, disc)
    label = common.smoothstep(88, 84, dist)
    img = common.blend(img, common.ramp([(214, (255, 130, 190)), (386, (150, 40, 160))], y), label)
    hole = common.smoothstep(10, 8, dist)
    img = common.blend(img, np.array([30.0, 20.0, 40.0]), hole)
    content = np.maximum(content, disc)

    letters = _text("VELMO", "DejaVuSans-BoldOblique.ttf", 218, (505, 470))
    img = _lettering(img, x, y, letters, [(380, (255, 255, 255)), (440, (150, 240, 255)), (470, (60, 150, 255)),
                                           (510, (150, 90, 255)), (560, (240, 140, 255))],
                     16, (10, 14, 40), glow_col=(40, 140, 255), glow_r=11.0)
    content = np.maximum(content, _dilate(letters, 16))
    sub = _text("MUSICDISK", "DejaVuSans-Bold.ttf", 68, (512, 660))
    plate = common.shape_mask((N, N), lambda d: d.rounded_rectangle([300, 620, 724, 700], radius=38, fill=255))
    img = common.blend(img, common.ramp([(620, (70, 40, 120)), (700, (30, 16, 60))], y), plate)
    img = _lettering(img, x, y, sub, [(630, (255, 255, 255)), (693, (255, 200, 250))], 4, (20, 10, 40))
    content = np.maximum(content, plate)
    return _finish(img, content)
