#!/usr/bin/env python3
"""Writes the ear-tag logo as a plot file: a shield with a wavy top and a pointed foot, and a block
letter K cut out of it, both closed outlines, so a "plt file" cell with the fill bit hatches the
shield and leaves the K open.

    scripts/make_logo.py                      # examples/eartag_logo.plt
    scripts/make_logo.py out.plt

Coordinates are whole plotter units around the origin (400 across, 480 high: 10 x 12 mm at HP-GL's
40 units per mm), y up. Every point is its own command ("PD x,y;" without blanks), because the
marker takes only the first coordinate pair of a command.
"""

import argparse
import math


def quadratic(p0, c, p1, n):
    """Points of the quadratic Bezier curve from p0 over control c to p1, p0 left out."""
    out = []
    for i in range(1, n + 1):
        t = i / n
        u = 1 - t
        out.append((u * u * p0[0] + 2 * u * t * c[0] + t * t * p1[0],
                    u * u * p0[1] + 2 * u * t * c[1] + t * t * p1[1]))
    return out


def shield():
    top = [(-200 + 25 * i, 200 + 20 * math.sin(math.pi * i / 8)) for i in range(17)]  # wavy top, left to right
    right = quadratic((200, 200), (200, -120), (0, -240), 12)                          # down to the foot
    left = quadratic((0, -240), (-200, -120), (-200, 200), 12)                         # and back up
    return top + right + left[:-1]


def letter_k():
    return [(-90, -120), (-90, 140), (-40, 140), (-40, 40), (40, 140), (100, 140), (10, 15),
            (100, -120), (40, -120), (-40, -10), (-40, -120)]


def plot_file(outlines):
    lines = ["IN;"]
    for points in outlines:
        pts = [(int(round(x)), int(round(y))) for x, y in points]
        lines.append("PU%d,%d;" % pts[0])
        lines += ["PD%d,%d;" % p for p in pts[1:] + pts[:1]]  # closed: back to the first point
    lines.append("PU;")
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", nargs="?", default="examples/eartag_logo.plt")
    args = parser.parse_args()
    with open(args.output, "w", newline="\n") as f:
        f.write(plot_file([shield(), letter_k()]))


if __name__ == "__main__":
    main()
