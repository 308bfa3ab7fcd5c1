#!/usr/bin/env python3
"""Draws the program's artwork: res/car.bmp (the car picture shown by the program),
res/car-large.bmp (the same scene at twice the size, the source from which the
program scales the picture to its frame at display scales above 100 %),
res/setup-side.bmp (the same scene under a taller sky, the picture on the side of
the setup program's last page) and res/trimdesk.ico (the application icon).

Everything is drawn here from plain shapes so the artwork can be regenerated
and tweaked without an image editor. Only the standard library is used, and
the output is byte-for-byte the same on every run, so a rerun never shows up
as a change in version control.

Usage: python3 tools/make_artwork.py   (no arguments; writes into res/)
"""

import math
import os
import struct
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RES = os.path.join(ROOT, "res")

PICTURE_W, PICTURE_H = 259, 261   # the program expects exactly this size
PICTURE_SS = 3                    # supersampling factor, gives cheap anti-aliasing
LARGE_PICTURE_SCALE = 2           # covers the frame up to 200 % display scale
SIDE_W, SIDE_H = 164, 314         # what NSIS's welcome and finish pages show
SIDE_SKY_TOP = (40, 96, 178)      # the sky above the scene darkens upwards
# What Windows asks for at 100, 125, 150 and 200 %: small icons 16-32, large
# ones 32-64, and Explorer's 256 (stored as PNG, as Vista and later expect;
# XP passes it over and takes the nearest of the others).
ICON_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
PNG_ICON_MIN = 256
ICON_SS = 4

TRANSPARENT = (0, 0, 0, 0)
OUTLINE = (38, 44, 56)
BODY = (47, 120, 214)
BODY_SHADE = (33, 92, 170)
GLASS = (178, 222, 245)
GLASS_SHINE = (226, 244, 252)
TYRE = (40, 40, 44)
RIM = (196, 200, 206)
HUB = (120, 126, 134)
SIGN = (255, 206, 46)
SIGN_MARK = (214, 40, 40)


def mix(a, b, t):
    """Linear blend of two colours, t=0 gives a, t=1 gives b."""
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


# ---------------------------------------------------------------- geometry

def offset_convex(points, d):
    """Moves every edge of a convex, clockwise-on-screen polygon outwards by d
    (inwards when d < 0). Used to get an outline: fill the shape grown by the
    pen width in the outline colour, then the shape itself on top."""
    n = len(points)
    lines = []
    for i in range(n):
        (x0, y0), (x1, y1) = points[i], points[(i + 1) % n]
        length = math.hypot(x1 - x0, y1 - y0)
        nx, ny = (y1 - y0) / length, (x0 - x1) / length   # outward for y-down clockwise
        lines.append(((x0 + nx * d, y0 + ny * d), (x1 - x0, y1 - y0)))
    result = []
    for i in range(n):
        (p, r), (q, s) = lines[i - 1], lines[i]
        cross = r[0] * s[1] - r[1] * s[0]
        if abs(cross) < 1e-9:          # collinear edges: the shared point just moves
            result.append(q)
            continue
        t = ((q[0] - p[0]) * s[1] - (q[1] - p[1]) * s[0]) / cross
        result.append((p[0] + r[0] * t, p[1] + r[1] * t))
    return result


def fillet(points, radius, steps=8):
    """Replaces every corner of a convex polygon by a circular arc, so bodies
    and windows get the soft corners of a real car."""
    if radius <= 0:
        return list(points)
    n = len(points)
    result = []
    for i in range(n):
        prev, cur, nxt = points[i - 1], points[i], points[(i + 1) % n]
        ax, ay = prev[0] - cur[0], prev[1] - cur[1]
        bx, by = nxt[0] - cur[0], nxt[1] - cur[1]
        la, lb = math.hypot(ax, ay), math.hypot(bx, by)
        ax, ay, bx, by = ax / la, ay / la, bx / lb, by / lb
        half = math.acos(max(-1.0, min(1.0, ax * bx + ay * by))) / 2
        # Never cut more than half of either edge, or arcs would overlap.
        cut = min(radius / math.tan(half), la / 2, lb / 2)
        r = cut * math.tan(half)
        start = (cur[0] + ax * cut, cur[1] + ay * cut)
        end = (cur[0] + bx * cut, cur[1] + by * cut)
        bis = (ax + bx, ay + by)
        bl = math.hypot(*bis)
        centre_dist = r / math.sin(half)
        cx, cy = cur[0] + bis[0] / bl * centre_dist, cur[1] + bis[1] / bl * centre_dist
        a0 = math.atan2(start[1] - cy, start[0] - cx)
        a1 = math.atan2(end[1] - cy, end[0] - cx)
        while a1 - a0 > math.pi:
            a1 -= 2 * math.pi
        while a0 - a1 > math.pi:
            a1 += 2 * math.pi
        for k in range(steps + 1):
            a = a0 + (a1 - a0) * k / steps
            result.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return result


