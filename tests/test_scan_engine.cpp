// The scan engine: field correction (grid cells, coefficient model per turn, zones), point output
// and pacing, vector stepping's point sequences and waits, and the md walk with its faults.
#include "scan_fixture.hpp"

#include <algorithm>
#include <cmath>
#include <random>

#include "device/laser_signals.hpp"
#include "device/timer.hpp"
#include "scan/direct_marking.hpp"
#include "scan/field_correction.hpp"
#include "scan/point_output.hpp"
#include "scan/vector_stepping.hpp"

using namespace korvex;
using Points = std::vector<std::pair<int, int>>;

TEST_F(ScanTest, StepsAlongTheLeadingAxisInEqualStepsAndLandsOnTheEnd) {
    State& s = state();
    s.para.lngMarkStepN = 5;
    s.para.lngMarkStepUs = 15;
    Laser_switch(s, kTrue);
    Scan_vector(s, 0, 0, 1.0f, 0.3f);  // nx 20, ny 6: no final step
    Points expected;
    const int ys[] = {0, 5, 5, 5, 10, 10};
    for (int k = 1; k <= 20; ++k) expected.emplace_back(5 * k, k <= 6 ? ys[k - 1] : -1);
    // Only the start is given in the narrative; check the first six points and the end exactly.
    Points got_points;
    const Points snaps = log->loads;
    ASSERT_FALSE(snaps.empty());
    EXPECT_EQ(snaps.back(), std::make_pair(100, 30));
    Points first_six(expected.begin(), expected.begin() + 6);
    Points want = snapshots_of(first_six, {0, 0});
    EXPECT_EQ(Points(snaps.begin(), snaps.begin() + static_cast<long>(want.size())), want);
    // Equal steps: channel 0 only ever moves by 5.
    int prev = 0;
    for (auto p : snaps) {
        EXPECT_TRUE(p.first - prev == 0 || p.first - prev == 5) << p.first;
        prev = p.first;
    }

    log->loads.clear();
    Scan_vector(s, 1.0f, 0.3f, 1.1f, 0.4f);  // equal counts lead with Y and step both axes
    EXPECT_EQ(log->loads, snapshots_of({{105, 35}, {110, 40}}, {100, 30}));
    log->loads.clear();
    Scan_vector(s, 1.1f, 0.4f, 1.13f, 0.4f);  // 3 steps with a = 5: only the final step
    EXPECT_EQ(log->loads, (Points{{113, 40}}));
    log->loads.clear();
    const double t0 = Timer_now_us(s);
    Scan_vector(s, 1.13f, 0.4f, 1.13f, 0.4f);  // zero length: nothing, no wait
    EXPECT_TRUE(log->loads.empty());
    EXPECT_EQ(Timer_now_us(s), t0);
}

TEST_F(ScanTest, PacesEachCycleAndSettlesAfterTheSegment) {
    State& s = state();
    s.para.lngMarkStepN = 5;
    s.para.lngMarkStepUs = 15;
    s.para.lngJumpDelayRate = 10;  // 1 us per step of length
    s.para.lngJumpDelay = 60;
    Laser_switch(s, kTrue);
    s.scan.dblTimeX = s.scan.dblTimeY = Timer_now_us(s);
    const double t0 = Timer_now_us(s);
    Scan_vector(s, 0, 0, 1.0f, 0);  // 20 cycles of 15 us, then min(100 x 1, 60) us
    const double took = Timer_now_us(s) - t0;
    EXPECT_GE(took, 20 * 15.0 + 60.0);
    EXPECT_LT(took, 20 * 15.0 + 60.0 + 20.0);  // only the last loads' bus time beyond the pacing
}

TEST_F(ScanTest, JumpsInOneMoveWaitInProportionToTheDistance) {
    State& s = state();
    s.para.sngJumpSpeed = 0;
    s.para.sngStepTime = 0.5f;
    s.para.sngStepTimeMax = 1000.0f;
    Laser_switch(s, kFalse);
    double t0 = Timer_now_us(s);
    Scan_vector(s, 0, 0, 3.0f, 4.0f);  // 500 steps: 250 us
    EXPECT_EQ(log->loads, snapshots_of({{300, 400}}, {0, 0}));
    EXPECT_NEAR(Timer_now_us(s) - t0, 250.0 + 2 * 10.4, 0.01);
    s.para.sngStepTimeMax = 100.0f;
    t0 = Timer_now_us(s);
    Scan_vector(s, 3.0f, 4.0f, 0, 0);
    EXPECT_NEAR(Timer_now_us(s) - t0, 100.0 + 2 * 10.4, 0.01);
    s.para.sngStepTime = 0;
    s.para.sngStepTimeMax = 0;
    t0 = Timer_now_us(s);
    Scan_vector(s, 0, 0, 1.0f, 0);
    EXPECT_NEAR(Timer_now_us(s) - t0, 10.4, 0.01);  // one load, no wait
}

