// Direct-mode bring-up: the byte sequence and timing it leaves on the card, the gate polarity, the
// messages for a missing card and a missing grid, the device faults of members that would drive a
// card that is not open, the faults of bad output bytes and of the stand-alone mode this build
// lacks, and the motion reset of marking_start.
#include "machine_fixture.hpp"

#include <functional>

#include "fault_of.hpp"

#include "device/laser_signals.hpp"
#include "device/timer.hpp"

using namespace korvex;

class DeviceInitTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        object = std::make_unique<korvex_dll>();
        machine.set_library_folder("/nonexistent/korvex-no-grid");
        set_platform(machine.platform());
    }
    std::unique_ptr<korvex_dll> object;
};

TEST_F(DeviceInitTest, BringUpClosesTheGateCentresTheScannerAndProgramsTheLaser) {
    EXPECT_EQ(object->Marking_init_pci(128, 0, 0, 1, 0, {0, 0, 0, 0}, 1), 0);
    const Lines expected{
        "card open ok",
        "card page FF",
        "card write DE 80",  // gate closed: laser_sw 1 opens at 0, so bit 7 stays 1
        "card write DD 80",  // output 15 inactive
        "card write DB 00", "card write D7 00", "card write CF C8", "card write CF CC",  // channel 0 at 0
        "card write DB 00", "card write D7 00", "card write CF 8C", "card write CF CC",  // channel 1 at 0
        "card write DE 80",  // laser enable (type 3): bit 4 cleared, already 0
        "card write DD 00",  // output 15 active
        "card page 7B",
        "card write DF 00", "card write DF 03", "card write DF 02", "card write DF DE", "card write DF 01",
        "card write DF 0D", "card write DF 06", "card write DF DF", "card write DF 05", "card write DF F9",
        "card write DF 04", "card write DF BF", "card write DF 03", "card write DF FF",
        "card page FF",
        "msg \"marking system\" \"无校准数据，标记将会不准确\" ok none -> ok",
    };
    EXPECT_EQ(trace_lines(), expected);
    EXPECT_DOUBLE_EQ(machine.now_us(), 515.4);
    EXPECT_EQ(machine.card().output_byte(0), 0x80);
    EXPECT_EQ(machine.card().output_byte(1), 0x00);
    EXPECT_EQ(machine.card().da_channel(0), 0);
    EXPECT_EQ(machine.card().da_channel(1), 0);
    EXPECT_FALSE(machine.gate_emitting());

    const State& s = state();
    EXPECT_EQ(s.hw.intLaserType, 3);  // whatever the host asked for
    EXPECT_EQ(s.hw.lngFieldSizeX, 110);  // the defaults are in place
    EXPECT_EQ(s.scan.varDirTable.at(12), 1);
    EXPECT_EQ(s.scan.zoneTable.at(0, 7), 1.0f);
    EXPECT_EQ(s.sig.blnGateEnable, kTrue);
    EXPECT_EQ(s.sig.blnLaserSleeping, kTrue);
    EXPECT_NE(s.device.picText, nullptr);  // the system fonts, as the host set no renderer
    EXPECT_EQ(s.device.picText, s.platform.text_path);
}

TEST_F(DeviceInitTest, GatePolarityFollowsLaserSw) {
    machine.set_gate_wiring(7, 1);  // a laser that emits while bit 7 is high
    object->Marking_init_pci(128, 0, 0, 1, 0, {}, 0);
    EXPECT_EQ(trace_lines()[2], "card write DE 00");  // closing clears bit 7
    EXPECT_EQ(machine.card().output_byte(0), 0x00);
    EXPECT_FALSE(machine.gate_emitting());
    Laser_switch(state(), kTrue);
    EXPECT_EQ(machine.card().output_byte(0), 0x80);
    EXPECT_TRUE(machine.gate_emitting());
}

TEST_F(DeviceInitTest, AMissingCardIsReportedAndInitializationCarriesOn) {
    machine.card().set_present(false);
    struct NoText : TextPath {
        int32_t character_path(std::string_view, bool, bool, std::string_view, TextPathPoint*, int32_t,
                               int32_t& advance) override {
            advance = 0;
            return 0;
        }
    } text;
    Platform p = machine.platform();
    p.text_path = &text;
    set_platform(p);
    EXPECT_EQ(object->Marking_init_pci(128, 0, 0, 1, 0, {}, 1), 0);
    const auto& shown = machine.ui().shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "IO port don't use,reset computer!");
    EXPECT_EQ(shown[0].title, "marking system");
    EXPECT_EQ(shown[0].buttons, Buttons::ok);
    EXPECT_EQ(shown[0].icon, Icon::critical);
    EXPECT_EQ(shown[1].text, "无校准数据，标记将会不准确");
    EXPECT_EQ(trace_lines()[0], "card open fail");
    EXPECT_EQ(machine.trace().size(), 32u);  // every later access is still made (and traced)
    EXPECT_EQ(state().device.picText, &text);
}

