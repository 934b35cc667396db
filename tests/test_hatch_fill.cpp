// Outline fill: where a scan line meets an edge, the hatch of a square (directions, the two
// zero-length corner segments), vertices the outline passes through or only touches, the spacing
// floor and the box's origin, the list bounds, and random outlines hatched exactly as the
// edge-by-edge rule hatches them.
#include <random>

#include "fault_of.hpp"
#include "hatch_reference.hpp"
#include "machine_fixture.hpp"

using namespace korvex;

namespace korvex {
bool operator==(const SegRec& a, const SegRec& b) { return a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 && a.y1 == b.y1; }
std::ostream& operator<<(std::ostream& o, const SegRec& s) { return o << "(" << s.x0 << "," << s.y0 << ")-(" << s.x1 << "," << s.y1 << ")"; }
}  // namespace korvex

namespace {

class HatchFillTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        state().hw.sngStepsPerMm = 100.0f;
        spacing(0.1f);  // 10 steps
    }
    void spacing(float mm) { state().tmpl.curCell.FillSpace = mm; }
    // Stores closed polygons (vertex lists) as chained contours; returns the contour count.
    int32_t polygons(const std::vector<std::vector<std::pair<int, int>>>& polys) {
        int32_t a = 0, c = 0;
        for (const auto& poly : polys) {
            for (std::size_t i = 0; i < poly.size(); ++i) {
                const auto [x0, y0] = poly[i];
                const auto [x1, y1] = poly[(i + 1) % poly.size()];
                state().fill.recEdge.at(a++) = SegRec{x0, y0, x1, y1};
            }
            state().fill.lngContourEnd.at(c++) = a - 1;
        }
        return c;
    }
    std::vector<SegRec> hatch() const {
        const State& s = korvex::thread_state();
        std::vector<SegRec> out;
        for (int32_t i = 0; i < s.fill.lngHatchCount; ++i) out.push_back(s.fill.recHatch.at(i));
        return out;
    }
};

}  // namespace

TEST_F(HatchFillTest, ScanCrossFindsCrossingsTouchesAndEdgesOnTheLine) {
    State& s = state();
    const SegRec scan{10, 100, 10, 0};
    EXPECT_EQ(Scan_cross(s, scan, SegRec{0, 0, 20, 40}), 1);
    EXPECT_EQ(s.fill.lngCrossX, 10);
    EXPECT_EQ(s.fill.lngCrossY, 20);
    // Halves round to even: 0.5 -> 0 and 1.5 -> 2 (edges of slope 1/2 met at x = 1 and 3).
    Scan_cross(s, SegRec{1, 9, 1, -9}, SegRec{4, 2, 0, 0});
    EXPECT_EQ(s.fill.lngCrossY, 0);
    Scan_cross(s, SegRec{3, 9, 3, -9}, SegRec{0, 0, 4, 2});
    EXPECT_EQ(s.fill.lngCrossY, 2);
    // A vertical edge on the line (ranges touching at an end point count) reports its y1.
    EXPECT_EQ(Scan_cross(s, scan, SegRec{10, 100, 10, 150}), 2);
    EXPECT_EQ(s.fill.lngCrossY, 150);
    EXPECT_EQ(Scan_cross(s, scan, SegRec{10, 101, 10, 150}), 0);
    EXPECT_EQ(Scan_cross(s, scan, SegRec{11, 0, 11, 50}), 0);
    // Out of the line's y range: 0, but the crossing is left behind; zero lengths meet nothing.
    EXPECT_EQ(Scan_cross(s, scan, SegRec{0, 200, 20, 220}), 0);
    EXPECT_EQ(s.fill.lngCrossY, 210);
    EXPECT_EQ(Scan_cross(s, scan, SegRec{10, 50, 10, 50}), 0);
    EXPECT_EQ(Scan_cross(s, SegRec{10, 5, 10, 5}, SegRec{0, 0, 20, 10}), 0);
    // Coordinates far apart do not overflow the interpolation.
    EXPECT_EQ(Scan_cross(s, SegRec{0, INT32_MAX, 0, INT32_MIN}, SegRec{-2000000000, -2000000000, 2000000000, 2000000000}), 1);
    EXPECT_EQ(s.fill.lngCrossY, 0);
}

