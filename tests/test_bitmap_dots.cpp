// Bar-code dot matrices checked through the simulated machine's marks: the three border
// rectangles, the concentric squares of a dark module and their count by FillSpace, the module
// order, the division fault of a zero FillSpace, and a real Data Matrix for a 15-digit animal
// number that is marked from the example template and read back from a picture of the marks.
#include "scan_fixture.hpp"

#include "tag_code.hpp"

#include <algorithm>
#include <cmath>

#include "interface/fault_boundary.hpp"
#include "template/barcode_dots.hpp"
#include "template/cells.hpp"
#include "template/pens.hpp"

using namespace korvex;

namespace {

struct Seg {
    int x0, y0, x1, y1;
    bool operator==(const Seg&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Seg& s) { return o << "(" << s.x0 << "," << s.y0 << ")-(" << s.x1 << "," << s.y1 << ")"; }

class BitmapDotsTest : public ScanTest {
protected:
    // Code area with its lower-left corner at (x0, y0), w x h mm, line spacing d, in slot 1.
    void cell(float x0, float y0, float w, float h, float d) {
        auto& v = state().tmpl.catValues.at(kCategoryBarcode);
        v.at(1, kValueX) = x0;
        v.at(1, kValueY) = y0;
        v.at(1, kValueWidth) = w;
        v.at(1, kValueHeight) = h;
        state().tmpl.curCell.FillSpace = d;
        machine.model().clear_marks();
    }
    void bitmap(std::initializer_list<std::pair<int, uint8_t>> bytes) {
        for (int c = 0; c < 32; ++c) state().tmpl.tagBitmap.at(0, c) = 0;
        for (auto [i, v] : bytes) state().tmpl.tagBitmap.at(0, i) = v;
    }
    std::vector<Seg> lines() const {
        std::vector<Seg> out;
        for (const Mark& m : machine.marks())
            if (m.kind == Mark::Kind::line) out.push_back({m.x0, m.y0, m.x1, m.y1});
        return out;
    }
};

// The four sides of a closed path from (x, y) over (x + w, y), (x + w, y + h), (x, y + h).
std::vector<Seg> square(int x, int y, int w, int h) {
    return {{x, y, x + w, y}, {x + w, y, x + w, y + h}, {x + w, y + h, x, y + h}, {x, y + h, x, y}};
}
void append(std::vector<Seg>& to, const std::vector<Seg>& more) { to.insert(to.end(), more.begin(), more.end()); }

// Border rectangles of a code area at (x, y) of w x h D/A units with spacing d.
std::vector<Seg> border(int x, int y, int w, int h, int d) {
    std::vector<Seg> out;
    for (int k = 0; k < 3; ++k) append(out, square(x - k * d, y - k * d, w + 2 * k * d, h + 2 * k * d));
    return out;
}

}  // namespace

TEST_F(BitmapDotsTest, AnAllZeroBitmapMarksOnlyTheThreeBorderRectangles) {
    cell(1, 2, 8, 8, 0.5f);
    bitmap({});
    const uint64_t openings = machine.model().gate_openings();
    Bitmap_dots(state(), 1);
    EXPECT_EQ(lines(), border(100, 200, 800, 800, 50));
    EXPECT_EQ(machine.model().gate_openings() - openings, 3u);
    EXPECT_FALSE(machine.gate_emitting());
}

TEST_F(BitmapDotsTest, TheTopLeftModuleIsFilledWithConcentricSquares) {
    // 8 mm code, FillSpace 0.1 mm: modules of 0.5 mm, n = 2, squares of 0.5, 0.3 and 0.1 mm.
    cell(1, 2, 8, 8, 0.1f);
    bitmap({{0, 0x80}});
    Bitmap_dots(state(), 1);
    std::vector<Seg> want = border(100, 200, 800, 800, 10);
    append(want, square(100, 950, 50, 50));
    append(want, square(110, 960, 30, 30));
    append(want, square(120, 970, 10, 10));
    EXPECT_EQ(lines(), want);
    EXPECT_EQ(state().scan.lngPosX, 120);  // ends at the last square's lower-left corner
    EXPECT_EQ(state().scan.lngPosY, 970);
}

TEST_F(BitmapDotsTest, SquaresPerModuleFollowTheModuleWidthAndSpacing) {
    // FillSpace above half a module: one square per dark module.
    cell(0, 0, 8, 8, 0.3f);
    bitmap({{0, 0x80}});
    Bitmap_dots(state(), 1);
    std::vector<Seg> want = border(0, 0, 800, 800, 30);
    append(want, square(0, 750, 50, 50));
    EXPECT_EQ(lines(), want);

    // Modules that are not square: the count comes from the width alone (0.5 / 0.1 / 2 = 2.5 -> 3
    // squares), and the inner ones turn over when the height runs out.
    cell(0, 0, 8, 4, 0.1f);
    bitmap({{0, 0x80}});
    Bitmap_dots(state(), 1);
    want = border(0, 0, 800, 400, 10);
    append(want, square(0, 375, 50, 25));
    append(want, square(10, 385, 30, 5));
    append(want, square(20, 395, 10, -15));
    EXPECT_EQ(lines(), want);

    // Three dark modules at 0.1 mm: 3 squares each, in rows from the top, each row from the left:
    // (row 0, column 0), (row 0, column 15), (row 15, column 15).
    cell(0, 0, 8, 8, 0.1f);
    bitmap({{31, 0x01}, {1, 0x01}, {0, 0x80}});
    const uint64_t openings = machine.model().gate_openings();
    Bitmap_dots(state(), 1);
    const std::vector<Seg> got = lines();
    ASSERT_EQ(got.size(), 12u + 3 * 3 * 4);
    EXPECT_EQ(machine.model().gate_openings() - openings, 3u + 9u);
    EXPECT_EQ(got[12], (Seg{0, 750, 50, 750}));
    EXPECT_EQ(got[24], (Seg{750, 750, 800, 750}));
    EXPECT_EQ(got[36], (Seg{750, 0, 800, 0}));
}

TEST_F(BitmapDotsTest, ZeroFillSpaceIsADivisionFaultWithTheGateClosed) {
    cell(0, 0, 8, 8, 0.0f);
    bitmap({{5, 0x10}});
    try {
        run_member([](State& s) {
            Bitmap_dots(s, 1);
            return 0;
        });
        FAIL() << "no fault";
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::division);
    }
    EXPECT_FALSE(machine.gate_emitting());
    EXPECT_EQ(lines().size(), 12u);  // the three (coinciding) rectangles were marked first
    // A slot beyond the category is an index fault before anything moves; slot 0 has (unused)
    // layout values but no bitmap entry, so it faults at its first module, after its border.
    machine.model().clear_marks();
    EXPECT_THROW(Bitmap_dots(state(), 101), Fault);
    EXPECT_TRUE(machine.marks().empty());
    state().tmpl.catValues.at(kCategoryBarcode).at(0, kValueWidth) = 8.0f;
    state().tmpl.catValues.at(kCategoryBarcode).at(0, kValueHeight) = 8.0f;
    state().tmpl.curCell.FillSpace = 0.1f;
    EXPECT_THROW(Bitmap_dots(state(), 0), Fault);
    EXPECT_EQ(lines().size(), 12u);
    EXPECT_FALSE(machine.gate_emitting());
}

