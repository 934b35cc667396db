#!/usr/bin/env python3
# Writes the small seed corpora of the fuzz harnesses into fuzz/seeds/<harness>/: plot drawings,
# a tiny stroke font, a tiny contour font and a few outlines for the fill. Rerun after changing it.
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(harness, name, data):
    folder = os.path.join(HERE, "seeds", harness)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def le(value, n):
    return (value & ((1 << (8 * n)) - 1)).to_bytes(n, "little")


# Plot files: pen up/down/absolute moves, pairs cut off at the end, a bad character, noise between.
write("fuzz_plot_file", "square.plt", b"PU100,200;PD300,200;PD300,400;PD100,400;PD100,200;PU;")
write("fuzz_plot_file", "header.plt", b"IN;SP1;PU0,0;PD-50,-50,70,10;PA5,5;PU;\r\n")
write("fuzz_plot_file", "cut.plt", b"PU10,20;PD30,4")
write("fuzz_plot_file", "bad.plt", b"PU10,20;PDx;PU")


# Stroke font: a table of 3-byte offsets (position of the glyph's shape bytes + 1, 0: no glyph),
# then per glyph its shape bytes (1 pen down, 2 pen up, 8 dx dy, 9 pairs ended by 0 0,
# 0xLD a vector of length L in direction D, 0 end). The harness reads a 5-byte header first:
# width, height and three glyph numbers.
def stroke_font(glyphs):
    count = max(glyphs) + 1
    table = bytearray(3 * count)
    body = bytearray()
    for n in sorted(glyphs):
        table[3 * n:3 * n + 3] = le(3 * count + len(body) + 1, 3)
        body += bytes(glyphs[n])
    return bytes(table + body)


font = stroke_font({
    0: [2, 0x14, 1, 0x10, 0x24, 0x18, 0],            # pen up, up one; down, a small hook
    1: [1, 8, 5, 0xFD, 9, 1, 2, 3, 0xFC, 0, 0, 0],   # a move and a list of moves
    3: [12, 0, 1, 2, 3, 7, 5, 6, 1, 0x4A, 0x2E, 0],  # skipped operands, then slanted vectors
})
write("fuzz_stroke_glyph", "small.fnt", bytes([24, 24, 0, 1, 3]) + font)
write("fuzz_stroke_glyph", "missing.fnt", bytes([16, 24, 2, 0xFF, 9]) + font)
write("fuzz_stroke_glyph", "cut.fnt", bytes([24, 16, 1, 3, 0]) + font[:-4])


# Contour font: at 178 the offset of the character table (4 bytes per code), at each glyph a
# 16-bit contour count, then per contour a flag byte, a 16-bit point count and int32 x, y points.
# The harness measures the code held in the file's first two bytes.
def contour_font(code, glyphs):
    table = 182
    codes = max(glyphs) + 1
    f = bytearray(table + 4 * codes)
    f[0:2] = le(code, 2)
    f[178:182] = le(table, 4)
    for c in sorted(glyphs):
        f[table + 4 * c:table + 4 * c + 4] = le(len(f), 4)
        f += le(len(glyphs[c]), 2)
        for flag, points in glyphs[c]:
            f += bytes([flag]) + le(len(points), 2)
            for x, y in points:
                f += struct.pack("<ii", x, y)
    return bytes(f)


square = [(1, [(0, 0), (100, 0), (100, 120), (0, 120)])]
two = [(1, [(-10, -20), (50, 5)]), (0, [(7, 300), (-40, 2)])]
write("fuzz_contour_glyph", "square.ctr", contour_font(65, {65: square, 66: two}))
write("fuzz_contour_glyph", "two.ctr", contour_font(66, {65: square, 66: two}))
write("fuzz_contour_glyph", "empty.ctr", contour_font(3, {3: [], 4: square}))


# Outlines for the fill: contour count, spacing in steps, flags, then per contour a head byte
# (vertices - 1 in the low bits, 0x80 loose edges) and int16 x, y vertices.
def outline(spacing, flags, polys, cut=None):
    b = bytearray([len(polys) - 1, spacing - 1, flags])
    if cut:
        b += bytes(cut)
    for loose, pts in polys:
        b.append((len(pts) - 1 if not loose else len(pts) // 2 - 1) | (0x80 if loose else 0))
        for x, y in pts:
            b += struct.pack("<hh", x, y)
    return bytes(b)


write("fuzz_hatch_fill", "square", outline(10, 0, [(False, [(0, 0), (100, 0), (100, 100), (0, 100)])]))
write("fuzz_hatch_fill", "ring", outline(7, 1, [
    (False, [(0, 0), (200, 0), (200, 200), (0, 200)]),
    (False, [(50, 50), (50, 150), (150, 150), (150, 50)]),
]))
write("fuzz_hatch_fill", "vertices_on_lines", outline(10, 2, [
    (False, [(10, 0), (30, 40), (50, 0), (50, 60), (30, 60), (30, 90), (10, 90)]),
], cut=[3, 2]))
write("fuzz_hatch_fill", "loose", outline(5, 0, [(True, [(0, 0), (40, 30), (40, 30), (40, 90), (5, 7), (60, 7)])]))
