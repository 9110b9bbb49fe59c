#!/usr/bin/env python3
"""Writes cases.txt, the GDI conformance cases (run by hand; the output is kept)."""
import math
import random

random.seed(20261208)
out = []


def case(name, w, h, *ops):
    out.append(f"case {name} {w} {h}")
    out.extend(ops)


# Width-1 lines in every direction: 64 directions, three lengths.
for length in (5, 13, 27):
    for k in range(64):
        a = 2 * math.pi * k / 64
        x = 32 + round(length * math.cos(a))
        y = 32 + round(length * math.sin(a))
        case(f"line1_len{length}_dir{k:02d}", 64, 64, "pen 1 000000", "move 32 32", f"line {x} {y}")
# Exact diagonals, axes and the degenerate ones.
for name, (x1, y1, x2, y2) in {
    "diag_se": (5, 5, 25, 25), "diag_nw": (25, 25, 5, 5), "diag_ne": (5, 25, 25, 5), "diag_sw": (25, 5, 5, 25),
    "horiz_r": (3, 10, 40, 10), "horiz_l": (40, 10, 3, 10), "vert_d": (10, 3, 10, 40), "vert_u": (10, 40, 10, 3),
    "zero": (10, 10, 10, 10), "one_r": (10, 10, 11, 10), "one_d": (10, 10, 10, 11), "one_diag": (10, 10, 11, 11),
    "two_knight": (10, 10, 12, 11), "knight2": (10, 10, 11, 12),
}.items():
    case(f"line1_{name}", 48, 48, "pen 1 000000", f"move {x1} {y1}", f"line {x2} {y2}")
# Random lines, some far outside, with negative and huge coordinates.
for i in range(40):
    pts = [random.randint(-40, 100) for _ in range(4)]
    case(f"line1_random{i:02d}", 64, 64, "pen 1 204080", f"move {pts[0]} {pts[1]}", f"line {pts[2]} {pts[3]}")
for i, (x1, y1, x2, y2) in enumerate([(-100000, -100000, 100000, 100001), (-5, 30, 500, 31), (30, -1000, 31, 1000),
                                      (-300, -20, 400, 90), (70, 70, 200, 200), (-10, -10, -1, -1),
                                      (-2000000, 5, 2000000, 6), (63, 0, 0, 63)]):
    case(f"line1_clip{i}", 64, 64, "pen 1 000000", f"move {x1} {y1}", f"line {x2} {y2}")
# Polylines: the current position carries on, and width 0 is the one-pixel pen.
case("polyline_star", 64, 64, "pen 0 C00000", "move 32 4", "line 40 60", "line 4 22", "line 60 22", "line 24 60",
     "line 32 4")
case("polyline_steps", 64, 64, "pen 1 0000FF", "move 2 2", "line 3 2", "line 3 3", "line 4 3", "line 4 4",
     "line 30 5", "line 30 40")
# LineDDA in every direction and some odd ones.
for k in range(32):
    a = 2 * math.pi * k / 32 + 0.05
    x = 20 + round(17 * math.cos(a))
    y = 20 + round(17 * math.sin(a))
    case(f"dda_dir{k:02d}", 8, 8, f"dda 20 20 {x} {y}")
case("dda_misc", 8, 8, "dda 0 0 0 0", "dda 0 0 1 0", "dda 5 5 -5 -4", "dda -3 7 8 -2", "dda 0 0 7 7", "dda 0 0 -7 7",
     "dda 1 1 4 9", "dda 9 4 1 1")
# Wide pens: 2, 3, 5 in many directions, and zero-length strokes.
for width in (2, 3, 5):
    for k in range(16):
        a = 2 * math.pi * k / 16 + 0.1
        x = 32 + round(20 * math.cos(a))
        y = 32 + round(20 * math.sin(a))
        case(f"wide{width}_dir{k:02d}", 64, 64, f"pen {width} 008000", "move 32 32", f"line {x} {y}")
    case(f"wide{width}_dot", 16, 16, f"pen {width} 008000", "move 8 8", "line 8 8")
    case(f"wide{width}_axes", 64, 64, f"pen {width} 800000", "move 5 10", "line 50 10", "line 50 50", "line 10 50")
    case(f"wide{width}_steps", 64, 64, f"pen {width} 000000", "move 10 10", "line 11 10", "line 12 11",
         "line 13 11", "line 14 12")
# Dashes as the renderer draws them: one-pixel strokes in a row, with wide pens.
for width in (1, 2, 3, 5):
    ops = [f"pen {width} 0000FF", "move 4 30"]
    ops += [f"line {x} {30 + (x // 3) % 2}" for x in range(5, 60)]
    case(f"dashsteps{width}", 64, 64, *ops)
    case(f"wide{width}_offsurface", 32, 32, f"pen {width} 000000", "move -50 -3", "line 60 40", "move 31 -100",
         "line 33 100", "move -100000 16", "line 100000 17")
