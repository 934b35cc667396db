// Calibration grid files: which file each head reads, a complete load, and what a short, damaged
// or missing file leaves in the two offset tables and the loaded flag.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "machine_fixture.hpp"
#include "device/calibration_file.hpp"

using namespace korvex;
namespace fs = std::filesystem;

namespace {

// The offsets the test files hold: distinct per entry and per file (`base`), both signs.
int16_t file_dx(int64_t k, int base) { return static_cast<int16_t>(base + (k % 2001) - 1000); }
int16_t file_dy(int64_t k, int base) { return static_cast<int16_t>(base - (k % 1499) + 700); }

class CalibrationFileTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        char name[] = "/tmp/korvex_grid_XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        folder = name;
        Platform p = machine.platform();
        p.library_folder = folder.string();
        set_platform(p);
    }
    void TearDown() override {
        fs::remove_all(folder);
        MachineTest::TearDown();
    }

    // Writes a grid file of `pairs` pairs in the host tools' layout (CR LF lines). `line_of(k)`,
    // when set, may replace the text of pair k's line.
    void write_grid(const char* name, int64_t pairs, int base, const std::string& header = "Marking calibrate Data Ver 1.0",
                    const std::function<std::string(int64_t)>& line_of = nullptr) {
        std::string text = header + "\r\n1.5,2,-3,4e1\r\n";
        text.reserve(static_cast<std::size_t>(pairs) * 12 + text.size());
        for (int64_t k = 0; k < pairs; ++k) {
            std::string line = line_of ? line_of(k) : std::string();
            if (line.empty()) line = std::to_string(file_dx(k, base)) + "," + std::to_string(file_dy(k, base));
            text += line;
            text += "\r\n";
        }
        std::ofstream(folder / name, std::ios::binary) << text;
    }

    // Fills both tables with `value` and sets the flag, as an earlier load would have left them.
    void preset(int16_t value, vbool loaded) {
        state().grid.intGridDX.items.fill(value);
        state().grid.intGridDY.items.fill(value);
        state().grid.blnGridLoaded = loaded;
    }

    // Loads the grid of `head`; returns the fault kind, or unavailable when the load succeeded.
    FaultKind load(int32_t head) {
        int32_t request = -1, unused = 0;
        try {
            Calibration_load(state(), request, head, unused);
        } catch (const Fault& e) {
            return e.kind();
        }
        return FaultKind::unavailable;
    }

    // Entries [from, to) that do not hold the file's values.
    int64_t mismatches(int64_t from, int64_t to, int base) {
        int64_t bad = 0;
        for (int64_t k = from; k < to; ++k)
            bad += state().grid.intGridDX.at(k) != file_dx(k, base) || state().grid.intGridDY.at(k) != file_dy(k, base);
        return bad;
    }

    fs::path folder;
};

constexpr FaultKind kLoaded = FaultKind::unavailable;

}  // namespace

TEST_F(CalibrationFileTest, EachHeadReadsItsOwnFileWhateverTheHeader) {
    write_grid("grid_data.dat", kGridEntries, 0);
    write_grid("grid_data0.dat", kGridEntries, 5000, "\"some other tool, any header\"");
    write_grid("grid_data.dat1", kGridEntries, -5000, "   Grid 7 (head one)");
    const struct { int32_t head; int base; } cases[] = {{0, 0}, {-1, 5000}, {1, -5000}, {2, -5000}, {3, -5000}, {-7, -5000}};
    for (auto c : cases) {
        preset(1, kFalse);
        ASSERT_EQ(load(c.head), kLoaded) << "head " << c.head;
        EXPECT_EQ(state().grid.blnGridLoaded, kTrue);
        EXPECT_EQ(mismatches(0, kGridEntries, c.base), 0) << "head " << c.head;
    }
}

TEST_F(CalibrationFileTest, FileOnePairShortFailsOnTheLastReadAndKeepsTheRest) {
    write_grid("grid_data.dat", kGridEntries - 1, 0);
    preset(77, kTrue);
    EXPECT_EQ(load(0), FaultKind::eof);
    EXPECT_EQ(mismatches(0, kGridEntries - 1, 0), 0);
    EXPECT_EQ(state().grid.intGridDX.at(kGridEntries - 1), 77);
    EXPECT_EQ(state().grid.intGridDY.at(kGridEntries - 1), 77);
    EXPECT_EQ(state().grid.blnGridLoaded, kTrue);  // unchanged by the failed load

    preset(77, kFalse);
    EXPECT_EQ(load(0), FaultKind::eof);
    EXPECT_EQ(state().grid.blnGridLoaded, kFalse);
}

TEST_F(CalibrationFileTest, BadOrOutOfRangeValueStopsAtThatValue) {
    // Pair 1000's Y offset is not a number: X of pair 1000 is already replaced, its Y is not.
    write_grid("grid_data.dat", kGridEntries, 0, "Marking calibrate Data Ver 1.0",
               [](int64_t k) { return k == 1000 ? std::string("12,x7") : std::string(); });
    preset(77, kFalse);
    EXPECT_EQ(load(0), FaultKind::type);
    EXPECT_EQ(mismatches(0, 1000, 0), 0);
    EXPECT_EQ(state().grid.intGridDX.at(1000), 12);
    EXPECT_EQ(state().grid.intGridDY.at(1000), 77);
    EXPECT_EQ(state().grid.intGridDX.at(1001), 77);
    EXPECT_EQ(state().grid.blnGridLoaded, kFalse);

    write_grid("grid_data.dat", kGridEntries, 0, "Marking calibrate Data Ver 1.0",
               [](int64_t k) { return k == 5 ? std::string("32768,0") : std::string(); });
    preset(77, kTrue);
    EXPECT_EQ(load(0), FaultKind::overflow);
    EXPECT_EQ(mismatches(0, 5, 0), 0);
    EXPECT_EQ(state().grid.intGridDX.at(5), 77);
    EXPECT_EQ(state().grid.blnGridLoaded, kTrue);

    // A Single on the second line that is not a number fails before any entry is touched.
    std::ofstream(folder / "grid_data.dat", std::ios::binary) << "head\r\n1,2,three,4\r\n5,6\r\n";
    preset(77, kTrue);
    EXPECT_EQ(load(0), FaultKind::type);
    EXPECT_EQ(state().grid.intGridDX.at(0), 77);
}

TEST_F(CalibrationFileTest, MissingFileZeroesTheGridAndClearsTheFlag) {
    preset(77, kTrue);
    EXPECT_EQ(load(0), kLoaded);
    EXPECT_EQ(state().grid.blnGridLoaded, kFalse);
    int64_t nonzero = 0;
    for (int64_t k = 0; k < kGridEntries; ++k)
        nonzero += state().grid.intGridDX.at(k) != 0 || state().grid.intGridDY.at(k) != 0;
    EXPECT_EQ(nonzero, 0);

    EXPECT_FALSE(File_exists((folder / "grid_data.dat").string()));
    EXPECT_FALSE(File_exists("/nonexistent-drive/folder/grid_data.dat"));
    EXPECT_FALSE(File_exists(""));
    write_grid("grid_data.dat", 1, 0);
    EXPECT_TRUE(File_exists((folder / "grid_data.dat").string()));

    // A folder where the grid file should be exists, but cannot be read as one.
    fs::create_directory(folder / "grid_data0.dat");
    preset(77, kTrue);
    EXPECT_EQ(load(-1), FaultKind::file);
    EXPECT_EQ(state().grid.intGridDX.at(0), 77);
    EXPECT_EQ(state().grid.blnGridLoaded, kTrue);
}
