// The gate with its delays and abort keys, the software pulse train, standby and auxiliary lines,
// the rotary axis with limits and ramps, and the fault boundary closing a gate left open.
#include "device_fixture.hpp"

#include <functional>

#include "device/laser_signals.hpp"
#include "device/rotary_axis.hpp"
#include "device/timer.hpp"
#include "interface/fault_boundary.hpp"

using namespace korvex;

using LaserSignalTest = DeviceTest;

TEST_F(LaserSignalTest, GateOpensAndClosesWithItsFourDelaysOnEveryCall) {
    State& s = state();
    s.para.lngOnDelay = 30;
    s.para.lngOnHold = 40;
    s.para.lngOffDelay = 10;
    s.para.lngOffHold = 20;
    const double t0 = now();
    Laser_switch(s, kTrue);
    EXPECT_EQ(timed_since(), (Lines{"@30 card write DE 00"}));  // level True: bit 7 driven low opens
    EXPECT_DOUBLE_EQ(now() - t0, 30 + 2.6 + 40);
    EXPECT_TRUE(machine.gate_emitting());
    EXPECT_EQ(s.sig.blnLaserOn, kTrue);
    EXPECT_EQ(machine.ui().message_turns(), 0);  // no message turn and no key poll on opening

    mark();
    Laser_switch(s, kFalse);
    Laser_switch(s, kFalse);  // a repeated switch runs the whole sequence again
    EXPECT_EQ(timed_since(), (Lines{"@82.6 card write DE 80", "@115.2 card write DE 80"}));
    EXPECT_DOUBLE_EQ(now() - t0, 72.6 + 2 * (10 + 2.6 + 20));
    EXPECT_FALSE(machine.gate_emitting());
    EXPECT_EQ(s.sig.blnLaserOn, kFalse);
    EXPECT_EQ(machine.ui().message_turns(), 2);

    // Wired the other way round (laser_sw 0), opening drives the bit high.
    s.hw.blnGateLevel = kFalse;
    machine.set_gate_wiring(7, 1);
    mark();
    Laser_switch(s, kTrue);
    EXPECT_EQ(since(), (Lines{"card write DE 80"}));
    EXPECT_TRUE(machine.gate_emitting());
}

TEST_F(LaserSignalTest, ShiftAbortsAndThenOnlyClosingTheGateIsLeft) {
    State& s = state();
    s.para.lngOffHold = 20;
    Laser_switch(s, kTrue);
    machine.ui().set_key(Key::shift, true);
    const double t0 = now();
    Laser_switch(s, kFalse);
    EXPECT_EQ(s.sig.blnAbort, kTrue);
    EXPECT_DOUBLE_EQ(now() - t0, 2.6 + 20);  // the off-hold wait still runs after the abort
    machine.ui().set_key(Key::shift, false);

    mark();
    Laser_switch(s, kTrue);
    EXPECT_EQ(since(), Lines{});
    EXPECT_EQ(s.sig.blnLaserOn, kFalse);
    EXPECT_FALSE(machine.gate_emitting());

    // An abort raised in pulse mode leaves the laser "on"; the next switch closes the gate, once.
    s.sig.blnAbort = kFalse;
    s.para.sngPulseWidth = 5.0f;
    machine.ui().set_key(Key::shift, true);
    Laser_switch(s, kTrue);
    EXPECT_EQ(s.sig.blnAbort, kTrue);
    EXPECT_EQ(s.sig.blnLaserOn, kTrue);
    Laser_switch(s, kTrue);
    Laser_switch(s, kTrue);
    EXPECT_EQ(since(), (Lines{"card write DE 80"}));
    EXPECT_EQ(s.sig.blnLaserOn, kFalse);
}

