// Stroke and contour glyphs: the shape-byte table into the glyph buffer's command list, glyph
// numbers, damaged or hostile font bytes (nothing is read or written outside file or buffer), the
// measured boxes, marking strokes in millimetres, and the font file kept in memory until it changes.
#include <gtest/gtest.h>

#include "fault_of.hpp"
#include "font/contour_glyph.hpp"
#include "font/stroke_glyph.hpp"
#include "font_files.hpp"
#include "interface/fault_boundary.hpp"

using namespace korvex;
using font_test::Bytes;

namespace {

// The command list (index 5 on, up to and including the end byte) of glyph n of `file`.
Bytes commands_of(const Bytes& file, int64_t n, GlyphBuffer& g) {
    Glyph_read_strokes_from(file, n, 24, 24, g);
    Bytes out;
    const int count = g.at(3) + 256 * g.at(4);
    for (int i = 0; i < count; ++i) out.push_back(g.at(5 + i));
    return out;
}
Bytes commands_of(const Bytes& shape) {
    GlyphBuffer g;
    return commands_of(font_test::stroke_font({{0, shape}}), 0, g);
}

}  // namespace

TEST(StrokeGlyph, ShapeBytesBecomeTheNormalisedCommandList) {
    GlyphBuffer g;
    // Pen up, vector (0, 1), pen down, vector (1, 0), end; glyph 3 of a file with glyphs 1 and 3.
    const Bytes file = font_test::stroke_font({{1, {0x10, 0}}, {3, {2, 0x14, 1, 0x10, 0}}});
    EXPECT_EQ(commands_of(file, 3, g), (Bytes{2, 8, 0, 1, 1, 8, 1, 0, 0}));
    EXPECT_EQ(g.at(0), kGlyphStroke);
    EXPECT_EQ(g.at(1), 24);
    const GlyphBox box = Stroke_glyph_box(g);
    EXPECT_EQ(box.width, 1.0);
    EXPECT_EQ(box.height, 1.0);

    // Half steps round to even: direction 1 at lengths 1, 3, 5; the other compass points.
    EXPECT_EQ(commands_of({0x11, 0x31, 0x51, 0}), (Bytes{8, 1, 0, 8, 3, 2, 8, 5, 2, 0}));
    EXPECT_EQ(commands_of({0x28, 0x1C, 0x26, 0x3B, 0}), (Bytes{8, 254, 0, 8, 0, 255, 8, 254, 2, 8, 254, 253, 0}));
    // 12 skips three operands, 3/4/7 one (even a 0 or 1), 5 and 6 nothing; 10, 11, 13-15 are zero
    // vectors and the byte after them is a command again.
    EXPECT_EQ(commands_of({12, 0, 1, 2, 3, 0, 4, 1, 7, 2, 5, 6, 1, 0}), (Bytes{1, 0}));
    EXPECT_EQ(commands_of({10, 1, 11, 13, 14, 15, 0}), (Bytes{8, 0, 0, 1, 8, 0, 0, 8, 0, 0, 8, 0, 0, 8, 0, 0, 0}));
    // 8 and 9 copy their signed bytes; the 9-list ends with the pair 0, 0 (a single 0 is a value).
    EXPECT_EQ(commands_of({8, 253, 3, 9, 1, 0, 0, 2, 0, 0, 0}), (Bytes{8, 253, 3, 9, 1, 0, 0, 2, 0, 0, 0}));

    // Glyph numbers: (row - rowBegin) x 94 + cell - 1; below 0 or a zero index entry is empty.
    EXPECT_EQ(Glyph_number(17, 2, 16), 95);
    EXPECT_EQ(Glyph_number(1, 66, 1), 65);
    EXPECT_EQ(Glyph_number(15, 94, 16), -1);
    EXPECT_EQ(commands_of(file, -1, g), (Bytes{0}));
    EXPECT_EQ(commands_of(file, 2, g), (Bytes{0}));
}