TEST_F(ScanTest, PulseModeFiresAfterEveryStepAndNeverHoldsTheGate) {
    State& s = state();
    s.para.sngPulseWidth = 5.0f;
    s.para.intPulseCount = 1;
    s.para.lngPulseStep = 10;
    s.para.sngStepTime = 2.0f;
    s.para.sngStepTimeMax = 100.0f;
    s.para.sngLaserFreq = 10.0f;
    Laser_switch(s, kTrue);
    const std::size_t from = machine.trace().size();
    Scan_vector(s, 0, 0, 0.35f, 0);  // three steps of 10 and a final step of 5: four pulses
    int gate_writes = 0;
    for (const auto& l : trace_since(from))
        if (l.rfind("card write DE", 0) == 0) ++gate_writes;
    EXPECT_EQ(gate_writes, 4 * 3);  // each pulse: 5/2.6 -> 1, plus one, open writes and one close
    EXPECT_EQ(log->loads.back(), std::make_pair(35, 0));
    s.para.lngPulseStep = 0;  // a step size of 0 is a division fault
    EXPECT_THROW(Scan_vector(s, 0.35f, 0, 1.0f, 0), Fault);
}

TEST_F(ScanTest, AbortStopsAllMovementAndClosesTheGate) {
    State& s = state();
    Laser_switch(s, kTrue);
    s.sig.blnAbort = kTrue;
    Scan_vector(s, 0, 0, 5.0f, 5.0f);
    EXPECT_TRUE(log->loads.empty());
    EXPECT_EQ(s.sig.blnLaserOn, kFalse);
    EXPECT_EQ(machine.card().output_byte(0) & 0x80, 0x80);  // laser_sw 1: closed is high
}

TEST_F(ScanTest, GridCellsAreLookedUpWholeAndOutOfRangeWarns) {
    State& s = state();
    s.grid.blnGridLoaded = kTrue;
    s.grid.intGridDX.at(0) = 7;
    s.grid.intGridDX.at(131328) = 3;
    s.grid.intGridDY.at(131328) = -4;
    s.grid.intGridDX.at(131329) = 11;
    int32_t x = -32768, y = -32768;
    Grid_correct(s, x, y);
    EXPECT_EQ(x, -32761);
    x = 127, y = 0;
    Grid_correct(s, x, y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(130, -4));
    x = 128, y = 0;
    Grid_correct(s, x, y);
    EXPECT_EQ(x, 139);
    const std::size_t boxes = machine.ui().shown().size();  // initialization's own "no grid" box
    x = -32800, y = -32768;  // truncation toward zero keeps the far left in column 0
    Grid_correct(s, x, y);
    EXPECT_EQ(x, -32793);
    x = 40000, y = 32000;  // column 568 reads into the next row without a fault
    Grid_correct(s, x, y);
    const int64_t edge = (65535 / 128) * 512 + 65535 / 128;
    s.grid.intGridDX.at(edge) = 32767;
    x = 32767, y = 32767;
    Grid_correct(s, x, y);  // 65534: still in range
    EXPECT_EQ(machine.ui().shown().size(), boxes);
    s.grid.intGridDX.at(0) = -32768;
    x = -32768, y = -32768;
    Grid_correct(s, x, y);  // -65536: the box, and the value stays
    EXPECT_EQ(x, -65536);
    ASSERT_EQ(machine.ui().shown().size(), boxes + 1);
    EXPECT_EQ(machine.ui().shown().back().text, "校准错误");
    EXPECT_EQ(machine.ui().shown().back().title, "");
    x = 0, y = 40000;  // row 568: past the table
    EXPECT_THROW(Grid_correct(s, x, y), Fault);
}