TEST_F(LaserSignalTest, SpaceAsksAndOnlyYesAborts) {
    State& s = state();
    s.para.lngOffHold = 20;
    machine.ui().set_key(Key::space, true);
    Laser_switch(s, kTrue);
    EXPECT_TRUE(machine.ui().shown().empty());  // nothing is asked when the gate opens

    machine.ui().queue_answer(Answer::no);
    const double t0 = now();
    Laser_switch(s, kFalse);
    ASSERT_EQ(machine.ui().shown().size(), 1u);
    const auto& box = machine.ui().shown()[0];
    EXPECT_EQ(box.text, " yes=exit,no=continue.");
    EXPECT_EQ(box.title, "marking system");
    EXPECT_EQ(box.buttons, Buttons::yes_no);
    EXPECT_EQ(box.icon, Icon::none);
    EXPECT_EQ(s.sig.blnAbort, kFalse);
    EXPECT_DOUBLE_EQ(now() - t0, 2.6 + 20);

    machine.ui().queue_answer(Answer::yes);
    Laser_switch(s, kFalse);
    EXPECT_EQ(s.sig.blnAbort, kTrue);
}

TEST_F(LaserSignalTest, PulseModeAndADisabledGateNeverTouchTheGateBit) {
    State& s = state();
    s.para.lngOnDelay = s.para.lngOnHold = s.para.lngOffDelay = s.para.lngOffHold = 50;
    s.para.sngPulseWidth = 5.0f;
    const double t0 = now();
    Laser_switch(s, kTrue);
    EXPECT_EQ(s.sig.blnLaserOn, kTrue);
    Laser_switch(s, kFalse);
    EXPECT_EQ(s.sig.blnLaserOn, kFalse);
    EXPECT_EQ(machine.ui().message_turns(), 0);

    s.para.sngPulseWidth = 0.0f;
    s.sig.blnGateEnable = kFalse;
    Laser_switch(s, kTrue);
    Laser_switch(s, kFalse);
    EXPECT_EQ(machine.ui().message_turns(), 2);  // messages are still processed, delays skipped
    EXPECT_EQ(since(), Lines{});
    EXPECT_EQ(now(), t0);
    Pulse_train(s);  // a disabled gate fires no pulses either
    EXPECT_EQ(since(), Lines{});
}

TEST_F(LaserSignalTest, PulseTrainSpacesPulsesByTheLaserPeriod) {
    State& s = state();
    s.sig.blnGateEnable = kTrue;
    s.para.intPulseCount = 2;
    s.para.sngPulseWidth = 5.0f;  // 5 / 2.6 -> 1, so two open writes per pulse
    s.para.sngLaserFreq = 10.0f;  // 100 us period
    machine.virtual_clock()->advance_us(1000);
    s.sig.dblLastPulse = 970;
    Pulse_train(s);
    EXPECT_EQ(timed_since(), (Lines{"@1070 card write DE 00", "@1072.6 card write DE 00", "@1075.2 card write DE 80",
                                    "@1170 card write DE 00", "@1172.6 card write DE 00", "@1175.2 card write DE 80"}));
    EXPECT_DOUBLE_EQ(s.sig.dblLastPulse, 1170);
    EXPECT_FALSE(s.sig.gate_open);

    mark();
    s.para.intPulseCount = 0;
    Pulse_train(s);
    EXPECT_EQ(since(), Lines{});
    s.para.sngLaserFreq = 0.0f;
    try {
        Pulse_train(s);
        ADD_FAILURE() << "a zero frequency must fault";
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::division);
    }
}

