#!/usr/bin/env python3
"""Draws the main window's icons (32 x 32, RGBA) into icons/: form, docks, tool-page buttons.

Run from this folder: python3 make-mainwindow-icons.py
Only the standard library is used: shapes are signed-distance tests sampled
4 x 4 per pixel, composited with the "over" rule and written as PNG (and one
32-bit ICO). Files whose names end in .svg or .webp hold PNG data: Qt picks the
reader by content when no plugin for that suffix is installed.
"""
import math
import os
import struct
import zlib

SIZE = 32
SS = 4  # samples per pixel along each axis


def seg_dist(px, py, ax, ay, bx, by):
    vx, vy = bx - ax, by - ay
    wx, wy = px - ax, py - ay
    L = vx * vx + vy * vy
    t = 0.0 if L == 0 else max(0.0, min(1.0, (wx * vx + wy * vy) / L))
    dx, dy = px - (ax + t * vx), py - (ay + t * vy)
    return math.hypot(dx, dy)


def inside_poly(px, py, pts):
    c = False
    n = len(pts)
    for i in range(n):
        x1, y1 = pts[i]
        x2, y2 = pts[(i + 1) % n]
        if (y1 > py) != (y2 > py):
            if px < (x2 - x1) * (py - y1) / (y2 - y1) + x1:
                c = not c
    return c


# Shape constructors return a predicate (x, y) -> bool in pixel coordinates.
def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, w):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) <= w / 2


def line(ax, ay, bx, by, w):
    return lambda x, y: seg_dist(x, y, ax, ay, bx, by) <= w / 2


def polyline(pts, w, closed=False):
    segs = list(zip(pts, pts[1:] + (pts[:1] if closed else [])))
    return lambda x, y: any(seg_dist(x, y, a[0], a[1], b[0], b[1]) <= w / 2 for a, b in segs)


def poly(pts):
    return lambda x, y: inside_poly(x, y, pts)


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1


def ellipse_ring(cx, cy, rx, ry, w):
    def f(x, y):
        d = math.hypot((x - cx) / rx, (y - cy) / ry)
        return abs(d - 1) * min(rx, ry) <= w / 2
    return f


def clip(shape, region):
    return lambda x, y: shape(x, y) and region(x, y)


def minus(shape, hole):
    return lambda x, y: shape(x, y) and not hole(x, y)


def render(layers):
    """layers: list of (predicate, (r, g, b, a))."""
    px = bytearray(SIZE * SIZE * 4)
    for j in range(SIZE):
        for i in range(SIZE):
            r = g = b = a = 0.0
            for pred, col in layers:
                cov = 0
                for sj in range(SS):
                    for si in range(SS):
                        if pred(i + (si + 0.5) / SS, j + (sj + 0.5) / SS):
                            cov += 1
                if not cov:
                    continue
                sa = col[3] / 255.0 * cov / (SS * SS)
                # premultiplied "over"
                r = col[0] / 255.0 * sa + r * (1 - sa)
                g = col[1] / 255.0 * sa + g * (1 - sa)
                b = col[2] / 255.0 * sa + b * (1 - sa)
                a = sa + a * (1 - sa)
            k = (j * SIZE + i) * 4
            if a > 0:
                px[k:k + 4] = bytes([round(r / a * 255), round(g / a * 255), round(b / a * 255), round(a * 255)])
    return px


def png_bytes(px):
    raw = b"".join(b"\x00" + bytes(px[j * SIZE * 4:(j + 1) * SIZE * 4]) for j in range(SIZE))

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico_bytes(px):
    # One 32-bit BGRA DIB entry (bottom-up rows) with an all-zero AND mask.
    rows = []
    for j in reversed(range(SIZE)):
        row = bytearray()
        for i in range(SIZE):
            k = (j * SIZE + i) * 4
            row += bytes([px[k + 2], px[k + 1], px[k], px[k + 3]])
        rows.append(bytes(row))
    mask = b"\x00" * (SIZE // 8) * SIZE
    dib = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(rows) * SIZE * 4 + len(mask), 0, 0, 0, 0)
    image = dib + b"".join(rows) + mask
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return header + entry + image


INK = (55, 71, 79, 255)
BLUE = (30, 136, 229, 255)
GREEN = (67, 160, 71, 255)
LIGHT = (236, 239, 241, 255)
ORANGE = (251, 140, 0, 255)
BROWN = (121, 85, 72, 255)
GREY = (144, 164, 174, 255)


def document(x0, y0, x1, y1, fold=5, fill=LIGHT, ink=INK):
    outline = [(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)]
    return [(poly(outline), fill), (polyline(outline, 2, closed=True), ink),
            (polyline([(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)], 1.5), ink)]


def magnifier(sign):
    layers = [(disc(13, 13, 9), (227, 242, 253, 255)), (ring(13, 13, 9, 3), INK),
              (line(19.5, 19.5, 28, 28, 4.5), INK), (line(9, 13, 17, 13, 2.5), BLUE)]
    if sign == "+":
        layers.append((line(13, 9, 13, 17, 2.5), BLUE))
    return layers