def shape(points, radius, grow=0.0):
    """A rounded convex shape, optionally grown (or shrunk) by `grow`."""
    return fillet(offset_convex(points, grow) if grow else points, max(radius + grow, 0))


def box(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


# ------------------------------------------------------------------ canvas

class Canvas:
    """An RGBA raster that is drawn in design units and scaled by `scale`.

    Shapes are filled opaquely by sampling pixel centres; anti-aliasing comes
    from drawing at a multiple of the final size and averaging afterwards.
    """

    def __init__(self, width, height, scale=1.0, background=TRANSPARENT):
        self.w, self.h, self.scale = width, height, scale
        self.buf = bytearray(bytes(rgba(background)) * (width * height))

    def span(self, y, x0, x1, color):
        """Fills device pixels x0 <= x < x1 on row y."""
        x0, x1 = max(x0, 0), min(x1, self.w)
        if 0 <= y < self.h and x0 < x1:
            i = (y * self.w + x0) * 4
            self.buf[i:i + (x1 - x0) * 4] = bytes(rgba(color)) * (x1 - x0)

    def pixel(self, x, y):
        i = (y * self.w + x) * 4
        return tuple(self.buf[i:i + 4])

    def rows(self, y0, y1):
        s = self.scale
        return range(max(int(math.ceil(y0 * s - 0.5)), 0), min(int(math.ceil(y1 * s - 0.5)), self.h))

    def rect(self, x0, y0, x1, y1, color):
        s = self.scale
        for y in self.rows(y0, y1):
            self.span(y, int(math.ceil(x0 * s - 0.5)), int(math.ceil(x1 * s - 0.5)), color)

    def ellipse(self, cx, cy, rx, ry, color):
        s = self.scale
        for y in self.rows(cy - ry, cy + ry):
            dy = ((y + 0.5) / s - cy) / ry
            if abs(dy) >= 1:
                continue
            half = rx * math.sqrt(1 - dy * dy)
            self.span(y, int(math.ceil((cx - half) * s - 0.5)),
                      int(math.ceil((cx + half) * s - 0.5)), color)

    def circle(self, cx, cy, r, color):
        self.ellipse(cx, cy, r, r, color)

    def polygon(self, points, color):
        """Even-odd scanline fill; good enough for the simple outlines here."""
        s = self.scale
        ys = [p[1] for p in points]
        n = len(points)
        for y in self.rows(min(ys), max(ys)):
            fy = (y + 0.5) / s
            xs = []
            for i in range(n):
                (x0, y0), (x1, y1) = points[i], points[(i + 1) % n]
                if (y0 <= fy < y1) or (y1 <= fy < y0):
                    xs.append(x0 + (fy - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                self.span(y, int(math.ceil(a * s - 0.5)), int(math.ceil(b * s - 0.5)), color)

    def line(self, x0, y0, x1, y1, width, color):
        """A thick line with round ends."""
        dx, dy = x1 - x0, y1 - y0
        length = math.hypot(dx, dy)
        nx, ny = -dy / length * width / 2, dx / length * width / 2
        self.polygon([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny),
                      (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)], color)
        self.circle(x0, y0, width / 2, color)
        self.circle(x1, y1, width / 2, color)

    def outlined(self, points, radius, color, pen):
        """A rounded convex shape with a dark border of width `pen`."""
        self.polygon(shape(points, radius, pen), OUTLINE)
        self.polygon(shape(points, radius), color)

    def downsample(self, factor):
        """Box-filters the raster by `factor`, averaging with premultiplied
        alpha so transparent samples do not darken the icon edges."""
        w, h = self.w // factor, self.h // factor
        out = Canvas(w, h)
        area = factor * factor
        buf, sw = self.buf, self.w
        for y in range(h):
            for x in range(w):
                r = g = b = a = 0
                for sy in range(y * factor, (y + 1) * factor):
                    i = (sy * sw + x * factor) * 4
                    for k in range(i, i + factor * 4, 4):
                        pa = buf[k + 3]
                        r += buf[k] * pa
                        g += buf[k + 1] * pa
                        b += buf[k + 2] * pa
                        a += pa
                o = (y * w + x) * 4
                if a:
                    out.buf[o:o + 4] = bytes((
                        (r + a // 2) // a, (g + a // 2) // a, (b + a // 2) // a,
                        (a + area // 2) // area))
        return out


def rgba(color):
    return color if len(color) == 4 else (color[0], color[1], color[2], 255)


# ----------------------------------------------------------------- writers

def write_bmp(path, canvas):
    """24-bit bottom-up BMP with a BITMAPINFOHEADER; alpha is dropped."""
    w, h = canvas.w, canvas.h
    stride = (w * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b, _ = canvas.pixel(x, y)
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        pixels += row
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def icon_dib(canvas):
    """One icon image: 32-bit BGRA colour plane plus the 1-bit AND mask that
    old consumers of .ico files still expect after it."""
    w, h = canvas.w, canvas.h
    mask_stride = ((w + 31) // 32) * 4
    colour, mask = bytearray(), bytearray()
    for y in range(h - 1, -1, -1):
        bits = bytearray(mask_stride)
        for x in range(w):
            r, g, b, a = canvas.pixel(x, y)
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0,
                       len(colour) + len(mask), 0, 0, 0, 0)
    return info + colour + mask


def icon_png(canvas):
    """One icon image as a PNG file: RGBA, no filtering, fixed compression, so
    the bytes stay the same from run to run."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    rows = bytearray()
    for y in range(canvas.h):
        rows += b"\0" + canvas.buf[y * canvas.w * 4:(y + 1) * canvas.w * 4]
    header = struct.pack(">IIBBBBB", canvas.w, canvas.h, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


def write_ico(path, canvases):
    images = [icon_png(c) if c.w >= PNG_ICON_MIN else icon_dib(c) for c in canvases]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for c, data in zip(canvases, images):
        directory += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32,
                                 len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(directory + b"".join(images))


# ----------------------------------------------------------------- picture

def draw_sky(c):
    top, bottom = (92, 160, 226), (206, 232, 250)
    for y in range(170):
        c.rect(0, y, PICTURE_W, y + 1, mix(top, bottom, y / 169))
    c.circle(218, 40, 20, (255, 236, 150))
    c.circle(218, 40, 16, (255, 224, 96))
    for cx, cy, k in ((52, 46, 1.0), (150, 28, 0.7)):
        for dx, dy, r in ((-18, 4, 12), (0, 0, 17), (17, 3, 13), (30, 7, 9)):
            c.circle(cx + dx * k, cy + dy * k, r * k, (250, 252, 255))
        c.rect(cx - 18 * k, cy + 4 * k, cx + 30 * k, cy + 16 * k, (250, 252, 255))


def draw_ground(c):
    c.polygon([(0, 170), (60, 150), (130, 162), (200, 146), (259, 158), (259, 171), (0, 171)],
              (134, 190, 104))
    c.rect(0, 166, PICTURE_W, 178, (110, 172, 86))
    c.rect(0, 178, PICTURE_W, 184, (196, 196, 190))          # kerb
    c.rect(0, 184, PICTURE_W, PICTURE_H, (92, 96, 104))       # asphalt
    for x in range(-10, PICTURE_W, 56):
        c.rect(x, 238, x + 30, 244, (240, 240, 232))          # lane marking


def draw_wheel(c, cx, cy):
    c.circle(cx, cy, 25, OUTLINE)
    c.circle(cx, cy, 23, TYRE)
    c.circle(cx, cy, 13, RIM)
    for k in range(5):
        a = math.pi * 2 * k / 5 - math.pi / 2
        c.line(cx, cy, cx + 10 * math.cos(a), cy + 10 * math.sin(a), 3.2, HUB)
    c.circle(cx, cy, 4.5, HUB)
    c.circle(cx, cy, 2, RIM)


def draw_car(c):
    pen = 2.5
    c.ellipse(130, 216, 112, 9, (70, 74, 80))                 # shadow on the road
    cabin = [(62, 138), (92, 96), (172, 96), (204, 138)]
    body = box(16, 134, 244, 204)
    c.polygon(shape(cabin, 12, pen), OUTLINE)
    c.polygon(shape(body, 18, pen), OUTLINE)
    draw_roof_sign(c, pen)
    c.polygon(shape(cabin, 12), BODY)
    c.polygon(shape(body, 18), BODY)
    c.rect(18, 182, 242, 190, BODY_SHADE)                     # sill
    c.polygon(shape([(74, 134), (97, 104), (128, 104), (128, 134)], 4), GLASS)
    c.polygon(shape([(136, 134), (136, 104), (166, 104), (192, 134)], 4), GLASS)
    c.polygon([(104, 104), (114, 104), (96, 128), (86, 128)], GLASS_SHINE)
    c.polygon([(146, 104), (154, 104), (140, 122), (136, 122), (136, 116)], GLASS_SHINE)
    c.line(132, 140, 132, 182, 1.5, BODY_SHADE)               # door gaps
    c.line(198, 140, 194, 182, 1.5, BODY_SHADE)
    c.line(72, 140, 70, 182, 1.5, BODY_SHADE)
    c.rect(110, 146, 122, 150, BODY_SHADE)                    # door handles
    c.rect(172, 146, 184, 150, BODY_SHADE)
    c.polygon(shape([(190, 124), (202, 124), (202, 134), (194, 134)], 2, 1), OUTLINE)
    c.polygon(shape([(190, 124), (202, 124), (202, 134), (194, 134)], 2), BODY_SHADE)
    c.polygon(shape([(226, 142), (246, 146), (246, 158), (228, 156)], 3), (255, 246, 196))
    c.polygon(shape([(14, 144), (26, 144), (26, 158), (14, 158)], 3), (226, 52, 46))
    c.rect(12, 190, 40, 198, OUTLINE)                         # bumpers
    c.rect(222, 190, 248, 198, OUTLINE)
    for cx in (72, 192):
        c.polygon(arch(cx, 200, 31, 206.5), OUTLINE)          # wheel arches
        draw_wheel(c, cx, 200)


def arch(cx, cy, r, bottom, steps=24):
    """Upper half of a circle, continued straight down to `bottom`; a full
    circle would spill dark paint onto the road under the sills."""
    points = [(cx - r, bottom)]
    for k in range(steps + 1):
        a = math.pi + math.pi * k / steps
        points.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    points.append((cx + r, bottom))
    return points


def draw_roof_sign(c, pen):
    """The driving-school sign on the roof; drawn before the cabin so the
    cabin covers its foot."""
    sign = [(114, 76), (152, 76), (156, 98), (110, 98)]
    c.polygon(shape(sign, 4, pen), OUTLINE)
    c.polygon(shape(sign, 4), SIGN)
    c.rect(127, 80, 132, 94, SIGN_MARK)                       # learner "L"
    c.rect(127, 90, 140, 94, SIGN_MARK)


def draw_picture(scale=1):
    """The scene in picture units (259 x 261), drawn `scale` times as large."""
    c = Canvas(PICTURE_W * scale * PICTURE_SS, PICTURE_H * scale * PICTURE_SS,
               scale * PICTURE_SS)
    draw_sky(c)
    draw_ground(c)
    draw_car(c)
    return c.downsample(PICTURE_SS)


def draw_side_picture():
    """The scene at the side picture's width, standing on its bottom edge; the
    sky above it goes on upwards, darker towards the top."""
    scene_h = int(round(PICTURE_H * SIDE_W / PICTURE_W))
    c = Canvas(SIDE_W * PICTURE_SS, scene_h * PICTURE_SS, SIDE_W / PICTURE_W * PICTURE_SS)
    draw_sky(c)
    draw_ground(c)
    draw_car(c)
    scene = c.downsample(PICTURE_SS)
    side = Canvas(SIDE_W, SIDE_H)
    top = SIDE_H - scene_h
    for y in range(top):
        side.span(y, 0, SIDE_W, mix(SIDE_SKY_TOP, scene.pixel(0, 0)[:3], y / top))
    side.buf[top * SIDE_W * 4:] = scene.buf
    return side


# -------------------------------------------------------------------- icon

def draw_icon(size):
    """The same car reduced to what survives at 16x16: body, cabin with one
    window, two wheels and the yellow roof sign. Designed on a 16-unit grid so
    the 16, 32 and 48 pixel images land on whole pixels."""
    unit = size / 16
    c = Canvas(size * ICON_SS, size * ICON_SS, unit * ICON_SS)
    pen = max(1.0, size / 24) / unit        # outline stays 1-2 real pixels
    sign = box(6, 2, 10, 4)
    cabin = [(3.5, 9), (5.5, 5), (11, 5), (13.5, 9)]
    body = box(1, 8, 15, 12.5)
    for points, radius in ((sign, 0.5), (cabin, 1), (body, 1.6)):
        c.polygon(shape(points, radius, pen), OUTLINE)
    c.polygon(shape(sign, 0.5), SIGN)
    c.polygon(shape(cabin, 1), BODY)
    c.polygon(shape(body, 1.6), BODY)
    c.polygon(shape([(5, 8), (6.3, 6), (10.6, 6), (12.2, 8)], 0.4), GLASS)
    if size >= 24:
        c.rect(8.3, 6, 8.3 + 0.6, 8, BODY)                    # pillar between the windows
        c.polygon(shape(box(13.6, 9, 15, 10.2), 0.3), (255, 246, 196))
    for cx in (4, 12):
        c.circle(cx, 12, 2 + pen, OUTLINE)
        c.circle(cx, 12, 2, TYRE)
        c.circle(cx, 12, 1, RIM)
    return c.downsample(ICON_SS)


def main():
    os.makedirs(RES, exist_ok=True)
    write_bmp(os.path.join(RES, "car.bmp"), draw_picture())
    write_bmp(os.path.join(RES, "car-large.bmp"), draw_picture(LARGE_PICTURE_SCALE))
    write_bmp(os.path.join(RES, "setup-side.bmp"), draw_side_picture())
    write_ico(os.path.join(RES, "trimdesk.ico"), [draw_icon(s) for s in ICON_SIZES])


if __name__ == "__main__":
    main()
