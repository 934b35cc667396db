#!/usr/bin/env python3
"""Writes the example drawing for `korvex mark`: a livestock ear tag (outline with an inner border
and the stud hole), a cow's-head logo in a ring, and three lines of lettering drawn with a small
stroke font, as a vector file (the md array as text: one record per paragraph, `#` comments).

    scripts/make_drawing.py examples/eartag.md
    scripts/make_drawing.py --name "HILL FARM" --number 4217 --id "UK 120483 00567" out.md

Coordinates are millimetres from the field centre, y up; the tag is 60 mm wide and 92 mm tall.
Records: a polyline is "n, x1, y1, ..., xn, yn", a dot is "1, x, y", and "0" ends the file.
"""

import argparse
import math
import sys

# ---------------------------------------------------------------------------------------------
# Curves as point lists


def arc(cx, cy, r, a0, a1, step_deg=7.5):
    """Points of a circular arc from angle a0 to a1 (degrees, either direction), ends included."""
    n = max(2, int(math.ceil(abs(a1 - a0) / step_deg)))
    return [(cx + r * math.cos(math.radians(a0 + (a1 - a0) * i / n)),
             cy + r * math.sin(math.radians(a0 + (a1 - a0) * i / n))) for i in range(n + 1)]


def ellipse_arc(cx, cy, rx, ry, a0, a1, step_deg=10.0):
    n = max(2, int(math.ceil(abs(a1 - a0) / step_deg)))
    return [(cx + rx * math.cos(math.radians(a0 + (a1 - a0) * i / n)),
             cy + ry * math.sin(math.radians(a0 + (a1 - a0) * i / n))) for i in range(n + 1)]


def bezier(p0, c, p1, n=10):
    """Quadratic Bezier curve from p0 through control c to p1."""
    out = []
    for i in range(n + 1):
        t = i / n
        u = 1 - t
        out.append((u * u * p0[0] + 2 * u * t * c[0] + t * t * p1[0],
                    u * u * p0[1] + 2 * u * t * c[1] + t * t * p1[1]))
    return out


def join(*parts):
    """Concatenates point lists, dropping a point equal to the one before it."""
    out = []
    for part in parts:
        for p in part:
            if not out or abs(out[-1][0] - p[0]) > 1e-9 or abs(out[-1][1] - p[1]) > 1e-9:
                out.append(p)
    return out


def moved(points, dx, dy, scale=1.0):
    return [(dx + x * scale, dy + y * scale) for x, y in points]


def mirrored(points):
    return [(-x, y) for x, y in points]


# ---------------------------------------------------------------------------------------------
# The tag

HOLE_Y = 34.0  # centre of the stud hole and of the tag's round head


def tag_outline(inset):
    """The tag's outline shrunk by `inset` mm: head ring, neck, flared shoulders, rounded body."""
    d = inset
    head_r = 10.0 - d
    neck = 10.0 - d
    body = 30.0 - d
    bottom = -48.0 + d
    corner = 10.0 - d
    shoulder_top = 26.0 - 0.4 * d
    shoulder_low = 16.0 - 0.8 * d
    right = join([(neck, HOLE_Y), (neck, shoulder_top)],
                 bezier((neck, shoulder_top), (neck + 2.0, shoulder_low + 1.5), (body, shoulder_low), 12),
                 [(body, -38.0)],
                 arc(body - corner, -38.0, corner, 0.0, -90.0),
                 [(0.0, bottom)])
    left = [(-x, y) for x, y in reversed(right)]
    return join(right, left, arc(0.0, HOLE_Y, head_r, 180.0, 0.0))


def cow_logo(cx, cy):
    """A cow's head in a ring: ring, head with muzzle, horns, ears, forelock, nostrils; eyes are dots."""
    lines = [arc(cx, cy, 11.0, 90.0, 450.0, 5.0)]
    head = join([(-3.5, 4.0), (3.5, 4.0), (3.0, 0.0), (2.6, -3.25)],
                ellipse_arc(0.0, -4.5, 3.0, 2.5, 30.0, -210.0),
                [(-3.0, 0.0), (-3.5, 4.0)])
    horn = join(bezier((-3.2, 4.0), (-7.5, 4.5), (-7.2, 8.3), 10), bezier((-7.2, 8.3), (-6.2, 5.6), (-3.0, 5.0), 10))
    ear = join(bezier((-3.4, 2.6), (-6.5, 3.6), (-7.6, 1.8), 10), bezier((-7.6, 1.8), (-6.0, 0.4), (-3.2, 0.9), 10))
    forelock = [(-1.6, 4.0), (-0.8, 3.0), (0.0, 4.0), (0.8, 3.0), (1.6, 4.0)]
    lines += [moved(p, cx, cy) for p in (head, horn, mirrored(horn), ear, mirrored(ear), forelock)]
    lines += [moved(arc(x, -4.6, 0.6, 0.0, 360.0, 30.0), cx, cy) for x in (-1.2, 1.2)]
    dots = [(cx - 1.6, cy + 1.2), (cx + 1.6, cy + 1.2)]
    return lines, dots


# ---------------------------------------------------------------------------------------------
# Stroke font: glyphs on a box 6 units tall, (width, strokes), y up