def eye():
    outline = [(2, 16), (9, 9), (16, 7), (23, 9), (30, 16), (23, 23), (16, 25), (9, 23)]
    return [(poly(outline), (255, 255, 255, 255)), (polyline(outline, 2, True), INK),
            (disc(16, 16, 6), BLUE), (disc(16, 16, 2.5), (20, 20, 20, 255)), (disc(14, 14, 1.2), (255, 255, 255, 255))]


def arc(cx, cy, r, w, a0, a1):
    """Ring between angles a0 and a1 (degrees, clockwise on screen from the +x axis)."""
    def f(x, y):
        a = math.degrees(math.atan2(y - cy, x - cx)) % 360
        return (a0 <= a <= a1 if a0 <= a1 else a >= a0 or a <= a1) and abs(math.hypot(x - cx, y - cy) - r) <= w / 2
    return f


def arrow_head(cx, cy, r, angle, half_width, length):
    """Triangle on the circle at angle, pointing clockwise along it."""
    t = math.radians(angle)
    ux, uy = math.cos(t), math.sin(t)  # outwards
    tx, ty = -uy, ux                   # clockwise tangent
    bx, by = cx + r * ux, cy + r * uy
    return poly([(bx + half_width * ux, by + half_width * uy), (bx - half_width * ux, by - half_width * uy),
                 (bx + length * tx, by + length * ty)])


def circular_arrows(cx=16, cy=16, r=9.5, w=3, colour=GREEN):
    # Two half-circle arrows chasing each other clockwise.
    return [(arc(cx, cy, r, w, 190, 320), colour), (arrow_head(cx, cy, r, 320, 5, 6), colour),
            (arc(cx, cy, r, w, 10, 140), colour), (arrow_head(cx, cy, r, 140, 5, 6), colour)]


