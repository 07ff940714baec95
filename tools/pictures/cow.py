"""A cartoon cow's face on white. The intro turns it slowly at a very low
opacity, so its dark outlines and patches build up into a swirl; the
farewell fade shows it at full size, with the top and bottom eighth cut off
on a 4:3 screen, so the face keeps to the middle three quarters."""

import numpy as np
from PIL import Image, ImageDraw, ImageFilter

import common

N = 1024                      # drawn four times finer, then averaged
INK = (38, 30, 34)
LINE = 11


def _blob(cx, cy, r, seed, n=90):
    a = np.linspace(0, 2 * np.pi, n, endpoint=False)
    k = common.hash_points(4, seed)
    rr = r * (1 + 0.18 * np.sin(3 * a + 6.28 * k[0]) + 0.1 * np.sin(5 * a + 6.28 * k[1])
              + 0.06 * np.sin(7 * a + 6.28 * k[2]))
    return [(cx + rr[i] * np.cos(a[i]), cy + rr[i] * np.sin(a[i]) * (0.85 + 0.2 * k[3])) for i in range(n)]


def make():
    im = Image.new("RGB", (N, N), (255, 255, 255))
    d = ImageDraw.Draw(im)

    # horns behind the head
    for s in (-1, 1):
        cx = 512 + s * 150
        pts = [(cx - s * 40, 300), (cx - s * 10, 230), (cx + s * 30, 170), (cx + s * 80, 140),
               (cx + s * 70, 175), (cx + s * 45, 230), (cx + s * 40, 300)]
        d.polygon(pts, fill=(236, 222, 186), outline=INK, width=LINE)
        d.line([(cx + s * 5, 240), (cx + s * 40, 235)], fill=(200, 180, 140), width=6)

    # ears, tilted outwards
    for s in (-1, 1):
        ear = Image.new("L", (N, N), 0)
        ImageDraw.Draw(ear).ellipse([512 - 130, 512 - 60, 512 + 130, 512 + 60], fill=255)
        ear = ear.rotate(s * 22, center=(512, 512), resample=Image.BICUBIC)
        inner = Image.new("L", (N, N), 0)
        ImageDraw.Draw(inner).ellipse([512 - 85, 512 - 32, 512 + 95, 512 + 32], fill=255)
        inner = inner.rotate(s * 22, center=(512, 512), resample=Image.BICUBIC)
        shift = (s * 330, -130)
        outline = ear.filter(ImageFilter.MaxFilter(2 * LINE + 1))
        im.paste(INK, (shift[0], shift[1]), outline)
        im.paste((250, 250, 246), (shift[0], shift[1]), ear)
        inner_shift = (shift[0] + s * 10, shift[1])
        im.paste((246, 176, 186), inner_shift, inner)

    # the head
    head_box = [240, 230, 784, 800]
    d.ellipse([head_box[0] - LINE, head_box[1] - LINE, head_box[2] + LINE, head_box[3] + LINE], fill=INK)
    d.ellipse(head_box, fill=(252, 252, 248))
    head = Image.new("L", (N, N), 0)
    ImageDraw.Draw(head).ellipse(head_box, fill=255)
    # black patches, clipped to the head
    for cx, cy, r, seed in ((640, 330, 120, 301), (292, 430, 66, 302), (420, 290, 55, 303)):
        patch = Image.new("L", (N, N), 0)
        ImageDraw.Draw(patch).polygon(_blob(cx, cy, r, seed), fill=255)
        patch = Image.fromarray((np.asarray(patch, dtype=np.uint16) * np.asarray(head) // 255).astype(np.uint8))
        im.paste(INK, (0, 0), patch)

    # a tuft of hair
    for i, (x0, ang) in enumerate(((470, -0.5), (512, 0.0), (555, 0.5))):
        d.pieslice([x0 - 60, 190, x0 + 60, 310], 200 + ang * 40, 340 + ang * 40, fill=(92, 60, 48), outline=INK, width=8)

    # eyes with brows
    for s in (-1, 1):
        ex, ey = 512 + s * 120, 470
        d.ellipse([ex - 62, ey - 78, ex + 62, ey + 78], fill=(255, 255, 255), outline=INK, width=LINE)
        px = ex + s * 6 + 8
        d.ellipse([px - 36, ey - 30, px + 36, ey + 48], fill=INK)
        d.ellipse([px - 18, ey - 18, px + 4, ey + 4], fill=(255, 255, 255))
        d.ellipse([px + 12, ey + 18, px + 22, ey + 28], fill=(255, 255, 255))
        d.arc([ex - 70, ey - 150, ex + 70, ey - 70], 200 if s < 0 else 230, 310 if s < 0 else 340, fill=INK, width=12)

    # blush
    blush = Image.new("L", (N, N), 0)
    bd = ImageDraw.Draw(blush)
    for s in (-1, 1):
        bd.ellipse([512 + s * 215 - 50, 580, 512 + s * 215 + 50, 625], fill=110)
    im.paste((250, 140, 160), (0, 0), blush)

    # muzzle, nostrils, smile
    mbox = [300, 590, 724, 840]
    d.ellipse([mbox[0] - LINE, mbox[1] - LINE, mbox[2] + LINE, mbox[3] + LINE], fill=INK)
    d.ellipse(mbox, fill=(250, 186, 190))
    d.ellipse([360, 615, 664, 700], fill=(253, 206, 210))
    for s in (-1, 1):
        nx = 512 + s * 95
        d.ellipse([nx - 34, 680, nx + 34, 730], fill=(176, 86, 104), outline=INK, width=6)
    d.arc([420, 700, 604, 800], 25, 155, fill=INK, width=LINE)
    d.ellipse([496, 772, 528, 800], fill=(226, 86, 110))

    arr = np.asarray(im, dtype=np.float64)
    return common.to_bytes(common.downsample(arr, N // 256))
