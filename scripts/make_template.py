#!/usr/bin/env python3
"""Writes the example ear-tag template pair (examples/eartag_template.mc1 and .nam).

The template is our own and lays out a real plate: a livestock ear-tag plate of 50 x 60 mm in the
middle of a 100 x 100 mm field at 100 D/A steps per millimetre, holding two tags one above the
other. Each tag has a 10 x 10 mm Data Matrix (bar-code cell), its 15-digit animal number in a
narrow stroke font (first-number cell, tag TAG28), its large 5-digit management number
(second-number cell, tag TAG29), bold and filled in the system outline face DejaVu Sans, and a filled
plot cell drawing the logo examples/eartag_logo.plt (left out with --no-logo); the plate has one
fixed text (never marked). Five pens, one zone without correction. The cell list is written in code page 936 with CR LF line ends, as the layout editor
writes it.

--small writes the small plate of the golden print-pass script instead (tests/golden/eartag_small):
two 1 mm codes and short numbers, so its trace stays small.

Usage: scripts/make_template.py [--no-logo] [--small] [OUTPUT_BASE]
       (default: examples/eartag_template, or tests/golden/eartag_small with --small)
"""
import argparse

MAGIC = "Tarvel Mark File Ver1.0"

# The 30 values of a pen in file order.
PEN_FILE_ORDER = [
    "PenValue3", "PenPulseCount", "PenPulseStep", "PenOnDelay", "PenOffHold", "PenOffDelay",
    "PenOnHold", "PenJumpDelayRate", "PenJumpDelay", "PenStepTime", "PenStepTimeMax", "PenValue29",
    "PenAxisSettle", "PenValue2", "PenName", "PenLaserPower", "PenValue25", "PenLaserFreq",
    "PenSettle", "PenJumpSpeed", "PenMarkSpeed", "PenMarkSpeed2", "PenAxisSpeed", "PenValue28",
    "PenValue27", "PenPulseWidth", "PenPasses", "PenValue7", "PenValue8", "PenValue9",
]

BASE_PEN = {
    "PenValue3": 0, "PenPulseCount": 1, "PenPulseStep": 1, "PenOnDelay": 100, "PenOffHold": 50,
    "PenOffDelay": 150, "PenOnHold": 0, "PenJumpDelayRate": 0, "PenJumpDelay": 300,
    "PenStepTime": 1, "PenStepTimeMax": 300, "PenValue29": 0, "PenAxisSettle": 10, "PenValue2": 0,
    "PenLaserPower": 10, "PenValue25": 0, "PenLaserFreq": 20, "PenSettle": 1, "PenJumpSpeed": 2500,
    "PenMarkSpeed": 800, "PenMarkSpeed2": 800, "PenAxisSpeed": 100, "PenValue28": 0,
    "PenValue27": 0, "PenPulseWidth": 0, "PenPasses": 1, "PenValue7": 0, "PenValue8": 0,
    "PenValue9": 0,
}

# The pens the cells use (pen 1 is also the one a template load selects).
PENS = {
    0: {"PenName": "default"},
    1: {"PenName": "text"},
    2: {"PenName": "code", "PenMarkSpeed": 400, "PenMarkSpeed2": 400, "PenLaserPower": 12,
        "PenOnDelay": 80, "PenOffDelay": 120},
    3: {"PenName": "numbers", "PenMarkSpeed": 600, "PenMarkSpeed2": 600, "PenPasses": 2},
    4: {"PenName": "logo", "PenMarkSpeed": 1000, "PenMarkSpeed2": 1000, "PenLaserPower": 8,
        "PenLaserFreq": 30},
}

