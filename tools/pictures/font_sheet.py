"""The glyph sheet: 8x8 cells of 32x32 texels, cell g showing character
32 + g (blank to underscore), white glyphs on black.

The text writer puts the cells side by side with no gap, so the glyphs
must fill their cells' width for a line to read as words rather than as
spaced-out letters. They are DejaVu Sans Mono Bold, whose letters are all
designed for cells of one width, drawn with a fixed cap height and widened
to fill most of the cell. Widening thickens only the upright strokes, so
the horizontal strokes are thickened to match before it. Each glyph is
drawn eight times finer and averaged down, which keeps its edges smooth
both at 16 pixels a cell and when the scroller enlarges it. Every glyph
keeps one black texel free on each side of its cell, so filtering at a
cell edge never picks up its neighbour. Four cells hold coloured pictures
instead of characters: "$" the star streak of the intro, "*", "+" and ","
the sparks ("," is also the ball of the intro's chain and the mouse
pointer). They are coloured so that the grey-to-white conversion keeps
their colour."""

import numpy as np
from PIL import Image, ImageDraw

import common

CELL = 32
MARGIN = 1          # black border texels on each side of every cell
FONT_FILE = "DejaVuSansMono-Bold.ttf"
CAP_HEIGHT = 22     # texel rows of a capital letter
BASELINE = 27       # texel row of the baseline inside a cell
WIDEN = 1.75        # horizontal stretch of the font's letter shapes
MAX_INK = 29.0      # widest glyph in texels (wider ones are narrowed to it)
SUPER = 8           # supersampling factor of the glyph drawing
THICKEN_V = 6       # supersampled rows added above and below every stroke
THICKEN_H = 2       # supersampled columns added left and right of every stroke

PICTURE_CELLS = {"$": "streak", "*": "star", "+": "sparkle", ",": "ball"}