TEST_F(HatchFillTest, ASquareIsHatchedInAZigzagWithZeroLengthCornerSegments) {
    const int32_t c = polygons({{{0, 0}, {100, 0}, {100, 100}, {0, 100}}});
    EXPECT_EQ(Hatch_fill(state(), c, 100, 100, 0, 0), kTrue);
    std::vector<SegRec> want{{0, 100, 0, 100}};
    for (int x = 10; x <= 90; x += 10) want.push_back(x % 20 == 10 ? SegRec{x, 100, x, 0} : SegRec{x, 0, x, 100});
    want.push_back({100, 0, 100, 0});
    EXPECT_EQ(hatch(), want);
}

TEST_F(HatchFillTest, AVertexTheOutlinePassesThroughCountsOnceAnApexThatOnlyTouchesTwice) {
    // Diamond: the line x = 50 meets the bottom and top vertices, each passed through.
    int32_t c = polygons({{{50, 0}, {100, 50}, {50, 100}, {0, 50}}});
    Hatch_fill(state(), c, 100, 100, 0, 0);
    EXPECT_EQ(hatch().at(5), (SegRec{50, 100, 50, 0}));

    // A triangle whose apex touches the line alone: a zero-length segment at the apex.
    c = polygons({{{0, 40}, {50, 60}, {0, 80}}});
    Hatch_fill(state(), c, 50, 80, 0, 40);
    EXPECT_EQ(hatch().back(), (SegRec{50, 60, 50, 60}));

    // A square with a triangular hole whose apex touches x = 50: counted twice, the square's own
    // crossings stay paired (0-50 and 50-100 rather than 0-50 and a lone 100).
    c = polygons({{{0, 0}, {100, 0}, {100, 100}, {0, 100}}, {{10, 40}, {50, 50}, {10, 60}}});
    Hatch_fill(state(), c, 100, 100, 0, 0);
    std::vector<SegRec> at50;
    for (const SegRec& h : hatch())
        if (h.x0 == 50) at50.push_back(h);
    EXPECT_EQ(at50, (std::vector<SegRec>{{50, 100, 50, 50}, {50, 50, 50, 0}}));
}

TEST_F(HatchFillTest, SpacingFloorBoxOriginAndTooFewEdges) {
    State& s = state();
    int32_t c = polygons({{{0, 0}, {3, 0}, {3, 6}, {0, 6}}});
    spacing(0.0f);  // 1 step
    Hatch_fill(s, c, 3, 6, 0, 0);
    EXPECT_EQ(hatch(), (std::vector<SegRec>{{0, 6, 0, 6}, {1, 6, 1, 0}, {2, 0, 2, 6}, {3, 0, 3, 0}}));
    spacing(0.004f);  // 0.4 steps: still 1
    Hatch_fill(s, c, 3, 6, 0, 0);
    EXPECT_EQ(s.fill.lngHatchCount, 4);

    // A box reaching back to the origin puts the lines at 0, 10, 20, ...: the outline at 15..55
    // is met at 20, 30, 40, 50, the first of them (the third line) running upward.
    spacing(0.1f);
    c = polygons({{{15, 5}, {55, 5}, {55, 45}, {15, 45}}});
    Hatch_fill(s, c, 55, 45, 0, 0);
    EXPECT_EQ(hatch(), (std::vector<SegRec>{{20, 5, 20, 45}, {30, 45, 30, 5}, {40, 5, 40, 45}, {50, 45, 50, 5}}));

    // One edge, no contour, or an empty box: no hatch, and the old list is dropped.
    s.fill.lngContourEnd.at(0) = 0;
    EXPECT_EQ(Hatch_fill(s, 1, 100, 100, 0, 0), kFalse);
    EXPECT_EQ(s.fill.lngHatchCount, 0);
    EXPECT_EQ(Hatch_fill(s, 0, 100, 100, 0, 0), kFalse);
    c = polygons({{{15, 5}, {55, 5}, {55, 45}, {15, 45}}});
    EXPECT_EQ(Hatch_fill(s, c, 10, 45, 60, 5), kFalse);
}

