#!/usr/bin/env python3
"""Draws every picture, clip and sound of Vardenix into src/res/art/.

    python3 scripts/make-artwork.py [output folder]

Pure standard library and fully deterministic: running it again rewrites the
same bytes. Shapes are signed-distance functions evaluated once per pixel
centre, which gives one pixel of anti-aliasing at every size. Each picture is
designed on its own unit grid and rendered at the pixel size it is used at:
every bitmap at 100, 150 and 200 % (NAME.bmp, NAME_150.bmp, NAME_200.bmp,
for screens scaled to 96, 144 and 192 DPI), every icon at the sizes Windows
asks for at those scales and at 125 %.

One family: a blue shield, USB drives in blue with silver plugs, green for
"safe" and "go", red for "delete" and "stop", flat shapes with a soft shadow.
Bitmaps use white as their transparent colour, so no opaque pixel is pure white.
"""

import math
import os
import struct
import sys

# ---------------------------------------------------------------------------
# Palette of the family

BLUE = (30, 111, 217)
BLUE_DARK = (14, 72, 160)
BLUE_LIGHT = (120, 178, 245)
GREEN = (46, 170, 74)
GREEN_DARK = (24, 120, 48)
RED = (216, 58, 52)
RED_DARK = (150, 30, 28)
ORANGE = (240, 150, 30)
YELLOW = (250, 205, 60)
SILVER = (196, 202, 210)
SILVER_DARK = (120, 128, 140)
GREY = (96, 104, 116)
INK = (40, 46, 56)
PAPER = (250, 250, 247)       # "white" inside shapes, never the transparent key
TILE = (214, 232, 255)        # pointer-over tile behind page pictures
TILE_EDGE = (120, 170, 235)
BUTTON_FACE = (240, 240, 240)  # what semi-transparent edges are blended with

# ---------------------------------------------------------------------------
# Signed-distance shapes (units of the picture's design grid)


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx, cy, r, width):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - width / 2


def rbox(x0, y0, x1, y1, r=0.0):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hw, hh = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def d(x, y):
        qx, qy = abs(x - cx) - hw, abs(y - cy) - hh
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return d


def seg(ax, ay, bx, by, width):
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy or 1e-9

    def d(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / ll))
        return math.hypot(x - ax - t * dx, y - ay - t * dy) - width / 2
    return d


def polyline(points, width):
    parts = [seg(a[0], a[1], b[0], b[1], width) for a, b in zip(points, points[1:])]
    return union(*parts)


def polygon(points):
    pts = list(points)
    n = len(pts)

    def d(x, y):
        best = float("inf")
        inside = False
        j = n - 1
        for i in range(n):
            xi, yi = pts[i]
            xj, yj = pts[j]
            ex, ey = xj - xi, yj - yi
            ll = ex * ex + ey * ey or 1e-9
            t = max(0.0, min(1.0, ((x - xi) * ex + (y - yi) * ey) / ll))
            best = min(best, math.hypot(x - xi - t * ex, y - yi - t * ey))
            if (yi > y) != (yj > y) and x < xi + (y - yi) * ex / (ey or 1e-9):
                inside = not inside
            j = i
        return -best if inside else best
    return d


def arc(cx, cy, r, a0, a1, width, steps=24):
    pts = [(cx + r * math.cos(a0 + (a1 - a0) * i / steps),
            cy + r * math.sin(a0 + (a1 - a0) * i / steps)) for i in range(steps + 1)]
    return polyline(pts, width)


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def intersect(*shapes):
    return lambda x, y: max(s(x, y) for s in shapes)


def subtract(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


def moved(shape, dx, dy):
    return lambda x, y: shape(x - dx, y - dy)


def bezier(p0, p1, p2, steps=10):
    out = []
    for i in range(steps + 1):
        t = i / steps
        out.append(((1 - t) ** 2 * p0[0] + 2 * (1 - t) * t * p1[0] + t * t * p2[0],
                    (1 - t) ** 2 * p0[1] + 2 * (1 - t) * t * p1[1] + t * t * p2[1]))
    return out


def shield_points(cx, top, w, h):
    left, right = cx - w / 2, cx + w / 2
    pts = [(left, top + 0.12 * h)]
    pts += bezier((left, top + 0.12 * h), (cx - w * 0.22, top + 0.10 * h), (cx, top), 6)[1:]
    pts += bezier((cx, top), (cx + w * 0.22, top + 0.10 * h), (right, top + 0.12 * h), 6)[1:]
    pts.append((right, top + 0.48 * h))
    pts += bezier((right, top + 0.48 * h), (right - w * 0.04, top + 0.84 * h), (cx, top + h), 10)[1:]
    pts += bezier((cx, top + h), (left + w * 0.04, top + 0.84 * h), (left, top + 0.48 * h), 10)[1:]
    return pts


def shield(cx, top, w, h):
    return polygon(shield_points(cx, top, w, h))


def linear(c0, c1, x0, y0, x1, y1):
    dx, dy = x1 - x0, y1 - y0
    ll = dx * dx + dy * dy or 1e-9

    def colour(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / ll))
        return tuple(c0[i] + (c1[i] - c0[i]) * t for i in range(3))
    return colour