# Section 3: the hardware fields by number, in file order, with the values of this machine.
SECTION3 = [
    (1, 0),        # lngFieldTurn
    (2, 100),      # lngFieldSizeX, mm
    (3, 100),      # lngFieldSizeY, mm
    (4, 200), (7, 200), (5, 200), (6, 200), (13, 1000), (14, 0), (15, 0),
    (16, 1.0),     # sngDaGain0
    (17, 1.0),     # sngDaGain1
    (18, 0), (19, 0), (20, 0), (21, "#FALSE#"), (22, 0),
    (23, 10),      # lngDaMode
    (24, 0),       # sngWakeDelay, us
    (25, "#FALSE#"), (26, "#FALSE#"), (27, "#FALSE#"),
    (28, "#FALSE#"),  # blnAxisDirLevel
    (29, "#TRUE#"),   # blnGateLevel: the gate opens at 0
    (30, 1.0), (31, 0), (32, 0),
    (33, 0), (34, 0), (35, 0), (36, 0),  # sngDistortA-D
    (37, 1),       # lngZoneCount (section 4 gives it again)
    (38, 1),
    (39, "#FALSE#"),  # blnDaSlow
    (40, 100.0),   # sngStepsPerMm: a 10 um step
    (41, 0.001), (42, 0.001), (43, 0.001),
    (44, 2000.0),  # dblAxisStepsPerRev
    (45, 0), (46, 0), (47, 0),
    (48, 0),       # lngAxisRampSteps
    (49, 0), (50, 0), (51, 0),
    (52, 0),       # lngAxisStartPeriod, us
    (53, 0), (54, 0), (55, 0), (56, 0), (57, 3), (58, 2), (59, 0), (60, 0),
    (61, 1),       # intAxisStepBit
    (62, 0),       # intAxisDirBit
    (63, 12), (64, 5),
    (65, 7),       # intGateBit
    (66, 4),       # intStandbyBit
    (67, 0),
    (68, 4),       # intAxisLimitFwd
    (69, 3),       # intAxisLimitRev
    (70, 5), (71, 6), (72, 2), (73, 1),
]
# Section 8: intLaserType, sngLaserMaxFreq (kHz), sngLaserMaxPower, intPulseWidthUs, field 8.
SECTION8 = [3, 50, 15, 8, 0]

# One zone, no correction: columns 0-7 all 1.0 (written in the file order 0, 4, 1, 5, 2, 6, 3, 7).
ZONES = [[1.0] * 8]

DEFAULT_FONTS = ["special_DFS", "special_Romans", 3, 3, 0]
PREVIEW_SCALE = 40


def cell(flag, index, text, mode, width, height, fill_space, pen, tag, font_size=(3, 3, 0),
         fonts=("special_DFS", "special_Romans")):
    """A descriptor line of 25 fields separated by single blanks."""
    fw, fh, fs = font_size
    fields = [flag, index, text, mode, width, height, 0, 0, 0, 0, fill_space, 0, 0, 0,
              fonts[0], fonts[1], fw, fh, fs, 0, 0, pen, tag, 0, 0]
    return " ".join(str(f) for f in fields)


# The plate: two tags, the upper one from y = 0 to 30, the lower one from -30 to 0, both from
# x = -25 to 25. Positions are the cells' lower-left corners in mm from the field centre.
TAG_BOTTOMS = [0, -30]
ID_FONT = (1.6, 2.5, 0.15)       # 15 digits: 15 x 1.75 = 26.25 mm
MANAGEMENT_FONT = (4.0, 8.0, 0.8)  # 5 digits: 24 mm


def plate_cells(logo):
    """(descriptor line, X, Y, width, height, angle) of every cell, in the order the editor saves them."""
    cells = []
    for i, y0 in enumerate(TAG_BOTTOMS, 1):
        cells.append((cell("Barcode", i, "code", 0, 10, 10, 0.1, 2, "BAR%02d" % i), -22, y0 + 3, 10, 10, 0))
    for i, y0 in enumerate(TAG_BOTTOMS, 1):
        cells.append((cell("Variable Text", 10 + i, "982000123456789", 0, 26.25, 2.5, 0.05, 3, "TAG28",
                           ID_FONT), -9, y0 + 17, 26.25, 2.5, 0))
    for i, y0 in enumerate(TAG_BOTTOMS, 1):
        # The management number in a system outline face, bold and filled (mode 0x10 fill, 0x40 bold).
        # The face is named "DejaVuSans": a cell's fields are separated by blanks, and fontconfig
        # compares family names ignoring blanks.
        cells.append((cell("Variable Text", 20 + i, "56789", 0x50, 24, 8, 0.1, 3, "TAG29", MANAGEMENT_FONT,
                           ("special_DFS", "DejaVuSans")),
                      -9, y0 + 4, 24, 8, 0))
    cells.append((cell("TEXT", 30, "牧场", 0, 6, 3, 0.1, 1, "TXT01"), -22, 27, 6, 3, 0))
    if logo:
        for i, y0 in enumerate(TAG_BOTTOMS, 1):
            # Designed size in plot units (the logo spans 400 x 460 around its origin), laid out
            # 8 x 9.2 mm with the origin at the logo's middle, above the code.
            cells.append((cell("plt file", 40 + i, "eartag_logo.plt", 0x10, 400, 460, 0.1, 4, "LOGO%d" % i),
                          -17, y0 + 21.8, 8, 9.2, 0))
    return cells