TEST_F(HatchFillTest, ListBoundsAreIndexFaults) {
    State& s = state();
    // 30 002 segments do not fit the hatch list: a strip 30 002 steps wide at spacing 1.
    spacing(0.0f);
    int32_t c = polygons({{{0, 0}, {30001, 0}, {30001, 10}, {0, 10}}});
    EXPECT_EQ(fault_of([&] { Hatch_fill(s, c, 30001, 10, 0, 0); }), FaultKind::index);
    EXPECT_EQ(s.fill.lngHatchCount, kHatchListSize);
    // A contour ending beyond the edge list, or more contours than its list holds.
    s.fill.lngContourEnd.at(0) = kEdgeListSize;
    EXPECT_EQ(fault_of([&] { Hatch_fill(s, 1, 10, 10, 0, 0); }), FaultKind::index);
    EXPECT_EQ(fault_of([&] { Hatch_fill(s, kContourListSize + 1, 10, 10, 0, 0); }), FaultKind::index);
}

// Random outlines: chained polygons with collinear and repeated points, edges along the scan
// lines, vertices on them and contours touching each other, and loose edges that chain nothing
// (as a plot drawing with pen-up moves gives) — hatched identically by the edge-by-edge rule.
TEST_F(HatchFillTest, RandomOutlinesGiveTheSameHatchAsTheEdgeByEdgeRule) {
    State& s = state();
    std::mt19937 rng(20261210);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 3000; ++round) {
        const int d = pick(1, 4);
        spacing(static_cast<float>(d) / 100.0f);
        const int grid = pick(4, 40);
        int32_t a = 0, contours = 0;
        const int n_contours = pick(1, 4);
        for (int c = 0; c < n_contours; ++c) {
            const bool loose = pick(0, 5) == 0;
            const int n = pick(1, 12);
            int x = pick(0, grid), y = pick(0, grid);
            const int x_first = x, y_first = y;
            for (int i = 0; i < n; ++i) {
                int nx, ny;
                switch (pick(0, 4)) {
                    case 0: nx = x; ny = pick(0, grid); break;                        // vertical
                    case 1: nx = x + d * pick(-3, 3); ny = y + pick(-5, 5); break;    // to another line
                    case 2: nx = x; ny = y; break;                                    // repeated point
                    default: nx = pick(0, grid); ny = pick(0, grid); break;
                }
                if (loose) x = pick(0, grid), y = pick(0, grid);
                if (i == n - 1 && !loose) nx = x_first, ny = y_first;
                s.fill.recEdge.at(a++) = SegRec{x, y, nx, ny};
                x = nx;
                y = ny;
            }
            s.fill.lngContourEnd.at(contours++) = a - 1;
        }
        int32_t maxX = INT32_MIN, maxY = INT32_MIN, minX = INT32_MAX, minY = INT32_MAX;
        for (int32_t i = 0; i < a; ++i) {
            const SegRec& e = s.fill.recEdge.at(i);
            maxX = std::max({maxX, e.x0, e.x1});
            maxY = std::max({maxY, e.y0, e.y1});
            minX = std::min({minX, e.x0, e.x1});
            minY = std::min({minY, e.y0, e.y1});
        }
        if (pick(0, 3) == 0) minX = std::min(minX, 0), minY = std::min(minY, 0);   // box with the origin
        if (pick(0, 5) == 0) maxY -= pick(0, 5), minY += pick(0, 5);              // a box cutting the outline

        const vbool fast = Hatch_fill(s, contours, maxX, maxY, minX, minY);
        const std::vector<SegRec> got = hatch();
        const vbool literal = hatch_reference::Hatch_fill_literal(s, contours, maxX, maxY, minX, minY);
        ASSERT_EQ(fast, literal) << "round " << round;
        ASSERT_EQ(got, hatch()) << "round " << round;
    }
}
