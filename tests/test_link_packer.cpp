// The job packer: speed headers, the polyline, dot list and pulse records byte for byte, laser
// records written only when their values change, the corrections written back, and every value that
// cannot be encoded raising its fault instead of a wrapped byte (and taking its record out again).
#include "fault_of.hpp"
#include "link/job_packer.hpp"
#include "sim/emulated_controller_jobs.hpp"
#include "test_link_fixture.hpp"

using korvex::Fault;
using korvex::FaultKind;
using Bytes = std::vector<uint8_t>;

class PackerTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        korvex::Job_packer_reset(state());
    }
    // The job bytes from `from` to the current position.
    Bytes job(int32_t from = 0) {
        auto& l = link();
        return Bytes(l.bytJob.items.begin() + from, l.bytJob.items.begin() + l.lngJobPos);
    }
    int16_t pack(std::vector<double> md) { return korvex::Marking_data_standalone(state(), md); }
    static Bytes cat(std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    }
};

namespace {
const Bytes kHeaderSu10At100{0x40, 0x01, 0x50, 0xCE, 0xFC, 0x51, 0xCE, 0xFC};
}

TEST_F(PackerTest, SpeedHeadersPickTheStepMultipleAndTimerValue) {
    set_params(100, 50, 0, 0, 0, 0, 1.0, 0, 0, 100, 0);
    korvex::Speed_header(state(), link().lngJobPos, korvex::Jump_speed(state()));
    EXPECT_EQ(state().para.offPara.mms, 100.0f);  // corrected and written back
    EXPECT_EQ(job(), (Bytes{0x40, 0x02, 0x50, 0x5C, 0xFF, 0x51, 0x5C, 0xFF}));

    set_params(100, 100, 0, 0, 0, 0, 10.0, 0, 0, 100, 0);
    link().lngJobPos = 0;
    korvex::Speed_header(state(), link().lngJobPos, 100.0f);
    EXPECT_EQ(job(), kHeaderSu10At100);

    // The marking speed is raised above the slowest the 16-bit timer can step.
    set_params(1, 100, 0, 0, 0, 0, 10.0, 0, 0, 100, 0);
    const float vmin = static_cast<float>(10.0 * 1000.0 * 98.0 / 786420.0);
    EXPECT_EQ(korvex::Mark_speed(state()), vmin + 1.0f);
    EXPECT_EQ(state().para.offPara.ms, vmin + 1.0f);
}

