// Stroke and contour glyphs: the shape-byte table, glyph numbers, damaged or hostile font bytes
// (nothing read or written outside file or buffer), measured boxes, strokes marked in millimetres,
// and a font file kept in memory until it changes on disk.
#include <gtest/gtest.h>

#include "fault_of.hpp"
#include "font/contour_glyph.hpp"
#include "font_files.hpp"
#include "scan/vector_stepping.hpp"

using namespace korvex;
using font_test::Bytes;

namespace {

// The command list (index 5 up to the end byte, by the stored count) of glyph n of `file`.
Bytes commands_of(const Bytes& file, int64_t n = 0) {
    GlyphBuffer g;
    Glyph_read_strokes_from(file, n, 24, 24, g);
    const auto first = g.items.begin() + kGlyphCommandStart;
    return Bytes(first, first + g.at(3) + 256 * g.at(4));
}
Bytes commands_of_shape(const Bytes& shape) { return commands_of(font_test::stroke_font({{0, shape}})); }

}  // namespace

TEST(StrokeGlyph, ShapeBytesBecomeTheNormalisedCommandList) {
    // Pen up, vector (0, 1), pen down, vector (1, 0), end: 1 x 1 font units.
    const Bytes file = font_test::stroke_font({{1, {0x10, 0}}, {3, {2, 0x14, 1, 0x10, 0}}});
    EXPECT_EQ(commands_of(file, 3), (Bytes{2, 8, 0, 1, 1, 8, 1, 0, 0}));
    GlyphBuffer g;
    Glyph_read_strokes_from(file, 3, 24, 16, g);
    EXPECT_EQ((Bytes{g.at(0), g.at(1), g.at(2)}), (Bytes{kGlyphStroke, 24, 16}));
    EXPECT_EQ(Stroke_glyph_box(g).width, 1.0);
    EXPECT_EQ(Stroke_glyph_box(g).height, 1.0);

    // Half steps round to even (direction 1 at lengths 1, 3, 5); the compass: -x, -y, (-1, 1), (-0.5, -1).
    EXPECT_EQ(commands_of_shape({0x11, 0x31, 0x51, 0}), (Bytes{8, 1, 0, 8, 3, 2, 8, 5, 2, 0}));
    EXPECT_EQ(commands_of_shape({0x28, 0x1C, 0x26, 0x3B, 0}), (Bytes{8, 254, 0, 8, 0, 255, 8, 254, 2, 8, 254, 253, 0}));
    // 12 skips three operands, 3/4/7 one (even a 0 or 1), 5 and 6 nothing; 10, 11, 13-15 are zero
    // vectors and the byte after them is a command again.
    EXPECT_EQ(commands_of_shape({12, 0, 1, 2, 3, 0, 4, 1, 7, 2, 5, 6, 1, 0}), (Bytes{1, 0}));
    EXPECT_EQ(commands_of_shape({10, 1, 11, 15, 0}), (Bytes{8, 0, 0, 1, 8, 0, 0, 8, 0, 0, 0}));
    // 8 and 9 copy their signed bytes; the 9-list ends with the pair 0, 0, not a single 0.
    EXPECT_EQ(commands_of_shape({8, 253, 3, 9, 1, 0, 0, 2, 0, 0, 0}), (Bytes{8, 253, 3, 9, 1, 0, 0, 2, 0, 0, 0}));

    // Glyph numbers (row - rowBegin) x 94 + cell - 1; a negative number or a zero entry is empty.
    EXPECT_EQ(Glyph_number(17, 2, 16), 95);
    EXPECT_EQ(Glyph_number(15, 94, 16), -1);
    EXPECT_EQ(commands_of(file, -1), (Bytes{0}));
    EXPECT_EQ(commands_of(file, 2), (Bytes{0}));
}