TEST(StrokeGlyph, DamagedFontBytesReadAsZeroAndOverlongGlyphsFault) {
    GlyphBuffer g;
    const Bytes good = font_test::stroke_font({{0, {1, 0x10, 0x10, 0}}});
    // An index entry past the end (or cut off by it), an offset past the end: empty glyphs.
    EXPECT_EQ(commands_of(good, 5, g), (Bytes{0}));
    EXPECT_EQ(commands_of(Bytes{good.begin(), good.begin() + 1}, 0, g), (Bytes{0}));
    Bytes far = good;
    font_test::put_le(far, 0, 0xFFFFFF, 3);
    EXPECT_EQ(commands_of(far, 0, g), (Bytes{0}));
    // Shape bytes cut off: the end of the file ends the glyph, also inside an 8 or a 9-list.
    EXPECT_EQ(commands_of(Bytes{good.begin(), good.end() - 2}, 0, g), (Bytes{1, 8, 1, 0, 0}));
    EXPECT_EQ(commands_of(font_test::stroke_font({{0, {9, 5, 5, 7}}}), 0, g), (Bytes{9, 5, 5, 7, 0, 0, 0, 0}));
    EXPECT_EQ(commands_of(font_test::stroke_font({{0, {8, 5}}}), 0, g), (Bytes{8, 5, 0, 0}));

    // 4092 command bytes fit; one more is an index fault and nothing lands past the buffer.
    Bytes shape(1363, 0x10);
    shape.insert(shape.end(), {1, 2, 0});
    EXPECT_EQ(commands_of(shape).size(), 4092u);
    shape.insert(shape.end() - 1, 1);
    const Bytes file = font_test::stroke_font({{0, shape}});
    EXPECT_EQ(fault_of([&] { Glyph_read_strokes_from(file, 0, 24, 24, g); }), FaultKind::index);
    Bytes endless(5000, 9);  // a 9-list without its 0, 0 runs into the limit, not past it
    EXPECT_EQ(fault_of([&] { Glyph_read_strokes_from(font_test::stroke_font({{0, endless}}), 0, 24, 24, g); }),
              FaultKind::index);
    // A design size that does not fit the buffer's byte is an overflow.
    EXPECT_EQ(fault_of([&] { Glyph_read_strokes_from(good, 0, 256, 24, g); }), FaultKind::overflow);
}

TEST(StrokeGlyph, TheBoxIsWhereThePenTravelsOnceAPenCommandWasSeen) {
    GlyphBuffer g;
    Glyph_read_strokes_from(font_test::stroke_font({{0, {2, 8, 20, 0, 0}}}), 0, 24, 24, g);
    GlyphBox box = Stroke_glyph_box(g);
    EXPECT_EQ(box.width, 20.0);
    EXPECT_EQ(box.height, 0.0);  // Glyph_measure makes it 1.0
    // Moves before the first pen command are not counted (out to x 50 and back); pen down folds its
    // own position, pen-up moves after it count.
    Glyph_read_strokes_from(font_test::stroke_font({{0, {8, 50, 0, 8, 206, 0, 1, 8, 10, 20, 2, 8, 216, 231, 0}}}), 0, 24, 24, g);
    box = Stroke_glyph_box(g);
    EXPECT_EQ(box.width, 10.0);
    EXPECT_EQ(box.height, 20.0);
    EXPECT_EQ(box.min_x, -30.0f);
    EXPECT_EQ(box.min_y, -5.0f);
}

TEST(ContourGlyph, BoxesComeFromThePointsAndEveryReadStaysInsideTheFile) {
    using font_test::Contour;
    const Bytes file = font_test::contour_font({{'A', {Contour{1, {{10, -5}, {60, 95}}}, Contour{0, {{-20, 40}}}}},
                                                {'B', {Contour{0, {{3, 7}, {9, 7}}}}},
                                                {'C', {}}});
    GlyphBox box = Contour_glyph_box(file, 'A');
    EXPECT_EQ(box.width, 80.0);
    EXPECT_EQ(box.height, 100.0);
    EXPECT_EQ(box.min_x, -20.0f);
    EXPECT_EQ(box.min_y, -5.0f);
    box = Contour_glyph_box(file, 'B');  // all points on one line: no height
    EXPECT_EQ(box.height, 0.0);
    EXPECT_EQ(box.min_x, 3.0f);
    box = Contour_glyph_box(file, 'C');  // no contours
    EXPECT_EQ(box.width, 0.0);

    // A code beyond the table, a table or glyph offset past the end or negative, a count larger
    // than the file: eof faults, nothing read outside the bytes.
    EXPECT_EQ(fault_of([&] { Contour_glyph_box(file, 0xFFFF); }), FaultKind::eof);
    EXPECT_EQ(fault_of([&] { Contour_glyph_box(Bytes(100, 0), 'A'); }), FaultKind::eof);
    Bytes bad = file;
    font_test::put_le(bad, 178, 0x7FFFFFF0, 4);
    EXPECT_EQ(fault_of([&] { Contour_glyph_box(bad, 'A'); }), FaultKind::eof);
    bad = file;
    font_test::put_le(bad, 182 + 4 * 'A', 0xFFFFFFF0, 4);
    EXPECT_EQ(fault_of([&] { Contour_glyph_box(bad, 'A'); }), FaultKind::eof);
    bad = file;
    const uint32_t glyph_b = bad[182 + 4 * 'B'] | bad[183 + 4 * 'B'] << 8 | bad[184 + 4 * 'B'] << 16;
    font_test::put_le(bad, glyph_b + 3, 0x7FFF, 2);  // 32767 points in the first contour
    EXPECT_EQ(fault_of([&] { Contour_glyph_box(bad, 'B'); }), FaultKind::eof);
    font_test::put_le(bad, glyph_b, 0x7FFF, 2);  // 32767 contours
    font_test::put_le(bad, glyph_b + 3, 1, 2);
    EXPECT_EQ(fault_of([&] { Contour_glyph_box(bad, 'B'); }), FaultKind::eof);
}