TEST_F(LaserSignalTest, EnableStandbyAndLine15) {
    State& s = state();
    s.card.bytOutPort0 = 0xFF;
    s.hw.intLaserType = 1;
    Laser_enable(s, kTrue);  // only type 3 has the enable line
    s.hw.intLaserType = 3;
    Laser_enable(s, kTrue);
    Out15_set(s, kFalse);
    Out15_set(s, kTrue);
    EXPECT_EQ(since(), (Lines{"card write DE EF", "card write DD 80", "card write DD 00"}));

    mark();
    EXPECT_EQ(s.sig.blnLaserSleeping, kTrue);
    Laser_standby(s, kFalse);  // already asleep
    Laser_standby(s, kTrue);   // wake delay 0: standby switching is off
    EXPECT_EQ(since(), Lines{});
    EXPECT_EQ(s.sig.blnLaserSleeping, kTrue);

    s.hw.sngWakeDelay = 50.0f;
    const double t0 = now();
    Laser_standby(s, kTrue);
    EXPECT_DOUBLE_EQ(now() - t0, 2.6 + 50);
    EXPECT_EQ(s.sig.blnLaserSleeping, kFalse);
    Laser_standby(s, kTrue);
    Laser_standby(s, kFalse);
    EXPECT_EQ(s.sig.blnLaserSleeping, kTrue);
    EXPECT_EQ(since(), (Lines{"card write DE EF", "card write DE FF"}));  // standby bit 4, active low
}

TEST_F(LaserSignalTest, AxisStepsPacedFromTheEndOfEachPulseAndTurnsDirectionOnce) {
    State& s = state();
    s.para.sngAxisSpeed = 100.0f;  // 110 us per step
    const double t0 = now();
    Axis_step(s, 2, kTrue);  // no ramp configured
    EXPECT_EQ(timed_since(), (Lines{"@0 card read 1F -> FF", "@110 card write DE 02", "@122.6 card write DE 00",
                                    "@125.2 card read 1F -> FF", "@235.2 card write DE 02", "@247.8 card write DE 00"}));
    EXPECT_EQ(s.sig.lngAxisPos, 2);
    EXPECT_EQ(machine.ui().message_turns(), 1);
    EXPECT_DOUBLE_EQ(now() - t0, 250.4);

    mark();
    Axis_step(s, -1, kFalse);
    Axis_step(s, -1, kFalse);  // already reversed: no direction write
    Axis_step(s, 1, kFalse);
    Axis_step(s, 0, kFalse);   // nothing at all
    const Lines l = since();
    ASSERT_EQ(l.size(), 11u);
    EXPECT_EQ(l[0], "card write DE 01");  // direction: reverse level False = bit 0 high
    EXPECT_EQ(l[4], "card read 1F -> FF");
    EXPECT_EQ(l[7], "card write DE 00");  // direction back for the forward move
    EXPECT_EQ(s.sig.lngAxisPos, 1);
    EXPECT_EQ(machine.ui().message_turns(), 4);
}

TEST_F(LaserSignalTest, AxisStopsAtItsLimitWithThePositionOfTheStepsMade) {
    State& s = state();
    s.para.sngAxisSpeed = 100.0f;
    s.sig.lngAxisPos = 10;
    SimulatedMachine::Action trip;
    trip.bit = 3;  // reverse limit
    trip.level = 0;
    machine.schedule(SimulatedMachine::Event::read, 3, trip);
    Axis_step(s, -5, kTrue);
    EXPECT_EQ(s.sig.lngAxisPos, 8);
    EXPECT_EQ(machine.ui().message_turns(), 0);  // the early return skips the message turn
    EXPECT_EQ(times_of("card write DE 03").size(), 2u);

    // Moving forward reads the forward limit (input 4), not the tripped reverse one.
    Axis_step(s, 1, kFalse);
    EXPECT_EQ(s.sig.lngAxisPos, 9);
    machine.card().set_input_bit(4, 0);
    Axis_step(s, 3, kFalse);
    EXPECT_EQ(s.sig.lngAxisPos, 9);
}