TEST(StrokeGlyph, DamagedFontBytesReadAsZeroAndOverlongGlyphsFault) {
    const Bytes good = font_test::stroke_font({{0, {1, 0x10, 0x10, 0}}});
    // Index entries past the end or cut off by it, an offset past the end: empty glyphs.
    EXPECT_EQ(commands_of(good, 5), (Bytes{0}));
    EXPECT_EQ(commands_of(Bytes{good.begin(), good.begin() + 1}), (Bytes{0}));
    Bytes far = good;
    font_test::put_le(far, 0, 0xFFFFFF, 3);
    EXPECT_EQ(commands_of(far), (Bytes{0}));
    // Shape bytes cut off: the end of the file ends the glyph, also inside an 8 or a 9-list.
    EXPECT_EQ(commands_of(Bytes{good.begin(), good.end() - 2}), (Bytes{1, 8, 1, 0, 0}));
    EXPECT_EQ(commands_of_shape({9, 5, 5, 7}), (Bytes{9, 5, 5, 7, 0, 0, 0, 0}));
    EXPECT_EQ(commands_of_shape({8, 5}), (Bytes{8, 5, 0, 0}));

    // 4092 command bytes fit; one more, or a 9-list without its end, is an index fault.
    auto pens_after_vectors = [](int pens) {
        Bytes shape(1363, 0x10);
        shape.insert(shape.end(), static_cast<std::size_t>(pens), 1);
        shape.push_back(0);
        return shape;
    };
    EXPECT_EQ(commands_of_shape(pens_after_vectors(2)).size(), 4092u);
    EXPECT_EQ(fault_of([&] { commands_of_shape(pens_after_vectors(3)); }), FaultKind::index);
    EXPECT_EQ(fault_of([&] { commands_of_shape(Bytes(5000, 9)); }), FaultKind::index);
    GlyphBuffer g;
    EXPECT_EQ(fault_of([&] { Glyph_read_strokes_from(good, 0, 256, 24, g); }), FaultKind::overflow);
}

TEST(StrokeGlyph, TheBoxIsWhereThePenTravelsOnceAPenCommandWasSeen) {
    // Out to x 50 and back before any pen command (not counted), pen down, (10, 20), pen up,
    // (-40, -25): pen-up moves count from then on.
    GlyphBuffer g;
    Glyph_read_strokes_from(font_test::stroke_font({{0, {8, 50, 0, 8, 206, 0, 1, 8, 10, 20, 2, 8, 216, 231, 0}}}), 0, 24, 24, g);
    const GlyphBox box = Stroke_glyph_box(g);
    EXPECT_EQ(box.width, 10.0);
    EXPECT_EQ(box.height, 20.0);
    EXPECT_EQ(box.min_x, -30.0f);
    EXPECT_EQ(box.min_y, -5.0f);
}

TEST(ContourGlyph, BoxesComeFromThePointsAndEveryReadStaysInsideTheFile) {
    using font_test::Contour;
    const Bytes file = font_test::contour_font({{'A', {Contour{1, {{10, -5}, {60, 95}}}, Contour{0, {{-20, 40}}}}},
                                                {'B', {Contour{0, {{3, 7}, {9, 7}}}}}});
    const GlyphBox box = Contour_glyph_box(file, 'A');
    EXPECT_EQ(box.width, 80.0);
    EXPECT_EQ(box.height, 100.0);
    EXPECT_EQ(box.min_x, -20.0f);
    EXPECT_EQ(box.min_y, -5.0f);

    // A code beyond the table, a table offset past the end, a negative glyph offset, point and
    // contour counts larger than the file: eof faults.
    EXPECT_EQ(fault_of([&] { Contour_glyph_box(file, 0xFFFF); }), FaultKind::eof);
    Bytes bad = file;
    font_test::put_le(bad, 178, 0x7FFFFFF0, 4);
    EXPECT_EQ(fault_of([&] { Contour_glyph_box(bad, 'A'); }), FaultKind::eof);
    bad = file;
    font_test::put_le(bad, 182 + 4 * 'A', 0xFFFFFFF0, 4);
    EXPECT_EQ(fault_of([&] { Contour_glyph_box(bad, 'A'); }), FaultKind::eof);
    bad = file;
    const std::size_t glyph_b = bad[182 + 4 * 'B'] + 256u * bad[183 + 4 * 'B'];
    font_test::put_le(bad, glyph_b + 3, 0x7FFF, 2);
    EXPECT_EQ(fault_of([&] { Contour_glyph_box(bad, 'B'); }), FaultKind::eof);
    font_test::put_le(bad, glyph_b, 0x7FFF, 2);
    font_test::put_le(bad, glyph_b + 3, 1, 2);
    EXPECT_EQ(fault_of([&] { Contour_glyph_box(bad, 'B'); }), FaultKind::eof);
}

