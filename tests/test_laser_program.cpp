// Laser controller programming per laser type: register pairs on page 0x7B with their waits, the
// clamps stored back, type 1's power nibble and latch pulse, and register values that overflow.
#include "device_fixture.hpp"

#include "device/laser_program.hpp"
#include "device/laser_signals.hpp"
#include "device/marking_params.hpp"

using namespace korvex;

class LaserProgramTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        State& s = state();
        s.hw.sngLaserMaxPower = 15.0f;
        s.hw.sngLaserMaxFreq = 50.0f;
        s.hw.intPulseWidthUs = 8;
        s.para.sngLaserPower = 13.0f;
        s.para.sngLaserFreq = 5.0f;
    }
    // Register/value pairs the controller took since mark().
    std::vector<std::pair<int, int>> pairs() {
        std::vector<std::pair<int, int>> out;
        for (const auto& w : machine.card().laser_writes()) out.emplace_back(w.reg, w.value);
        return std::vector<std::pair<int, int>>(out.begin() + static_cast<std::ptrdiff_t>(pairs_before), out.end());
    }
    void program(int16_t type) {
        state().hw.intLaserType = type;
        pairs_before = machine.card().laser_writes().size();
        mark();
        Laser_program(state());
    }
    std::size_t pairs_before = 0;
};

using Pairs = std::vector<std::pair<int, int>>;

TEST_F(LaserProgramTest, Type3PowerFrequencyAndPulseWidthByteForByte) {
    const double t0 = now();
    program(3);
    // level 13/15 x 4096 = 3550 (0x0DDE); high 65536 - 8 x 8.17 -> 65471 (0xFFBF);
    // low 65536 - 192 x 8.17 -> 63967 (0xF9DF).
    Lines expected{"card page 7B"};
    for (int b : {0, 3, 2, 0xDE, 1, 0x0D, 6, 0xDF, 5, 0xF9, 4, 0xBF, 3, 0xFF}) {
        char line[32];
        std::snprintf(line, sizeof line, "card write DF %02X", b);
        expected.push_back(line);
    }
    expected.push_back("card page FF");
    EXPECT_EQ(since(), expected);
    // page + 100 us, 14 bytes each followed by 10 us, page + 100 us
    EXPECT_DOUBLE_EQ(now() - t0, 2 * (2.6 + 100) + 14 * (2.6 + 10));
    EXPECT_EQ(times_of("card write DF 00").front() - t0, 2.6 + 100);
    EXPECT_EQ(machine.card().page(), 0xFF);
    EXPECT_EQ(state().card.page_selected, 0xFF);
}

TEST_F(LaserProgramTest, PowerAndFrequencyAreClampedAndStoredBack) {
    State& s = state();
    s.para.sngLaserPower = 20.0f;
    s.para.sngLaserFreq = 0.1f;
    program(0);
    EXPECT_EQ(s.para.sngLaserPower, 15.0f);
    EXPECT_EQ(s.para.sngLaserFreq, 0.5f);
    // Full power; a 2000 us period leaves 1992 us low: 65536 - 1992 x 8.17 -> 49261 (0xC06D).
    EXPECT_EQ(pairs(), (Pairs{{0, 0}, {2, 0x00}, {1, 0x10}, {6, 0x6D}, {5, 0xC0}, {4, 0xBF}, {3, 0xFF}}));

    s.para.sngLaserPower = 0.1f;
    s.para.sngLaserFreq = 60.0f;
    program(5);
    EXPECT_EQ(s.para.sngLaserPower, 0.2f);
    EXPECT_EQ(s.para.sngLaserFreq, 50.0f);

    s.para.sngLaserFreq = 10.0f;
    program(1);
    EXPECT_EQ(s.para.sngLaserFreq, 20.0f);  // type 1 runs at 20 kHz at least
}