TEST_F(PackerTest, PolylineAfterMarkingStartAndAgainWithoutLaserRecords) {
    set_params(100, 100, 100, 200, 300, 400, 10.0, 50, 20, 100, 300);
    EXPECT_EQ(pack({3, 0, 0, 5, 0, 5, 5, 0}), 1);
    const Bytes body = cat({kHeaderSu10At100,
                            {0x60, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
                            kHeaderSu10At100,
                            {0x80, 0x2C, 0x01, 0x01, 0x80, 0x90, 0x01},
                            {0x60, 0x02, 0x00, 0x00, 0x00, 0xF4, 0x01, 0x00, 0x00, 0xF4, 0x01, 0xF4, 0x01},
                            {0x80, 0x64, 0x00, 0x02, 0x80, 0xC8, 0x00}});
    EXPECT_EQ(job(), cat({{0xB0, 0x80, 0x80, 0xB1, 0xED, 0xED, 0xC0, 0x2C, 0x01}, body}));
    const int32_t second = link().lngJobPos;
    pack({3, 0, 0, 5, 0, 5, 5, 0});  // successive calls append; nothing changed, no laser records
    EXPECT_EQ(job(second), body);
}

TEST_F(PackerTest, LaserRecordsFollowTheLaserTypeAndOnlyChangedValues) {
    set_params(100, 100, 0, 0, 0, 0, 10.0, 50, 20, 100, 300, 5);
    korvex::Job_pack_laser(state(), link().lngJobPos);
    EXPECT_EQ(job(), (Bytes{0xB0, 0x00, 0x08, 0xB1, 0xED, 0xED, 0xC0, 0x2C, 0x01}));  // 2047.5 -> 2048
    const int32_t pos = link().lngJobPos;
    state().para.offPara.laserpower = 100;
    state().hw.intLaserType = 2;
    korvex::Job_pack_laser(state(), link().lngJobPos);
    EXPECT_EQ(job(pos), (Bytes{0xB0, 0xFF, 0xFF}));  // 256 is held at 255
    // A frequency of 0 becomes 10 kHz in offPara; a power of 0 after the reset writes nothing.
    korvex::Job_packer_reset(state());
    set_params(100, 100, 0, 0, 0, 0, 10.0, 0, 0, 100, -1);
    state().link.sngLastFreq = 5;
    korvex::Job_pack_laser(state(), link().lngJobPos);
    EXPECT_EQ(job(), (Bytes{0xB1, 0xDA, 0xDA}));  // 256 - 38.28 = 217.7 -> 218
    EXPECT_EQ(state().para.offPara.laserfre, 10.0f);
}

TEST_F(PackerTest, CoordinatesAreTwosComplementControllerSteps) {
    set_params(100, 100, 0, 0, 0, 0, 1.0, 0, 0, 100, 0);
    auto& l = link();
    korvex::Coord_bytes(state(), -0.001, 0.0005);
    EXPECT_EQ(l.lngXBytes.items, (std::array<int32_t, 4>{0xFF, 0xFF, 255, 255}));
    EXPECT_EQ(l.lngYBytes.items, (std::array<int32_t, 4>{0, 0, 0, 0}));  // 0.5 rounds to even 0
    korvex::Coord_bytes(state(), 65.535, -65.535);
    EXPECT_EQ(l.lngXBytes.items, (std::array<int32_t, 4>{0xFF, 0xFF, 0, 0}));
    EXPECT_EQ(l.lngYBytes.items, (std::array<int32_t, 4>{0x01, 0x00, 255, 255}));
    EXPECT_EQ(fault_of([&] { korvex::Coord_bytes(state(), 65.536, 0); }), FaultKind::overflow);
    EXPECT_EQ(fault_of([&] { korvex::Coord_bytes(state(), 0, -65.536); }), FaultKind::overflow);
    state().para.offPara.su = 0;
    EXPECT_EQ(fault_of([&] { korvex::Coord_bytes(state(), 1, 1); }), FaultKind::division);
    uint8_t b[4];
    korvex::Split_long_bytes(0x01020304, b[0], b[1], b[2], b[3]);
    EXPECT_EQ(Bytes(b, b + 4), (Bytes{4, 3, 2, 1}));
    korvex::Split_long_bytes(-1, b[0], b[1], b[2], b[3]);
    EXPECT_EQ(Bytes(b, b + 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(PackerTest, SinglePointsFormOneDotList) {
    set_params(100, 100, 100, 200, 300, 400, 10.0, 0, 0, 100, 7);
    state().link.lngLastDrTime = 7;  // no laser record, to see the list alone
    pack({1, 0, 0, 1, 1, 0, 1, 0.02, 0, 0});
    EXPECT_EQ(job(), cat({kHeaderSu10At100,
                          {0x61, 0x2C, 0x01, 0x90, 0x01, 0x64, 0x00, 0xC8, 0x00, 0x07, 0x00},
                          {0x03, 0x00, 0x00, 0x00},
                          {0x00, 0x00, 0x00, 0x00, 0x64, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00}}));
    // A new call opens a new list; its first point is a fresh count of 1.
    const int32_t second = link().lngJobPos;
    pack({1, 0, 0, 0});
    EXPECT_EQ(job(second)[8 + 11], 1);
}

TEST_F(PackerTest, PointAfterAPolylineOpensANewDotListAndTheJobStaysWellFormed) {
    set_params(100, 100, 100, 200, 300, 400, 10.0, 50, 20, 100, 300);
    pack({2, 0, 0, 1, 0, 1, 3, 3, 1, 4, 4, -1, 0, 0, 10, 20, 10, 20, 10, 20, 1, 5, 5, 0});
    korvex::Job_close(state(), link().lngJobPos);
    const Bytes j = job();
    ASSERT_TRUE(korvex::check_job(j.data(), j.size()).ok);
    korvex::ControllerHead head;
    korvex::MarkRecorder marks;
    ASSERT_TRUE(korvex::run_job(j.data(), j.size(), head, marks).ok);
    int dots = 0;
    for (const korvex::Mark& m : marks.all())
        if (m.kind == korvex::Mark::Kind::dot) {
            ++dots;
            EXPECT_TRUE((m.x0 == 300 && m.y0 == 300) || (m.x0 == 400 && m.y0 == 400) || (m.x0 == 500 && m.y0 == 500) ||
                        (m.x0 == 0 && m.y0 == 0))
                << m.x0 << "," << m.y0;
        }
    EXPECT_EQ(dots, 3 + 300 * 3);  // three points, and the pulse train's three pulses 300 times
}

TEST_F(PackerTest, PulseRecordsClampTheirTimesIntoTheArray) {
    set_params(100, 100, 100, 200, 300, 400, 10.0, 0, 0, 100, 0);
    state().link.lngLastDrTime = 0;
    std::vector<double> md{-1, 0.01, 0.02, 10, 20, 30, 40, 50, 70000, 0};
    korvex::Marking_data_standalone(state(), md);
    EXPECT_EQ(md[8], 65535.0);
    EXPECT_EQ(job(), cat({kHeaderSu10At100, {0x60, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00}, {0x80, 0x2C, 0x01}}));

    state().para.offPara.dr_time = 2;
    const int32_t from = link().lngJobPos;
    std::vector<double> again{-1, 0, 0, 10, 20, 30, 40, 50, 70000, 0};
    korvex::Marking_data_standalone(state(), again);
    const Bytes train{0x01, 0x80, 10, 0, 0x02, 0x80, 20, 0, 0x01, 0x80, 30, 0, 0x02, 0x80, 40, 0, 0x01, 0x80, 50, 0, 0x02, 0x80, 0xFF, 0xFF};
    // Not the first record of the whole job, but of its array: laser records and header again.
    EXPECT_EQ(job(from), cat({{0xC0, 0x02, 0x00}, kHeaderSu10At100, {0x60, 0x01, 0, 0, 0, 0, 0, 0, 0}, {0x80, 0x2C, 0x01}, train, train}));
}

TEST_F(PackerTest, TheWalkRoundsCountsAndAlwaysPacksTheFirstRecord) {
    set_params(100, 100, 0, 0, 0, 0, 10.0, 0, 0, 100, 0);
    state().link.lngLastDrTime = 0;
    EXPECT_EQ(pack({2, 0, 0, 10, 0, 0}), 1);
    EXPECT_EQ(link().lngJobPos, 8 + 9 + 8 + 3 + 1 + 3 + 9 + 3 + 1 + 3);
    // 2.5 is taken as 2 points: the next record starts at index 5.
    const int32_t from = link().lngJobPos;
    pack({2.5, 0, 0, 1, 1, 2, 0, 0, 0, 0, 0});
    EXPECT_EQ(job(from)[8 + 9 + 8 + 7 + 1], 1);  // point count 2 - 1
    // An array starting with 0 still packs its first record, a polyline that cannot be encoded.
    EXPECT_EQ(fault_of([&] { pack({0, 2, 3}); }), FaultKind::overflow);
}

TEST_F(PackerTest, ARecordThatFaultsIsTakenOutAgainSoTheJobStaysWhole) {
    set_params(100, 100, 100, 200, 300, 400, 10.0, 50, 20, 100, 300);
    // The end point faults (700 mm is beyond 16 bits of 10 um steps) after the record's laser
    // records went in: all of it goes, so the next record writes them again.
    EXPECT_EQ(fault_of([&] { pack({2, 0, 0, 700, 0, 0}); }), FaultKind::overflow);
    EXPECT_EQ(link().lngJobPos, 0);
    pack({2, 0, 0, 1, 0, 0});
    EXPECT_EQ(job()[0], 0xB0);
    // A dot list whose third point faults keeps two points, and its count says two.
    EXPECT_EQ(fault_of([&] { pack({1, 0, 0, 1, 1, 1, 1, 700, 0, 0}); }), FaultKind::overflow);
    auto& l = link();
    EXPECT_EQ(l.lngJobPos, l.lngDotCountPos + 4 + 2 * 4);
    EXPECT_EQ(job(l.lngDotCountPos).at(0), 2);
    korvex::Job_close(state(), l.lngJobPos);
    EXPECT_TRUE(korvex::check_job(l.bytJob.items.data(), static_cast<std::size_t>(l.lngJobPos)).ok);
}

TEST_F(PackerTest, ValuesThatCannotBeEncodedFault) {
    set_params(100, 100, 0, 0, 0, 0, 10.0, 0, 0, 100, 0);
    state().link.lngLastDrTime = 0;
    state().para.offPara.tof = -1;
    EXPECT_EQ(fault_of([&] { pack({2, 0, 0, 1, 0, 0}); }), FaultKind::overflow);
    state().para.offPara.tof = 70000;  // too big: clamped, not a fault
    pack({2, 0, 0, 1, 0, 0});
    EXPECT_EQ(state().para.offPara.tof, 65535);

    state().para.offPara.dr_time = 70000;  // in a 0xC0 record it is not clamped
    EXPECT_EQ(fault_of([&] { pack({2, 0, 0, 1, 0, 0}); }), FaultKind::overflow);
    state().para.offPara.dr_time = 0;

    std::vector<double> long_line(2 * 65537 + 2, 0.0);
    long_line[0] = 65537;  // 65 536 segments do not fit the count
    EXPECT_EQ(fault_of([&] { korvex::Marking_data_standalone(state(), long_line); }), FaultKind::overflow);

    link().lngJobPos = korvex::kJobBytes - 3;  // the buffer is full
    EXPECT_EQ(fault_of([&] { pack({2, 0, 0, 1, 0, 0}); }), FaultKind::index);

    link().lngJobPos = 0;
    state().para.offPara.su = 1e-6;  // one step in less than half a timer tick
    EXPECT_EQ(fault_of([&] { pack({2, 0, 0, 0, 0, 0}); }), FaultKind::division);

    set_params(100, 100, 0, 0, 0, 0, 10.0, 50, 1.0f, 100, 0);  // 1 kHz: frequency value below 0
    EXPECT_EQ(fault_of([&] { pack({2, 0, 0, 1, 0, 0}); }), FaultKind::overflow);
    set_params(100, 100, 0, 0, 0, 0, 10.0, 200, 20, 100, 0);  // power above the maximum
    EXPECT_EQ(fault_of([&] { pack({2, 0, 0, 1, 0, 0}); }), FaultKind::overflow);
    set_params(100, 100, 0, 0, 0, 0, 10.0, 0, 0, 100, 0);
    link().sngLastPower = link().sngLastFreq = 0;
    link().lngLastDrTime = 0;
    EXPECT_EQ(fault_of([&] { pack({2, 0, 0}); }), FaultKind::index);  // record cut off
}

TEST_F(PackerTest, JobCloseReturnsToTheOriginAndEnds) {
    set_params(100, 50, 0, 0, 0, 0, 10.0, 0, 0, 100, 0);
    korvex::Job_close(state(), link().lngJobPos);
    EXPECT_EQ(job(), cat({kHeaderSu10At100, {0x60, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x00}}));
}
