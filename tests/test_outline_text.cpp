// Outline-font text: the FreeType renderer on the installed faces (figures, cell top, substitutes,
// bold, a CJK character), measuring and marking through the simulated machine (figures as jumps
// and closed marked lines, the em scale, the width stretch, zero height, the italic setting kept
// between calls), the bound of 4097 path points, the edge list built for filling, and the order of
// hatch and outline.
#include "scan_fixture.hpp"

#include <algorithm>
#include <array>

#include "font/outline_text.hpp"
#include "platform/freetype_text_path.hpp"

using namespace korvex;

namespace {

// A renderer that hands back a fixed path, may claim more points than it wrote, and records the
// styles it was asked for.
struct FixedPath : TextPath {
    std::vector<TextPathPoint> points;
    int32_t claimed = -1;  // -1: the real count
    int32_t advance_units = 1000;
    std::vector<std::pair<bool, bool>> styles;  // (bold, italic) of every call
    int32_t character_path(std::string_view, bool bold, bool italic, std::string_view, TextPathPoint* out, int32_t capacity,
                           int32_t& advance) override {
        styles.emplace_back(bold, italic);
        const auto n = static_cast<int32_t>(points.size());
        std::copy_n(points.begin(), std::min(n, capacity), out);
        advance = advance_units;
        return claimed >= 0 ? claimed : n;
    }
};

// A square figure (device units, y down) of side `side` at (x, y).
std::vector<TextPathPoint> square(int32_t x, int32_t y, int32_t side) {
    return {{x, y, 6}, {x + side, y, 2}, {x + side, y + side, 2}, {x, y + side, 3}};
}

int figures(const std::vector<TextPathPoint>& p) {
    return static_cast<int>(std::count_if(p.begin(), p.end(), [](const TextPathPoint& q) { return q.type == 6; }));
}

std::vector<TextPathPoint> render(FreeTypeTextPath& r, const char* face, const char* ch, int32_t& advance, bool bold = false) {
    std::vector<TextPathPoint> p(kPathPoints);
    const int32_t n = r.character_path(face, bold, false, ch, p.data(), kPathPoints, advance);
    p.resize(static_cast<std::size_t>(std::clamp(n, 0, kPathPoints)));
    return p;
}

class OutlineTextTest : public ScanTest {
protected:
    // Marks `ch` at (x, y) mm, W x H mm, unrotated, with the cell's mode bits.
    void mark(const char* ch, const char* face, float x, float y, float W, float H, int32_t mode = 0) {
        state().tmpl.curCell.Mode = mode;
        machine.model().clear_marks();
        Glyph_mark_outline(state(), ch, face, x, y, W, H, 1, 0, 0, 1, 0, 0);
    }
    // The marks with each jump's staircase of steps joined into one jump.
    std::vector<Mark> strokes() const {
        std::vector<Mark> out;
        for (const Mark& m : machine.marks()) {
            if (m.kind == Mark::Kind::jump && !out.empty() && out.back().kind == Mark::Kind::jump) {
                out.back().x1 = m.x1;
                out.back().y1 = m.y1;
            } else {
                out.push_back(m);
            }
        }
        return out;
    }
    std::vector<Mark> marks(Mark::Kind kind) const {
        std::vector<Mark> out;
        for (const Mark& m : strokes())
            if (m.kind == kind) out.push_back(m);
        return out;
    }
};

}  // namespace

TEST(FreeTypeTextPathTest, RendersInstalledFacesInTheCellFrame) {
    FreeTypeTextPath r;
    int32_t advance = 0;
    // "i": stem and dot, each a closed figure, below the cell top and right of the cell's left edge.
    const auto i = render(r, "DejaVu Sans", "i", advance);
    EXPECT_EQ(figures(i), 2);
    EXPECT_EQ(i.front().type, 6);
    EXPECT_EQ(i.back().type, 3);
    EXPECT_EQ(advance, 741);  // 569 of 2048 font units at 2666.67 units per em
    for (const auto& p : i) EXPECT_TRUE(p.x >= 0 && p.y > 0) << p.x << "," << p.y;
    // The dot's top lies 1901 - 1556 font units (Windows ascent - dot top) below the cell top.
    const auto top = std::min_element(i.begin(), i.end(), [](auto& a, auto& b) { return a.y < b.y; })->y;
    EXPECT_NEAR(top, (1901 - 1556) * 2666.67 / 2048, 1.0);

    // A name no face has gets fontconfig's substitute, which still draws the letter.
    const auto o = render(r, "No Such Face Anywhere", "O", advance);
    EXPECT_EQ(figures(o), 2);
    EXPECT_GT(o.size(), 40u);  // the curves are flattened into many short lines
    // Bold comes from the family's bold face; a double-byte character from a CJK face.
    EXPECT_NE(r.face_file("DejaVu Sans", true, false).find("DejaVuSans-Bold"), std::string::npos);
    const auto zhong = render(r, "AR PL UMing CN", "中", advance);
    EXPECT_GE(figures(zhong), 2);
    EXPECT_NEAR(advance, 2667, 2);  // a full em
    // The CJK face has no bold: its strokes are thickened and the advance grows by 1/24 em.
    render(r, "AR PL UMing CN", "中", advance, true);
    EXPECT_NEAR(advance, 2667 + 2667 / 24, 2);
    // A space has no outline, only its advance.
    EXPECT_TRUE(render(r, "DejaVu Sans", " ", advance).empty());
    EXPECT_GT(advance, 0);
}