TEST_F(BitmapDotsTest, ADataMatrixMarkedFromTheExampleTemplateReadsBackItsNumber) {
    const std::string number = "982000123456789";
    const tool::TagCodeBitmap code = tool::tag_code_bitmap(number);

    // The bitmap itself, drawn module by module, is a readable code (the laying is right).
    {
        tool::MarkRaster blocks(-2, -2, 18, 18, 0.1);
        for (int r = 0; r < 16; ++r)
            for (int c = 0; c < 16; ++c)
                if (code[static_cast<std::size_t>(2 * r + c / 8)] & (0x80 >> (c % 8)))
                    for (double y = 15 - r; y < 16 - r; y += 0.05) blocks.stroke(c, y + 0.025, c + 1, y + 0.025, 0.06);
        ASSERT_EQ(tool::read_tag_code(blocks), number);
    }

    // The host chooses the template, the print pass parses bar-code cell 1, selects its pen and
    // marks it from bitmap entry 0.
    host.e_setPrintInfo(std::string(KORVEX_SOURCE_DIR) + "/examples/eartag_template.mc1");
    State& s = state();
    ASSERT_EQ(s.tmpl.catLines.at(kCategoryBarcode, 0), "2");  // a plate of two tags
    Cell_parse(s, s.tmpl.catLines.at(kCategoryBarcode, 1));
    Pen_select(s, s.tmpl.curCell.Pen);
    ASSERT_EQ(s.para.lngCurPen, 2);
    for (std::size_t i = 0; i < code.size(); ++i) s.tmpl.tagBitmap.at(0, static_cast<int64_t>(i)) = code[i];
    machine.model().clear_marks();
    const uint64_t openings = machine.model().gate_openings();
    Bitmap_dots(s, 1);
    EXPECT_FALSE(machine.gate_emitting());

    // Draw the marks with a spot as wide as FillSpace and read the picture.
    const double steps_per_mm = s.hw.sngStepsPerMm;
    const double spot = s.tmpl.curCell.FillSpace * steps_per_mm;
    const auto& v = s.tmpl.catValues.at(kCategoryBarcode);
    const double x0 = v.at(1, kValueX) * steps_per_mm, y0 = v.at(1, kValueY) * steps_per_mm;
    const double w = v.at(1, kValueWidth) * steps_per_mm, h = v.at(1, kValueHeight) * steps_per_mm;
    int dark = 0;
    for (uint8_t byte : code) dark += std::popcount(byte);
    // 10 mm code at 0.1 mm: 4 squares per module, each its own gate opening.
    EXPECT_EQ(machine.model().gate_openings() - openings, 3u + static_cast<uint64_t>(dark) * 4);
    EXPECT_EQ(tool::read_marked_code(machine.marks(), x0, y0, w, h, spot), number);
}

TEST_F(BitmapDotsTest, TheSquareCountIsTakenFromSingleQuotients) {
    // Common settings whose quotient is a whole number in Single arithmetic but falls just short of
    // it in Double: module 0.5 mm (W 8) at 0.05 mm, 1 mm (W 16) at 0.1, 0.75 mm (W 12) at 0.075,
    // 0.5 mm at 0.025.
    EXPECT_EQ(Module_last_square(0.5f, 0.05f), 5);
    EXPECT_EQ(Module_last_square(1.0f, 0.1f), 5);
    EXPECT_EQ(Module_last_square(0.75f, 0.075f), 5);
    EXPECT_EQ(Module_last_square(0.5f, 0.025f), 10);
    // The marked module has squares 0 to 5, the last of side 0 (a dot).
    cell(0, 0, 8, 8, 0.05f);
    bitmap({{0, 0x80}});
    const uint64_t openings = machine.model().gate_openings();
    Bitmap_dots(state(), 1);
    EXPECT_EQ(machine.model().gate_openings() - openings, 3u + 6u);
}