TEST_F(FontTest, MeasuringAppliesTheZeroRuleAndMarkingDrawsInMillimetres) {
    write_font("romans.sl", font_test::stroke_font({{65, {2, 8, 20, 0, 0}}, {66, {2, 8, 10, 10, 1, 8, 10, 0, 8, 0, 246, 0}}}));
    const std::string path = folder + "/font/romans.sl";
    Glyph_read_strokes(state(), 1, 67, path, 24, 24, 1);  // cell = code + 1
    Glyph_measure(state(), 0, "B", 0, 0, "");
    EXPECT_EQ(state().font.dblTextWidth, 20.0);
    EXPECT_EQ(state().font.dblTextHeight, 10.0);

    // 100 steps per font unit: font units are millimetres; the rotation turns (1, 0) onto (0, 1).
    machine.model().clear_marks();
    Glyph_mark_strokes(state(), 1.0f, 2.0f, 100.0f, 100.0f, 1, 0, 0, 1, 0.5f, 0);
    EXPECT_EQ(lines(), (std::vector<Seg>{{1150, 1200, 2150, 1200}, {2150, 1200, 2150, 200}}));
    EXPECT_FALSE(machine.gate_emitting());
    machine.model().clear_marks();
    Glyph_mark_strokes(state(), 0.0f, 0.0f, 100.0f, 100.0f, 0, 1, -1, 0, 0, 0);
    EXPECT_EQ(lines(), (std::vector<Seg>{{-1000, 1000, -1000, 2000}, {-1000, 2000, 0, 2000}}));

    // A glyph with only a pen-up move marks nothing and measures 20 x 1.
    Glyph_read_strokes(state(), 1, 66, path, 24, 24, 1);
    Glyph_measure(state(), 0, "A", 0, 0, "");
    EXPECT_EQ(state().font.dblTextWidth, 20.0);
    EXPECT_EQ(state().font.dblTextHeight, 1.0);
    machine.model().clear_marks();
    Glyph_mark_strokes(state(), 0, 0, 100, 100, 1, 0, 0, 1, 0, 0);
    EXPECT_TRUE(lines().empty());

    // Contour files: measured from the file named by `face`, by the character's code page code.
    write_font("shapes.cf", font_test::contour_font({{'A', {font_test::Contour{0, {{0, 3}, {40, 3}}}}}}));
    Glyph_measure(state(), -1, "A", 0, 0, folder + "/font/shapes.cf");
    EXPECT_EQ(state().font.dblTextWidth, 40.0);
    EXPECT_EQ(state().font.dblTextHeight, 1.0);
    EXPECT_EQ(state().tmpl.curCell.TextMinY, 3.0f);
    EXPECT_EQ(fault_of([&] { Glyph_measure(state(), -1, "中", 0, 0, folder + "/font/shapes.cf"); }), FaultKind::eof);
}

TEST_F(FontTest, AFontFileIsKeptInMemoryUntilItChangesOnDisk) {
    const std::string path = folder + "/font/romans.sl";
    write_font("romans.sl", font_test::stroke_font({{0, {1, 0}}}));
    Glyph_read_strokes(state(), 1, 1, path, 24, 24, 1);
    EXPECT_EQ(state().font.bytGlyph.at(5), 1);
    // Rewritten with a different size: read again.
    write_font("romans.sl", font_test::stroke_font({{0, {2, 2, 0}}}));
    Glyph_read_strokes(state(), 1, 1, path, 24, 24, 1);
    EXPECT_EQ(state().font.bytGlyph.at(5), 2);
    // Gone: a file fault (the font loader saw it, but it vanished since); a folder is no font file.
    remove_font("romans.sl");
    EXPECT_EQ(fault_of([&] { Glyph_read_strokes(state(), 1, 1, path, 24, 24, 1); }), FaultKind::file);
    EXPECT_EQ(fault_of([&] { Glyph_read_strokes(state(), 1, 1, folder, 24, 24, 1); }), FaultKind::file);
}