def small_cells():
    """Two 1 mm codes, each with a two-digit first number and a one-digit second number, 1.5 mm high."""
    cells = []
    for i, y in enumerate([1, -1.5], 1):
        cells.append((cell("Barcode", i, "code", 0, 1, 1, 0.2, 2, "BAR%02d" % i), -3, y, 1, 1, 0))
    for i, y in enumerate([1, -1.5], 1):
        cells.append((cell("Variable Text", 10 + i, "11", 0, 2.2, 1.5, 0.05, 3, "TAG28", (1, 1.5, 0.2)),
                      -1.5, y, 2.2, 1.5, 0))
    for i, y in enumerate([1, -1.5], 1):
        cells.append((cell("Variable Text", 20 + i, "9", 0, 1, 1.5, 0.05, 1, "TAG29", (1, 1.5, 0.2)),
                      1.5, y, 1, 1.5, 0))
    cells.append((cell("TEXT", 30, "牧场", 0, 6, 3, 0.1, 1, "TXT01"), -3, 3, 6, 3, 0))
    return cells


def value_text(v):
    if isinstance(v, str):
        return v if v.startswith("#") else '"' + v + '"'
    if isinstance(v, float):
        return repr(v)
    return str(v)


def mc1_text():
    lines = [MAGIC]
    for p in range(256):
        pen = dict(BASE_PEN, PenName="pen %d" % p)
        pen.update(PENS.get(p, {}))
        lines.append(",".join(value_text(pen[name]) for name in PEN_FILE_ORDER))
    lines.append(",".join(value_text(v) for _, v in SECTION3))
    lines.append(str(len(ZONES)))
    order = [0, 4, 1, 5, 2, 6, 3, 7]
    for row in ZONES:
        lines.append(",".join(value_text(row[c]) for c in order))
    lines.append(",".join(value_text(v) for v in DEFAULT_FONTS))
    lines.append(str(PREVIEW_SCALE))
    lines.append(",".join(value_text(v) for v in SECTION8))
    return "\r\n".join(lines) + "\r\n"


def nam_text(cells):
    lines = [str(len(cells))]
    for line, x, y, w, h, angle in cells:
        lines += [line] + [str(v) for v in (x, y, w, h, angle)]
    return "\r\n".join(lines) + "\r\n"


def main():
    assert [n for n, _ in SECTION3] == [1, 2, 3, 4, 7, 5, 6] + list(range(13, 74))
    parser = argparse.ArgumentParser(description="Write the example ear-tag template pair.")
    parser.add_argument("--no-logo", dest="logo", action="store_false",
                        help="leave out the filled plot cell of each tag (examples/eartag_logo.plt)")
    parser.add_argument("--small", action="store_true", help="the small plate of the golden print-pass script")
    parser.add_argument("base", nargs="?", help="output base path")
    args = parser.parse_args()
    base = args.base or ("tests/golden/eartag_small" if args.small else "examples/eartag_template")
    cells = small_cells() if args.small else plate_cells(args.logo)
    with open(base + ".mc1", "wb") as f:
        f.write(mc1_text().encode("ascii"))
    with open(base + ".nam", "wb") as f:
        f.write(nam_text(cells).encode("gbk"))


if __name__ == "__main__":
    main()
