// Marking parameters: the host's values in direct and stand-alone mode, the speed clamps and the
// stepping cycles derived from them, and the faults of absurd step sizes.
#include "machine_fixture.hpp"

#include "device/marking_params.hpp"
#include "device/timer.hpp"

using namespace korvex;

class MarkingParamsTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        object = std::make_unique<korvex_dll>();
    }
    void init_direct() { ASSERT_EQ(object->Marking_init_pci(128, 0, 0, 1, 0, {}, 1), 0); }
    std::unique_ptr<korvex_dll> object;
};

TEST_F(MarkingParamsTest, DirectModeTakesTheHostsSpeedsDelaysAndStepSize) {
    init_direct();
    State& s = state();
    const double t0 = machine.now_us();
    const std::size_t pairs_before = machine.card().laser_writes().size();
    EXPECT_EQ(object->Marking_para(1000, 3000, 100, 200, 300, 400, 3.0, 50, 20, 100, 500), 1);
    const MarkingGroup& p = s.para;
    EXPECT_FLOAT_EQ(s.hw.sngStepsPerMm, 1000.0f / 3.0f);
    EXPECT_EQ(p.lngOnDelay, 300);
    EXPECT_EQ(p.lngOnHold, 400);
    EXPECT_EQ(p.lngOffDelay, 100);
    EXPECT_EQ(p.lngOffHold, 200);
    EXPECT_EQ(p.lngJumpDelay, 500);
    EXPECT_EQ(s.hw.sngLaserMaxPower, 100.0f);
    EXPECT_EQ(p.sngLaserPower, 10.0f);  // fixed, whatever the host's power and frequency
    EXPECT_EQ(p.sngLaserFreq, 5.0f);
    // 1000 mm/s: n = int(14 / 3.0) + 1 = 5 steps in 15 us; 3000 mm/s: 15 steps in 15 us.
    EXPECT_EQ(p.lngMarkStepN, 5);
    EXPECT_EQ(p.lngMarkStepUs, 15);
    EXPECT_EQ(p.lngJumpStepN, 15);
    EXPECT_EQ(p.lngJumpStepUs, 15);
    EXPECT_EQ(p.sngPulseWidth, 0.0f);   // gate mode
    EXPECT_EQ(p.lngCurPen, 1);
    const HeadParaRecord& o = p.offPara;  // the host's own values, for the stand-alone controller
    EXPECT_EQ((std::vector<double>{o.ms, o.mms, double(o.tof), double(o.toh), double(o.tcf), double(o.tch), o.su,
                                   o.laserpower, o.laserfre, double(o.dr_time)}),
              (std::vector<double>{1000, 3000, 300, 400, 100, 200, 3.0, 50, 20, 500}));

    // The laser is programmed with 10 of 100 (level 410 = 0x019A), then 1 ms of settling.
    const auto& writes = machine.card().laser_writes();
    ASSERT_EQ(writes.size() - pairs_before, 7u);
    EXPECT_EQ(writes[pairs_before + 1].value, 0x9A);
    EXPECT_EQ(writes[pairs_before + 2].value, 0x01);
    EXPECT_DOUBLE_EQ(machine.now_us() - t0, 2 * (2.6 + 100) + 14 * (2.6 + 10) + 1000);
}

TEST_F(MarkingParamsTest, StandAloneModeKeepsOnlyTheControllersCopy) {
    EXPECT_EQ(object->Marking_init_pci(0, 0, 1, 2, 0, {1, 0, 0, 0}, 0), 0);  // stand-alone, no serial control used
    State& s = state();
    ASSERT_EQ(s.device.intCardMode, 1);
    const std::size_t lines = machine.trace().size();
    EXPECT_EQ(object->Marking_para(1000, 3000, 100, 200, 300, 400, 3.0, 50, 20, 100, 500), 1);
    EXPECT_EQ(s.para.offPara.tof, 300);
    EXPECT_EQ(s.para.offPara.laserpower, 50.0f);
    EXPECT_EQ(s.hw.sngLaserMaxPower, 100.0f);
    EXPECT_EQ(s.para.lngOnDelay, 0);
    EXPECT_EQ(s.para.sngMarkSpeed, 0.0f);
    EXPECT_EQ(s.hw.sngStepsPerMm, 0.0f);
    EXPECT_EQ(machine.trace().size(), lines);  // no card access, no settling wait
}

TEST_F(MarkingParamsTest, SpeedsAreClampedAndAZeroJumpSpeedKeepsTheLastJumpCycle) {
    init_direct();
    State& s = state();
    object->Marking_para(0, 20000, 0, 0, 0, 0, 3.0, 0, 0, 100, 0);
    EXPECT_EQ(s.para.sngMarkSpeed, 1.0f);
    EXPECT_EQ(s.para.sngMarkSpeed2, 1.0f);
    EXPECT_EQ(s.para.sngJumpSpeed, 15000.0f);
    EXPECT_EQ(s.para.lngMarkStepN, 1);     // one step every 3000 us at 1 mm/s
    EXPECT_EQ(s.para.lngMarkStepUs, 3000);
    EXPECT_EQ(s.para.lngJumpStepN, 71);    // 14 us hold 70 steps at 15 000 mm/s: 71 in 14.2 us
    EXPECT_EQ(s.para.lngJumpStepUs, 14);

    object->Marking_para(20000, 0, 0, 0, 0, 0, 3.0, 0, 0, 100, 0);
    EXPECT_EQ(s.para.sngMarkSpeed, 15000.0f);
    EXPECT_EQ(s.para.lngMarkStepN, 71);
    EXPECT_EQ(s.para.sngJumpSpeed, 0.0f);
    EXPECT_EQ(s.para.lngJumpStepN, 71);  // kept from the call before
    EXPECT_EQ(s.para.lngJumpStepUs, 14);
    object->Marking_para(5, -10, 0, 0, 0, 0, 3.0, 0, 0, 100, 0);
    EXPECT_EQ(s.para.sngJumpSpeed, -10.0f);  // no lower bound for jumps
    EXPECT_EQ(s.para.lngJumpStepN, 71);
    EXPECT_EQ(s.para.lngMarkStepN, 1);
    EXPECT_EQ(s.para.lngMarkStepUs, 600);
}

TEST_F(MarkingParamsTest, AbsurdStepSizesFaultAfterTheEarlierFieldsWereSet) {
    init_direct();
    State& s = state();
    const float steps_per_mm = s.hw.sngStepsPerMm;
    try {
        object->Marking_para(1000, 3000, 100, 200, 300, 400, 0.0, 50, 20, 100, 500);
        ADD_FAILURE() << "a zero step size must fault";
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::division);
    }
    EXPECT_EQ(s.para.lngOnDelay, 300);  // set before the step size
    EXPECT_EQ(s.hw.sngStepsPerMm, steps_per_mm);
    try {
        object->Marking_para(1000, 3000, 100, 200, 300, 400, 1e-30, 50, 20, 100, 500);
        ADD_FAILURE() << "10^33 steps per mm must overflow the cycle";
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::overflow);
    }
    EXPECT_EQ(Step_cycle(1000.0f / 3.0f, 1000.0f).steps, 5);
    EXPECT_THROW(Step_cycle(0.0f, 1000.0f), Fault);
}