# ---------------------------------------------------------------------------
# Canvas


class Canvas:
    """Straight-alpha RGBA pixels; drawing happens in design units."""

    def __init__(self, width, height, units_w=None, units_h=None):
        self.w, self.h = width, height
        self.kx = width / (units_w or width)
        self.ky = height / (units_h or height)
        self.k = min(self.kx, self.ky)
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def fill(self, shape, colour, opacity=1.0, soft=1.0):
        for py in range(self.h):
            v = (py + 0.5) / self.ky
            row = py * self.w
            for px in range(self.w):
                u = (px + 0.5) / self.kx
                d = shape(u, v) * self.k
                cov = 0.5 - d / soft
                if cov <= 0.0:
                    continue
                a = min(cov, 1.0) * opacity
                if a <= 0.0:
                    continue
                c = colour(u, v) if callable(colour) else colour
                p = self.px[row + px]
                out_a = a + p[3] * (1 - a)
                for i in range(3):
                    p[i] = (c[i] * a + p[i] * p[3] * (1 - a)) / out_a
                p[3] = out_a

    def shadow(self, shape, dx=0.6, dy=0.9, opacity=0.28):
        self.fill(moved(shape, dx, dy), (20, 30, 50), opacity, soft=2.2)

    def pixel(self, x, y):
        return self.px[y * self.w + x]


def blend_over(p, background):
    a = p[3]
    return tuple(int(round(p[i] * a + background[i] * (1 - a))) for i in range(3))


# ---------------------------------------------------------------------------
# File writers


def bmp_bytes(canvas, matte=BUTTON_FACE):
    """24-bit bottom-up BMP; pixels more than half transparent become white."""
    row_size = (canvas.w * 3 + 3) & ~3
    data = bytearray()
    for y in range(canvas.h - 1, -1, -1):
        row = bytearray()
        for x in range(canvas.w):
            p = canvas.pixel(x, y)
            if p[3] < 0.5:
                r, g, b = 255, 255, 255
            else:
                r, g, b = blend_over(p, matte)
                if (r, g, b) == (255, 255, 255):
                    r, g, b = 254, 254, 254
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        data += row
    header = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    return file_header + header + bytes(data)


