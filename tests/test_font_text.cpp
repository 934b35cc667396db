// Text layout through the simulated machine's marks: straight text (advance, the lowest point on
// y, spacing, a character without a glyph), Angle rounded to whole degrees, vertical text, arc text
// in its directions and orientations with the default diameter and the too-wide fault, wide and
// narrow fonts in one text, contour-file characters that only take space, and empty text.
#include <gtest/gtest.h>

#include "fault_of.hpp"
#include "font/font_catalogue.hpp"
#include "font/text_layout.hpp"
#include "font_files.hpp"
#include "interface/fault_boundary.hpp"

using namespace korvex;

namespace {

class TextLayoutTest : public FontTest {
protected:
    void SetUp() override {
        FontTest::SetUp();
        // Single-byte font, 24 units: "A" a stroke up from its origin, "B" a stroke along its top,
        // "g" one below the baseline; each steps 12 units on. At 2.4 mm a unit is 0.1 mm.
        write_font("romans.sl", font_test::stroke_font({{'A', {1, 8, 0, 10, 2, 8, 12, 246, 0}},
                                                        {'B', {2, 8, 0, 10, 1, 8, 10, 0, 2, 8, 2, 246, 0}},
                                                        {'g', {2, 8, 0, 251, 1, 8, 5, 0, 2, 8, 7, 5, 0}}}));
        // Double-byte font, 128 units from GB2312 row 16: "中" (row 54, cell 48) a stroke up 64.
        write_font("hz128f.sl", font_test::stroke_font({{(54 - 16) * 94 + 47, {1, 8, 0, 64, 2, 8, 127, 192, 8, 1, 0, 0}}}));
    }
    // The cell: text, font names (both 2.4 mm from FontWide), spacing, mode and angle.
    void cell(const std::string& text, const std::string& narrow = "special_Romans", float space = 0, int32_t mode = 0,
              float angle = 0) {
        CellRecord& c = state().tmpl.curCell;
        c.Text = text;
        c.Mode = mode;
        c.Angle = angle;
        c.FontWide = FontRecord{};
        c.FontWide.Name = "special_DFS";
        c.FontWide.Width = c.FontWide.Height = 2.4f;
        c.FontWide.Space = space;
        c.FontNarrow = FontRecord{};
        c.FontNarrow.Name = narrow;
        c.FontNarrow.Width = c.FontNarrow.Height = 9.0f;  // never used: sizes come from FontWide
        state().tmpl.FontWideWork = c.FontWide;
        state().tmpl.FontNarrowWork = c.FontNarrow;
        ASSERT_EQ(Font_load(state()), kTrue);
    }
    std::vector<Seg> mark(float x, float y) {
        machine.model().clear_marks();
        Text_mark(state(), x, y, 1.0f, 1.0f);
        EXPECT_FALSE(machine.gate_emitting());
        return strokes();
    }
};

using Segs = std::vector<FontTest::Seg>;

}  // namespace

TEST_F(TextLayoutTest, StraightTextAdvancesByWidthsAndRestsItsLowestPointOnY) {
    cell("AB");
    EXPECT_EQ(mark(10, 20), (Segs{{1000, 2000, 1000, 2100}, {1120, 2100, 1220, 2100}}));
    EXPECT_FLOAT_EQ(state().font.dblTextWidth, 240.0);  // steps, gaps not included
    EXPECT_FLOAT_EQ(state().font.sngCharScaleX.at(0), 10.0f);
    cell("Ag");  // "g" reaches 0.5 mm below its baseline: the text is lifted by that
    EXPECT_EQ(mark(10, 20), (Segs{{1000, 2050, 1000, 2150}, {1120, 2000, 1170, 2000}}));
    EXPECT_EQ(state().tmpl.curCell.TextMinY, -50.0f);
    // Spacing is added after every character; "z" has no glyph and takes 1 unit.
    cell("AzB", "special_Romans", 0.3f);
    EXPECT_EQ(mark(10, 20), (Segs{{1000, 2000, 1000, 2100}, {1190, 2100, 1290, 2100}}));
    // Empty text marks nothing.
    cell("");
    EXPECT_EQ(mark(10, 20), Segs{});
    EXPECT_TRUE(state().font.sngCharWidth.empty());
}