TEST_F(FontTest, GlyphsAreMeasuredWithTheZeroRuleAndMarkedInMillimetres) {
    write_font("romans.sl", font_test::stroke_font({{'A', {2, 8, 20, 0, 0}}, {'B', {2, 8, 10, 10, 1, 8, 10, 0, 8, 0, 246, 0}}}));
    const std::string path = folder + "/font/romans.sl";
    Glyph_read_strokes(state(), 1, 'B' + 1, path, 24, 24, 1);
    Glyph_measure(state(), 0, "B", 0, 0, "");
    EXPECT_EQ(state().font.dblTextWidth, 20.0);
    EXPECT_EQ(state().font.dblTextHeight, 10.0);
    // 100 steps per font unit: one unit is a millimetre; origin (1, 2) + offset (0.5, 0).
    machine.model().clear_marks();
    Glyph_mark_strokes(state(), 1.0f, 2.0f, 100.0f, 100.0f, 1, 0, 0, 1, 0.5f, 0);
    EXPECT_EQ(lines(), (std::vector<Seg>{{1150, 1200, 2150, 1200}, {2150, 1200, 2150, 200}}));
    EXPECT_FALSE(machine.gate_emitting());
    machine.model().clear_marks();
    Glyph_mark_strokes(state(), 0.0f, 0.0f, 100.0f, 100.0f, 0, 1, -1, 0, 0, 0);  // turned by 90
    EXPECT_EQ(lines(), (std::vector<Seg>{{-1000, 1000, -1000, 2000}, {-1000, 2000, 0, 2000}}));

    // Only a pen-up move: marks nothing, measures 20 x 1.
    Glyph_read_strokes(state(), 1, 'A' + 1, path, 24, 24, 1);
    Glyph_measure(state(), 0, "A", 0, 0, "");
    EXPECT_EQ(state().font.dblTextHeight, 1.0);
    machine.model().clear_marks();
    Glyph_mark_strokes(state(), 0, 0, 100, 100, 1, 0, 0, 1, 0, 0);
    EXPECT_TRUE(strokes().empty());

    // A contour file by the character's code: points on one line measure 1 high.
    write_font("shapes.cf", font_test::contour_font({{'A', {font_test::Contour{0, {{0, 3}, {40, 3}}}}}}));
    Glyph_measure(state(), -1, "A", 0, 0, folder + "/font/shapes.cf");
    EXPECT_EQ(state().font.dblTextWidth, 40.0);
    EXPECT_EQ(state().font.dblTextHeight, 1.0);
    EXPECT_EQ(state().tmpl.curCell.TextMinY, 3.0f);
    EXPECT_EQ(fault_of([&] { Glyph_measure(state(), -1, "中", 0, 0, folder + "/font/shapes.cf"); }), FaultKind::eof);
}

TEST_F(FontTest, AGlyphThatStartsPenDownOpensTheGateOnlyAtItsOrigin) {
    // Pen down and up at once (a dot at the origin), a pen-up move of (10, 0), pen down, a line of
    // (0, 10): with the scanner still standing where the last character ended, at (20, 20) mm.
    write_font("romans.sl", font_test::stroke_font({{'D', {1, 2, 8, 10, 0, 1, 8, 0, 10, 0}}}));
    Glyph_read_strokes(state(), 1, 'D' + 1, folder + "/font/romans.sl", 24, 24, 1);
    Scan_vector(state(), 0, 0, 20, 20);
    machine.model().clear_marks();
    const uint64_t openings = machine.model().gate_openings();
    Glyph_mark_strokes(state(), 1.0f, 2.0f, 100.0f, 100.0f, 1, 0, 0, 1, 0, 0);
    EXPECT_EQ(machine.model().gate_openings() - openings, 2u);
    std::vector<Seg> lit;  // dots as segments of length 0
    for (const Mark& m : machine.marks()) {
        if (m.kind == Mark::Kind::dot) lit.push_back({m.x0, m.y0, m.x0, m.y0});
        if (m.kind == Mark::Kind::line) lit.push_back({m.x0, m.y0, m.x1, m.y1});
    }
    EXPECT_EQ(lit, (std::vector<Seg>{{100, 200, 100, 200}, {1100, 200, 1100, 1200}}));
    EXPECT_FALSE(machine.gate_emitting());
}

TEST_F(FontTest, AFontFileIsKeptInMemoryUntilItChangesOnDisk) {
    const std::string path = folder + "/font/romans.sl";
    write_font("romans.sl", font_test::stroke_font({{0, {1, 0}}}));
    Glyph_read_strokes(state(), 1, 1, path, 24, 24, 1);
    EXPECT_EQ(state().font.bytGlyph.at(5), 1);
    write_font("romans.sl", font_test::stroke_font({{0, {2, 2, 0}}}));
    Glyph_read_strokes(state(), 1, 1, path, 24, 24, 1);
    EXPECT_EQ(state().font.bytGlyph.at(5), 2);
    // Gone since the fonts were resolved, or a folder: file faults.
    remove_font("romans.sl");
    EXPECT_EQ(fault_of([&] { Glyph_read_strokes(state(), 1, 1, path, 24, 24, 1); }), FaultKind::file);
    EXPECT_EQ(fault_of([&] { Glyph_read_strokes(state(), 1, 1, folder, 24, 24, 1); }), FaultKind::file);
}