ICONS = {
    "add-files.png": document(5, 3, 22, 28)
    + [(disc(23, 23, 7.5), GREEN), (line(23, 19, 23, 27, 2.5), (255, 255, 255, 255)),
       (line(19, 23, 27, 23, 2.5), (255, 255, 255, 255))],
    "multiple-layers.png": [
        (poly([(16, 17), (29, 22), (16, 28), (3, 22)]), (144, 202, 249, 255)),
        (polyline([(16, 17), (29, 22), (16, 28), (3, 22)], 1.5, True), INK),
        (poly([(16, 10), (29, 15.5), (16, 21), (3, 15.5)]), (100, 181, 246, 255)),
        (polyline([(16, 10), (29, 15.5), (16, 21), (3, 15.5)], 1.5, True), INK),
        (poly([(16, 3), (29, 8.5), (16, 14), (3, 8.5)]), BLUE),
        (polyline([(16, 3), (29, 8.5), (16, 14), (3, 8.5)], 1.5, True), INK)],
    "multiple-files-processing.png": document(9, 2, 26, 22) + document(4, 8, 21, 29)
    + [(line(8, 16, 17, 16, 1.5), INK), (line(8, 20, 17, 20, 1.5), INK), (line(8, 24, 14, 24, 1.5), INK),
       (disc(25, 25, 6), ORANGE), (disc(25, 25, 2.2), (255, 255, 255, 255))],
    "search-zoom.png": magnifier("+"),
    "search-minus.png": magnifier("-"),
    "link.png": [(ellipse_ring(11, 16, 8, 5, 3), INK), (ellipse_ring(21, 16, 8, 5, 3), BLUE)],
    "autosegm.svg": [
        (poly([(6, 14), (10, 6), (19, 4), (27, 9), (28, 19), (22, 27), (12, 27), (5, 22)]), (200, 230, 201, 255)),
        (polyline([(6, 14), (10, 6), (19, 4), (27, 9), (28, 19), (22, 27), (12, 27), (5, 22)], 2, True), GREEN),
        (disc(10, 6, 2.3), (229, 57, 53, 255)), (disc(27, 9, 2.3), (229, 57, 53, 255)),
        (disc(22, 27, 2.3), (229, 57, 53, 255)), (disc(5, 22, 2.3), (229, 57, 53, 255))],
    "globe-icon.webp": [
        (disc(16, 16, 13), (129, 212, 250, 255)), (ring(16, 16, 13, 2), (2, 119, 189, 255)),
        (ellipse_ring(16, 16, 6, 13, 1.5), (2, 119, 189, 255)), (line(16, 3, 16, 29, 1.5), (2, 119, 189, 255)),
        (line(3, 16, 29, 16, 1.5), (2, 119, 189, 255)),
        (clip(line(4, 10, 28, 10, 1.5), disc(16, 16, 13)), (2, 119, 189, 255)),
        (clip(line(4, 22, 28, 22, 1.5), disc(16, 16, 13)), (2, 119, 189, 255))],
    "forest-tree-icon.webp": [
        (rect(14, 23, 18, 30), BROWN),
        (poly([(16, 2), (25, 13), (20, 13), (27, 23), (5, 23), (12, 13), (7, 13)]), (46, 125, 50, 255)),
        (polyline([(16, 2), (25, 13), (20, 13), (27, 23), (5, 23), (12, 13), (7, 13)], 1.2, True),
         (27, 94, 32, 255))],
    "localLoader.png": [
        (poly([(3, 8), (12, 8), (14, 11), (29, 11), (29, 27), (3, 27)]), (255, 202, 40, 255)),
        (polyline([(3, 8), (12, 8), (14, 11), (29, 11), (29, 27), (3, 27)], 1.5, True), (191, 144, 0, 255)),
        (line(16, 13, 16, 23, 3), INK), (poly([(10.5, 19), (21.5, 19), (16, 25.5)]), INK)],
    "image-line-icon.svg": [
        (rect(3, 5, 29, 27), LIGHT), (polyline([(3, 5), (29, 5), (29, 27), (3, 27)], 2, True), INK),
        (poly([(5, 25), (13, 14), (19, 21), (22, 17), (27, 25)]), GREEN), (disc(22, 11, 2.5), ORANGE)],
    "toolbox-repairing-icon.svg": [
        (polyline([(11, 10), (11, 5), (21, 5), (21, 10)], 2.5), INK),
        (rect(3, 10, 29, 27), (229, 57, 53, 255)), (polyline([(3, 10), (29, 10), (29, 27), (3, 27)], 1.5, True), INK),
        (line(3, 17, 29, 17, 1.5), INK), (rect(14, 15, 18, 20), LIGHT)],
    "database-line-icon.png": [
        (rect(6, 7, 26, 25), (179, 229, 252, 255)), (ellipse(16, 25, 10, 4), (179, 229, 252, 255)),
        (ellipse(16, 7, 10, 4), (129, 212, 250, 255)), (ellipse_ring(16, 7, 10, 4, 1.8), INK),
        (clip(ellipse_ring(16, 16, 10, 4, 1.8), rect(0, 16, 32, 32)), INK),
        (clip(ellipse_ring(16, 25, 10, 4, 1.8), rect(0, 25, 32, 32)), INK),
        (line(6, 7, 6, 25, 1.8), INK), (line(26, 7, 26, 25, 1.8), INK)],
    # "Show feature" of the tool pages, and "Hide feature" while a feature viewer is shown.
    "eye-look.png": eye(),
    "eye-look-hide.png": eye()
    + [(line(6, 27, 26, 5, 5), (255, 255, 255, 255)), (line(6, 27, 26, 5, 2.5), (229, 57, 53, 255))],
    # "Update image" and the refresh buttons of the tool pages.
    "update.png": circular_arrows(),
    # The corner button of the viewer tabs: open (plus) and close (minus) the right side.
    "plus-line.png": [(ring(16, 16, 12, 2), INK), (line(10, 16, 22, 16, 2.5), INK), (line(16, 10, 16, 22, 2.5), INK)],
    "minus-line.png": [(ring(16, 16, 12, 2), INK), (line(10, 16, 22, 16, 2.5), INK)],
    # "Remove Plot" of the habitat manager: a cross in the same ring.
    "close-line.png": [(ring(16, 16, 12, 2), INK), (line(11.5, 11.5, 20.5, 20.5, 2.5), INK),
                       (line(20.5, 11.5, 11.5, 20.5, 2.5), INK)],
    # "Apply" of the local archive browser: a tick.
    "tick-icon.png": [(polyline([(6, 17), (13, 24), (27, 8)], 4.5), GREEN)],
    # "Search" of the remote catalogue and the curve database: a plain lens.
    "search-line-icon.png": [(disc(13, 13, 9), (227, 242, 253, 255)), (ring(13, 13, 9, 3), INK),
                             (line(19.5, 19.5, 28, 28, 4.5), INK)],
    # "Download" of the remote catalogue: an arrow down into a tray.
    "download-install-line-icon.webp": [
        (line(16, 3, 16, 18, 3.5), BLUE), (poly([(8.5, 14), (23.5, 14), (16, 22.5)]), BLUE),
        (polyline([(4, 19), (4, 28), (28, 28), (28, 19)], 3), INK)],
    # Tree lines of the curves explorer's curve rows: a branch off the line
    # that runs on to the next curve, and the corner of a set's last curve.
    "expanditem.png": [(rect(15, 0, 17, 32), GREY), (rect(15, 15, 32, 17), GREY)],
    "expanditemLast.png": [(rect(15, 0, 17, 17), GREY), (rect(15, 15, 32, 17), GREY)],
}

LOGO = [(disc(16, 16, 15), (46, 125, 50, 255)),
        (poly([(9, 25), (9, 7), (23, 7), (23, 11), (13, 11), (13, 14.5), (21, 14.5), (21, 18.5), (13, 18.5), (13, 25)]),
         (255, 255, 255, 255)),
        (ring(16, 16, 15, 1.5), (27, 94, 32, 255))]


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons")
    os.makedirs(out, exist_ok=True)
    for name, layers in ICONS.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(png_bytes(render(layers)))
    with open(os.path.join(out, "logoNew.ico"), "wb") as f:
        f.write(ico_bytes(render(LOGO)))


if __name__ == "__main__":
    main()
