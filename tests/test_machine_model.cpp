// The simulated machine behind the card: laser controller settings, gate dots, rotary axis and
// marks, driven with the card's own byte writes (and, where timing matters, the library's D/A
// writes), then read back as a test would ask the machine.
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "device/card_access.hpp"
#include "device/timer.hpp"
#include "korvex/fault.hpp"
#include "machine_fixture.hpp"
#include "sim/machine_model.hpp"

using namespace korvex;

namespace {

class MachineModelTest : public MachineTest {
protected:
    SimulatedCard& card() { return machine.card(); }
    MachineModel& model() { return machine.model(); }
    void wait_us(double us) { machine.virtual_clock()->advance_us(us); }
    void out0(uint8_t v) { card().write_io(0xDE, v); }
    void out1(uint8_t v) { card().write_io(0xDD, v); }
    void laser_bytes(std::initializer_list<uint8_t> bytes) {
        card().set_page(0x7B);
        for (uint8_t b : bytes) card().write_io(0xDF, b);
        card().set_page(0xFF);
    }
    // One channel load: low byte, high byte, load code, idle code.
    void da(int channel, int value) {
        const auto word = static_cast<uint16_t>(static_cast<int16_t>(value));
        card().write_io(0xDB, static_cast<uint8_t>(word & 0xFF));
        card().write_io(0xD7, static_cast<uint8_t>(word >> 8));
        card().write_io(0xCF, channel == 0 ? 0xC8 : 0x8C);
        card().write_io(0xCF, 0xCC);
    }
    // A point as the scan engine sends it: the channels that change, channel 0 first.
    void point(int x, int y) {
        if (x != model().spot_x()) da(0, x);
        if (y != model().spot_y()) da(1, y);
    }
    Lines mark_lines() const {
        Lines out;
        machine.model().recorder().for_each([&](const Mark& m) { out.push_back(format_mark(m)); });
        return out;
    }
};

}  // namespace

TEST_F(MachineModelTest, LaserControllerDecodesItsRegisters) {
    card().open();
    EXPECT_FALSE(model().laser_settings().type_set);
    // Type 3, power 13 of 15 at 5 kHz with an 8 us pulse, in the order the library writes it.
    laser_bytes({0, 3, 2, 0xDE, 1, 0x0D, 6, 0xDF, 5, 0xF9, 4, 0xBF, 3, 0xFF});
    LaserSettings ls = model().laser_settings();
    ASSERT_TRUE(ls.type_set && ls.level_set && ls.pulse_high_set && ls.pulse_low_set);
    EXPECT_EQ(ls.type, 3);
    EXPECT_EQ(ls.power_level, 3550);
    EXPECT_EQ(ls.pulse_high_reload, 0xFFBF);
    EXPECT_NEAR(ls.pulse_high_us, 8.0, 0.05);
    EXPECT_NEAR(ls.pulse_low_us, 192.0, 0.05);
    EXPECT_NEAR(ls.frequency_khz(), 5.0, 0.01);

    // The port only answers on its page: the same bytes on the resting page reach nothing.
    card().write_io(0xDF, 0);
    card().write_io(0xDF, 5);
    EXPECT_EQ(model().laser_settings().type, 3);

    // Type 1 takes its power from the low nibble of output byte 1, latched at the end of the pulse
    // on output bit 6; the nibble alone does not reach the laser.
    laser_bytes({0, 1});
    out0(0x80);  // gate closed
    out1(0xA5);
    EXPECT_FALSE(model().laser_settings().output_level_latched);
    out0(0xC0);
    EXPECT_FALSE(model().laser_settings().output_level_latched);
    out0(0x80);
    ls = model().laser_settings();
    EXPECT_EQ(ls.type, 1);
    EXPECT_TRUE(ls.output_level_latched);
    EXPECT_EQ(ls.output_level, 5);
    out1(0xA9);
    EXPECT_EQ(model().laser_settings().output_level, 5);
    out0(0xC0);
    out0(0x80);
    EXPECT_EQ(model().laser_settings().output_level, 9);
    EXPECT_EQ(model().laser_settings().output_latches, 2u);
    EXPECT_EQ(model().gate_openings(), 0u);  // none of this opened the gate

    // Enable and standby share output bit 4: low enables the laser and wakes it.
    EXPECT_TRUE(model().laser_enabled());
    EXPECT_FALSE(model().laser_sleeping());
    out0(0x90);
    EXPECT_FALSE(model().laser_enabled());
    EXPECT_TRUE(model().laser_sleeping());
    out1(0x80);
    EXPECT_FALSE(model().out15_active());
    out1(0x00);
    EXPECT_TRUE(model().out15_active());
}