TEST_F(ScanTest, CoefficientModelPicksItsCoefficientsByTurnAndSign) {
    State& s = state();
    int32_t x = 1234, y = -987;
    Grid_correct(s, x, y);  // defaults: identity
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(1234, -987));
    s.hw.sngDistortA = 1e-8f;
    s.hw.sngDistortB = 2e-8f;
    s.hw.sngDistortC = 3e-8f;
    s.hw.sngDistortD = 4e-8f;
    const float A = 1e-8f, B = 2e-8f, C = 3e-8f, D = 4e-8f;
    struct Case {
        int turn;
        float kx_pos, kx_neg, ky_pos, ky_neg;
    } cases[] = {{0, D, C, A, B}, {1, A, B, C, D}, {2, C, D, B, A}, {3, B, A, D, C}};
    for (const Case& c : cases) {
        s.hw.lngFieldTurn = c.turn;
        for (int sx : {1, -1})
            for (int sy : {1, -1}) {
                const double x0 = 3000.0 * sx, y0 = 2000.0 * sy;
                const float kx = sx > 0 ? c.kx_pos : c.kx_neg, ky = sy > 0 ? c.ky_pos : c.ky_neg;
                int32_t cx = static_cast<int32_t>(x0), cy = static_cast<int32_t>(y0);
                Grid_correct(s, cx, cy);
                EXPECT_EQ(cx, std::nearbyint(static_cast<float>(x0 * (1 + y0 * y0 * kx)))) << c.turn;
                EXPECT_EQ(cy, std::nearbyint(static_cast<float>(y0 * (1 + x0 * x0 * ky)))) << c.turn;
            }
    }
    s.hw.lngFieldTurn = 7;  // no such turn: no distortion
    x = 3000, y = 2000;
    Grid_correct(s, x, y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(3000, 2000));
}

TEST_F(ScanTest, ZoneFactorsScaleByEdgeAndZone) {
    State& s = state();
    s.hw.lngZoneCount = 2;  // 110 mm field: zones of 27.5 mm, 2750 steps
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 8; ++c) s.scan.zoneTable.at(r, c) = 1.0f;
    s.scan.zoneTable.at(1, 0) = 1.1f;  // x > 0, +y edge, outer zone
    s.scan.zoneTable.at(1, 3) = 0.9f;  // x > 0, -y edge
    int32_t x = 3000, y = 0;           // outer zone, on the x axis: mean factor 1.0
    Grid_correct(s, x, y);
    EXPECT_EQ(x, 3000);
    x = 3000, y = 5500;  // at the +y edge: factor P = 1.1
    Grid_correct(s, x, y);
    EXPECT_EQ(x, 3300);
    x = 3000, y = 100000;  // beyond the edge: the outermost zone, extrapolated
    s.scan.zoneTable.at(1, 4) = 1.0f;
    Grid_correct(s, x, y);
    EXPECT_EQ(x, std::nearbyint(3000.0f * (1.0f + 100000.0f * 0.2f / 11000.0f)));
    s.hw.lngZoneCount = 0;  // zone -1
    EXPECT_THROW(Grid_correct(s, x, y), Fault);
}

// The coefficient model multiplies by reciprocals made once for the hardware values in force; it
// must give exactly the points of the formulas' divisions, at zone edges too, and follow a change
// of steps per millimetre, field or zone count between two steps.
TEST_F(ScanTest, CoefficientModelByProductsGivesTheDivisionsPointsToTheBit) {
    State& s = state();
    std::mt19937 random(21);
    std::uniform_real_distribution<float> factor(0.8f, 1.2f);
    for (int r = 0; r < kZoneRows; ++r)
        for (int c = 0; c < kZoneCols; ++c) s.scan.zoneTable.at(r, c) = factor(random);
    s.hw.sngDistortA = 3e-10f, s.hw.sngDistortB = -2e-10f, s.hw.sngDistortC = 1e-10f, s.hw.sngDistortD = -4e-10f;
    struct Setting {
        float steps_per_mm;
        int32_t field_x_mm, field_y_mm, zones;
    } settings[] = {{100.0f, 110, 110, 2}, {1000.0f / 7.0f, 110, 90, 7}, {1000.0f / 13.0f, 175, 160, 300}, {12.5f, 300, 300, 1}};
    std::uniform_int_distribution<int32_t> coordinate(-30000, 30000);
    int64_t by_products = 0, points = 0;
    for (const Setting& g : settings) {
        s.hw.sngStepsPerMm = g.steps_per_mm;
        s.hw.lngFieldSizeX = g.field_x_mm, s.hw.lngFieldSizeY = g.field_y_mm, s.hw.lngZoneCount = g.zones;
        const auto check = [&](int32_t x, int32_t y) {
            int32_t ex = x, ey = y, gx = x, gy = y, px = x, py = y;
            Coefficient_model_by_division(s, ex, ey);
            Grid_correct(s, gx, gy);
            ASSERT_EQ(std::make_pair(gx, gy), std::make_pair(ex, ey)) << x << ", " << y << " zones " << g.zones;
            by_products += Coefficient_model_by_products(s, px, py);
            ++points;
        };
        for (int n = 0; n < 20000; ++n) check(coordinate(random), coordinate(random));
        // On and beside the zone edges of the undistorted axes.
        const double edge_steps = g.steps_per_mm * (static_cast<double>(g.field_x_mm) / g.zones / 2.0);
        for (int z = 0; z <= std::min(g.zones, 40); ++z)
            for (int d = -1; d <= 1; ++d) {
                const int32_t at = static_cast<int32_t>(std::floor(edge_steps * z)) + d;
                check(at, 0);
                check(-at, 0);
            }
    }
    EXPECT_GT(by_products, points * 3 / 4);  // the products carry most points (all but far outside the field)
}