def icon_image(canvas):
    """32-bit BGRA image with its AND mask, as stored inside an .ico file."""
    xor = bytearray()
    mask = bytearray()
    mask_row = ((canvas.w + 31) // 32) * 4
    for y in range(canvas.h - 1, -1, -1):
        bits = [0] * (mask_row * 8)
        for x in range(canvas.w):
            p = canvas.pixel(x, y)
            a = int(round(p[3] * 255))
            if a == 0:
                xor += b"\0\0\0\0"
            else:
                xor += bytes((int(round(p[2])), int(round(p[1])), int(round(p[0])), a))
            if a < 128:
                bits[x] = 1
        for i in range(mask_row):
            byte = 0
            for b in range(8):
                byte = (byte << 1) | bits[i * 8 + b]
            mask.append(byte)
    header = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h * 2, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def ico_bytes(canvases):
    images = [icon_image(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, img in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    return out + b"".join(images)


def cur_bytes(rows, hotspot):
    """Monochrome 32x32 cursor from a picture: '#' black, '.' white, ' ' clear."""
    size = 32
    grid = [r.ljust(size)[:size] for r in rows] + [" " * size] * (size - len(rows))
    xor = bytearray()
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        xbits = [1 if ch == "." else 0 for ch in grid[y]]
        abits = [1 if ch == " " else 0 for ch in grid[y]]
        for i in range(4):
            xb = ab = 0
            for b in range(8):
                xb = (xb << 1) | xbits[i * 8 + b]
                ab = (ab << 1) | abits[i * 8 + b]
            xor.append(xb)
            mask.append(ab)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, len(xor) + len(mask), 0, 0, 2, 2)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    image = header + palette + bytes(xor) + bytes(mask)
    out = struct.pack("<HHH", 0, 2, 1)
    out += struct.pack("<BBBBHHII", size, size, 2, 0, hotspot[0], hotspot[1], len(image), 6 + 16)
    return out + image


def wav_bytes(samples, rate):
    data = b"".join(struct.pack("<h", s) for s in samples)
    fmt = struct.pack("<HHIIHH", 1, 1, rate, rate * 2, 2, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def quantise(frames):
    """One palette of at most 256 colours for all frames (lists of RGB tuples)."""
    step = 1
    while True:
        def q(c):
            if step == 1:
                return c
            return tuple(min(255, (v // step) * step + step // 2) for v in c)
        colours = sorted({q(c) for f in frames for c in f})
        if len(colours) <= 256:
            return colours, q
        step *= 2


def avi_bytes(frames, width, height, fps):
    """Uncompressed 8-bit AVI (one video stream, no sound) for the animation control.
    The first frame's top-left pixel is the colour a transparent control keys out."""
    palette, q = quantise(frames)
    index = {c: i for i, c in enumerate(palette)}
    row_size = (width + 3) & ~3
    frame_data = []
    for f in frames:
        data = bytearray()
        for y in range(height - 1, -1, -1):
            row = bytes(index[q(f[y * width + x])] for x in range(width))
            data += row + b"\0" * (row_size - width)
        frame_data.append(bytes(data))
    frame_size = row_size * height

    def chunk(fourcc, payload):
        pad = b"\0" if len(payload) % 2 else b""
        return fourcc + struct.pack("<I", len(payload)) + payload + pad

    def lst(kind, payload):
        return b"LIST" + struct.pack("<I", len(payload) + 4) + kind + payload

    usec = int(round(1000000 / fps))
    avih = struct.pack("<IIIIIIIIII4I", usec, frame_size * fps, 0, 0x10, len(frames), 0, 1,
                       frame_size, width, height, 0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"DIB ", 0, 0, 0, 0, 1, fps, 0,
                       len(frames), frame_size, 0xFFFFFFFF, 0, 0, 0, width, height)
    bih = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, frame_size, 0, 0,
                      len(palette), len(palette))
    pal = b"".join(bytes((c[2], c[1], c[0], 0)) for c in palette)
    hdrl = lst(b"hdrl", chunk(b"avih", avih) + lst(b"strl", chunk(b"strh", strh) + chunk(b"strf", bih + pal)))
    movi_payload = b""
    idx = b""
    for data in frame_data:
        offset = 4 + len(movi_payload)  # from the 'movi' fourcc
        idx += struct.pack("<4sIII", b"00db", 0x10, offset, len(data))
        movi_payload += chunk(b"00db", data)
    body = b"AVI " + hdrl + lst(b"movi", movi_payload) + chunk(b"idx1", idx)
    return b"RIFF" + struct.pack("<I", len(body)) + body


# ---------------------------------------------------------------------------
# Motifs, all on a 32-unit grid unless said otherwise


def usb_trident(c, cx, cy, s, colour):
    """The USB symbol, centred at (cx, cy), s units tall."""
    w = s * 0.09
    top, bottom = cy - s / 2, cy + s / 2
    c.fill(seg(cx, top + s * 0.18, cx, bottom - s * 0.12, w), colour)
    c.fill(polygon([(cx, top), (cx - s * 0.12, top + s * 0.2), (cx + s * 0.12, top + s * 0.2)]), colour)
    c.fill(circle(cx, bottom - s * 0.08, s * 0.10), colour)
    c.fill(polyline([(cx, cy + s * 0.22), (cx - s * 0.26, cy + s * 0.02), (cx - s * 0.26, cy - s * 0.12)], w), colour)
    c.fill(circle(cx - s * 0.26, cy - s * 0.16, s * 0.075), colour)
    c.fill(polyline([(cx, cy + s * 0.10), (cx + s * 0.26, cy - s * 0.06), (cx + s * 0.26, cy - s * 0.16)], w), colour)
    c.fill(rbox(cx + s * 0.19, cy - s * 0.30, cx + s * 0.33, cy - s * 0.16), colour)


def check_mark(c, points, width, colour):
    c.fill(polyline(points, width), colour)


def blue_shield(c, cx, top, w, h, light=BLUE_LIGHT, dark=BLUE_DARK, rim=True):
    s = shield(cx, top, w, h)
    c.shadow(s)
    c.fill(s, linear(light, dark, cx - w / 2, top, cx + w / 2, top + h))
    if rim:
        inner = shield(cx, top + h * 0.07, w * 0.82, h * 0.85)
        c.fill(subtract(s, inner), (255, 255, 255), 0.18)


def usb_stick(c, x0, y0, x1, y1, body=BLUE, body_dark=BLUE_DARK):
    """A flash drive standing upright: plug at the top, body below."""
    w = x1 - x0
    plug_bottom = y0 + (y1 - y0) * 0.32
    plug = rbox(x0 + w * 0.22, y0, x1 - w * 0.22, plug_bottom + 1, w * 0.06)
    c.shadow(plug)
    c.fill(plug, linear(SILVER, SILVER_DARK, x0, y0, x1, y0))
    c.fill(rbox(x0 + w * 0.34, y0 + (plug_bottom - y0) * 0.25, x0 + w * 0.45, y0 + (plug_bottom - y0) * 0.55), GREY)
    c.fill(rbox(x1 - w * 0.45, y0 + (plug_bottom - y0) * 0.25, x1 - w * 0.34, y0 + (plug_bottom - y0) * 0.55), GREY)
    b = rbox(x0, plug_bottom, x1, y1, w * 0.22)
    c.shadow(b)
    c.fill(b, linear(body, body_dark, x0, plug_bottom, x1, y1))
    c.fill(rbox(x0 + w * 0.18, plug_bottom + w * 0.15, x0 + w * 0.32, y1 - w * 0.3, w * 0.07), (255, 255, 255), 0.35)
    usb_trident(c, (x0 + x1) / 2 + w * 0.06, (plug_bottom + y1) / 2 + w * 0.04, min(w * 0.62, (y1 - plug_bottom) * 0.6), PAPER)


def magnifier(c, cx, cy, r, colour=INK):
    lens = circle(cx, cy, r)
    c.fill(lens, (190, 225, 255), 0.55)
    c.fill(ring(cx, cy, r, r * 0.32), colour)
    c.fill(arc(cx, cy, r * 0.62, math.pi * 1.05, math.pi * 1.45, r * 0.18), (255, 255, 255), 0.8)
    handle = seg(cx + r * 0.78, cy + r * 0.78, cx + r * 1.75, cy + r * 1.75, r * 0.48)
    c.shadow(handle)
    c.fill(handle, colour)


def monitor(c, x0, y0, x1, y1, screen=None):
    w, h = x1 - x0, y1 - y0
    frame = rbox(x0, y0, x1, y0 + h * 0.78, w * 0.06)
    c.shadow(frame)
    c.fill(frame, (70, 78, 92))
    c.fill(rbox(x0 + w * 0.07, y0 + h * 0.08, x1 - w * 0.07, y0 + h * 0.68),
           screen or linear((110, 180, 250), (30, 100, 200), x0, y0, x1, y1))
    c.fill(polygon([(x0 + w * 0.40, y0 + h * 0.78), (x1 - w * 0.40, y0 + h * 0.78),
                    (x1 - w * 0.36, y1 - h * 0.06), (x0 + w * 0.36, y1 - h * 0.06)]), (90, 98, 112))
    c.fill(rbox(x0 + w * 0.24, y1 - h * 0.08, x1 - w * 0.24, y1, h * 0.03), (70, 78, 92))


def gear(c, cx, cy, r, colour):
    teeth = 8
    pts = []
    for i in range(teeth * 4):
        a = 2 * math.pi * i / (teeth * 4)
        rr = r if (i % 4) in (0, 1) else r * 0.76
        pts.append((cx + rr * math.cos(a + 0.2), cy + rr * math.sin(a + 0.2)))
    g = subtract(polygon(pts), circle(cx, cy, r * 0.32))
    c.shadow(g)
    c.fill(g, colour)


def document(c, x0, y0, x1, y1, lines=True):
    w = x1 - x0
    fold = w * 0.3
    d = polygon([(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)])
    c.shadow(d)
    c.fill(d, PAPER)
    c.fill(polygon([(x1 - fold, y0), (x1, y0 + fold), (x1 - fold, y0 + fold)]), SILVER)
    outline = subtract(d, polygon([(x0 + 0.7, y0 + 0.7), (x1 - fold - 0.3, y0 + 0.7), (x1 - 0.7, y0 + fold + 0.3),
                                    (x1 - 0.7, y1 - 0.7), (x0 + 0.7, y1 - 0.7)]))
    c.fill(outline, SILVER_DARK)
    if lines:
        n = 4
        for i in range(n):
            y = y0 + (y1 - y0) * (0.4 + 0.13 * i)
            c.fill(seg(x0 + w * 0.2, y, x1 - w * 0.2, y, 0.9), BLUE_LIGHT)


def trash_can(c, x0, y0, x1, y1, colour=(90, 120, 160)):
    w, h = x1 - x0, y1 - y0
    lid = rbox(x0, y0 + h * 0.10, x1, y0 + h * 0.22, h * 0.03)
    knob = rbox(x0 + w * 0.36, y0, x1 - w * 0.36, y0 + h * 0.14, h * 0.04)
    body = polygon([(x0 + w * 0.08, y0 + h * 0.26), (x1 - w * 0.08, y0 + h * 0.26),
                    (x1 - w * 0.16, y1), (x0 + w * 0.16, y1)])
    for s in (knob, lid, body):
        c.shadow(s)
    c.fill(knob, colour)
    c.fill(body, linear((130, 160, 200), colour, x0, y0, x1, y1))
    c.fill(lid, colour)
    for i in range(3):
        x = x0 + w * (0.33 + 0.17 * i)
        c.fill(seg(x, y0 + h * 0.38, x, y1 - h * 0.12, w * 0.07), (240, 244, 250), 0.85)


def circular_arrows(c, cx, cy, r, colour, colour2=None, width=None):
    width = width or r * 0.32
    colour2 = colour2 or colour
    for start, col in ((-0.15, colour), (math.pi - 0.15, colour2)):
        a0, a1 = start + math.pi * 0.2, start + math.pi * 0.95
        c.fill(arc(cx, cy, r, a0, a1, width), col)
        tip_x, tip_y = cx + r * math.cos(a1), cy + r * math.sin(a1)
        tx, ty = -math.sin(a1), math.cos(a1)      # direction of travel
        nx, ny = math.cos(a1), math.sin(a1)       # outwards
        head = width * 1.35
        c.fill(polygon([(tip_x + tx * head, tip_y + ty * head),
                        (tip_x + nx * head, tip_y + ny * head),
                        (tip_x - nx * head, tip_y - ny * head)]), col)


def octagon(cx, cy, r):
    return polygon([(cx + r * math.cos(math.pi / 8 + i * math.pi / 4),
                     cy + r * math.sin(math.pi / 8 + i * math.pi / 4)) for i in range(8)])


def question_mark(c, cx, cy, s, colour):
    w = s * 0.17
    c.fill(arc(cx, cy - s * 0.18, s * 0.2, math.pi * 1.0, math.pi * 2.25, w), colour)
    c.fill(seg(cx + s * 0.05, cy + 0.0, cx, cy + s * 0.12, w), colour)
    c.fill(circle(cx, cy + s * 0.32, w * 0.62), colour)


# ---------------------------------------------------------------------------
# Pictures. Each draw function paints on a canvas whose design grid is given.


def draw_main(c):  # shield with the USB symbol, grid 32
    blue_shield(c, 16, 1.5, 26, 29)
    usb_trident(c, 16, 15.8, 16, PAPER)


def draw_tray(c):  # the same, simplified for 16 pixels, grid 32
    s = shield(16, 1, 28, 30)
    c.fill(s, linear(BLUE_LIGHT, BLUE_DARK, 2, 1, 30, 31))
    usb_trident(c, 16, 15.5, 18, PAPER)


def draw_about(c):  # shield with a green check, grid 32
    blue_shield(c, 16, 1.5, 26, 29)
    check_mark(c, [(9.5, 16), (14, 21), (22.5, 10.5)], 3.6, PAPER)


def draw_shield_icon(c):  # protection between computer and drive, grid 32
    s = shield(16, 3, 22, 25)
    c.shadow(s)
    c.fill(s, linear((110, 215, 130), GREEN_DARK, 5, 3, 27, 28))
    check_mark(c, [(10.5, 15), (14.5, 19.5), (21.5, 10.5)], 3.2, PAPER)


def draw_computer(c):  # grid 32
    monitor(c, 1, 4, 27, 28)
    usb_trident(c, 14, 13, 9, PAPER)


def draw_usb_plug(c):  # a USB cable end pointing right, grid 32
    cable = seg(0, 20, 8, 20, 3)
    c.fill(cable, GREY)
    body = rbox(7, 14, 21, 26, 2.5)
    c.shadow(body)
    c.fill(body, linear(BLUE_LIGHT, BLUE_DARK, 7, 14, 21, 26))
    metal = rbox(20, 15.5, 30, 24.5, 0.8)
    c.shadow(metal)
    c.fill(metal, linear(SILVER, SILVER_DARK, 20, 15.5, 20, 24.5))
    c.fill(rbox(23.5, 17.5, 26, 19.2), GREY)
    c.fill(rbox(23.5, 20.8, 26, 22.5), GREY)
    usb_trident(c, 14, 20, 8, PAPER)


def draw_help_book(c):  # blue book with a question mark, grid 32
    cover = rbox(5, 3, 27, 29, 2.5)
    c.shadow(cover)
    c.fill(cover, linear(BLUE_LIGHT, BLUE_DARK, 5, 3, 27, 29))
    c.fill(rbox(8, 26, 26.5, 29, 1), PAPER)
    c.fill(seg(8.5, 4, 8.5, 26, 1.2), BLUE_DARK)
    question_mark(c, 17.5, 14, 17, PAPER)


def page_info(c):
    c.fill(circle(24, 24, 19), linear(BLUE_LIGHT, BLUE_DARK, 5, 5, 43, 43))
    c.fill(circle(24, 14, 3.2), PAPER)
    c.fill(rbox(21, 20, 27, 36, 1.5), PAPER)


def page_usb_protection(c):
    blue_shield(c, 24, 3, 38, 42)
    usb_trident(c, 24, 23.5, 24, PAPER)


def page_usb_scan(c):
    usb_stick(c, 8, 4, 26, 42)
    magnifier(c, 28, 24, 8.5)


def page_memory(c):
    board = rbox(4, 12, 44, 34, 2)
    c.shadow(board)
    c.fill(board, linear((90, 200, 110), GREEN_DARK, 4, 12, 44, 34))
    for i in range(4):
        x = 7.5 + i * 9.5
        c.fill(rbox(x, 15.5, x + 6.5, 27, 1), INK)
    for i in range(10):
        x = 7 + i * 3.6
        c.fill(rbox(x, 30, x + 2, 34.5, 0.4), YELLOW)
    s = shield(37, 25, 15, 17)
    c.shadow(s)
    c.fill(s, linear(BLUE_LIGHT, BLUE_DARK, 30, 25, 44, 42))
    check_mark(c, [(33.2, 33.5), (36, 36.5), (41, 30.5)], 2.2, PAPER)


def page_quarantine(c):
    box = rbox(6, 14, 42, 42, 3)
    c.shadow(box)
    c.fill(box, linear((120, 130, 145), (60, 66, 78), 6, 14, 42, 42))
    c.fill(rbox(6, 14, 42, 20, 2), (80, 88, 102))
    shackle = subtract(rbox(16, 2, 32, 24, 8), rbox(20, 6, 28, 26, 4))
    c.fill(shackle, SILVER_DARK)
    lock = rbox(13, 18, 35, 36, 3)
    c.shadow(lock)
    c.fill(lock, linear(YELLOW, ORANGE, 13, 18, 35, 36))
    c.fill(circle(24, 25.5, 2.6), INK)
    c.fill(seg(24, 26, 24, 31, 2.2), INK)


def page_system(c):
    gear(c, 21, 21, 16, linear((150, 160, 175), (70, 80, 96), 5, 5, 37, 37))
    gear(c, 36, 35, 9, linear(BLUE_LIGHT, BLUE_DARK, 27, 26, 45, 44))


def page_startup(c):
    win = rbox(4, 6, 44, 40, 3)
    c.shadow(win)
    c.fill(win, (236, 240, 246))
    c.fill(rbox(4, 6, 44, 14, 3), linear(BLUE_LIGHT, BLUE_DARK, 4, 6, 44, 14))
    c.fill(rbox(4, 10, 44, 14), linear(BLUE_LIGHT, BLUE_DARK, 4, 6, 44, 14))
    c.fill(subtract(win, rbox(5, 7, 43, 39, 2.2)), BLUE_DARK)
    for i in range(3):
        y = 20 + i * 6
        c.fill(seg(9, y, 22, y, 2), SILVER_DARK)
    play = circle(33, 28, 9)
    c.shadow(play)
    c.fill(play, linear((110, 215, 130), GREEN_DARK, 24, 19, 42, 37))
    c.fill(polygon([(30, 22.5), (30, 33.5), (38.5, 28)]), PAPER)


PAGES = [
    ("info", page_info), ("usb_protection", page_usb_protection), ("usb_scan", page_usb_scan),
    ("memory", page_memory), ("quarantine", page_quarantine), ("system", page_system),
    ("startup", page_startup),
]


def page_bitmap(draw, hot, scale=100):
    size = 48 * scale // 100
    c = Canvas(size, size, 48, 48)
    if hot:
        tile = rbox(0.5, 0.5, 47.5, 47.5, 8)
        c.fill(tile, linear((232, 242, 255), TILE, 0, 0, 0, 48))
        c.fill(subtract(tile, rbox(1.6, 1.6, 46.4, 46.4, 7)), TILE_EDGE)
    draw(c)
    return c


def action(size, units, draw, scale=100):
    pixels = size * scale // 100
    c = Canvas(pixels, pixels, units, units)
    draw(c)
    return c


def draw_delete(c):  # grid 32
    trash_can(c, 6, 3, 26, 30)
    x = circle(24, 24, 6.5)
    c.shadow(x)
    c.fill(x, RED)
    c.fill(union(seg(21.3, 21.3, 26.7, 26.7, 1.9), seg(26.7, 21.3, 21.3, 26.7, 1.9)), PAPER)


def draw_stop(c):
    o = octagon(16, 16, 14)
    c.shadow(o)
    c.fill(o, linear((240, 100, 90), RED_DARK, 2, 2, 30, 30))
    c.fill(rbox(10.5, 10.5, 21.5, 21.5, 1.5), PAPER)


def draw_scan(c):
    magnifier(c, 13, 13, 9, BLUE_DARK)


def draw_restore(c):
    document(c, 9, 3, 27, 28)
    a = arc(13, 20, 8, math.pi * 0.95, math.pi * 2.05, 3.4)
    c.shadow(a)
    c.fill(a, GREEN)
    c.fill(polygon([(0.5, 20.5), (10, 20.5), (5.2, 27.5)]), GREEN)


def draw_refresh(c):
    circular_arrows(c, 16, 16, 10, GREEN, BLUE, 3.8)


def draw_safe_removal(c):  # grid 40
    usb_stick(c, 4, 3, 20, 37)
    eject = polygon([(30, 11), (38.5, 23), (21.5, 23)])
    c.shadow(eject)
    c.fill(eject, GREEN)
    bar = rbox(21.5, 26.5, 38.5, 31, 1)
    c.shadow(bar)
    c.fill(bar, GREEN)


def draw_immunise(c):  # grid 40
    blue_shield(c, 20, 2, 32, 36)
    check_mark(c, [(11.5, 19.5), (17.5, 26), (28.5, 12.5)], 4.4, (170, 240, 170))


def draw_cancel_immunity(c):  # grid 40
    blue_shield(c, 20, 2, 32, 36, light=(190, 198, 210), dark=(100, 110, 126))
    cross = circle(29, 29, 8.5)
    c.shadow(cross)
    c.fill(cross, RED)
    c.fill(union(seg(25.5, 25.5, 32.5, 32.5, 2.6), seg(32.5, 25.5, 25.5, 32.5, 2.6)), PAPER)


def draw_registry(c):  # grid 40: three blocks and a spanner-like check
    cubes = [(4, 20, BLUE), (18, 20, (70, 150, 235)), (11, 6, BLUE_DARK)]
    for x, y, col in cubes:
        r = rbox(x, y, x + 13, y + 13, 1.5)
        c.shadow(r)
        c.fill(r, linear(tuple(min(255, v + 50) for v in col), col, x, y, x + 13, y + 13))
        c.fill(seg(x + 3, y + 3, x + 10, y + 3, 1.2), (255, 255, 255), 0.5)
    b = circle(31, 12, 7.5)
    c.shadow(b)
    c.fill(b, GREEN)
    check_mark(c, [(27.5, 12), (30.3, 15), (35, 9)], 2.3, PAPER)


def draw_disk(c):  # grid 40: hard disk and a green sparkle
    box = rbox(3, 10, 37, 34, 3)
    c.shadow(box)
    c.fill(box, linear((200, 206, 214), (120, 128, 140), 3, 10, 37, 34))
    c.fill(circle(16, 22, 9), (90, 98, 112))
    c.fill(circle(16, 22, 7.5), linear((225, 230, 236), (150, 158, 170), 8, 14, 24, 30))
    c.fill(circle(16, 22, 2), INK)
    c.fill(seg(22, 16, 30, 28, 2), INK)
    c.fill(circle(32, 30.5, 1.4), GREEN)
    star = polygon([(31, 1), (33, 6.5), (38.5, 8), (33, 9.5), (31, 15), (29, 9.5), (23.5, 8), (29, 6.5)])
    c.shadow(star)
    c.fill(star, GREEN)


def draw_usb_drive(c):  # grid 40
    usb_stick(c, 11, 2, 29, 38)


def draw_status(c):  # grid 28: green shield with a check
    s = shield(14, 1.5, 22, 25)
    c.shadow(s)
    c.fill(s, linear((120, 220, 140), GREEN_DARK, 3, 1.5, 25, 26.5))
    check_mark(c, [(8.5, 13.5), (12.5, 17.5), (19.5, 9)], 3.1, PAPER)


def draw_info_picture(c):  # grid 196 x 104
    panel = rbox(2, 2, 194, 102, 10)
    c.fill(panel, linear((236, 244, 255), (205, 225, 250), 0, 2, 0, 102))
    monitor(c, 10, 12, 86, 92, linear((120, 185, 250), (25, 90, 190), 10, 12, 86, 80))
    s = shield(48, 22, 26, 30)
    c.fill(s, linear((130, 225, 150), GREEN_DARK, 35, 22, 61, 52))
    check_mark(c, [(40.5, 37), (46, 42.5), (56, 30)], 4, PAPER)
    cable = polyline([(86, 52), (104, 52), (116, 70), (136, 70)], 3.2)
    c.fill(cable, GREY)
    for i in range(4):
        x = 96 + i * 11
        c.fill(circle(x, 38 - (i % 2) * 4, 2.2), BLUE_LIGHT, 0.8)
    plug = rbox(134, 63, 150, 77, 2)
    c.fill(plug, linear(BLUE_LIGHT, BLUE_DARK, 134, 63, 150, 77))
    c.fill(rbox(149, 65, 160, 75, 1), linear(SILVER, SILVER_DARK, 149, 65, 149, 75))
    usb_stick(c, 164, 22, 186, 92)
    badge = circle(170, 24, 9)
    c.shadow(badge)
    c.fill(badge, GREEN)
    check_mark(c, [(165.5, 24), (169, 27.5), (175, 20.5)], 2.6, PAPER)


# ---------------------------------------------------------------------------
# Clips and sound


def frame_pixels(c, background):
    out = []
    for y in range(c.h):
        for x in range(c.w):
            p = c.pixel(x, y)
            out.append(background if p[3] < 0.02 else blend_over(p, BUTTON_FACE))
    return out


def scan_clip():
    """A magnifier circling over a USB drive: 32 x 32, keyed on magenta."""
    frames = []
    n = 12
    key = (255, 0, 255)
    for i in range(n):
        c = Canvas(32, 32, 32, 32)
        usb_stick(c, 10, 2, 22, 30)
        a = 2 * math.pi * i / n
        magnifier(c, 15 + 6 * math.cos(a), 15 + 6 * math.sin(a), 5.5, BLUE_DARK)
        px = frame_pixels(c, key)
        px[0] = key
        frames.append(px)
    return avi_bytes(frames, 32, 32, 10)


def cleanup_clip():
    """Documents flying from a folder into a bin: 160 x 32, keyed on magenta."""
    frames = []
    n = 16
    key = (255, 0, 255)
    for i in range(n):
        c = Canvas(160, 32, 160, 32)
        folder = union(rbox(4, 9, 16, 14, 1.5), rbox(4, 11, 34, 29, 2))
        c.shadow(folder)
        c.fill(folder, linear(YELLOW, ORANGE, 4, 9, 34, 29))
        trash_can(c, 128, 3, 152, 30)
        for k in range(2):
            t = ((i + k * n / 2) % n) / n
            x = 24 + (128 - 24) * t
            y = 14 - 12 * math.sin(math.pi * t)
            document(c, x, y, x + 12, y + 15)
        for k in range(3):
            x = 52 + k * 24
            dot = circle(x, 26, 1.6)
            c.fill(dot, GREEN if (i // 2) % 3 == k else SILVER)
        px = frame_pixels(c, key)
        px[0] = key
        frames.append(px)
    return avi_bytes(frames, 160, 32, 12)


def alert_sound():
    """Two rising tones, 0.42 s, 22.05 kHz 16-bit mono."""
    rate = 22050
    samples = []
    for freq, length in ((880.0, 0.17), (0.0, 0.04), (1318.5, 0.21)):
        count = int(rate * length)
        for i in range(count):
            t = i / rate
            if freq == 0.0:
                samples.append(0)
                continue
            env = min(1.0, i / (0.008 * rate)) * min(1.0, (count - i) / (0.05 * rate))
            v = math.sin(2 * math.pi * freq * t) + 0.25 * math.sin(4 * math.pi * freq * t)
            samples.append(int(round(9000 * env * v)))
    return wav_bytes(samples, rate)


# ---------------------------------------------------------------------------


HAND = [
    "     ##",
    "    #..#",
    "    #..#",
    "    #..#",
    "    #..#",
    "    #..###",
    "    #..#..###",
    "    #..#..#..##",
    " ## #..#..#..#.#",
    "#..##........#..#",
    "#...#...........#",
    " #..#...........#",
    "  #.............#",
    "  #.............#",
    "   #............#",
    "   #...........#",
    "    #..........#",
    "    #.........#",
    "     #........#",
    "     #........#",
    "     ##########",
]


# Small icons (16 at 100 %) and large ones (32) at 100, 125, 150 and 200 %.
SMALL_ICONS = (16, 20, 24, 32)
LARGE_ICONS = (32, 40, 48, 64)
SCALES = (100, 150, 200)


def icon_set(draw, sizes=SMALL_ICONS + LARGE_ICONS[1:]):
    out = []
    for s in sizes:
        c = Canvas(s, s, 32, 32)
        draw(c)
        out.append(c)
    return out


def scaled_name(name, scale):
    return name if scale == 100 else name.replace(".bmp", "_%d.bmp" % scale)


def build(out_dir):
    files = {}
    files["main.ico"] = ico_bytes(icon_set(draw_main))
    # The simplified drawing where the icon is small, the full one above.
    files["tray.ico"] = ico_bytes(icon_set(draw_tray, (16, 20, 24)) + icon_set(draw_main, (32,)))
    files["about.ico"] = ico_bytes(icon_set(draw_about))
    files["shield.ico"] = ico_bytes(icon_set(draw_shield_icon))
    files["computer.ico"] = ico_bytes(icon_set(draw_computer))
    files["usb_plug.ico"] = ico_bytes(icon_set(draw_usb_plug))
    # The help button shows it at its first image's size, 32 at 100 %.
    files["help_book.ico"] = ico_bytes(icon_set(draw_help_book, LARGE_ICONS))
    files["hand.cur"] = cur_bytes(HAND, (5, 0))
    for scale in SCALES:
        bitmaps = {}
        for name, draw in PAGES:
            bitmaps["page_%s.bmp" % name] = bmp_bytes(page_bitmap(draw, False, scale))
            bitmaps["page_%s_hot.bmp" % name] = bmp_bytes(page_bitmap(draw, True, scale), matte=TILE)
        bitmaps["delete.bmp"] = bmp_bytes(action(30, 32, draw_delete, scale))
        bitmaps["stop.bmp"] = bmp_bytes(action(30, 32, draw_stop, scale))
        bitmaps["scan.bmp"] = bmp_bytes(action(30, 32, draw_scan, scale))
        bitmaps["restore.bmp"] = bmp_bytes(action(30, 32, draw_restore, scale))
        bitmaps["refresh.bmp"] = bmp_bytes(action(30, 32, draw_refresh, scale))
        bitmaps["safe_removal.bmp"] = bmp_bytes(action(40, 40, draw_safe_removal, scale))
        bitmaps["immunise.bmp"] = bmp_bytes(action(40, 40, draw_immunise, scale))
        bitmaps["cancel_immunity.bmp"] = bmp_bytes(action(40, 40, draw_cancel_immunity, scale))
        bitmaps["registry.bmp"] = bmp_bytes(action(40, 40, draw_registry, scale))
        bitmaps["disk.bmp"] = bmp_bytes(action(40, 40, draw_disk, scale))
        bitmaps["usb_drive.bmp"] = bmp_bytes(action(40, 40, draw_usb_drive, scale))
        bitmaps["status.bmp"] = bmp_bytes(action(28, 28, draw_status, scale))
        info = Canvas(196 * scale // 100, 104 * scale // 100, 196, 104)
        draw_info_picture(info)
        bitmaps["info_picture.bmp"] = bmp_bytes(info)
        for name, data in bitmaps.items():
            files[scaled_name(name, scale)] = data
    files["scan.avi"] = scan_clip()
    files["cleanup.avi"] = cleanup_clip()
    files["alert.wav"] = alert_sound()

    os.makedirs(out_dir, exist_ok=True)
    for name in sorted(files):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(files[name])
    return sorted(files)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "src", "res", "art")
    for written in build(target):
        print(written)
