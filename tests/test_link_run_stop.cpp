// Run, stop and laser frames with the bytes they carry over, the controller state they leave, and
// the calibration download: 2048 grid pages to the control selected last, and its failures.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "link/calibration_download.hpp"
#include "link/command_exchange.hpp"
#include "link/run_stop.hpp"
#include "test_link_fixture.hpp"

using Bytes = std::vector<uint8_t>;

namespace {
const std::string kNoData = "无标刻数据，无法标刻，请先传送数据";

// The grid of heads 1-3: entry k is (k % 601 - 300, -(k % 7)), entry 0 is (-1, 300).
int16_t grid_dx(int k) { return k == 0 ? -1 : static_cast<int16_t>(k % 601 - 300); }
int16_t grid_dy(int k) { return k == 0 ? 300 : static_cast<int16_t>(-(k % 7)); }

// A grid_data.dat1 written once per test run into a folder removed at exit.
struct GridFolder {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("korvex-link-grid-" + std::to_string(::getpid()));
    GridFolder() {
        std::filesystem::create_directories(dir);
        std::ofstream out(dir / "grid_data.dat1");
        out << "\"Marking calibrate Data Ver 1.0\"\n1,1,1,1\n";
        for (int k = 0; k <= 262144; ++k) out << grid_dx(k % 262144) << ',' << grid_dy(k % 262144) << '\n';
    }
    ~GridFolder() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

std::string grid_folder() {
    static const GridFolder folder;
    return folder.dir.string();
}
}  // namespace

TEST_F(LinkTest, RunBeforeAnyDownloadIsRefusedPerPortButStillCountsAsRun) {
    emulator(1);
    emulator(2);
    init_link({0x81, 0x82, 0, 0});
    const std::size_t from = machine.trace().size();
    EXPECT_EQ(korvex::Marking_run(state()), 0);
    EXPECT_EQ(messages(), (Lines{kNoData, kNoData}));
    EXPECT_TRUE(sent(0, from).empty() && sent(1, from).empty());
    EXPECT_EQ(link().lngCtrlState, 2);
    // Now it is no longer refused, whatever the controllers hold.
    EXPECT_EQ(korvex::Marking_run(state()), 0);
    EXPECT_EQ(sent(0, from), (std::vector<Bytes>{{0x02, 0x64, 0x00, 0x00, 0x00}}));
    EXPECT_EQ(messages().size(), 2u);
}

TEST_F(LinkTest, FramesCarryTheBytesThePreviousCommandLeft) {
    emulator(1);
    init_link({0x81, 0, 0, 0});
    auto& s = state();
    link().lngCtrlState = 1;
    korvex::Command_set(s, 7, 0, 1, 2, 3);  // a write-file command of 0x030201 pages
    korvex::Marking_run(s);
    EXPECT_EQ(sent(0).back(), (Bytes{0x02, 0x64, 0x00, 0x02, 0x03}));
    EXPECT_TRUE(messages().empty());
}

TEST_F(LinkTest, StopAndLaserSwitchAwaitNothingAndLeaveState1) {
    emulator(1);
    emulator(4);
    init_link({0x81, 0, 0, 0x84});
    const std::size_t from = machine.trace().size();
    EXPECT_EQ(korvex::Marking_stop(state()), 0);
    EXPECT_EQ(link_lines(from), (Lines{"serial tx 0 FE 00 00 00 00", "serial tx 3 FE 00 00 00 00"}));
    EXPECT_EQ(link().lngCtrlState, 1);
    EXPECT_EQ(machine.serial().emulator(4)->stops(), 1);

    korvex::usb_laser_open(state(), 0, 0, 1);
    EXPECT_EQ(sent(0).back(), (Bytes{0x0E, 0xFF, 0xFF, 0x00, 0x00}));
    korvex::usb_laser_open(state(), 0, 0, 2);  // neither on nor off: bytes 1 and 2 as they were
    EXPECT_EQ(sent(3).back(), (Bytes{0x0E, 0xFF, 0xFF, 0x00, 0x00}));
    EXPECT_TRUE(machine.serial().emulator(1)->laser_switched_on());
    korvex::usb_laser_open(state(), 0, 0, 0);
    EXPECT_EQ(sent(0).back(), (Bytes{0x0E, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_FALSE(machine.serial().emulator(1)->laser_switched_on());
    EXPECT_EQ(link().lngCtrlState, 1);
    EXPECT_EQ(link_lines(from).size(), 8u);  // only tx lines: no reply read, nothing discarded

    // With no port selected only the state changes.
    init_link({0, 0, 0, 0});
    const std::size_t none = machine.trace().size();
    korvex::Marking_run(state());
    EXPECT_EQ(link().lngCtrlState, 2);
    korvex::Marking_stop(state());
    EXPECT_EQ(machine.trace().size(), none);
    EXPECT_EQ(link().lngCtrlState, 1);
}

class CalibrationTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        machine.set_library_folder(grid_folder());
        korvex::set_platform(machine.platform());
    }
};

TEST_F(CalibrationTest, TheGridGoesAs2048PagesToTheControlSelectedLast) {
    emulator(1);
    emulator(2);
    init_link({0x81, 0, 0x82, 0});  // control 2 was opened last
    const std::size_t from = machine.trace().size();
    EXPECT_EQ(korvex::Send_cal_data(state(), 3), korvex::kTrue);
    EXPECT_TRUE(sent(0, from).empty());
    const auto tx = sent(2, from);
    ASSERT_EQ(tx.size(), 2049u);
    EXPECT_EQ(tx[0], (Bytes{8, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(tx[1].begin(), tx[1].begin() + 8), (Bytes{0xFF, 0xFF, 0x2C, 0x01, 0xD5, 0xFE, 0xFF, 0xFF}));
    EXPECT_TRUE(std::all_of(tx[1].begin() + 512, tx[1].end(), [](uint8_t b) { return b == 0; }));
    const Bytes& last = tx[2048];  // entries 262 016 .. 262 143
    EXPECT_EQ(static_cast<int16_t>(last[508] | last[509] << 8), grid_dx(262143));
    EXPECT_EQ(static_cast<int16_t>(last[510] | last[511] << 8), grid_dy(262143));
    EXPECT_EQ(link_lines().back(), "serial rx 2 AA 00 00 00 00");

    const korvex::EmulatedController& c = *machine.serial().emulator(2);
    EXPECT_TRUE(c.flash().calibration_complete());
    for (int k = 0; k < 262144; k += 997) {
        ASSERT_EQ(c.flash().grid_dx(k), grid_dx(k)) << k;
        ASSERT_EQ(c.flash().grid_dy(k), grid_dy(k)) << k;
    }
    EXPECT_EQ(link().lngCtrlState, 0);
    EXPECT_EQ(state().grid.intGridDX.at(5), grid_dx(5));  // the grid stays loaded
}

TEST_F(CalibrationTest, EachFailureEndsTheDownloadWithItsMessage) {
    struct Case {
        std::vector<std::string> options;
        std::string message;
        std::size_t sent;
    };
    const std::vector<Case> cases{
        {{"silent"}, "传输校准数据命令出错,请重新传送", 1},
        {{"drop-at-page=3"}, "传输校准数据出错,请重新传送", 4},
        {{"reply=CC", "at=2049"}, "传输文件数据出错,请重新传送", 2049},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options[0]);
        emulator(1, c.options);
        init_link({0x81, 0, 0, 0});
        const std::size_t from = machine.trace().size();
        const std::size_t shown = machine.ui().shown().size();
        EXPECT_EQ(korvex::Send_cal_data(state(), 1), korvex::kFalse);
        EXPECT_EQ(sent(0, from).size(), c.sent);
        ASSERT_EQ(machine.ui().shown().size(), shown + 1);
        EXPECT_EQ(machine.ui().shown().back().text, c.message);
    }
}

TEST_F(CalibrationTest, NoGridNoDownloadAndNoControlAFault) {
    emulator(1);
    init_link({0x81, 0, 0, 0});
    const std::size_t from = machine.trace().size();
    EXPECT_EQ(korvex::Send_cal_data(state(), 0), korvex::kFalse);  // grid_data.dat is not there
    EXPECT_EQ(messages(), (Lines{"无校准数据"}));
    EXPECT_EQ(machine.ui().shown().back().icon, korvex::Icon::info);
    EXPECT_TRUE(sent(0, from).empty());

    korvex::testing::reset_thread_state();
    korvex::set_platform(machine.platform());
    init_clock();
    try {
        korvex::Send_cal_data(state(), 1);
        FAIL() << "no serial control was ever selected";
    } catch (const korvex::Fault& f) {
        EXPECT_EQ(f.kind(), korvex::FaultKind::device);
    }
}