TEST_F(OutlineTextTest, FiguresAreJumpsFollowedByLinesClosedToTheirStart) {
    mark("i", "DejaVu Sans", 5, 5, 10, 10);
    const auto all = strokes();
    ASSERT_EQ(marks(Mark::Kind::jump).size(), 2u);
    for (std::size_t k = 0; k < all.size(); ++k) {
        if (all[k].kind != Mark::Kind::jump) continue;
        // The figure's lines follow the jump, chained, the last back at the jump's end.
        std::size_t j = k + 1;
        for (; j + 1 < all.size() && all[j + 1].kind == Mark::Kind::line; ++j)
            EXPECT_EQ(std::make_pair(all[j].x1, all[j].y1), std::make_pair(all[j + 1].x0, all[j + 1].y0));
        ASSERT_GT(j, k + 1);
        EXPECT_EQ(all[k + 1].kind, Mark::Kind::line);
        EXPECT_EQ(std::make_pair(all[j].x1, all[j].y1), std::make_pair(all[k].x1, all[k].y1));
    }
    EXPECT_FALSE(machine.gate_emitting());
}

TEST_F(OutlineTextTest, TheEmFollowsTheHeightAndTheWidthStretchesX) {
    // 100 steps/mm, H = 10 mm: s = 0.3725 steps per device unit; DejaVu's cap height is 1493 of
    // 2048 font units, so "H" stands 1493 / 2048 x 2666.67 x 0.3725 = 724 steps tall.
    mark("H", "DejaVu Sans", 0, 0, 10, 10);
    const auto narrow = marks(Mark::Kind::line);
    int lo = 1 << 30, hi = -(1 << 30);
    for (const Mark& m : narrow) lo = std::min({lo, m.y0, m.y1}), hi = std::max({hi, m.y0, m.y1});
    EXPECT_NEAR(hi - lo, 724, 1);

    mark("H", "DejaVu Sans", 0, 0, 20, 10);  // W = 2H
    const auto wide = marks(Mark::Kind::line);
    ASSERT_EQ(wide.size(), narrow.size());
    for (std::size_t k = 0; k < wide.size(); ++k) {
        EXPECT_NEAR(wide[k].x0, 2 * narrow[k].x0, 1);
        EXPECT_NEAR(wide[k].x1, 2 * narrow[k].x1, 1);
        EXPECT_EQ(wide[k].y0, narrow[k].y0);
        EXPECT_EQ(wide[k].y1, narrow[k].y1);
    }

    // Measuring: the advance scaled and stretched; the top at most the cell's top G = H x 100.
    Glyph_measure_outline(state(), "H", 20, 10, "DejaVu Sans");
    EXPECT_NEAR(state().font.dblTextWidth, 2.0 * 0.3725 * std::round(1540 * 2666.67 / 2048), 0.01);
    EXPECT_LE(state().font.dblTextHeight, 1000.0);
    EXPECT_GT(state().font.dblTextHeight, 700.0);

    // A double-byte character from a CJK face.
    mark("中", "AR PL UMing CN", 0, 0, 10, 10);
    EXPECT_GE(marks(Mark::Kind::jump).size(), 2u);
    EXPECT_GT(marks(Mark::Kind::line).size(), 4u);
}

TEST_F(OutlineTextTest, ZeroHeightNoRendererAndOverlongPaths) {
    mark("A", "DejaVu Sans", 1, 1, 5, 0);
    EXPECT_TRUE(machine.marks().empty());
    Glyph_measure_outline(state(), "A", 5, 0, "DejaVu Sans");
    EXPECT_EQ(state().font.dblTextWidth, 1.0);
    EXPECT_EQ(state().font.dblTextHeight, 1.0);

    // A path longer than the 4097 points is refused before anything is marked.
    FixedPath fixed;
    fixed.points = square(0, 0, 100);
    fixed.claimed = kPathPoints + 1;
    state().device.picText = &fixed;
    try {
        mark("A", "Any", 1, 1, 5, 5);
        ADD_FAILURE() << "an overlong path was marked";
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::overflow);
    }
    EXPECT_TRUE(machine.marks().empty());
    fixed.claimed = kPathPoints;  // exactly full is fine
    EXPECT_NO_THROW(mark("A", "Any", 1, 1, 5, 5));

    // No renderer at all is a device fault, not a crash.
    state().device.picText = nullptr;
    try {
        Glyph_measure_outline(state(), "A", 5, 5, "DejaVu Sans");
        ADD_FAILURE() << "measured without a renderer";
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::device);
    }
}

