#!/usr/bin/env python3
"""Draws every icon of Quillmar and writes them as .ico files beside this script.

    python3 res/make_icons.py             writes res/icons/*.ico
    python3 res/make_icons.py --preview sheet.png
                                          also writes a contact sheet of every
                                          icon, enlarged and at its real size

Only the standard library is used. Each icon is drawn from vector shapes on a
design grid (16, 24 or 32 units) and rendered with 4x4 supersampling into
32-bit images with alpha; small outlines are kept one pixel wide at every size
so that the 16x16 images stay crisp.
"""

import math
import os
import struct
import sys
import zlib

SUPERSAMPLE = 4
HERE = os.path.dirname(os.path.abspath(__file__))
ICON_DIR = os.path.join(HERE, "icons")


# ---------------------------------------------------------------- shapes
# A shape is (bbox, contains): bbox = (x0, y0, x1, y1) in design units, and
# contains(x, y) tells whether a design-unit point lies inside.

def rect(x0, y0, x1, y1, r=0.0):
    def contains(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        if r <= 0:
            return True
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return ((x0, y0, x1, y1), contains)


def ellipse(cx, cy, rx, ry=None):
    ry = rx if ry is None else ry
    def contains(x, y):
        return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0
    return ((cx - rx, cy - ry, cx + rx, cy + ry), contains)


def poly(points):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    n = len(points)
    def contains(x, y):
        inside = False
        j = n - 1
        for i in range(n):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                inside = not inside
            j = i
        return inside
    return ((min(xs), min(ys), max(xs), max(ys)), contains)


def stroke(points, width, closed=False):
    """Every point within width/2 of the polyline (round joins and caps)."""
    segs = list(zip(points, points[1:]))
    if closed:
        segs.append((points[-1], points[0]))
    h = width / 2.0
    h2 = h * h
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    def contains(x, y):
        for (ax, ay), (bx, by) in segs:
            dx, dy = bx - ax, by - ay
            ll = dx * dx + dy * dy
            t = 0.0 if ll == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / ll))
            px, py = ax + t * dx - x, ay + t * dy - y
            if px * px + py * py <= h2:
                return True
        return False
    return ((min(xs) - h, min(ys) - h, max(xs) + h, max(ys) + h), contains)


def arc_points(cx, cy, r, a0, a1, steps=24):
    """Points of a circular arc; angles in degrees, 0 = right, 90 = down."""
    return [(cx + r * math.cos(math.radians(a0 + (a1 - a0) * i / steps)),
             cy + r * math.sin(math.radians(a0 + (a1 - a0) * i / steps)))
            for i in range(steps + 1)]


def union(*shapes):
    boxes = [s[0] for s in shapes]
    def contains(x, y):
        return any(s[1](x, y) for s in shapes)
    return ((min(b[0] for b in boxes), min(b[1] for b in boxes),
             max(b[2] for b in boxes), max(b[3] for b in boxes)), contains)


def minus(a, b):
    return (a[0], lambda x, y: a[1](x, y) and not b[1](x, y))


def clip(a, b):
    return (a[0], lambda x, y: a[1](x, y) and b[1](x, y))


def dashed(shape, period, on):
    """Keeps the parts of a shape where (x + y) falls in the dash's 'on' stretch."""
    return (shape[0], lambda x, y: shape[1](x, y) and ((x + y) % period) < on)


