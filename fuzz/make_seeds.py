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


# Calibration grid files: a header text, four Singles, then DX, DY pairs. A whole grid has 262 145
# pairs, far too many for a seed: these end early (an eof fault), as most damaged files do.
def grid(header, singles, pairs, sep=","):
    lines = [header, sep.join(singles)] + [f"{dx}{sep}{dy}" for dx, dy in pairs]
    return ("\r\n".join(lines) + "\r\n").encode()


write("fuzz_calibration_file", "short.dat", grid("grid v1", ["1", "2.5", "-3", "4e2"], [(0, 0), (12, -7), (-300, 40)]))
write("fuzz_calibration_file", "quoted.dat", grid('"a, quoted header"', ['"1"', "#TRUE#", "", ".5"], [(1.5, 2.5), ("#FALSE#", 3)]))
write("fuzz_calibration_file", "bad.dat", grid("x", ["0", "0", "0", "0"], [(1, 2), ("dx", 3)]))
write("fuzz_calibration_file", "overflow.dat", b"h\n0\n0\n0\n0\n32767,-32768\n32768,0\n")


# Template pairs: the .mc1 text, a NUL byte, the .nam text (the harness splits them there).
# .mc1: the magic line, 256 pens of 30 values (position 15 the pen's name), 68 hardware values,
# the zone row count and rows of 8, the two default fonts with height, width and spacing, the
# preview scale, 5 more hardware values. Values keep the machine workable (laser type 3, gate bit 7).
MAGIC = "Tarvel Mark File Ver1.0"
SECTION3 = [1, 2, 3, 4, 7, 5, 6] + list(range(13, 74))
WORKING = {1: 0, 2: 110, 3: 110, 9: 3, 23: 10, 24: 0, 29: -1, 33: 0, 34: 0, 35: 0, 36: 0, 37: 1, 40: 100,
           61: 1, 62: 0, 65: 7, 66: 4, 68: 4, 69: 3}


# A whole file is 20 kB, mostly pens; the harness runs far faster on small inputs, so most seeds
# end the pen section early with a value that is not a number (the reader then goes on with the
# hardware section right after it, as it does with any damaged file).
def mc1(pens=256, zones=2, magic=MAGIC, fonts=('"wide"', '"narrow"', "4.5", "3.5", "0.25"), cut_pens=False):
    rows = [magic]
    for p in range(pens):
        values = [str(p % 7 + j) for j in range(1, 31)]
        values[14] = f'"pen{p}"'
        values[25] = "0"  # pulse width 0: gate mode
        rows.append(",".join(values))
    if cut_pens:
        rows.append("x")
    if pens == 256 or cut_pens:
        rows.append(",".join(str(WORKING.get(n, n)) for n in SECTION3))
        rows.append(str(zones))
        # The first rows distinct, the rest empty values (0), so a table-sized count stays small.
        rows += [",".join(str(z * 8 + c) for c in range(8)) if z < 4 else "," * 7 for z in range(zones)]
        rows.append(",".join(fonts))
        rows.append("7")
        rows.append("3,50,15,8,0.5")
    return "\r\n".join(rows) + "\r\n"


def cell(flag, tag, pen=1, text="x", fill="0.1"):
    # flag index text mode W H arcD v7 arcA fillA fillS v11 v12 opt wide narrow fw fh fs rotD angle pen tag minX minY
    return f"{flag} 7 {text} 0 8 8 0 0 0 0 {fill} 0 0 1 special_DFS special_Romans 3 4 0.5 0 0 {pen} {tag} 0 0"


def nam(cells, count=None):
    out = [str(len(cells) if count is None else count)]
    for line, values in cells:
        out += [line] + values
    return "\r\n".join(out) + "\r\n"


cells = [
    (cell("Barcode", "BAR01", 2, "c"), ["-20", "5", "8", "8", "0"]),
    (cell("Variable Text", "TAG28", 3), ["0", "0", "8", "8", "90"]),
    (cell("Variable Text", "TAG29"), ["1e1", "x", "8", "8", " 45 "]),
    (cell("TEXT", "TXT01", 1, "123"), ["0", "0", "8", "8", "0"]),
    (cell("plt file", "PLT01", 1, "a.plt"), ["0", "0", "8", "8", "0"]),
]
write("fuzz_template_file", "two_pens", (mc1(pens=2, cut_pens=True) + "\0" + nam(cells)).encode())
write("fuzz_template_file", "no_cells", mc1(pens=1, zones=0, cut_pens=True, fonts=('""', '""', "0", "0", "0")).encode())
write("fuzz_template_file", "many_zones", mc1(pens=0, zones=302, cut_pens=True).encode())
write("fuzz_template_file", "few_pens", (mc1(pens=3) + "\0" + nam(cells[:2], count="2.5")).encode())
write("fuzz_template_file", "wrong_magic", ("Other File\r\n1,2,3\r\n\0" + nam(cells[3:], count=4)).encode())


