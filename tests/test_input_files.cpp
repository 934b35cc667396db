// Every reader of the library and the tools takes only regular files, and refuses anything else at
// once: a FIFO in place of a grid, template, plot, font, drawing, script or number list would
// otherwise hang the caller in open() for ever. Also the quoting of input in messages.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/regular_file.hpp"
#include "core/shown_input.hpp"
#include "core/value_reader.hpp"
#include "device/calibration_file.hpp"
#include "eartag_batch.hpp"
#include "fault_of.hpp"
#include "font/font_file_cache.hpp"
#include "machine_fixture.hpp"
#include "template/plot_file.hpp"
#include "template/template_file.hpp"
#include "vector_file.hpp"

using namespace korvex;

namespace {

class InputFileTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        dir = std::filesystem::path(::testing::TempDir()) / ("korvex_inputs_" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        alarm(20);  // a reader that blocks fails the test instead of hanging it
    }
    void TearDown() override {
        alarm(0);
        std::filesystem::remove_all(dir);
        MachineTest::TearDown();
    }
    std::string fifo(const std::string& name) {
        const std::string path = (dir / name).string();
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
        return path;
    }
    std::filesystem::path dir;
};

// The message of the fault f raises, which must be a file fault.
template <class F>
std::string file_fault(F&& f) {
    try {
        f();
    } catch (const Fault& e) {
        EXPECT_EQ(e.kind(), FaultKind::file) << e.what();
        return e.what();
    }
    ADD_FAILURE() << "no fault";
    return "";
}

}  // namespace

TEST_F(InputFileTest, FifosAndFoldersAreFileFaultsAndNothingBlocks) {
    const std::string pipe = fifo("pipe");
    EXPECT_NE(file_fault([&] { RegularFile f(pipe, "plot file"); }).find("plot file " + pipe + " is not a regular file (a FIFO)"),
              std::string::npos);
    EXPECT_NE(file_fault([&] { Regular_file_read(dir.string(), 100, "script"); }).find("(a directory)"), std::string::npos);
    file_fault([&] { FileText t(pipe); });
    file_fault([&] { Plot_file_read(pipe); });
    file_fault([&] { Font_file_bytes(pipe); });
    EXPECT_FALSE(Font_file_present(pipe));
    EXPECT_THROW(tool::read_vector_file(pipe), tool::VectorFileError);
    EXPECT_THROW(tool::parse_number_list("@" + pipe), tool::NumberListError);

    // A grid file that is a FIFO fails the load with a file fault.
    fifo("grid_data.dat");
    state().platform.library_folder = dir.string();
    file_fault([&] { Calibration_load(state(), 0, 0, 0); });

    // A template whose files are FIFOs loads nothing, and the load says why.
    fifo("t.mc1");
    fifo("t.nam");
    TemplateLoadReport report;
    Template_load(state(), (dir / "t").string(), &report);
    EXPECT_FALSE(report.magic);
    ASSERT_FALSE(report.failed.empty());
    EXPECT_EQ(report.failed.front().step, "machine file");
    EXPECT_EQ(report.failed.back().step, "cell list");
    EXPECT_EQ(report.failed.back().kind, FaultKind::file);

    // A file over the limit is refused, one at the limit read whole.
    const std::string big = (dir / "big").string();
    std::ofstream(big) << std::string(101, 'n');
    file_fault([&] { Regular_file_read(big, 100, "number list"); });
    EXPECT_EQ(Regular_file_read(big, 101, "number list").size(), 101u);
}

TEST(ShownInput, CutAfterFortyCharactersAndControlBytesEscaped) {
    EXPECT_EQ(Shown_input("abc"), "abc");
    EXPECT_EQ(Shown_input(std::string(41, 'x')), std::string(40, 'x') + "\xE2\x80\xA6");
    EXPECT_EQ(Shown_input(std::string(40, 'x')), std::string(40, 'x'));
    EXPECT_EQ(Shown_input("a\nb\x7f\x1b"), "a\\x0Ab\\x7F\\x1B");
    // Whole UTF-8 characters count as one and pass; stray or cut bytes are escaped.
    EXPECT_EQ(Shown_input("编号", 1), "编\xE2\x80\xA6");
    EXPECT_EQ(Shown_input("\xE7\xBC"), "\\xE7\\xBC");
    EXPECT_EQ(Shown_input("\xC0\xAF\xC2\x85"), "\\xC0\\xAF\\xC2\\x85");  // overlong, C1 control
}
