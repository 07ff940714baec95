"""Shared pieces of the picture generator: PPM output, deterministic noise,
colour ramps and supersampled drawing.

Everything here is a pure function of its arguments. There is no random
number generator with hidden state: noise comes from an integer hash of the
lattice coordinates and a seed, so a picture is the same on every run."""

import numpy as np
from PIL import Image, ImageDraw, ImageFont

SIZE = 256

# The two header forms the loader accepts; both are exactly 15 bytes.
HEADER_LINES = b"P6\n256 256\n255\n"
HEADER_BLANKS = b"P6 256 256 255\n"

FONT_DIR = "/usr/share/fonts/truetype/dejavu/"


def to_bytes(img):
    """Float RGB picture (0..1 or 0..255 as given by scale) to uint8."""
    return np.clip(np.floor(img + 0.5), 0, 255).astype(np.uint8)


def write_ppm(path, rgb, header):
    """Write a 256x256 uint8 RGB array as a binary PPM with the given header."""
    assert rgb.shape == (SIZE, SIZE, 3) and rgb.dtype == np.uint8
    assert header in (HEADER_LINES, HEADER_BLANKS)
    with open(path, "wb") as f:
        f.write(header)
        f.write(rgb.tobytes())


def _hash(ix, iy, seed):
    """Integer lattice hash to floats in [0, 1)."""
    h = (ix.astype(np.uint32) * np.uint32(0x8DA6B343)) ^ (iy.astype(np.uint32) * np.uint32(0xD8163841))
    h = h ^ np.uint32((seed * 0x9E3779B9) & 0xFFFFFFFF)
    h = h ^ (h >> np.uint32(15))
    h = h * np.uint32(0x2C1B3C6D)
    h = h ^ (h >> np.uint32(12))
    h = h * np.uint32(0x297A2D39)
    h = h ^ (h >> np.uint32(15))
    return (h >> np.uint32(8)).astype(np.float64) / float(1 << 24)


def value_noise(x, y, seed):
    """Smooth value noise in [0, 1) at float coordinates x, y (arrays)."""
    with np.errstate(over="ignore"):
        x0 = np.floor(x)
        y0 = np.floor(y)
        fx = x - x0
        fy = y - y0
        ix = x0.astype(np.int64)
        iy = y0.astype(np.int64)
        sx = fx * fx * (3 - 2 * fx)
        sy = fy * fy * (3 - 2 * fy)
        a = _hash(ix, iy, seed)
        b = _hash(ix + 1, iy, seed)
        c = _hash(ix, iy + 1, seed)
        d = _hash(ix + 1, iy + 1, seed)
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy


def fbm(x, y, seed, octaves=5, lacunarity=2.0, gain=0.5):
    """Fractal sum of value noise, normalised to about [0, 1)."""
    total = np.zeros(np.broadcast(x, y).shape)
    amp = 1.0
    norm = 0.0
    for o in range(octaves):
        total = total + amp * value_noise(x, y, seed + 101 * o)
        norm += amp
        amp *= gain
        x = x * lacunarity
        y = y * lacunarity
    return total / norm


def noise1d(x, seed, octaves=5, gain=0.5):
    """One-dimensional fractal noise (a ridge line), about [0, 1)."""
    x = np.asarray(x, dtype=np.float64)
    return fbm(x, np.zeros_like(x) + 0.5, seed, octaves=octaves, gain=gain)


def hash_points(n, seed):
    """n deterministic pseudo-random floats in [0, 1)."""
    i = np.arange(n)
    return _hash(i, np.full(n, 7), seed)


def lerp(a, b, t):
    return a + (b - a) * t


def ramp(stops, t):
    """Colour ramp: stops is [(position, (r, g, b)), ...] sorted by position;
    t an array; returns t.shape + (3,)."""
    pos = np.array([p for p, _ in stops], dtype=np.float64)
    cols = np.array([c for _, c in stops], dtype=np.float64)
    out = np.empty(np.shape(t) + (3,))
    for ch in range(3):
        out[..., ch] = np.interp(t, pos, cols[:, ch])
    return out


def smoothstep(e0, e1, x):
    t = np.clip((x - e0) / (e1 - e0), 0.0, 1.0)
    return t * t * (3 - 2 * t)


def downsample(img, factor):
    """Box-filter an (H, W, C) or (H, W) float array by an integer factor."""
    h, w = img.shape[0] // factor, img.shape[1] // factor
    img = img[: h * factor, : w * factor]
    shape = (h, factor, w, factor) + img.shape[2:]
    return img.reshape(shape).mean(axis=(1, 3))


def font(name, size):
    return ImageFont.truetype(FONT_DIR + name, size)


def blend(base, colour, mask):
    """Paint colour (3,) or (H, W, 3) over base with coverage mask (H, W).
    Only the bounding box of the mask is touched (a new array is returned)."""
    rows = np.flatnonzero(mask.any(axis=1))
    out = base.copy()
    if rows.size == 0:
        return out
    cols = np.flatnonzero(mask.any(axis=0))
    ys = slice(rows[0], rows[-1] + 1)
    xs = slice(cols[0], cols[-1] + 1)
    colour = np.asarray(colour, dtype=np.float64)
    if colour.ndim == 3:
        colour = colour[ys, xs]
    m = mask[ys, xs][..., None]
    out[ys, xs] = base[ys, xs] * (1 - m) + colour * m
    return out


def text_mask(size, text, fontobj, centre, stroke=0):
    """Coverage mask (float 0..1) of size (w, h) with text centred at centre."""
    im = Image.new("L", size, 0)
    d = ImageDraw.Draw(im)
    d.text(centre, text, font=fontobj, fill=255, anchor="mm", stroke_width=stroke, stroke_fill=255)
    return np.asarray(im, dtype=np.float64) / 255.0


def shape_mask(size, draw_fn):
    """Coverage mask (float 0..1) of size (w, h) drawn by draw_fn(ImageDraw)."""
    im = Image.new("L", size, 0)
    draw_fn(ImageDraw.Draw(im))
    return np.asarray(im, dtype=np.float64) / 255.0


def _boxes_for_gauss(sigma, n=3):
    """Widths of n successive box filters whose sum approximates a Gaussian
    of the given sigma (odd widths, as in the usual box-blur method)."""
    ideal = np.sqrt(12.0 * sigma * sigma / n + 1.0)
    wl = int(np.floor(ideal))
    if wl % 2 == 0:
        wl -= 1
    wu = wl + 2
    m = int(round((12.0 * sigma * sigma - n * wl * wl - 4 * n * wl - 3 * n) / (-4 * wl - 4)))
    return [wl if i < m else wu for i in range(n)]


def _box(img, width, axis):
    r = width // 2
    pad = [(0, 0)] * img.ndim
    pad[axis] = (r + 1, r)
    p = np.pad(img, pad, mode="edge")
    c = np.cumsum(p, axis=axis)
    n = img.shape[axis]
    hi = np.take(c, np.arange(width, width + n), axis=axis)
    lo = np.take(c, np.arange(0, n), axis=axis)
    return (hi - lo) / width


def blur(img, radius):
    """Gaussian-like blur (sigma = radius) of an (H, W) or (H, W, C) float
    array by three box passes per axis; edges are extended."""
    out = img.astype(np.float64)
    for width in _boxes_for_gauss(radius):
        if width > 1:
            out = _box(out, width, 0)
            out = _box(out, width, 1)
    return out
