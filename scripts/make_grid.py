#!/usr/bin/env python3
"""Writes a calibration grid file for the scan field correction: a smooth pincushion correction
over the 512 x 512 raster of 128-step cells that covers the D/A range, in the layout the grid
loader reads (header line, four Singles, then one "dx,dy" pair per line, CR LF line ends).

    scripts/make_grid.py examples/grid/grid_data.dat
    scripts/make_grid.py --kx 0.012 --ky 0.009 /tmp/grid/grid_data.dat1

The correction pulls a position back toward the centre line in proportion to the square of its
distance from the other axis, undoing the outward bow of a galvanometer field's edges:
    dx = -kx * x * (y / 32768)^2,   dy = -ky * y * (x / 32768)^2
taken at each cell's centre. With the defaults the corners get about -330 / -260 D/A steps.
"""

import argparse
import os
import sys

RASTER = 512          # cells per axis
CELL_STEPS = 128      # D/A steps per cell
ORIGIN = -32768       # D/A position of the raster's first cell edge
ENTRIES = RASTER * RASTER + 1  # the file carries one pair more than the raster has cells
HEADER = "Marking calibrate Data Ver 1.0"


def offsets(kx, ky):
    """Yields (dx, dy) for every entry k = row * 512 + column, rounded half to even."""
    centres = [ORIGIN + CELL_STEPS * i + CELL_STEPS // 2 for i in range(RASTER)]
    for y in centres:
        fy = (y / 32768.0) ** 2
        for x in centres:
            fx = (x / 32768.0) ** 2
            yield round(-kx * x * fy), round(-ky * y * fx)
    yield 0, 0  # the extra entry past the raster


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", help="grid file to write (its folder is created)")
    parser.add_argument("--kx", type=float, default=0.010, help="X correction at the field corners, fraction of x")
    parser.add_argument("--ky", type=float, default=0.008, help="Y correction at the field corners, fraction of y")
    args = parser.parse_args(argv)

    lines = [HEADER, "%g,%g,%d,%d" % (args.kx, args.ky, CELL_STEPS, RASTER)]
    lines.extend("%d,%d" % pair for pair in offsets(args.kx, args.ky))
    folder = os.path.dirname(args.output)
    if folder:
        os.makedirs(folder, exist_ok=True)
    with open(args.output, "w", newline="\r\n", encoding="ascii") as out:
        out.write("\n".join(lines))
        out.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