TEST_F(MachineModelTest, GateOpeningAndClosingInPlaceIsADotWithItsLightTime) {
    card().open();
    // The latch holds 0 (the emitting level) from power-up, but nothing drove the gate yet.
    EXPECT_FALSE(model().gate_emitting());
    out0(0x80);
    EXPECT_EQ(model().gate_closings(), 0u);
    out0(0x00);
    EXPECT_TRUE(machine.gate_emitting());
    wait_us(50);
    out0(0x80);
    EXPECT_EQ(model().gate_openings(), 1u);
    EXPECT_EQ(machine.gate_closings(), 1u);

    // Pulse mode: the opening level written three times in a row is one pulse of three writes.
    point(100, 0);
    out0(0x00);
    out0(0x00);
    out0(0x00);
    out0(0x80);
    point(110, 0);
    out0(0x88);  // another line of the byte moves while the gate is closed: no light
    out0(0x80);
    // Moving while the light is on is a line, not a dot.
    out0(0x00);
    point(120, 0);
    out0(0x80);
    EXPECT_EQ(mark_lines(), (Lines{"dot 0 0 52.6", "jump 0 0 100 0", "dot 100 0 7.8", "jump 100 0 110 0",
                                   "line 110 0 120 0"}));

    // A machine whose laser emits at level 1 (gate opened by driving the bit high).
    machine.set_gate_wiring(7, 1);  // the line is at 1 now: the light comes on
    EXPECT_TRUE(model().gate_emitting());
    out0(0x00);
    EXPECT_FALSE(model().gate_emitting());
    EXPECT_EQ(model().gate_closings(), 4u);
}

TEST_F(MachineModelTest, AxisCountsStepPulsesInTheDirectionOfItsLine) {
    card().open();
    out0(0x80);
    auto step = [&](uint8_t dir) {  // step line high, then back low: one step at the falling edge
        out0(static_cast<uint8_t>(0x82 | dir));
        out0(static_cast<uint8_t>(0x80 | dir));
    };
    for (int i = 0; i < 5; ++i) step(0);
    out0(0x81);  // direction line to reverse; no step by itself
    EXPECT_EQ(model().axis_position(), 5);
    out0(0x83);
    EXPECT_EQ(model().axis_position(), 5);  // the rising edge is not the step
    out0(0x81);
    step(1);
    step(1);
    EXPECT_EQ(model().axis_position(), 2);
    EXPECT_EQ(mark_lines(), (Lines{"axis 5", "axis -3"}));

    // Travel-end switches: forward at 4, reverse at -2, read 0 while pressed.
    MachineWiring w = model().wiring();
    w.axis_limits = true;
    w.fwd_limit_steps = 4;
    w.rev_limit_steps = -2;
    machine.set_wiring(w);
    auto input = [&](int bit) { return (card().input_byte(0) >> bit) & 1; };
    EXPECT_EQ(input(4), 1);
    EXPECT_EQ(input(3), 1);
    step(0);
    step(0);
    EXPECT_EQ(input(4), 0);
    EXPECT_EQ(model().axis_overtravel_steps(), 0u);
    step(0);  // stepping on into the pressed switch is counted
    EXPECT_EQ(model().axis_overtravel_steps(), 1u);
    for (int i = 0; i < 7; ++i) step(1);
    EXPECT_EQ(model().axis_position(), -2);
    EXPECT_EQ(input(4), 1);
    EXPECT_EQ(input(3), 0);
    EXPECT_EQ(model().axis_steps(), 18u);
}

TEST_F(MachineModelTest, StraightRunsMergeWithinOneUnitAndSplitAtCornersAndSwitches) {
    card().open();
    out0(0x80);
    out0(0x00);
    // A staircase of unit steps along (2, 1): one line.
    for (int i = 1; i <= 40; ++i) {
        point(i, i / 2);
        wait_us(20);
    }
    // A corner: straight up from there.
    for (int i = 1; i <= 30; ++i) {
        point(40, 20 + i);
        wait_us(20);
    }
    // Out and back along the same line is two lines.
    point(40, 80);
    wait_us(20);
    point(40, 60);
    wait_us(20);
    // Along x, then diagonal: the point whose x load still lay on the x line is undone when its y
    // load arrives, so the diagonal starts at the corner.
    point(70, 60);
    wait_us(20);
    for (int i = 1; i <= 3; ++i) {
        point(70 + 5 * i, 60 + 5 * i);
        wait_us(20);
    }
    // Switching the laser splits even a collinear run.
    out0(0x80);
    out0(0x00);
    point(90, 80);
    out0(0x80);
    EXPECT_EQ(mark_lines(), (Lines{"line 0 0 40 20", "line 40 20 40 80", "line 40 80 40 60", "line 40 60 70 60",
                                   "line 70 60 85 75", "line 85 75 90 80"}));

    // A stepped line whose corners fall on both sides of its chord (slope 0.3, rounded): some of
    // its intermediate ends lie more than a unit off their own chord, yet the whole is one line.
    model().clear_marks();
    out0(0x00);
    for (int i = 1; i <= 100; ++i) {
        point(90 + i, 80 + (3 * i + 5) / 10);
        wait_us(20);
    }
    out0(0x80);
    EXPECT_EQ(mark_lines(), (Lines{"line 90 80 190 110"}));
}