def _glyphs():
    g = {}
    g[" "] = (2.0, [])
    g["A"] = (4.0, [[(0, 0), (2, 6), (4, 0)], [(0.7, 2.1), (3.3, 2.1)]])
    g["E"] = (3.6, [[(3.6, 6), (0, 6), (0, 0), (3.6, 0)], [(0, 3), (2.8, 3)]])
    g["F"] = (3.6, [[(3.6, 6), (0, 6), (0, 0)], [(0, 3.2), (2.8, 3.2)]])
    g["H"] = (4.0, [[(0, 0), (0, 6)], [(4, 0), (4, 6)], [(0, 3), (4, 3)]])
    g["I"] = (0.0, [[(0, 0), (0, 6)]])
    g["K"] = (4.0, [[(0, 0), (0, 6)], [(4, 6), (0, 2)], [(1.3, 3.2), (4, 0)]])
    g["L"] = (3.5, [[(0, 6), (0, 0), (3.5, 0)]])
    g["M"] = (4.4, [[(0, 0), (0, 6), (2.2, 2.2), (4.4, 6), (4.4, 0)]])
    g["R"] = (4.0, [join([(0, 0), (0, 6), (2.5, 6)], arc(2.5, 4.5, 1.5, 90, -90), [(0, 3)]), [(2.2, 3), (4, 0)]])
    g["U"] = (4.0, [join([(0, 6), (0, 2)], arc(2, 2, 2, 180, 360), [(4, 6)])])
    g["0"] = (4.0, [ellipse_arc(2, 3, 2, 3, 90, 450, 15)])
    g["1"] = (4.0, [[(1, 4.6), (2.2, 6), (2.2, 0)], [(1, 0), (3.4, 0)]])
    g["2"] = (4.0, [join(arc(2, 4, 2, 150, -35, 15), [(0, 0), (4, 0)])])
    g["3"] = (4.0, [join(arc(2, 4.5, 1.5, 150, -90, 15), arc(2, 1.5, 1.5, 90, -150, 15))])
    g["4"] = (4.0, [[(3, 0), (3, 6), (0, 1.8), (4, 1.8)]])
    g["5"] = (4.0, [join([(3.8, 6), (0.6, 6), (0.47, 3.29)], arc(2, 2, 2, 140, -150, 15))])
    six = [arc(2, 2, 2, 0, 360, 15), bezier((0, 2), (0.1, 5.7), (3.4, 6), 8)]
    g["6"] = (4.0, six)
    g["7"] = (4.0, [[(0, 6), (4, 6), (1.3, 0)]])
    g["8"] = (4.0, [arc(2, 4.6, 1.4, -90, 270, 15), arc(2, 1.6, 1.6, 90, 450, 15)])
    g["9"] = (4.0, [[(4 - x, 6 - y) for x, y in s] for s in six])
    return g


GLYPHS = _glyphs()


def text_lines(text, cx, baseline, height):
    """Strokes of `text` centred on cx with its baseline at `baseline`, capitals `height` mm tall."""
    scale = height / 6.0
    gap = 1.5
    missing = sorted(set(c for c in text.upper() if c not in GLYPHS))
    if missing:
        raise SystemExit("make_drawing: no glyph for " + " ".join(repr(c) for c in missing))
    chars = [GLYPHS[c] for c in text.upper()]
    width = sum(w for w, _ in chars) + gap * (len(chars) - 1)
    x = cx - width * scale / 2.0
    strokes = []
    for w, glyph in chars:
        strokes += [moved(s, x, baseline, scale) for s in glyph]
        x += (w + gap) * scale
    return strokes


# ---------------------------------------------------------------------------------------------
# Output


def fmt(v):
    s = "%.3f" % v
    s = s.rstrip("0").rstrip(".")
    return "0" if s in ("-0", "") else s


def record(points):
    values = [str(len(points))] + ["%s, %s" % (fmt(x), fmt(y)) for x, y in points]
    out = []
    line = values[0]
    for v in values[1:]:
        if len(line) + len(v) + 2 > 96:
            out.append(line + ",")
            line = "   " + v
        else:
            line += ", " + v
    out.append(line)
    return "\n".join(out)


def drawing(name, number, ident):
    sections = []
    sections.append(("tag outline", [tag_outline(0.0)], []))
    sections.append(("inner border", [tag_outline(2.5)], []))
    sections.append(("stud hole", [arc(0.0, HOLE_Y, 4.0, 90.0, 450.0)], []))
    sections.append(("holding name", text_lines(name, 0.0, 6.0, 5.0), []))
    logo, eyes = cow_logo(0.0, -7.0)
    sections.append(("logo: ring, head, horns, ears, forelock, nostrils; the eyes are dots", logo, eyes))
    sections.append(("tag number", text_lines(number, 0.0, -33.0, 11.0), []))
    sections.append(("identity line", text_lines(ident, 0.0, -41.0, 3.2), []))
    return sections


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("output", nargs="?", default="-", help="vector file to write ('-' for standard output)")
    ap.add_argument("--name", default="HILL FARM", help="holding name (letters A E F H I K L M R U, digits)")
    ap.add_argument("--number", default="4217", help="large tag number")
    ap.add_argument("--id", default="UK 120483 00567", help="identity line")
    args = ap.parse_args()

    sections = drawing(args.name, args.number, args.id)
    segments = sum(len(p) - 1 for _, lines, _ in sections for p in lines)
    dots = sum(len(d) for _, _, d in sections)
    records = sum(len(lines) + len(d) for _, lines, d in sections)
    text = ["# Livestock ear tag for `korvex mark`, written by scripts/make_drawing.py.",
            "# Millimetres from the field centre, y up. %d records: %d marked segments, %d dots."
            % (records, segments, dots),
            "# A record is n, x1, y1, ..., xn, yn (a polyline; n = 1 is a dot); 0 ends the drawing.", ""]
    for title, lines, dot_list in sections:
        text.append("# " + title)
        text += [record(p) for p in lines]
        text += [record([d]) for d in dot_list]
        text.append("")
    text.append("0")
    out = "\n".join(text) + "\n"
    if args.output == "-":
        sys.stdout.write(out)
    else:
        with open(args.output, "w", encoding="ascii") as f:
            f.write(out)


if __name__ == "__main__":
    main()
