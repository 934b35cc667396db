// Text layout through the simulated machine's marks: straight text (advance, the lowest point on
// y, spacing, a character without a glyph), Angle rounded to whole degrees, vertical text, arc text
// in its directions and orientations with the default diameter and the too-wide fault, wide and
// narrow fonts in one text, contour-file characters that only take space, and empty text; damaged
// font files, and the characters the fonts cannot show.
#include <gtest/gtest.h>

#include "fault_of.hpp"
#include "font/font_catalogue.hpp"
#include "font/stroke_glyph.hpp"
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

TEST_F(TextLayoutTest, DamagedFontFilesAreFileFaultsAndCharactersTheFontsLackAreNoted) {
    // The text is marked as far as the fonts go, and what they cannot show is noted: € (code 0x80
    // of the code page, no glyph in the single-byte font), a full-width A (a row before the wide
    // font's first), a character the code page lacks and a byte that is no UTF-8 (both become "?").
    cell("A\u20AC\uFF21\U0001F600\xFF" "B");
    state().font.unmarkedChars.clear();
    EXPECT_EQ(mark(0, 0).size(), 2u);  // A and B
    const auto& noted = state().font.unmarkedChars;
    ASSERT_EQ(noted.size(), 4u);
    EXPECT_EQ(noted[0].text, "\u20AC");
    EXPECT_EQ(noted[0].why, "no glyph in " + folder + "/font/romans.sl, not marked");
    EXPECT_EQ(noted[1].text, "\uFF21");
    EXPECT_NE(noted[1].why.find("hz128f.sl"), std::string::npos);
    EXPECT_EQ(noted[2].why, "not in code page 936, marked as ?");
    EXPECT_EQ(noted[3].text, "\xFF");
    EXPECT_EQ(noted[3].why, "not UTF-8, marked as ?");

    // A stroke font file that is empty, cut short, text or all 0xFF is a file fault naming it and
    // what is wrong, before anything of the text is marked.
    font_test::Bytes whole = font_test::stroke_font({{'A', {1, 8, 0, 10, 0}}, {'B', {1, 8, 10, 0, 0}}});
    font_test::Bytes cut(whole.begin(), whole.end() - 2);
    const std::string text = "STARTFONT 2.1\nFONT -misc-fixed\n";
    const std::pair<font_test::Bytes, std::string> damaged[] = {
        {{}, "the file is empty"},
        {cut, "glyph 66 runs past the end of the file"},
        {font_test::Bytes(text.begin(), text.end()),
         "the offset of glyph 0 (4281427) points past the end of the file (31 bytes)"},
        {font_test::Bytes(300, 0xFF), "the offset of glyph 0 (16777215) points past the end"}};
    for (const auto& [bytes, why] : damaged) {
        write_font("romans.sl", bytes);
        cell("BA");
        machine.model().clear_marks();
        try {
            run_member([&](State& s) { Text_mark(s, 0, 0, 1, 1); return 0; });
            ADD_FAILURE() << why;
        } catch (const Fault& f) {
            EXPECT_EQ(f.kind(), FaultKind::file);
            EXPECT_NE(std::string(f.what()).find("font file " + folder + "/font/romans.sl is damaged: " + why), std::string::npos)
                << f.what();
        }
        EXPECT_TRUE(machine.marks().empty());
    }
    EXPECT_NE(Stroke_font_problem(font_test::stroke_font({{65, font_test::Bytes(3000, 0x11)}})).find("longer than the 4092-byte"),
              std::string::npos);
    EXPECT_EQ(Stroke_font_problem(whole), "");
}
