"""The control panel texture: four pieces that the disk screen draws side by
side along the top tenth of the screen.

The panel is designed once as it appears on a 640x480 screen (640 x 48
units, drawn eight times finer) and then resampled into the texel rectangle
of each piece, so that the non-uniform stretch of every piece is undone and
the pieces join on screen:

  piece             texels (u, v)-(u, v)    on screen (x of 640, y of 48)
  left end          (0, 142)-(256, 212)     0      .. 160
  middle            (0, 0)-(256, 71)        160.17 .. 373.17
  right of middle   (0, 71)-(127, 142)      371.67 .. 479.67
  right end         (128, 71)-(256, 142)    480    .. 640

The four buttons sit exactly on the screen rectangles that react to the
mouse: x from 30, 40, 50 and 60 per cent of the width to 7 per cent further,
y from 2 to 7 per cent of the height (9.6 .. 33.6 of 48). The end pieces
carry the production's name and pulse in brightness on screen.

The level meter right of the buttons (five columns of six lamps, in the
piece right of the middle) is painted with every lamp dark. Below the
pieces, in rows no piece shows, lies the same stretch of that piece with
every lamp lit, METER_LIT_ROWS rows lower: the disk screen draws a lit
lamp from there over its dark one."""

import numpy as np

import common

PANEL_W, PANEL_H = 640.0, 48.0
S = 8                                   # design pixels per screen unit
DW, DH = int(PANEL_W * S), int(PANEL_H * S)

# Screen rectangles (x0, x1, y0, y1) in panel units of the four buttons.
BUTTONS = {
    "previous": (192.0, 236.8, 9.6, 33.6),
    "pause": (256.0, 300.8, 9.6, 33.6),
    "play": (320.0, 364.8, 9.6, 33.6),
    "next": (384.0, 428.8, 9.6, 33.6),
}

# (name, screen x0, screen x1, u0, u1, v0, v1)
PIECES = [
    ("middle", 160.0 + 1.0 / 6.0, 373.0 + 1.0 / 6.0, 0, 256, 0, 71),
    ("right of middle", 371.0 + 2.0 / 3.0, 479.0 + 2.0 / 3.0, 0, 127, 71, 142),
    ("left end", 0.0, 160.0, 0, 256, 142, 212),
    ("right end", 480.0, 640.0, 128, 256, 71, 142),
]

CONSOLE = (160.0, 480.0)

# Texel rows of the piece right of the middle that hold the meter (with a
# row of margin for filtering), and how far below them the lit copy lies.
METER_ROWS = (88, 124)
METER_LIT_ROWS = 126


def _grid():
    x = (np.arange(DW) + 0.5) / S
    y = (np.arange(DH) + 0.5) / S
    return np.meshgrid(x, y)


def _mask(draw_fn):
    return common.shape_mask((DW, DH), draw_fn)


def _rrect(x0, x1, y0, y1, r):
    def draw(d):
        d.rounded_rectangle([x0 * S, y0 * S, x1 * S - 1, y1 * S - 1], radius=r * S, fill=255)
    return _mask(draw)


def _symbol(name, cx, cy):
    """Coverage of a button symbol centred at (cx, cy) in panel units."""
    h = 12.0

    def tri(d, x_left, pointing_right, w):
        top, bot = (cy - h / 2) * S, (cy + h / 2) * S
        if pointing_right:
            pts = [(x_left * S, top), ((x_left + w) * S, cy * S), (x_left * S, bot)]
        else:
            pts = [((x_left + w) * S, top), (x_left * S, cy * S), ((x_left + w) * S, bot)]
        d.polygon(pts, fill=255)

    def bar(d, x0, w):
        d.rectangle([x0 * S, (cy - h / 2) * S, (x0 + w) * S - 1, (cy + h / 2) * S - 1], fill=255)

    def draw(d):
        if name == "play":
            tri(d, cx - 4.5, True, 10.0)
        elif name == "pause":
            bar(d, cx - 5.5, 4.0)
            bar(d, cx + 1.5, 4.0)
        elif name == "previous":
            bar(d, cx - 9.0, 2.6)
            tri(d, cx - 6.8, False, 8.0)
            tri(d, cx + 0.6, False, 8.0)
        elif name == "next":
            tri(d, cx - 8.6, True, 8.0)
            tri(d, cx - 1.2, True, 8.0)
            bar(d, cx + 6.4, 2.6)
    return _mask(draw)