TEST_F(LaserProgramTest, Type1SetsThePowerNibbleOfOutputByte1AndLatchesIt) {
    State& s = state();
    s.para.sngLaserPower = 15.0f;  // full power: level 0
    s.para.sngLaserFreq = 20.0f;
    s.card.bytOutPort1 = 0xA5;
    const double t0 = now();
    program(1);
    // 5 us high: 65536 - 40.85 -> 65495 (0xFFD7); 45 us low: 65536 - 367.65 -> 65168 (0xFE90).
    EXPECT_EQ(pairs(), (Pairs{{0, 1}, {6, 0x90}, {5, 0xFE}, {4, 0xD7}, {3, 0xFF}}));
    const Lines l = since();
    ASSERT_EQ(l.size(), 16u);
    EXPECT_EQ(Lines(l.begin() + 11, l.end()), (Lines{"card page FF",
                                                     "card write DD A0",   // high nibble kept
                                                     "card write DE 40",   // latch: output 6 inactive (high)
                                                     "card write DE 00",   // ... for 1 ms, then active
                                                     "card page FF"}));
    const std::vector<double> latch = times_of("card write DE 00");
    ASSERT_EQ(latch.size(), 1u);
    EXPECT_DOUBLE_EQ(latch[0] - times_of("card write DE 40")[0], 2.6 + 1000);
    EXPECT_DOUBLE_EQ(now() - t0, 2 * (2.6 + 100) + 10 * (2.6 + 10) + (2.6 + 100) + 3 * 2.6 + 1000);

    // Half power: 0.5 x 255 = 127.5 rounds to 128, 128 \ 16 = 8, level 15 - 8 = 7.
    s.para.sngLaserPower = 7.5f;
    program(1);
    EXPECT_EQ(s.card.bytOutPort1, 0xA7);
}

TEST_F(LaserProgramTest, Types2And5AndTheTypesThatTakeNothing) {
    State& s = state();
    s.para.sngLaserPower = 15.0f;  // duty 0.9
    program(2);
    // high 65536 - 200 x 8.17 x 0.9 -> 64065 (0xFA41); low 65536 - 200 x 8.17 x 0.1 -> 65373 (0xFF5D)
    EXPECT_EQ(pairs(), (Pairs{{0, 2}, {6, 0x5D}, {5, 0xFF}, {4, 0x41}, {3, 0xFA}}));

    s.para.sngLaserPower = 13.0f;
    program(5);
    EXPECT_EQ(pairs(), (Pairs{{0, 5}, {2, 0xDE}, {1, 0x0D}}));

    for (int16_t type : {4, 6, -1}) {
        const double t0 = now();
        program(type);
        EXPECT_EQ(since(), (Lines{"card page 7B", "card page FF"})) << type;
        EXPECT_DOUBLE_EQ(now() - t0, 2 * (2.6 + 100));
    }
    // Type 4 never computes a power ratio, so even a zero maximum goes through.
    s.hw.sngLaserMaxPower = 0.0f;
    s.para.sngLaserPower = 0.0f;
    EXPECT_NO_THROW(program(4));
    for (int16_t type : {0, 3, 5}) {
        try {
            program(type);
            ADD_FAILURE() << "a zero maximum power must fault";
        } catch (const Fault& f) {
            EXPECT_EQ(f.kind(), FaultKind::division);
            EXPECT_NE(std::string(f.what()).find("sngLaserMaxPower"), std::string::npos) << f.what();
        }
        // The level is computed before the first register write: the controller is left untouched.
        EXPECT_EQ(since(), (Lines{"card page 7B"})) << type;
    }
}

TEST_F(LaserProgramTest, AValueThatDoesNotFitNeverLeavesAHalfWrittenPair) {
    State& s = state();
    object->Marking_init_pci(128, 0, 0, 1, 0, {}, 1);  // the page register now rests at 0xFF
    s.hw.intLaserType = 0;
    s.hw.intPulseWidthUs = 300;  // longer than the 20 us period: the low time goes negative
    s.para.sngLaserPower = 15.0f;
    s.para.sngLaserFreq = 50.0f;
    pairs_before = machine.card().laser_writes().size();
    mark();
    try {
        Laser_program(s);
        ADD_FAILURE() << "the low time must overflow";
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::overflow);
    }
    // 65536 + 280 x 8.17 -> 67824: its low byte (0xF0) goes out, its high byte (264) does not,
    // and neither does the number of the register it was meant for.
    EXPECT_EQ(pairs(), (Pairs{{0, 0}, {2, 0x00}, {1, 0x10}, {6, 0xF0}}));
    EXPECT_EQ(since().back(), "card write DF F0");
    EXPECT_EQ(machine.card().page(), 0x7B);

    // Through a public member the fault boundary puts the card back on its resting page.
    mark();
    EXPECT_THROW(object->Marking_para(1000, 1000, 0, 0, 0, 0, 3.0, 0, 0, 15, 0), Fault);
    EXPECT_EQ(since().back(), "card page FF");
    EXPECT_EQ(machine.card().page(), 0xFF);
}