TEST_F(MachineModelTest, StaircasesOfSmallStepsAreTheirVectorsAndADarkStretchIsOneJump) {
    card().open();
    out0(0x80);
    // A stepped vector as the library sends it, one channel at a time a cycle apart: the leading
    // axis `a` units a cycle, the other following its error term, a last short step onto the end.
    int x = model().spot_x(), y = model().spot_y();
    auto vector_to = [&](int x2, int y2, int a) {
        const int dx = x2 - x, dy = y2 - y, n = std::max(std::abs(dx), std::abs(dy)) / a;
        const int x1 = x, y1 = y;
        for (int i = 1; i <= n; ++i) {
            point(x1 + dx * i / n / a * a, y1 + dy * i / n / a * a);
            wait_us(20);
        }
        point(x2, y2);
        wait_us(20);
        x = x2, y = y2;
    };
    vector_to(2000, -1300, 5);  // a 24 mm oblique jump: one jump
    vector_to(2400, -1200, 5);  // and on in another direction: still that one dark stretch
    out0(0x00);
    vector_to(2500, -1170, 2);  // three marked vectors with two corners
    vector_to(2500, -1000, 2);
    vector_to(2300, -1000, 2);
    out0(0x80);
    std::vector<Mark> marks = model().marks();
    ASSERT_EQ(marks.size(), 4u);
    EXPECT_EQ(format_mark(marks[0]), "jump 0 0 2400 -1200");
    // The vectors end where they end; a corner may move by the one step that reached it, no more.
    EXPECT_EQ(format_mark(marks[1]).rfind("line 2400 -1200 ", 0), 0u);
    EXPECT_LE(std::hypot(marks[1].x1 - 2500, marks[1].y1 + 1170), 2.0);
    EXPECT_LE(std::hypot(marks[2].x1 - 2500, marks[2].y1 + 1000), 2.0);
    EXPECT_EQ(marks[3].x1, 2300);
    EXPECT_EQ(marks[3].y1, -1000);
}

TEST_F(MachineModelTest, TwoChannelLoadsOfOnePointAreOneDiagonalMove) {
    // The library's own D/A writes, slow loads included (10 us waits inside each load): a
    // diagonal stepped 5 units at a time in both channels stays one line. (Seen with the plain
    // tolerance: the step tolerance and whole jumps would hide the L and the corner either way.)
    MarkSettings plain = model().mark_settings();
    plain.step_tolerance_max_da = 0.0;
    plain.whole_jumps = false;
    model().set_mark_settings(plain);
    init_clock();
    State& s = state();
    s.hw.sngDaGain0 = s.hw.sngDaGain1 = 1.0f;
    s.hw.blnDaSlow = kTrue;
    ASSERT_TRUE(Card_open(s));
    Out_bit_set(s, 7, kFalse);
    Out_bit_set(s, 7, kTrue);
    for (int i = 1; i <= 20; ++i) {
        DA_write(s, 5 * i, 0);
        DA_write(s, 5 * i, 1);
        Delay_us(s, 30.0f);
    }
    // The same two loads far apart in time are two moves: an L, not a diagonal.
    DA_write(s, 105, 0);
    Delay_us(s, 200.0f);
    DA_write(s, 105, 1);
    Out_bit_set(s, 7, kFalse);
    EXPECT_EQ(mark_lines(), (Lines{"line 0 0 100 100", "line 100 100 105 100", "line 105 100 105 105"}));
    EXPECT_EQ(model().da_loads(), 42u);

    // At a corner the last step of one segment (one channel) and the first of the next (the other
    // channel) are a stepping cycle apart, not back to back: a corner, not a diagonal.
    model().clear_marks();
    for (int i = 1; i <= 4; ++i) {
        point(105 + 5 * i, 105);
        wait_us(3.6);  // 14 us cycles: 10.4 us of load, then the pacing wait
    }
    for (int i = 1; i <= 4; ++i) {
        point(125, 105 + 5 * i);
        wait_us(3.6);
    }
    EXPECT_EQ(mark_lines(), (Lines{"jump 105 105 125 105", "jump 125 105 125 125"}));
}