TEST_F(OutlineTextTest, MeasuringKeepsTheLastItalicAndTurnsBoldOff) {
    FixedPath fixed;
    fixed.points = square(0, 0, 100);
    state().device.picText = &fixed;
    mark("A", "Any", 0, 0, 5, 5, 0x60);          // bold italic
    Glyph_measure_outline(state(), "A", 5, 5, "Any");
    mark("A", "Any", 1, 0, 5, 5, 0x80);          // 0x80 alone: plain
    Glyph_measure_outline(state(), "A", 5, 5, "Any");
    const std::vector<std::pair<bool, bool>> expected{{true, true}, {false, true}, {false, false}, {false, false}};
    EXPECT_EQ(fixed.styles, expected);
    // 0x80 without the fill bit still marks the outline: one jump, four lines.
    EXPECT_EQ(marks(Mark::Kind::jump).size(), 1u);
    EXPECT_EQ(marks(Mark::Kind::line).size(), 4u);
}

TEST_F(OutlineTextTest, TheEdgeListDropsRepeatedEndsAndClosingEdgesThatAreThere) {
    // Device units at s = 1: a square whose last line already returns to its start, with a
    // repeated point, then a triangle closed by its closing edge.
    FixedPath fixed;
    fixed.points = {{0, 0, 6}, {100, 0, 2}, {100, 0, 2}, {100, 100, 2}, {0, 100, 2}, {0, 0, 3},
                    {200, 0, 6}, {300, 0, 2}, {250, 50, 3}};
    state().device.picText = &fixed;
    state().tmpl.curCell.Mode = 0x10;
    for (int32_t i = 0; i < 9; ++i) state().font.ptPath.at(i) = fixed.points[static_cast<std::size_t>(i)];
    const vbool filled = Outline_fill(state(), 8, 1.0f);
    const auto& f = state().fill;
    const std::vector<std::array<int32_t, 4>> expected{{0, 0, 100, 0},   {100, 0, 100, 100}, {100, 100, 0, 100},
                                                       {0, 100, 0, 0},   {200, 0, 300, 0},   {300, 0, 250, 50},
                                                       {250, 50, 200, 0}};
    for (std::size_t e = 0; e < expected.size(); ++e) {
        const SegRec& r = f.recEdge.at(static_cast<int64_t>(e));
        EXPECT_EQ((std::array<int32_t, 4>{r.x0, r.y0, r.x1, r.y1}), expected[e]) << e;
    }
    EXPECT_EQ(f.lngContourEnd.at(0), 3);
    EXPECT_EQ(f.lngContourEnd.at(1), 6);
    EXPECT_NE(filled, kFalse);
    state().tmpl.curCell.Mode = 0;
    EXPECT_EQ(Outline_fill(state(), 8, 1.0f), kFalse);  // without the fill bit nothing is built
}

TEST_F(OutlineTextTest, FilledTextIsHatchedBeforeItsOutline) {
    // A 1000-unit square at s = 0.3725 (H = 10 mm) with hatch lines 0.5 mm apart.
    FixedPath fixed;
    fixed.points = square(100, 100, 1000);
    state().device.picText = &fixed;
    state().tmpl.curCell.FillSpace = 0.5f;
    mark("A", "Any", 0, 0, 10, 10, 0x10);
    std::vector<Mark> lines = marks(Mark::Kind::line);
    ASSERT_GT(lines.size(), 4u);
    // Hatch lines are vertical; the outline's four sides come last.
    for (std::size_t k = 0; k + 4 < lines.size(); ++k) EXPECT_EQ(lines[k].x0, lines[k].x1) << k;
    const Mark& first_side = lines[lines.size() - 4];
    EXPECT_EQ(first_side.y0, first_side.y1);  // the top side, horizontal
    const std::size_t hatch_lines = lines.size() - 4;

    mark("A", "Any", 0, 0, 10, 10, 0x90);  // fill without outline
    EXPECT_EQ(marks(Mark::Kind::line).size(), hatch_lines);
    for (const Mark& m : marks(Mark::Kind::line)) EXPECT_EQ(m.x0, m.x1);
    EXPECT_FALSE(machine.gate_emitting());
}