TEST_F(TextLayoutTest, TheAngleTurnsTheTextAboutItsCentreInWholeDegreesHalvesToEven) {
    auto marks_at = [&](float angle) {
        cell("A", "special_Romans", 0, 0, angle);
        return mark(10, 20);
    };
    // "A" is 1.2 x 1.0 mm: turned by 90 about (10.6, 20.5) its origin goes to (11.1, 19.9).
    const Segs at90 = marks_at(90);
    EXPECT_EQ(at90, (Segs{{1110, 1990, 1010, 1990}}));
    EXPECT_EQ(marks_at(89.5f), at90);
    EXPECT_EQ(marks_at(90.5f), at90);
    const Segs at92 = marks_at(92);
    EXPECT_EQ(marks_at(91.5f), at92);
    EXPECT_NE(marks_at(91), at90);
    EXPECT_NE(marks_at(91), at92);
}

TEST_F(TextLayoutTest, VerticalTextStacksTheCharactersFromTheTop) {
    cell("AAA", "special_Romans", 0.5f, kCellModeVertical);
    EXPECT_EQ(mark(10, 20), (Segs{{1000, 2300, 1000, 2400}, {1000, 2150, 1000, 2250}, {1000, 2000, 1000, 2100}}));
    // Turned by 90 about (10.6, 22): the last character's origin (10, 20) goes to (12.6, 21.4).
    cell("AAA", "special_Romans", 0.5f, kCellModeVertical, 90);
    EXPECT_EQ(mark(10, 20).back(), (Seg{1260, 2140, 1160, 2140}));
}

TEST_F(TextLayoutTest, ArcTextWalksTheCircleWithEachGlyphTangent) {
    // Diameter 0 becomes 10 mm; centre (5 - 1, 5 - 2); each 1.2 mm character takes 2 x 6.89 degrees.
    cell("AA", "special_Romans", 0, kCellModeArc);
    CellRecord& c = state().tmpl.curCell;
    c.ArcAngle = 90;
    c.Value7 = 1;
    c.RotaryDiameter = 2;
    // Direction bit clear: from 90 degrees on, decreasing; each "A" leans right by half its angle.
    EXPECT_EQ(mark(5, 5), (Segs{{400, 800, 412, 899}, {519, 786, 554, 879}}));
    EXPECT_EQ(c.ArcDiameter, 10.0f);
    EXPECT_NEAR(state().font.sngArcAngle, 4 * 6.8921, 1e-3);
    // Direction bit set: increasing angles, the origin at each character's far end.
    c.Mode = kCellModeArc | kCellModeArcDirection;
    EXPECT_EQ(mark(5, 5).front(), (Seg{281, 786, 269, 885}));
    // Both bits: origin at the start, the glyph turned over (its strokes point into the circle).
    c.Mode = kCellModeArc | kCellModeArcDirection | kCellModeArcOrient;
    EXPECT_EQ(mark(5, 5).front(), (Seg{400, 800, 412, 701}));

    // A character as wide as the diameter has no arc angle: a fault, the gate closed.
    c.ArcDiameter = 1.0f;
    machine.model().clear_marks();
    EXPECT_EQ(fault_of([&] { run_member([&](State& s) { Text_mark(s, 5, 5, 1, 1); return 0; }); }), FaultKind::invalid_float);
    EXPECT_FALSE(machine.gate_emitting());
    EXPECT_TRUE(machine.marks().empty());
}

TEST_F(TextLayoutTest, WideAndNarrowFontsShareTheWideSizeAndContourCharactersOnlyTakeSpace) {
    // "中" from the double-byte font (1.875 steps per unit), "A" from the single-byte one.
    cell("中A");
    EXPECT_EQ(mark(10, 20), (Segs{{1000, 2000, 1000, 2120}, {1240, 2000, 1240, 2100}}));
    EXPECT_FLOAT_EQ(state().font.sngCharScaleX.at(0), 1.875f);

    // A contour font file for the narrow characters: "A" fitted to 2.4 mm high (2.4 steps per
    // unit, 50 units wide), measured, never marked.
    write_font("shapes.cf", font_test::contour_font({{'A', {font_test::Contour{0, {{0, 0}, {50, 100}}}}}}));
    cell("A中", "shapes.cf");
    EXPECT_EQ(state().tmpl.curCell.FontNarrow.Kind, kFontKindContour);
    EXPECT_EQ(mark(10, 20), (Segs{{1120, 2000, 1120, 2120}}));
    EXPECT_FLOAT_EQ(state().font.sngCharWidth.at(0), 120.0f);
}