def inset_polygon(points, d):
    """The polygon shrunk by d (points in clockwise screen order, y down)."""
    n = len(points)
    lines = []
    for i in range(n):
        (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
        length = math.hypot(bx - ax, by - ay)
        nx, ny = -(by - ay) / length, (bx - ax) / length  # inward for clockwise
        lines.append(((ax + nx * d, ay + ny * d), (bx - ax, by - ay)))
    out = []
    for i in range(n):
        (p, r), (q, s) = lines[i - 1], lines[i]
        cross = r[0] * s[1] - r[1] * s[0]
        if abs(cross) < 1e-9:
            out.append(q)
            continue
        t = ((q[0] - p[0]) * s[1] - (q[1] - p[1]) * s[0]) / cross
        out.append((p[0] + t * r[0], p[1] + t * r[1]))
    return out


def glyph(rows, x0, y0, cell):
    """A pixel-art glyph: '#' cells of size cell from (x0, y0)."""
    h, w = len(rows), len(rows[0])
    def contains(x, y):
        col = int((x - x0) // cell)
        row = int((y - y0) // cell)
        return 0 <= row < h and 0 <= col < w and rows[row][col] == "#"
    return ((x0, y0, x0 + w * cell, y0 + h * cell), contains)


# ---------------------------------------------------------------- colours

def rgb(hexcode, a=1.0):
    v = int(hexcode.lstrip("#"), 16)
    return ((v >> 16 & 255) / 255.0, (v >> 8 & 255) / 255.0, (v & 255) / 255.0, a)


def vgrad(y0, c0, y1, c1):
    """A vertical gradient from c0 at y0 to c1 at y1 (design units)."""
    def colour(x, y):
        t = max(0.0, min(1.0, (y - y0) / (y1 - y0)))
        return tuple(c0[i] + (c1[i] - c0[i]) * t for i in range(4))
    return colour


def dgrad(x0, y0, c0, x1, y1, c1):
    """A gradient along the line from (x0, y0) to (x1, y1)."""
    dx, dy = x1 - x0, y1 - y0
    ll = dx * dx + dy * dy
    def colour(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / ll))
        return tuple(c0[i] + (c1[i] - c0[i]) * t for i in range(4))
    return colour


# ---------------------------------------------------------------- canvas

class Canvas:
    def __init__(self, size, grid):
        self.size = size
        self.scale = size / float(grid)
        self.pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]  # premultiplied

    def px(self, n):
        """n device pixels in design units."""
        return n / self.scale

    def fill(self, shape, colour):
        (bx0, by0, bx1, by1), contains = shape
        s = self.scale
        i0 = max(0, int(math.floor(bx0 * s)))
        j0 = max(0, int(math.floor(by0 * s)))
        i1 = min(self.size, int(math.ceil(bx1 * s)))
        j1 = min(self.size, int(math.ceil(by1 * s)))
        n = SUPERSAMPLE
        offsets = [(k + 0.5) / n for k in range(n)]
        for j in range(j0, j1):
            for i in range(i0, i1):
                hits = 0
                for oy in offsets:
                    y = (j + oy) / s
                    for ox in offsets:
                        if contains((i + ox) / s, y):
                            hits += 1
                if not hits:
                    continue
                cov = hits / float(n * n)
                c = colour((i + 0.5) / s, (j + 0.5) / s) if callable(colour) else colour
                a = c[3] * cov
                p = self.pixels[j * self.size + i]
                k = 1.0 - a
                p[0] = c[0] * a + p[0] * k
                p[1] = c[1] * a + p[1] * k
                p[2] = c[2] * a + p[2] * k
                p[3] = a + p[3] * k

    def outlined(self, outer, inner, line, body):
        """Fills outer with the line colour, then inner (the inset) with the body."""
        self.fill(outer, line)
        self.fill(inner, body)

    def bgra_rows(self):
        """Straight (not premultiplied) 8-bit BGRA rows, top row first."""
        rows = []
        for j in range(self.size):
            row = bytearray()
            for i in range(self.size):
                r, g, b, a = self.pixels[j * self.size + i]
                if a <= 0.0:
                    row += b"\0\0\0\0"
                    continue
                row += bytes((to8(b / a), to8(g / a), to8(r / a), to8(a)))
            rows.append(bytes(row))
        return rows


def to8(v):
    return max(0, min(255, int(round(v * 255.0))))


# ---------------------------------------------------------------- palette

INK = rgb("#4a5568")          # outlines of pages and drives
PAGE_TOP = rgb("#ffffff")
PAGE_BOTTOM = rgb("#e4e9f0")
FOLD = rgb("#cfd7e2")
TEXT_LINE = rgb("#a9b6c7")
FOLDER_LINE = rgb("#9a6a12")
FOLDER_BACK = rgb("#e0a83a")
FOLDER_FRONT_TOP = rgb("#ffe08a")
FOLDER_FRONT_BOTTOM = rgb("#f5c04a")
GREEN = rgb("#1f9d3a")
RED = rgb("#d93025")
ORANGE = rgb("#f08c00")
BLUE = rgb("#2f6fd6")
DARK_BLUE = rgb("#1d4a96")
WHITE = rgb("#ffffff")
STEEL_LIGHT = rgb("#f2f4f7")
STEEL = rgb("#c3cad4")
STEEL_DARK = rgb("#8b95a3")


# ---------------------------------------------------------------- pieces on the 16 grid

def page_outline(h):
    """The page with a folded corner, shrunk by h: left 3, right 13, top 1, bottom 15."""
    return inset_polygon([(3, 1), (9, 1), (13, 5), (13, 15), (3, 15)], h)


def draw_page(c, ghost=False):
    line = c.px(1)
    if ghost:
        # A missing file: a faint page with a dashed outline.
        c.fill(poly(page_outline(line)), rgb("#eef1f5", 0.7))
        c.fill(dashed(minus(poly(page_outline(0)), poly(page_outline(line))), 3.0, 2.0),
               rgb("#5a6576"))
        return
    c.outlined(poly(page_outline(0)), poly(page_outline(line)), INK,
               vgrad(1, PAGE_TOP, 15, PAGE_BOTTOM))
    # The folded corner.
    c.fill(poly([(9, 1), (9 + line, 1), (9 + line, 5 - line), (13, 5 - line), (13, 5), (9, 5)]), INK)
    c.fill(poly([(9 + line, 1 + line * 1.5), (9 + line, 5 - line), (13 - line * 1.5, 5 - line)]), FOLD)
    for y in (7, 9, 11, 13):
        c.fill(rect(5, y, 11, y + c.px(1)), TEXT_LINE)


def folder_back(h):
    return inset_polygon([(1, 3), (6, 3), (7.5, 4.5), (15, 4.5), (15, 14), (1, 14)], h)


def draw_folder(c, ghost=False):
    line = c.px(1)
    front = [(1, 6.5), (15, 6.5), (15, 14), (1, 14)]
    if ghost:
        c.fill(poly(folder_back(line)), rgb("#f5d58a", 0.55))
        c.fill(dashed(minus(poly(folder_back(0)), poly(folder_back(line))), 3.0, 2.0),
               rgb("#7a6030"))
        c.fill(dashed(rect(1, 6.5, 15, 6.5 + line), 3.0, 2.0), rgb("#7a6030"))
        return
    c.outlined(poly(folder_back(0)), poly(folder_back(line)), FOLDER_LINE, FOLDER_BACK)
    c.outlined(poly(front), poly(inset_polygon(front, line)), FOLDER_LINE,
               vgrad(6.5, FOLDER_FRONT_TOP, 14, FOLDER_FRONT_BOTTOM))


def draw_badge(c, colour, mark):
    """A state badge in the lower right corner: a disc with a white mark."""
    cx, cy = 11.5, 11.5
    c.fill(ellipse(cx, cy, 4.5 + c.px(1)), WHITE)
    c.fill(ellipse(cx, cy, 4.5), colour)
    bar = max(1.0, c.px(2)) if c.scale >= 2 else 1.0
    if mark in ("plus", "minus"):
        c.fill(rect(cx - 2.5, cy - bar / 2, cx + 2.5, cy + bar / 2), WHITE)
    if mark == "plus":
        c.fill(rect(cx - bar / 2, cy - 2.5, cx + bar / 2, cy + 2.5), WHITE)
    if mark == "dot":
        c.fill(ellipse(cx, cy, 1.6), WHITE)


def state_icon(kind, state):
    def draw(c):
        ghost = state == "missing"
        if kind == "file":
            draw_page(c, ghost)
        else:
            draw_folder(c, ghost)
        if state == "new":
            draw_badge(c, GREEN, "plus")
        elif state == "missing":
            draw_badge(c, RED, "minus")
        elif state == "modified":
            draw_badge(c, ORANGE, "dot")
    return draw


# ---------------------------------------------------------------- drive icons (16 grid)

def draw_disk_body(c, top, bottom, light=True):
    """A fixed disk seen slightly from above, between rows top and bottom."""
    line = c.px(1)
    face = top + 3
    top_face = [(3, top), (13, top), (15, face), (1, face)]
    c.outlined(poly(top_face), poly(inset_polygon(top_face, line)), INK,
               vgrad(top, STEEL_LIGHT, face, STEEL))
    front = rect(1, face - line, 15, bottom, 1.0)
    c.outlined(front, rect(1 + line, face, 15 - line, bottom - line, 1.0 - line / 2), INK,
               vgrad(face, STEEL if light else STEEL_DARK, bottom, STEEL_DARK))
    # Front grille and activity light.
    mid = (face + bottom) / 2.0
    c.fill(rect(3, mid - 0.5, 8, mid + 0.5), rgb("#6b7686"))
    c.fill(rect(11, mid - 0.5, 13, mid + 0.5), rgb("#22c55e"))


def draw_fixed(c):
    draw_disk_body(c, 4, 12)


def draw_remote(c):
    draw_disk_body(c, 1, 9)
    # A network cable under the drive leading to a line.
    c.fill(rect(7.5, 9, 8.5, 13), rgb("#2b3544"))
    c.fill(rect(2, 13, 14, 15, 0.5), BLUE)
    c.fill(rect(6, 12, 10, 15, 0.5), DARK_BLUE)


def draw_cd(c):
    line = c.px(1)
    disc = minus(ellipse(8, 8, 7), ellipse(8, 8, 1.5))
    c.fill(disc, rgb("#7a8596"))
    def sheen(x, y):
        a = math.atan2(y - 8, x - 8)
        t = 0.5 + 0.5 * math.sin(2 * a)
        u = 0.5 + 0.5 * math.cos(3 * a + 1)
        return (0.80 + 0.15 * t, 0.82 + 0.1 * u, 0.92 + 0.08 * (1 - t), 1.0)
    c.fill(minus(ellipse(8, 8, 7 - line), ellipse(8, 8, 1.5 + line)), sheen)
    c.fill(minus(ellipse(8, 8, 3), ellipse(8, 8, 1.5 + line)), rgb("#e9edf2"))
    c.fill(minus(ellipse(8, 8, 3), ellipse(8, 8, 3 - line)), rgb("#9aa4b2"))


def draw_ram(c):
    line = c.px(1)
    board = [(1, 4), (15, 4), (15, 11), (9, 11), (9, 10), (7, 10), (7, 11), (1, 11)]
    c.outlined(poly(board), poly(inset_polygon(board, line)), rgb("#14532d"), rgb("#2f9e55"))
    for x in (2.5, 6.5, 10.5):
        c.fill(rect(x, 5.5, x + 3, 8.5), rgb("#1f2937"))
    for x in range(2, 14, 2):
        if x in (6, 8):
            continue
        c.fill(rect(x, 11, x + 1, 13), rgb("#d4a017"))


def draw_removable(c):
    line = c.px(1)
    body = rect(1, 4, 11, 12, 1.5)
    c.outlined(body, rect(1 + line, 4 + line, 11 - line, 12 - line, 1.5 - line / 2),
               rgb("#1e3a8a"), vgrad(4, rgb("#5b8def"), 12, rgb("#2f5fc0")))
    plug = rect(11, 5.5, 15, 10.5)
    c.outlined(plug, rect(11, 5.5 + line, 15 - line, 10.5 - line), INK,
               vgrad(5.5, STEEL_LIGHT, 10.5, STEEL))
    c.fill(rect(12, 7, 13, 8), rgb("#4a5568"))
    c.fill(rect(12, 8.5, 13, 9.5), rgb("#4a5568"))
    c.fill(rect(3, 7.5, 8, 8.5), rgb("#dbe6ff"))


QUESTION_3X5 = ["###", "..#", ".#.", "...", ".#."]


def draw_other(c):
    line = c.px(1)
    draw_disk_body(c, 4, 12)
    c.fill(ellipse(11.5, 11.5, 4.5 + line), WHITE)
    c.fill(ellipse(11.5, 11.5, 4.5), rgb("#6b7686"))
    c.fill(glyph(QUESTION_3X5, 10, 9, 1), WHITE)


# ---------------------------------------------------------------- toolbar icons (24 grid)

def arrow_head(tip, direction, length, half_width):
    dx, dy = direction
    n = math.hypot(dx, dy)
    dx, dy = dx / n, dy / n
    bx, by = tip[0] - dx * length, tip[1] - dy * length
    return poly([tip, (bx - dy * half_width, by + dx * half_width),
                 (bx + dy * half_width, by - dx * half_width)])


def draw_help(c):
    c.fill(ellipse(12, 12, 10.5), DARK_BLUE)
    c.fill(ellipse(12, 12, 10.5 - c.px(1)), dgrad(6, 3, rgb("#6aa2f5"), 16, 21, BLUE))
    pts = arc_points(12, 9, 3.6, 195, 380) + [(12, 13.2), (12, 14.6)]
    c.fill(stroke(pts, 2.6), WHITE)
    c.fill(ellipse(12, 18.3, 1.55), WHITE)


def circular_arrow(c, a0, a1, colour, dark):
    r = 7.5
    body = stroke(arc_points(12, 12, r, a0, a1 - 14), 3.4)
    end = math.radians(a1)
    tip = (12 + r * math.cos(end), 12 + r * math.sin(end))
    tangent = (-math.sin(end), math.cos(end))
    head = arrow_head(tip, tangent, 5.0, 4.2)
    outline = union(stroke(arc_points(12, 12, r, a0, a1 - 14), 3.4 + 2 * c.px(1)),
                    arrow_head(tip, tangent, 5.0 + c.px(1.5), 4.2 + c.px(1.3)))
    c.fill(outline, dark)
    c.fill(union(body, head), colour)



def draw_sync(c):
    circular_arrow(c, 200, 350, rgb("#2fb24c"), rgb("#15702c"))
    circular_arrow(c, 20, 170, rgb("#3c82f0"), rgb("#1d4a96"))


def draw_filters(c):
    line = c.px(1)
    funnel = [(2.5, 3.5), (21.5, 3.5), (14, 12.5), (14, 19.5), (10, 22), (10, 12.5)]
    c.outlined(poly(funnel), poly(inset_polygon(funnel, line)), DARK_BLUE,
               dgrad(2, 3, rgb("#8fb8f8"), 18, 14, BLUE))
    c.fill(ellipse(12, 4.5, 8.5, 1.3), rgb("#ffffff", 0.65))


def draw_open_volumes(c):
    line = c.px(1)
    # A folder behind a fixed disk.
    back = [(2, 2), (8, 2), (10, 4), (18, 4), (18, 14), (2, 14)]
    c.outlined(poly(back), poly(inset_polygon(back, line)), FOLDER_LINE, FOLDER_BACK)
    front = [(2, 6.5), (18, 6.5), (18, 14), (2, 14)]
    c.outlined(poly(front), poly(inset_polygon(front, line)), FOLDER_LINE,
               vgrad(6.5, FOLDER_FRONT_TOP, 14, FOLDER_FRONT_BOTTOM))
    top_face = [(7, 11), (20, 11), (23, 15), (4, 15)]
    c.outlined(poly(top_face), poly(inset_polygon(top_face, line)), INK,
               vgrad(11, STEEL_LIGHT, 15, STEEL))
    c.outlined(rect(4, 15 - line, 23, 22, 1.2), rect(4 + line, 15, 23 - line, 22 - line, 1.0),
               INK, vgrad(15, STEEL, 22, STEEL_DARK))
    c.fill(rect(6.5, 18, 13, 19), rgb("#6b7686"))
    c.fill(rect(18, 18, 21, 19), rgb("#22c55e"))


def small_page(c, x0, y0, x1, y1, fold):
    line = c.px(1)
    outline = [(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)]
    c.outlined(poly(outline), poly(inset_polygon(outline, line)), INK,
               vgrad(y0, PAGE_TOP, y1, PAGE_BOTTOM))
    c.fill(poly([(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)]), FOLD)
    c.fill(stroke([(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)], line), INK)
    for y in range(int(y0 + fold + 2), int(y1 - 1), 2):
        c.fill(rect(x0 + 2, y, x1 - 2, y + line), TEXT_LINE)


def draw_analyze(c):
    small_page(c, 2, 1, 12, 15, 3.5)
    small_page(c, 7, 5, 17, 19, 3.5)
    # Magnifying glass over the front page.
    c.fill(stroke([(17.5, 17.5), (21.8, 21.8)], 3.6), rgb("#3b2f24"))
    c.fill(stroke([(17.8, 17.8), (21.5, 21.5)], 2.2), rgb("#7a5a3a"))
    c.fill(ellipse(14, 14, 5.6), rgb("#2b3544"))
    c.fill(ellipse(14, 14, 5.6 - 1.6), rgb("#cfe6ff", 0.85))
    c.fill(stroke(arc_points(14, 14, 2.6, 200, 260, 8), 1.0), rgb("#ffffff", 0.9))


def draw_window(c, panes):
    line = c.px(1)
    c.outlined(rect(1.5, 3, 22.5, 21, 1.2), rect(1.5 + line, 3 + line, 22.5 - line, 21 - line, 1.0),
               rgb("#2b3544"), WHITE)
    c.fill(rect(1.5 + line, 3 + line, 22.5 - line, 7), vgrad(3, rgb("#5b8def"), 7, rgb("#2f5fc0")))
    if panes == 1:
        areas = [(3.5, 22.5 - 2)]
    else:
        areas = [(3.5, 11.25), (12.75, 20.5)]
    for x0, x1 in areas:
        # Each pane: a tree column and a list column.
        split = x0 + (x1 - x0) * 0.36
        c.fill(rect(x0, 9, x1, 19), rgb("#dfe7f3"))
        c.fill(rect(x0, 9, x0 + line, 19), rgb("#7a8596"))
        c.fill(rect(x1 - line, 9, x1, 19), rgb("#7a8596"))
        c.fill(rect(x0, 9, x1, 9 + line), rgb("#7a8596"))
        c.fill(rect(x0, 19 - line, x1, 19), rgb("#7a8596"))
        c.fill(rect(split, 9, split + line, 19), rgb("#7a8596"))
        for y in (11, 13.5, 16):
            c.fill(rect(x0 + 1.2, y, split - 0.8, y + 1), FOLDER_BACK)
            c.fill(rect(split + 1.2, y, x1 - 1.2, y + 1), rgb("#5f6b7d"))
    if panes == 2:
        c.fill(rect(11.25 + 0.2, 8, 12.75 - 0.2, 20), WHITE)


def draw_single(c):
    draw_window(c, 1)


def draw_double(c):
    draw_window(c, 2)


# ---------------------------------------------------------------- application icon (32 grid)

def draw_app(c):
    # One pixel up to 48; the large image keeps the outline in proportion.
    line = c.px(max(1, c.size // 48))
    def folder(x, y, w, h, back, front_top, front_bottom, ink):
        tab = [(x, y), (x + w * 0.38, y), (x + w * 0.48, y + h * 0.12),
               (x + w, y + h * 0.12), (x + w, y + h), (x, y + h)]
        c.outlined(poly(tab), poly(inset_polygon(tab, line)), ink, back)
        front = [(x, y + h * 0.3), (x + w, y + h * 0.3), (x + w, y + h), (x, y + h)]
        c.outlined(poly(front), poly(inset_polygon(front, line)), ink,
                   vgrad(y + h * 0.3, front_top, y + h, front_bottom))
    folder(1, 2, 20, 17, FOLDER_BACK, FOLDER_FRONT_TOP, FOLDER_FRONT_BOTTOM, FOLDER_LINE)
    folder(11, 13, 20, 17, rgb("#3d6fc4"), rgb("#9cc2ff"), rgb("#5b8def"), rgb("#1d3f80"))
    if c.size <= 16:
        return  # the arrows would only blur the two folders at this size
    # Two arrows between the folders: one each way.
    c.fill(stroke([(16, 6), (25, 6), (25, 10)], 2.4 + 2 * line), rgb("#15702c"))
    c.fill(arrow_head((25, 13.2), (0, 1), 4.2 + line * 1.5, 3.6 + line * 1.3), rgb("#15702c"))
    c.fill(stroke([(16, 6), (25, 6), (25, 10)], 2.4), rgb("#2fb24c"))
    c.fill(arrow_head((25, 12.6), (0, 1), 4.0, 3.4), rgb("#2fb24c"))
    c.fill(stroke([(16, 26), (7, 26), (7, 22)], 2.4 + 2 * line), rgb("#15702c"))
    c.fill(arrow_head((7, 18.8), (0, -1), 4.2 + line * 1.5, 3.6 + line * 1.3), rgb("#15702c"))
    c.fill(stroke([(16, 26), (7, 26), (7, 22)], 2.4), rgb("#2fb24c"))
    c.fill(arrow_head((7, 19.4), (0, -1), 4.0, 3.4), rgb("#2fb24c"))


# ---------------------------------------------------------------- the icon table

# (resource id, file name, draw function, design grid, sizes)
ICONS = [
    (128, "quillmar", draw_app, 32, (16, 24, 32, 48, 256)),
    (130, "missing_file", state_icon("file", "missing"), 16, (16, 32)),
    (131, "modified_file", state_icon("file", "modified"), 16, (16, 32)),
    (132, "new_file", state_icon("file", "new"), 16, (16, 32)),
    (133, "identical_file", state_icon("file", "identical"), 16, (16, 32)),
    (134, "missing_folder", state_icon("folder", "missing"), 16, (16, 32)),
    (135, "modified_folder", state_icon("folder", "modified"), 16, (16, 32)),
    (136, "new_folder", state_icon("folder", "new"), 16, (16, 32)),
    (137, "identical_folder", state_icon("folder", "identical"), 16, (16, 32)),
    (138, "drive_cdrom", draw_cd, 16, (16, 32)),
    (139, "drive_fixed", draw_fixed, 16, (16, 32)),
    (140, "drive_ramdisk", draw_ram, 16, (16, 32)),
    (141, "drive_remote", draw_remote, 16, (16, 32)),
    (142, "drive_removable", draw_removable, 16, (16, 32)),
    (143, "drive_other", draw_other, 16, (16, 32)),
    (149, "about", draw_app, 32, (16, 32, 48)),
    (151, "tool_help", draw_help, 24, (16, 24, 32)),
    (152, "tool_synchronize", draw_sync, 24, (16, 24, 32)),
    (153, "tool_filters", draw_filters, 24, (16, 24, 32)),
    (154, "tool_open_volumes", draw_open_volumes, 24, (16, 24, 32)),
    (155, "tool_analyze", draw_analyze, 24, (16, 24, 32)),
    (157, "tool_single_view", draw_single, 24, (16, 24, 32)),
    (158, "tool_double_view", draw_double, 24, (16, 24, 32)),
]


def render(draw, grid, size):
    c = Canvas(size, grid)
    draw(c)
    return c


# ---------------------------------------------------------------- .ico writer

# Images this large are stored as PNG, as the system expects them.
PNG_FROM = 256


def ico_image(canvas):
    """One icon image: BITMAPINFOHEADER, bottom-up BGRA, then the AND mask;
    or, from PNG_FROM pixels, a PNG file."""
    n = canvas.size
    if n >= PNG_FROM:
        return png_bytes(n, n, 6, [b"".join(bgra_to_rgba(row)) for row in canvas.bgra_rows()])
    rows = canvas.bgra_rows()
    header = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 32, 0, n * n * 4 + mask_bytes(n), 0, 0, 0, 0)
    colour = b"".join(reversed(rows))
    stride = ((n + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for i in range(n):
            if row[i * 4 + 3] == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    return header + colour + bytes(mask)


def bgra_to_rgba(row):
    return (bytes((row[k + 2], row[k + 1], row[k], row[k + 3])) for k in range(0, len(row), 4))


def png_bytes(width, height, colour_type, rows):
    """A PNG file of 8-bit rows (colour type 2: RGB, 6: RGBA)."""
    raw = b"".join(b"\0" + row for row in rows)
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def mask_bytes(n):
    return ((n + 31) // 32) * 4 * n


def write_ico(path, canvases):
    images = [ico_image(c) for c in canvases]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.size % 256, c.size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


# ---------------------------------------------------------------- preview sheet

DIGITS = {
    "0": ["###", "#.#", "#.#", "#.#", "###"], "1": [".#.", "##.", ".#.", ".#.", "###"],
    "2": ["###", "..#", "###", "#..", "###"], "3": ["###", "..#", "###", "..#", "###"],
    "4": ["#.#", "#.#", "###", "..#", "..#"], "5": ["###", "#..", "###", "..#", "###"],
    "6": ["###", "#..", "###", "#.#", "###"], "7": ["###", "..#", "..#", "..#", "..#"],
    "8": ["###", "#.#", "###", "#.#", "###"], "9": ["###", "#.#", "###", "..#", "###"],
}


class Sheet:
    def __init__(self, width, height, background):
        self.w, self.h = width, height
        self.rgb = bytearray(bytes(background) * (width * height))

    def put(self, x, y, colour):
        if 0 <= x < self.w and 0 <= y < self.h:
            k = (y * self.w + x) * 3
            self.rgb[k:k + 3] = bytes(colour)

    def box(self, x, y, w, h, colour):
        for j in range(y, y + h):
            for i in range(x, x + w):
                self.put(i, j, colour)

    def checker(self, x, y, w, h, cell):
        for j in range(h):
            for i in range(w):
                dark = ((i // cell) + (j // cell)) % 2
                self.put(x + i, y + j, (204, 204, 204) if dark else (255, 255, 255))

    def icon(self, canvas, x, y, zoom):
        rows = canvas.bgra_rows()
        for j, row in enumerate(rows):
            for i in range(canvas.size):
                b, g, r, a = row[i * 4:i * 4 + 4]
                if a == 0:
                    continue
                for dj in range(zoom):
                    for di in range(zoom):
                        px, py = x + i * zoom + di, y + j * zoom + dj
                        if not (0 <= px < self.w and 0 <= py < self.h):
                            continue
                        k = (py * self.w + px) * 3
                        bg = self.rgb[k:k + 3]
                        self.rgb[k:k + 3] = bytes(
                            (v * a + bgv * (255 - a)) // 255 for v, bgv in zip((r, g, b), bg))

    def text(self, s, x, y, cell, colour):
        for ch in s:
            rows = DIGITS.get(ch)
            if rows:
                for j, row in enumerate(rows):
                    for i, v in enumerate(row):
                        if v == "#":
                            self.box(x + i * cell, y + j * cell, cell, cell, colour)
            x += 4 * cell

    def png(self, path):
        rows = [bytes(self.rgb[y * self.w * 3:(y + 1) * self.w * 3]) for y in range(self.h)]
        with open(path, "wb") as f:
            f.write(png_bytes(self.w, self.h, 2, rows))


def write_preview(path, rendered):
    """Every icon in a cell: each size enlarged on a checker board, then each
    size at its real size on white, on the dialog grey and on a dark ground.
    The cells run down two columns; images larger than a cell are left out."""
    big = 96
    row_h = big + 12
    cell_w = 60 + 3 * (big + 12) + 3 * 110
    per_column = (len(rendered) + 1) // 2
    sheet = Sheet(2 * cell_w + 8, row_h * per_column + 8, (240, 240, 240))
    for r, (icon_id, all_canvases) in enumerate(rendered):
        canvases = [c for c in all_canvases if c.size <= 48]
        canvases = canvases if len(canvases) <= 3 else canvases[:1] + canvases[-2:]
        x0 = (r // per_column) * cell_w
        y = 8 + (r % per_column) * row_h
        sheet.text(str(icon_id), x0 + 8, y + big // 2 - 7, 3, (40, 40, 40))
        x = x0 + 60
        for canvas in canvases:
            zoom = big // canvas.size
            sheet.checker(x, y, canvas.size * zoom, canvas.size * zoom, 8)
            sheet.icon(canvas, x, y, zoom)
            x += big + 12
        x = x0 + 60 + 3 * (big + 12)
        for ground in ((255, 255, 255), (240, 240, 240), (60, 64, 72)):
            sheet.box(x, y, 106, big, ground)
            ix = x + 4
            for canvas in canvases:
                sheet.icon(canvas, ix, y + (big - canvas.size) // 2, 1)
                ix += canvas.size + 2
            x += 110
    sheet.png(path)


def main(argv):
    preview = None
    if len(argv) >= 2 and argv[0] == "--preview":
        preview = argv[1]
    elif argv:
        sys.exit("usage: make_icons.py [--preview sheet.png]")
    os.makedirs(ICON_DIR, exist_ok=True)
    rendered = []
    for icon_id, name, draw, grid, sizes in ICONS:
        canvases = [render(draw, grid, size) for size in sizes]
        write_ico(os.path.join(ICON_DIR, name + ".ico"), canvases)
        rendered.append((icon_id, canvases))
    if preview:
        write_preview(preview, rendered)


if __name__ == "__main__":
    main(sys.argv[1:])