def _console(img, x, y, lamps_lit):
    """Brushed gunmetal console with a recessed groove holding the buttons."""
    x0, x1 = CONSOLE
    body = _rrect(x0, x1, 0.0, 48.0, 3.0)
    grain = common.fbm(x * 0.15, y * 6.0, 11, octaves=4)
    shade = common.ramp([(0, (185, 195, 212)), (2.0, (120, 128, 142)), (6, (86, 92, 106)),
                         (30, (62, 67, 79)), (44, (44, 47, 56)), (46.5, (28, 30, 36)),
                         (48, (18, 19, 23))], y)
    metal = shade * (0.86 + 0.28 * grain[..., None])
    img = common.blend(img, metal, body)

    # groove: a recessed channel around the buttons
    gx0, gx1, gy0, gy1 = 176.0, 470.0, 5.5, 38.0
    groove = _rrect(gx0, gx1, gy0, gy1, 5.0)
    inner = common.ramp([(gy0, (10, 12, 16)), (gy0 + 3, (24, 27, 34)), (gy1 - 3, (34, 38, 47)),
                         (gy1, (70, 76, 90))], y)
    img = common.blend(img, inner, groove)
    lip = _rrect(gx0 - 0.8, gx1 + 0.8, gy0 - 0.8, gy1 + 0.8, 5.8) - groove
    img = common.blend(img, np.array([150.0, 160.0, 176.0]), np.clip(lip, 0, 1) * (y > (gy0 + gy1) / 2))
    img = common.blend(img, np.array([16.0, 17.0, 22.0]), np.clip(lip, 0, 1) * (y <= (gy0 + gy1) / 2))

    # screws in the four corners of the console
    for sx, sy in ((166.0, 7.5), (166.0, 40.5), (474.0, 7.5), (474.0, 40.5)):
        r = np.hypot(x - sx, y - sy)
        head = common.smoothstep(2.4, 1.9, r)
        lit = common.ramp([(-2.5, (210, 215, 225)), (2.5, (70, 74, 84))], (x - sx) + (y - sy))
        img = common.blend(img, lit, head)
        slot = head * common.smoothstep(0.45, 0.25, np.abs((x - sx) - (y - sy)) / 1.414)
        img = common.blend(img, np.array([30.0, 32.0, 38.0]), slot)

    # power lamp left of the buttons, level meter right of them
    r = np.hypot(x - 184.5, y - 21.6)
    img = common.blend(img, np.array([20.0, 24.0, 30.0]), common.smoothstep(3.6, 3.0, r))
    img = img + np.array([40.0, 220.0, 255.0]) * (np.exp(-r ** 2 / 3.0) * 0.9 + np.exp(-r ** 2 / 18.0) * 0.25)[..., None]
    colours = [(60, 230, 110), (60, 230, 110), (150, 235, 70), (240, 210, 60), (250, 90, 60)]
    for i, col in enumerate(colours):
        bx = 436.0 + i * 6.4
        for j in range(6):
            by = 31.0 - j * 3.6
            lit = 1.0 if lamps_lit else 0.18
            m = _rrect(bx, bx + 4.4, by, by + 2.6, 0.8)
            img = common.blend(img, np.array(col, dtype=np.float64) * lit, m)
    return img


def _buttons(img, x, y):
    for name, (bx0, bx1, by0, by1) in BUTTONS.items():
        cap = _rrect(bx0, bx1, by0, by1, 5.0)
        rim = np.clip(_rrect(bx0 - 1.0, bx1 + 1.0, by0 - 1.0, by1 + 1.0, 6.0) - cap, 0, 1)
        img = common.blend(img, np.array([8.0, 10.0, 14.0]), rim)
        t = (y - by0) / (by1 - by0)
        glass = common.ramp([(0, (96, 160, 226)), (0.45, (40, 92, 170)), (0.5, (22, 58, 128)),
                             (1, (30, 84, 160))], t)
        # bright edge at the top, glow of the glass at the bottom
        edge = np.clip(1 - t * 12, 0, 1) * 0.5
        glass = glass + np.array([80.0, 90.0, 60.0]) * edge[..., None]
        bottom_glow = np.exp(-((y - (by1 - 3.0)) / 2.5) ** 2)
        glass = glass + np.array([10.0, 70.0, 110.0]) * bottom_glow[..., None]
        img = common.blend(img, glass, cap)
        cx, cy = (bx0 + bx1) / 2, (by0 + by1) / 2
        sym = _symbol(name, cx, cy)
        halo = common.blur(sym, 1.6 * S) * cap
        img = img + np.array([70.0, 140.0, 200.0]) * np.clip(halo * 1.6, 0, 1)[..., None]
        img = common.blend(img, np.array([244.0, 250.0, 255.0]), sym)
    return img