TEST_F(DeviceInitTest, MembersThatDriveTheCardFaultWhileNoCardIsOpen) {
    std::vector<double> md{2, 0, 0, 10, 0, 0};
    auto all_fault = [&] {
        for (const auto& member : std::vector<std::function<void()>>{
                 [&] { object->Marking_data(md); }, [&] { object->marking_start(); },
                 [&] { object->port_Out_bit(3, 1); }, [&] { object->port_In_Bit(2); },
                 [&] { object->Marking_DA(5, 0); }, [&] { object->e_PrintEarMark({}, {}, {}, {0}); }})
            EXPECT_EQ(fault_of(member), FaultKind::device);
    };
    all_fault();  // never initialized
    machine.card().set_present(false);
    EXPECT_EQ(object->Marking_init_pci(128, 0, 0, 1, 0, {}, 1), 0);  // says so and carries on
    const std::size_t accesses = machine.trace().size();
    all_fault();
    EXPECT_EQ(machine.trace().size(), accesses);  // nothing went to the card
    machine.card().set_present(true);
    object->Marking_init_pci(128, 0, 0, 1, 0, {}, 1);
    EXPECT_EQ(object->port_Out_bit(3, 1), 0);
    EXPECT_EQ(object->marking_start(), 1);
}

TEST_F(DeviceInitTest, OutputBytesOutsideAByteFaultAfterTheDefaults) {
    for (int16_t bad : {256, -1}) {
        machine.trace().clear();
        try {
            object->Marking_init_pci(bad, 0, 0, 1, 0, {}, 1);
            ADD_FAILURE() << bad;
        } catch (const Fault& f) {
            EXPECT_EQ(f.kind(), FaultKind::overflow);
        }
        EXPECT_EQ(trace_lines(), (Lines{"card open ok"}));
        EXPECT_EQ(state().hw.intLaserType, 3);
        EXPECT_EQ(state().hw.lngFieldSizeX, 110);
    }
    EXPECT_THROW(object->Marking_init_pci(0, 300, 0, 1, 0, {}, 1), Fault);
    EXPECT_EQ(state().card.bytOutPort0, 0);  // taken before byte 1 failed
}

TEST_F(DeviceInitTest, StandAloneModeIsRecordedAndLeavesTheCardAlone) {
    // No element of rs_n has bit 7 set: no serial control is used (the link's own tests open them).
    EXPECT_EQ(object->Marking_init_pci(0, 0, 1, 2, 0, {1, 2, 0, 0}, 0), 0);
    EXPECT_EQ(state().device.intCardMode, 1);
    EXPECT_EQ(state().hw.intLaserType, 2);  // the host's type, unchanged
    EXPECT_EQ(state().clock.dblTicksPerUs, 10.0);
    EXPECT_EQ(object->marking_start(), 1);
    EXPECT_EQ(trace_lines(), Lines{});  // the card is left alone
}

TEST_F(DeviceInitTest, MarkingStartResetsTheMotionStateInDirectModeOnly) {
    EXPECT_THROW(object->marking_start(), Fault);  // before initialization no card is open

    object->Marking_init_pci(128, 0, 0, 1, 0, {}, 1);
    State& s = state();
    object->Marking_DA(5, 0);
    s.sig.blnAbort = kTrue;
    s.scan.lngPosX = s.scan.lngPosY = s.scan.lngCorrX = s.scan.lngCorrY = 77;
    s.sig.lngAxisPos = 5;
    s.card.lngDaValue0 = 16384;
    machine.virtual_clock()->advance_us(1000);
    const double t = machine.now_us();
    EXPECT_EQ(object->marking_start(), 1);
    EXPECT_EQ(s.sig.blnAbort, kFalse);
    EXPECT_EQ(machine.card().da_channel(0), 0);
    EXPECT_EQ(s.card.lngDaValue0, 0);
    EXPECT_EQ(s.scan.lngPosX, 0);
    EXPECT_EQ(s.scan.lngCorrY, 0);
    EXPECT_EQ(s.sig.lngAxisPos, 0);
    EXPECT_DOUBLE_EQ(s.scan.dblTimeX, t);
    EXPECT_DOUBLE_EQ(s.scan.dblTimeY, t);

    // card 2 brings up direct mode, but marking_start only knows 0 and 1.
    object->Marking_init_pci(128, 0, 2, 1, 0, {}, 1);
    s.sig.blnAbort = kTrue;
    const std::size_t lines = machine.trace().size();
    EXPECT_EQ(object->marking_start(), 0);
    EXPECT_EQ(s.sig.blnAbort, kTrue);
    EXPECT_EQ(machine.trace().size(), lines);
}

TEST_F(DeviceInitTest, AnAbortRaisedDuringBringUpIsClearedByIt) {
    machine.ui().set_key(Key::shift, true);
    object->Marking_init_pci(128, 0, 0, 1, 0, {}, 1);
    EXPECT_EQ(state().sig.blnAbort, kFalse);
    EXPECT_EQ(machine.ui().message_turns(), 1);  // the one turn of closing the gate
}