// Found by fuzzing templates: with the gate moved to output 6, the type 1 latch pulse left the
// laser emitting. A function line that is the gate's is refused before anything is written.
TEST_F(LaserProgramTest, TheGateLineIsNeverDrivenAsAnotherFunctionsLine) {
    State& s = state();
    auto refused = [&](auto&& call) {
        mark();
        try {
            call();
            return false;
        } catch (const Fault& f) {
            return f.kind() == FaultKind::index && since().empty();
        }
    };
    s.hw.intGateBit = 6;  // the type 1 latch
    EXPECT_TRUE(refused([&] { program(1); }));
    s.hw.intGateBit = 9;  // within type 1's power nibble
    EXPECT_TRUE(refused([&] { program(1); }));
    program(3);  // other types leave those lines alone
    EXPECT_FALSE(since().empty());
    s.hw.intStandbyBit = 9;
    s.hw.sngWakeDelay = 1.0f;
    s.sig.blnLaserSleeping = kFalse;
    EXPECT_TRUE(refused([&] { Laser_standby(s, kFalse); }));

    // A maximum power below the 0.2 floor gives a type 1 level below 0, which would borrow from
    // outputs 12-15 (found the same way, with the gate on output 15).
    s.hw.intGateBit = 15;
    s.hw.sngLaserMaxPower = 0.1f;
    s.card.bytOutPort1 = 0x80;
    mark();
    try {
        program(1);
        ADD_FAILURE() << "the level must overflow";
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::overflow);
    }
    EXPECT_EQ(s.card.bytOutPort1, 0x80);
    for (const std::string& line : since()) EXPECT_EQ(line.find("card write DD"), std::string::npos) << line;
}

TEST_F(LaserProgramTest, DefaultsFillTheNumberedFieldsAndLeaveTheUnsetOnesAlone) {
    State& s = state();
    s.hw.intLaserType = 5;
    s.hw.unused38 = 9;
    s.hw.intGateBit = 2;
    s.hw.blnGateLevel = kFalse;
    Hardware_defaults(s, kHardwareDefaults);
    EXPECT_EQ(s.hw.intLaserType, 5);  // no default: device initialization sets it
    EXPECT_EQ(s.hw.unused38, 9);
    EXPECT_EQ(s.hw.intGateBit, 7);
    EXPECT_EQ(s.hw.blnGateLevel, kTrue);
    EXPECT_EQ(s.hw.dblAxisStepsPerRev, 2000.0);
    EXPECT_EQ(s.hw.unused73, 1);
    Hardware_defaults(s, 5);  // any other mode does nothing
    EXPECT_EQ(s.hw.intLaserType, 5);

    // A template loader reaches the fields by number, with their own types.
    EXPECT_STREQ(hardware_field(65).name, "intGateBit");
    EXPECT_EQ(hardware_field(44).type, HardwareFieldType::dbl);
    hardware_field_store(s.hw, hardware_field(29), 1);  // a stored 1 reads back as True (-1)
    EXPECT_EQ(s.hw.blnGateLevel, kTrue);
    hardware_field_store(s.hw, hardware_field(40), 333.5);
    EXPECT_EQ(s.hw.sngStepsPerMm, 333.5f);
    hardware_field_store(s.hw, hardware_field(13), 2.5);  // half to even
    EXPECT_EQ(s.hw.unused13, 2);
    EXPECT_THROW(hardware_field_store(s.hw, hardware_field(61), 40000), Fault);  // not 16 bits
    EXPECT_THROW(hardware_field(0), Fault);
    EXPECT_THROW(hardware_field(74), Fault);

    // Direction table, turn 1: X positive moves channel 1 up, Y positive channel 0 down.
    EXPECT_EQ(s.scan.varDirTable.at(12), 1);
    EXPECT_EQ(s.scan.varDirTable.at(13), 1);
    EXPECT_EQ(s.scan.varDirTable.at(18), 0);
    EXPECT_EQ(s.scan.varDirTable.at(19), -1);
    EXPECT_EQ(s.scan.varDirTable.at(47), 8);
}