// The newest movement is held back (its second channel may still arrive) but is part of the marks
// all along: seen by a reader, and ended before an axis step or a dot that follows it.
TEST(MarkRecorderTest, TheNewestMovementCountsBeforeItIsMerged) {
    MarkRecorder r;
    r.move(0, 0, 5, 0, true, 1.0, 1.0);
    EXPECT_FALSE(r.empty());
    r.amend_last_move(5, 5, 2.0);
    std::vector<Mark> marks = r.all();
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(format_mark(marks[0], true), "@1 line 0 0 5 5");
    r.axis_step(1, 3.0);
    r.move(5, 5, 9, 5, false, 4.0, 4.0);
    r.axis_step(1, 5.0);
    r.move(9, 5, 9, 8, false, 6.0, 6.0);
    r.dot(9, 8, 7.0, 8.0);
    Lines text;
    r.for_each([&](const Mark& m) { text.push_back(format_mark(m)); });
    EXPECT_EQ(text, (Lines{"line 0 0 5 5", "axis 1", "jump 5 5 9 5", "axis 1", "jump 9 5 9 8", "dot 9 8 1"}));
}

TEST_F(MachineModelTest, UnopenedCardChangesNothing) {
    laser_bytes({0, 3, 2, 0xDE, 1, 0x0D});
    out0(0x80);
    out0(0x00);
    for (int i = 0; i < 3; ++i) {
        out0(0x02);
        out0(0x00);
    }
    point(500, -500);
    out0(0x80);
    EXPECT_TRUE(mark_lines().empty());
    EXPECT_FALSE(model().laser_settings().type_set);
    EXPECT_EQ(model().gate_openings() + model().gate_closings(), 0u);
    EXPECT_EQ(model().axis_position(), 0);
    EXPECT_EQ(model().spot_x(), 0);
    EXPECT_EQ(model().spot_y(), 0);
    EXPECT_EQ(model().da_loads(), 0u);
    EXPECT_GT(machine.trace().size(), 20u);  // every access was still traced
}

TEST_F(MachineModelTest, MarksTextAndSummary) {
    card().open();
    out0(0x80);
    point(280, 0);  // 1 mm at 280 D/A steps per mm
    out0(0x00);
    point(280, -560);
    out0(0x80);
    out0(0x00);
    wait_us(97.4);
    out0(0x80);
    for (int i = 0; i < 3; ++i) {
        out0(0x81);
        out0(0x83);
        out0(0x81);
    }
    std::ostringstream text;
    machine.write_marks(text);
    EXPECT_EQ(text.str(), "jump 0 0 280 0\nline 280 0 280 -560\ndot 280 -560 100\naxis -3\n");
    EXPECT_EQ(format_mark(machine.marks().at(2), true).rfind("@", 0), 0u);

    const MarkSummary sum = machine.summary(280.0);
    EXPECT_DOUBLE_EQ(sum.marked_mm, 2.0);
    EXPECT_DOUBLE_EQ(sum.jumped_mm, 1.0);
    EXPECT_EQ(sum.lines + sum.jumps + sum.dots, 3u);
    EXPECT_EQ(sum.axis_steps, 3);
    EXPECT_EQ(sum.laser_switchings, 4u);
    EXPECT_DOUBLE_EQ(sum.machine_time_us, machine.now_us());
    EXPECT_NE(format_summary(sum).find("marked 2 mm (560 D/A units), jumped 1 mm"), std::string::npos);
    try {
        machine.summary(0.0);
        FAIL() << "a zero head scale must not give lengths";
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::division);
    }

    model().clear_marks();
    EXPECT_TRUE(mark_lines().empty());
    EXPECT_EQ(machine.summary(280.0).laser_switchings, 0u);
}

TEST_F(MachineModelTest, ScriptedGateCloseEventsCountTheModelsClosings) {
    card().open();
    SimulatedMachine::Action trip;
    trip.bit = 5;
    trip.level = 0;
    machine.schedule(SimulatedMachine::Event::gate_close, 2, trip);
    out0(0x80);  // first drive of the gate: closed, not a closing
    out0(0x00);
    out0(0x80);
    EXPECT_EQ(card().input_byte(0) & 0x20, 0x20);
    out0(0x00);
    out0(0x80);
    EXPECT_EQ(card().input_byte(0) & 0x20, 0);
}