def _wing(img, x, y, x0, x1, outer_left, text, size):
    """A chrome-framed glass name plate; rounded on its outer end."""
    r = 14.0

    def body(inset):
        def draw(d):
            xa, xb = (x0 + inset) * S, (x1 - inset) * S - 1
            ya, yb = inset * S, (48.0 - inset) * S - 1
            d.rounded_rectangle([xa, ya, xb, yb], radius=(r - inset) * S, fill=255)
            # square off the inner end, where the wing meets the console
            if outer_left:
                d.rectangle([(x1 - r) * S, ya, xb, yb], fill=255)
            else:
                d.rectangle([xa, ya, (x0 + r) * S, yb], fill=255)
        return _mask(draw)

    frame = body(0.5)
    glass = body(4.0)
    chrome = common.ramp([(0, (110, 116, 130)), (4, (235, 240, 248)), (10, (150, 158, 172)),
                          (24, (92, 98, 112)), (40, (170, 176, 190)), (44, (230, 234, 242)),
                          (48, (80, 84, 96))], y)
    img = common.blend(img, chrome, frame)
    t = y / 48.0
    deep = common.ramp([(0, (12, 20, 52)), (0.5, (6, 10, 30)), (1, (16, 30, 66))], t)
    img = common.blend(img, deep, glass)

    cx = (x0 + x1) / 2 + (4.0 if outer_left else -4.0)
    fnt = common.font("DejaVuSans-Bold.ttf", int(size * S))
    letters = common.text_mask((DW, DH), text, fnt, (cx * S, 24.5 * S))
    glow = common.blur(letters, 2.2 * S)
    img = img + np.array([60.0, 150.0, 255.0]) * np.clip(glow * 1.5, 0, 1)[..., None] * glass[..., None]
    face = common.ramp([(11, (255, 255, 255)), (22, (150, 240, 255)), (26, (70, 170, 255)),
                        (38, (200, 120, 255))], y)
    img = common.blend(img, face, letters)
    # a reflection across the upper half of the glass
    sheen = glass * common.smoothstep(20.0, 8.0, y) * 0.12
    img = img + 255.0 * sheen[..., None]
    return img


def design(lamps_lit=False):
    """The whole panel as seen on a 640x480 screen, at S pixels per unit."""
    x, y = _grid()
    img = np.zeros((DH, DW, 3))
    img = _console(img, x, y, lamps_lit)
    img = _buttons(img, x, y)
    img = _wing(img, x, y, 0.0, 160.0, True, "VELMO", 27.0)
    img = _wing(img, x, y, 480.0, 640.0, False, "MUSICDISK", 15.5)
    return np.clip(img, 0, 255)


def _resample(img, sx0, sx1, nu, nv):
    """Box-average the design over each texel's footprint on screen."""
    sat = np.zeros((DH + 1, DW + 1, 3))
    sat[1:, 1:] = img.cumsum(0).cumsum(1)
    xs = np.clip(np.round((sx0 + (sx1 - sx0) * np.arange(nu + 1) / nu) * S).astype(int), 0, DW)
    ys = np.clip(np.round(PANEL_H * np.arange(nv + 1) / nv * S).astype(int), 0, DH)
    out = np.zeros((nv, nu, 3))
    for j in range(nv):
        ya, yb = ys[j], ys[j + 1]
        area = (yb - ya) * (xs[1:] - xs[:-1])
        s = sat[yb, xs[1:]] - sat[ya, xs[1:]] - sat[yb, xs[:-1]] + sat[ya, xs[:-1]]
        out[j] = s / area[:, None]
    return out


def make(panel=None, lit=None):
    if panel is None:
        panel = design()
    if lit is None:
        lit = design(lamps_lit=True)
    tex = np.zeros((256, 256, 3))
    for name, sx0, sx1, u0, u1, v0, v1 in PIECES:
        tex[v0:v1, u0:u1] = _resample(panel, sx0, sx1, u1 - u0, v1 - v0)
        if name == "right of middle":
            a, b = METER_ROWS
            tex[a + METER_LIT_ROWS:b + METER_LIT_ROWS, u0:u1] = \
                _resample(lit, sx0, sx1, u1 - u0, v1 - v0)[a - v0:b - v0]
    # the texel between the two pieces of rows 71..142 repeats its left neighbour,
    # so filtering at the edge of the piece right of the middle stays on it
    tex[71:142, 127] = tex[71:142, 126]
    return common.to_bytes(tex)