def _glyph_font():
    """The font at the size, in supersampled pixels, whose capital H is
    CAP_HEIGHT texels high."""
    probe_size = 100 * SUPER
    probe = common.font(FONT_FILE, probe_size)
    im = Image.new("L", (2 * probe_size, 2 * probe_size), 0)
    ImageDraw.Draw(im).text((probe_size // 2, 3 * probe_size // 2), "H", font=probe, fill=255, anchor="ls")
    rows = np.nonzero(np.asarray(im).max(axis=1) >= 128)[0]
    cap = (rows[-1] - rows[0] + 1) / probe_size
    return common.font(FONT_FILE, int(round(CAP_HEIGHT * SUPER / cap)))


def _thicken(a, n, axis):
    """Grow every stroke of coverage a by n supersampled pixels on both
    sides along axis."""
    out = a.copy()
    length = a.shape[axis]
    for k in range(1, n + 1):
        lo = [slice(None)] * 2
        hi = [slice(None)] * 2
        lo[axis] = slice(k, length)
        hi[axis] = slice(0, length - k)
        out[tuple(lo)] = np.maximum(out[tuple(lo)], a[tuple(hi)])
        out[tuple(hi)] = np.maximum(out[tuple(hi)], a[tuple(lo)])
    return out


def _glyph(ch, fnt):
    """Grey coverage (0..255) of one character, widened and centred in its
    cell, inside the black border."""
    s = SUPER
    # drawn with room on every side, the baseline at BASELINE texels
    pad = CELL * s
    im = Image.new("L", (3 * CELL * s, 3 * CELL * s), 0)
    ImageDraw.Draw(im).text((pad + CELL * s // 2, pad + BASELINE * s), ch, font=fnt, fill=255, anchor="ms")
    a = np.asarray(im, dtype=np.float64) / 255.0
    a = _thicken(_thicken(a, THICKEN_V, 0), THICKEN_H, 1)
    cols = np.nonzero(a.max(axis=0) > 0)[0]
    rows = np.nonzero(a.max(axis=1) > 0)[0]
    if len(cols) == 0:
        return np.zeros((CELL, CELL))
    x0, x1 = cols[0], cols[-1] + 1
    y0, y1 = rows[0], rows[-1] + 1
    ink = a[y0:y1, x0:x1]
    # width: widened, narrowed to MAX_INK where that is too wide
    width = min((x1 - x0) * WIDEN, MAX_INK * s)
    # height: as drawn, moved (or, failing that, squeezed) into the cell
    # where a descender or accent reaches the border
    top, height = y0 - pad, y1 - y0
    lo, hi = MARGIN * s, (CELL - MARGIN) * s
    if height > hi - lo:
        top, height = lo, hi - lo
    top = min(max(top, lo), hi - height)
    width = int(round(width))
    left = (CELL * s - width) // 2
    big = np.zeros((CELL * s, CELL * s))
    big[top:top + height, left:left + width] = np.asarray(
        Image.fromarray(ink.astype(np.float32), "F").resize((width, height), Image.BOX))
    small = big.reshape(CELL, s, CELL, s).mean(axis=(1, 3)) * 255.0
    small[:MARGIN, :] = 0
    small[CELL - MARGIN:, :] = 0
    small[:, :MARGIN] = 0
    small[:, CELL - MARGIN:] = 0
    return small


def _coords():
    c = np.arange(CELL) + 0.5
    return np.meshgrid(c, c)


def _streak():
    """A comet lying on its side: a bright head at the right, a long tail to
    the left. It is drawn twice as wide as high, so the cell squeezes it."""
    x, y = _coords()
    head_x, cy = 26.0, 16.0
    dx = x - head_x
    dy = y - cy
    # tail: thins and fades towards the left
    along = np.clip(-dx / (head_x - MARGIN), 0.0, 1.0)
    width = 3.2 * (1 - along) + 0.6
    tail = np.exp(-(dy / width) ** 2) * (1 - along) ** 1.6 * (dx < 0)
    head = np.exp(-(dx ** 2 + dy ** 2) / 6.0)
    glow = np.exp(-(dx ** 2 / 40.0 + dy ** 2 / 10.0)) * 0.5
    v = np.clip(tail * 1.3 + head * 1.2 + glow, 0, 1)
    # white-hot head, pale blue tail
    r = 255 * v * (0.55 + 0.45 * np.clip(head * 1.5, 0, 1))
    g = 255 * v * (0.75 + 0.25 * np.clip(head * 1.5, 0, 1))
    b = 255 * v
    return np.stack([r, g, b], axis=-1)


def _star():
    """A golden five-pointed star with a soft glow."""
    x, y = _coords()
    dx, dy = x - 16, y - 16.5
    rad = np.hypot(dx, dy)
    ang = np.arctan2(dx, -dy)
    # radius of a five-pointed star outline as a function of angle
    k = np.abs(((ang / (2 * np.pi / 5)) % 1.0) - 0.5) * 2     # 1 at tips, 0 between
    outline = 6.0 + 7.5 * k ** 2
    body = common.smoothstep(outline + 0.8, outline - 0.8, rad)
    core = np.exp(-rad ** 2 / 10.0)
    glow = np.exp(-rad ** 2 / 60.0) * 0.35
    v = np.clip(body * 0.9 + glow, 0, 1)
    r = 255 * v
    g = 200 * v + 55 * core * body
    b = 60 * v + 150 * core * body
    return np.stack([r, g, b], axis=-1)


def _sparkle():
    """A cyan four-rayed twinkle."""
    x, y = _coords()
    dx, dy = x - 16, y - 16
    rad = np.hypot(dx, dy)
    rays = np.exp(-np.abs(dx) / 1.1) * np.exp(-np.abs(dy) / 9.0) + \
        np.exp(-np.abs(dy) / 1.1) * np.exp(-np.abs(dx) / 9.0)
    diag = (np.exp(-np.abs(dx - dy) / 1.2) + np.exp(-np.abs(dx + dy) / 1.2)) * np.exp(-rad / 4.0) * 0.5
    core = np.exp(-rad ** 2 / 8.0)
    glow = np.exp(-rad ** 2 / 50.0) * 0.3
    v = np.clip(rays + diag + core + glow, 0, 1)
    w = np.clip(core * 1.3, 0, 1)
    r = 255 * v * (0.35 + 0.65 * w)
    g = 255 * v * (0.85 + 0.15 * w)
    b = 255 * v
    return np.stack([r, g, b], axis=-1)


def _ball():
    """A glossy rose-red ball lit from the upper left."""
    x, y = _coords()
    dx, dy = (x - 16) / 13.0, (y - 16) / 13.0
    rr = dx * dx + dy * dy
    inside = common.smoothstep(1.0 + 0.08, 1.0 - 0.08, np.sqrt(rr))
    z = np.sqrt(np.clip(1 - rr, 0, 1))
    light = np.array([-0.45, -0.55, 0.70])
    light = light / np.linalg.norm(light)
    diffuse = np.clip(dx * light[0] + dy * light[1] + z * light[2], 0, 1)
    hx, hy = dx + 0.38, dy + 0.42
    highlight = np.exp(-(hx * hx + hy * hy) / 0.03)
    rim = np.clip(1 - z, 0, 1) ** 3 * 0.35
    base = np.array([255.0, 70.0, 120.0])
    shade = 0.35 + 0.65 * diffuse
    col = base[None, None, :] * shade[..., None]
    col = col + (np.array([255.0, 240.0, 250.0]) - col) * highlight[..., None]
    col = col + np.array([120.0, 60.0, 255.0]) * rim[..., None]
    return np.clip(col, 0, 255) * inside[..., None]


def make():
    sheet = np.zeros((256, 256, 3))
    fnt = _glyph_font()
    pictures = {"streak": _streak, "star": _star, "sparkle": _sparkle, "ball": _ball}
    for g in range(64):
        ch = chr(32 + g)
        row, col = divmod(g, 8)
        if ch in PICTURE_CELLS:
            cell = pictures[PICTURE_CELLS[ch]]()
        else:
            a = _glyph(ch, fnt)
            cell = np.repeat(a[..., None], 3, axis=2)
        cell[:MARGIN, :] = 0
        cell[CELL - MARGIN:, :] = 0
        cell[:, :MARGIN] = 0
        cell[:, CELL - MARGIN:] = 0
        sheet[row * CELL:(row + 1) * CELL, col * CELL:(col + 1) * CELL] = cell
    return common.to_bytes(sheet)


INFO_TEXT = (
    "font32.ppm - glyph sheet of the musicdisk\n"
    "\n"
    "256 x 256 texels, 8 x 8 cells of 32 x 32.\n"
    "Cell g (row g / 8, column g mod 8) shows character 32 + g,\n"
    "from the blank to the underscore; lower-case letters are\n"
    "drawn with the capitals.\n"
    "White glyphs on black: the loader turns grey into white and\n"
    "takes the grey level as alpha.\n"
    "Picture cells (coloured, keep their colour):\n"
    "  $  star streak of the intro (drawn twice as wide)\n"
    "  *  golden star spark\n"
    "  +  cyan twinkle spark\n"
    "  ,  rose ball: spark, ball chain and mouse pointer\n"
    "Every cell keeps a one-texel black border.\n"
    "Glyphs: DejaVu Sans Mono Bold, widened (Bitstream Vera licence).\n"
    "Made by tools/pictures/make_pictures.py.\n"
)