# Vector files of `korvex mark`: records of a count and x, y pairs (a count below 2 is a dot),
# ended by a 0; blanks, commas, line ends and # comments between the numbers.
# Calibration CSV files: a whole 21 x 21 pattern table, measured coordinates, a short and a bad one.
def pattern_rows(field=100.0, n=21, dx=0.0):
    pitch = field / (n - 1)
    rows = [b"node,x_mm,y_mm"]
    for k in range(n * n):
        rows.append(b"%d,%g,%g" % (k, -field / 2 + (k % n) * pitch + dx, -field / 2 + (k // n) * pitch))
    return rows


write("fuzz_calibration_csv", "pattern.csv", b"# field_mm 100\n# dot_mm 1.25\n# step_um 1.66667\n# correction none\n" +
      b"\n".join(pattern_rows() + [b"orientation,47.5,46.25"]) + b"\n")
write("fuzz_calibration_csv", "measured.csv", b"\n".join(pattern_rows(dx=0.013)) + b"\n")
write("fuzz_calibration_csv", "short.csv", b"node,x_mm,y_mm\n0,-50,-50\n1,-45,-50\n7,1e999,x\n")
write("fuzz_calibration_csv", "bad.csv", b"# correction grid /x 00\n0,,\n-1,2,3\n3.5,1,1\n")

write("fuzz_vector_file", "square.md", b"# a square and a dot\n5, 0,0, 10,0, 10,10, 0,10, 0,0\n1 5 5\n0\n")
write("fuzz_vector_file", "open.md", b"2 -1.5e1 +3 4.25 .5\n3 1 2 3 4\n")
write("fuzz_vector_file", "bad.md", b"2 1 2 3 4\n,, 0\n")
write("fuzz_vector_file", "huge.md", b"2.5 1e38 -1e38 3 4 0 1e39\n")


# Host scripts of `korvex run`: member calls with numbers, strings and arrays, properties, new and
# drop, and @ directives.
write("fuzz_host_script", "job.kvx", b"""# a small job
@folder "/tmp"
Marking_init_pci 128 0 0 1 0 [0 0 0 0] 1
Marking_para 1000, 3000, 0, 0, 0, 0, 10.0, 50, 20, 100, 0
Name = "plate \\"A\\""
Name
new
DebugID
drop
@key space on
@controller 2 emulator
@card present
@at read 3 input 2 1
@answer yes
""")
write("fuzz_host_script", "errors.kvx", b"Marking_para 1 2\nfoo = 3\n@card x\n\"open\n")
write("fuzz_host_script", "numbers.kvx", b"Marking_para 0x10 -0 1e3 -1.5 0 0 2.5e-3 50 20 100 7\r\nFile_no_begin = 2\r\n")


# Controller replies for the link: byte 0 the controls used, bytes 1-3 the operations (low 3 bits
# the operation: 0 connect, 1 command code, 2 download, 3 run, 4 stop, 5 laser switch, 6 system
# data, 7 raw reply wait; high 5 bits its operand), then replies (head byte: length, delay in 200 ms
# steps << 4, 0x80 with a repeat count byte) and the answers to Yes/No questions.
def reply(data, delay=0, repeat=None):
    head = len(data) | delay << 4 | (0x80 if repeat is not None else 0)
    return bytes([head]) + (bytes([repeat]) if repeat is not None else b"") + bytes(data)


CONNECTED = reply([0x55, 0, 0, 0, 0])
DONE = reply([0xAA, 1, 0, 0, 0])
PAGE = [0xCC]
write("fuzz_link_replies", "connect_run_stop", bytes([1, 0, 3, 4]) + CONNECTED + DONE)
write("fuzz_link_replies", "connect_retry", bytes([1, 0, 0, 4]) + reply([0x55, 0]) + b"\x01" + reply([0x55, 0, 0, 0, 0], delay=6) + b"\x01" + CONNECTED + CONNECTED)
# Download of a 1-page job to controls 0 and 1: write command, info, head pages, one data page,
# then the system data command and page and the run command.
download = reply(PAGE, repeat=5) + reply([0xAA, 0, 0, 0, 0], repeat=1) + reply(PAGE, repeat=1) + reply([0xAA, 0, 0, 0, 0], repeat=3)
write("fuzz_link_replies", "download", bytes([3, 2, 4, 7 | 5 << 3]) + download + reply([0xAA, 2, 0, 0, 0]))
write("fuzz_link_replies", "commands", bytes([0x11, 1 | 26 << 3, 1 | 5 << 3, 6 | 2 << 3]) + reply([0xAA, 0xFF, 0, 0, 0]) + reply([0xAA, 2, 0, 0, 0, 9]) + reply(PAGE, delay=7) + DONE)