TEST_F(LaserSignalTest, AxisRampFallsToTheRunPeriodAndRisesBack) {
    State& s = state();
    s.para.sngAxisSpeed = 100.0f;       // run period 110 us
    s.hw.lngAxisStartPeriod = 200;      // drop 90 us
    s.hw.lngAxisRampSteps = 3;          // 30 us per step
    // Period of each step: from the end of the previous step pulse (15.2 us after its start) to
    // the start of this one.
    auto periods = [&](int32_t steps, vbool ramp) {
        mark();
        const double start = now();
        Axis_step(s, steps, ramp);
        std::vector<double> out;
        double last_end = start;
        for (double t : times_of("card write DE 02")) {
            out.push_back(std::round((t - last_end) * 10) / 10);
            last_end = t + 15.2;
        }
        return out;
    };
    EXPECT_EQ(periods(10, kTrue), (std::vector<double>{170, 140, 110, 110, 110, 110, 110, 140, 170, 200}));
    // A move shorter than two ramps ramps over half of it (2.5 -> 2 steps of 45 us).
    EXPECT_EQ(periods(5, kTrue), (std::vector<double>{155, 110, 110, 155, 200}));
    EXPECT_EQ(periods(3, kFalse), (std::vector<double>{110, 110, 110}));
    s.hw.lngAxisStartPeriod = 50;  // start below the run period: no ramp
    EXPECT_EQ(periods(3, kTrue), (std::vector<double>{110, 110, 110}));
    s.hw.lngAxisStartPeriod = 200;
    EXPECT_EQ(periods(1, kTrue), (std::vector<double>{110}));  // half of one step rounds to 0: no ramp
}

TEST_F(LaserSignalTest, AFaultLeavingAMemberClosesTheGateItWasOpenedWith) {
    State& s = state();
    s.para.lngOffDelay = s.para.lngOffHold = 100;
    Laser_switch(s, kTrue);
    EXPECT_TRUE(machine.gate_emitting());
    mark();
    const double t0 = now();
    EXPECT_THROW(run_member([&](State& st) -> int16_t {
                     Page_select(st, 0x7B);
                     st.hw.intGateBit = 3;  // reassigned in between, as a template load would
                     st.hw.blnGateLevel = kFalse;
                     raise_fault(FaultKind::overflow, "test");
                 }),
                 Fault);
    EXPECT_EQ(since(), (Lines{"card page 7B", "card page FF", "card write DE 80"}));
    EXPECT_DOUBLE_EQ(now() - t0, 3 * 2.6);  // no gate delays
    EXPECT_FALSE(machine.gate_emitting());
    EXPECT_EQ(s.sig.blnLaserOn, kFalse);

    // With the gate closed a fault writes nothing extra, also through a public member.
    mark();
    EXPECT_THROW(object->Marking_para(1000, 1000, 0, 0, 0, 0, 0.0, 0, 0, 100, 0), Fault);  // su 0
    EXPECT_EQ(since(), Lines{});

    // A member faulting after an earlier call left the gate open closes it.
    s.hw.intGateBit = 7;
    s.hw.blnGateLevel = kTrue;
    Laser_switch(s, kTrue);
    mark();
    EXPECT_THROW(object->Marking_para(1000, 1000, 0, 0, 0, 0, 0.0, 0, 0, 100, 0), Fault);
    EXPECT_EQ(since(), (Lines{"card write DE 80"}));
    EXPECT_FALSE(machine.gate_emitting());
}

TEST_F(LaserSignalTest, AFaultLeavingAMemberClosesAGateTheHostOpened) {
    // The host opens the gate line itself (raw level 0 opens it here), then a member faults: by an
    // overflow of the D/A value, and by arrays shorter than their counts in a print pass.
    object->Marking_init_pci(128, 0, 0, 1, 0, {0, 0, 0, 0}, 1);
    const std::function<void()> faulting[] = {
        [&] { object->Marking_DA(1e300, 0); },
        [&] { object->e_PrintEarMark({1, 2, 3}, {"1"}, {"2"}, {1, 32}); },
    };
    for (const auto& member : faulting) {
        object->port_Out_bit(7, 0);
        ASSERT_TRUE(machine.gate_emitting());
        EXPECT_THROW(member(), Fault);
        EXPECT_FALSE(machine.gate_emitting());
        EXPECT_EQ(state().sig.blnLaserOn, kFalse);
    }
}