TEST_F(ScanTest, TurnOneMapsXOntoChannelOneAndYOntoChannelZeroReversed) {
    State& s = state();
    s.hw.lngFieldTurn = 1;
    Point_out(s, 100, 50);
    EXPECT_EQ(log->loads, (Points{{0, 100}, {-50, 100}}));
    log->loads.clear();
    Point_out(s, 100, 50);  // already there: nothing
    EXPECT_TRUE(log->loads.empty());
}

TEST_F(ScanTest, PointStepWaitsForTheXPeriodEvenWhenOnlyYMoves) {
    State& s = state();
    s.scan.dblTimeX = s.scan.dblTimeY = Timer_now_us(s);
    const double t0 = Timer_now_us(s);
    Point_step(s, 0, 10, 15.0f);
    // X waits 15 us from its reference, Y's wait has passed by then; one Y load follows.
    EXPECT_NEAR(Timer_now_us(s) - t0, 15.0 + 10.4, 1e-6);
    EXPECT_EQ(log->loads, (Points{{0, 10}}));
}

TEST_F(ScanTest, RotaryMarkingTurnsXIntoAxisSteps) {
    State& s = state();
    s.tmpl.curCell.Mode = kCellModeRotary;
    s.tmpl.curCell.RotaryDiameter = static_cast<float>(20.0 / 3.14159265358979);  // 20 mm around
    s.hw.dblAxisStepsPerRev = 2000.0;
    Point_step(s, 100, 30, 15.0f);  // x = 1 mm: 100 axis steps; only y goes to the scanner
    EXPECT_EQ(s.sig.lngAxisPos, 100);
    EXPECT_EQ(log->loads, (Points{{0, 30}}));
    EXPECT_EQ(s.scan.lngCorrX, 0);
    Point_step(s, 50, 30, 15.0f);
    EXPECT_EQ(s.sig.lngAxisPos, 50);
    EXPECT_EQ(s.scan.lngPosX, 50);
}

TEST_F(ScanTest, MarkingDataWalksRecordsAndFaultsPastTheEnd) {
    std::vector<double> md{3, 0, 0, 5, 0, 5, 5, 1, 1, 1, 0};
    EXPECT_EQ(host.Marking_data(md), 1);
    EXPECT_EQ(log->loads.back(), std::make_pair(100, 100));  // ends at the dot (1, 1) mm
    EXPECT_EQ(state().sig.blnLaserOn, kFalse);

    std::vector<double> short_md{0, 2, 3};  // the first record is a point, then index 3 is missing
    EXPECT_THROW(host.Marking_data(short_md), Fault);
    EXPECT_EQ(log->loads.back(), std::make_pair(200, 300));
    EXPECT_EQ(state().sig.blnLaserOn, kFalse);

    std::vector<double> cut{2, 0, 0, 10, 0};  // polyline without its end value: gate closed after the fault
    EXPECT_THROW(host.Marking_data(cut), Fault);
    EXPECT_EQ(machine.card().output_byte(0) & 0x80, 0x80);

    std::vector<double> count{2.5, 0, 0, 1, 0, 0};  // 2.5 rounds to 2
    EXPECT_EQ(host.Marking_data(count), 1);
    std::vector<double> big{1, 1e39, 0, 0};  // beyond Single
    EXPECT_THROW(host.Marking_data(big), Fault);
    std::vector<double> empty;
    EXPECT_THROW(host.Marking_data(empty), Fault);
}

TEST_F(ScanTest, AbortMidJobMarksNothingMoreAndStillReturnsOne) {
    machine.schedule(SimulatedMachine::Event::gate_close, 1, {SimulatedMachine::Action::What::key, 0, 0, Key::shift, true});
    std::vector<double> md{2, 0, 0, 1, 0, 2, 0, 0, 5, 0, 0};
    EXPECT_EQ(host.Marking_data(md), 1);
    EXPECT_EQ(state().sig.blnAbort, kTrue);
    EXPECT_EQ(log->loads.back(), std::make_pair(100, 0));  // the second record never moved
    EXPECT_EQ(machine.card().output_byte(0) & 0x80, 0x80);
    EXPECT_EQ(host.marking_start(), 1);
    EXPECT_EQ(state().sig.blnAbort, kFalse);
}