# Polygons: convex, concave, self-intersecting, tiny and degenerate.
polys = {
    "triangle": "5 5 50 12 20 55", "square": "10 10 40 10 40 40 10 40", "square_ccw": "10 10 10 40 40 40 40 10",
    "concave": "5 5 55 5 30 25 55 55 5 55", "star": "32 2 40 60 2 22 62 22 24 60",
    "bowtie": "5 5 55 55 55 5 5 55", "tiny1": "10 10 11 10 11 11", "tiny2": "10 10 12 10 12 12 10 12",
    "line": "5 5 30 30 50 50", "point": "20 20 20 20 20 20", "thin": "5 30 60 31 60 32 5 31",
    "quad_rot": "32 5 59 32 32 59 5 32", "offsurface": "-20 -20 80 10 30 90",
}
for name, pts in polys.items():
    case(f"poly_{name}", 64, 64, "pen 1 0000C0", "brush 80C0FF", f"polygon {pts}")
for i in range(12):
    n = random.randint(3, 7)
    pts = " ".join(str(random.randint(-5, 68)) for _ in range(2 * n))
    case(f"poly_random{i:02d}", 64, 64, "pen 1 000000", "brush 40A040", f"polygon {pts}")
case("poly_nullbrush", 64, 64, "pen 1 000000", "nullbrush", "polygon 5 5 50 12 20 55")
case("poly_wide3", 64, 64, "pen 3 000000", "brush FF8080", "polygon 10 10 50 15 30 50")
# Ellipses from 1 to 200 pixels, the point dot among them.
for size in list(range(1, 13)) + [15, 20, 33, 50, 77, 100, 150, 200]:
    w = size + 12
    case(f"ellipse_{size:03d}", w, w, "pen 1 FF0000", "brush FF0000", f"ellipse 6 6 {6 + size} {6 + size}")
for (w, h) in [(3, 8), (8, 3), (20, 7), (7, 31), (60, 25)]:
    case(f"ellipse_{w}x{h}", w + 12, h + 12, "pen 1 000080", "brush 8080FF", f"ellipse 6 6 {6 + w} {6 + h}")
case("ellipse_refmark", 20, 20, "pen 1 0000FF", "brush 0000FF", "ellipse 7 7 13 13")
case("ellipse_dot", 20, 20, "pen 1 0000FF", "brush 0000FF", "ellipse 8 8 12 12")
case("ellipse_reversed", 40, 40, "pen 1 000000", "brush C0C0C0", "ellipse 30 30 5 8")
case("ellipse_offsurface", 40, 40, "pen 1 000000", "brush C0C0C0", "ellipse -20 -10 25 30")

# Text: every Japanese face and its stand-in, sizes on both sides of the
# faces' switch from two-colour to smoothed glyphs, turned text, a string.
def hx(text):
    return text.encode("cp932").hex()


faces = {"gothic": "ＭＳ ゴシック", "mincho": "ＭＳ 明朝", "pgothic": "ＭＳ Ｐゴシック", "unknown": "NoSuchFace"}
for fname, face in faces.items():
    for (h, w) in [(6, 3), (10, 5), (16, 8), (24, 12), (40, 20), (16, 0), (30, 8)]:
        case(f"text_{fname}_{h}x{w}", 120, 60, f"font {h} {w} 0 {hx(face)}", "textcolor 000000", "transparent",
             f"text 5 5 {hx('A')}", f"text 25 5 {hx('g')}", f"text 45 5 {hx('図')}", f"text 75 5 {hx('ｱ')}")
for esc in [0, 300, 900, 1800, 2700, 450, 3300]:
    case(f"text_turned_{esc}", 100, 100, f"font 20 10 {esc} {hx('ＭＳ ゴシック')}", "textcolor C00000", "transparent",
         f"text 50 50 {hx('F')}", f"text 30 30 {hx('図')}")
case("text_string", 200, 40, f"font 16 8 0 {hx('ＭＳ ゴシック')}", "textcolor 0000FF", "transparent",
     f"text 2 2 {hx('JW_DATA_VERSION = 250')}")
case("text_opaque", 200, 40, f"font 16 0 0 {hx('ＭＳ ゴシック')}", "brush 000000", "polygon 0 0 199 0 199 39 0 39",
     "textcolor 000000", f"text 2 2 {hx('JW_DATA_VERSION = 250')}")

with open("cases.txt", "w") as f:
    f.write("# GDI conformance cases, written by make_cases.py\n")
    f.write("\n".join(out) + "\n")
