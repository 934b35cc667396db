// `korvex text` end to end: a text in system outline faces (a Latin and a CJK character) is marked
// through the font loader and the text layout on the simulated machine and written as marks; a
// catalogue key whose file is missing ends the command with the library's message; characters the
// fonts cannot mark are named and fail the command. A --fill that no hatch can take is refused
// before the machine starts (here and in korvex plot).
#include <unistd.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <sstream>

#include "plot_command.hpp"
#include "state/state.hpp"
#include "text_command.hpp"

using namespace korvex::tool;

namespace {

class TextCommandTest : public ::testing::Test {
protected:
    void SetUp() override { korvex::testing::reset_thread_state(); }
    void TearDown() override { korvex::testing::reset_thread_state(); }
};

}  // namespace

TEST_F(TextCommandTest, MarksSystemFacesAndReportsAMissingFontFile) {
    const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / ("korvex_text_command-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    TextCommand c;
    c.text = "A中";
    c.narrow_font = "DejaVu Sans";
    c.wide_font = "AR PL UMing CN";
    c.height_mm = c.width_mm = 8.0f;
    c.folder = dir.string();
    c.outputs.marks_path = "-";
    std::ostringstream out, err;
    ASSERT_EQ(run_text_command(c, out, err), 0) << err.str();
    std::istringstream marks(out.str());
    int lines = 0, jumps = 0;
    for (std::string word, rest; marks >> word && std::getline(marks, rest);) {
        lines += word == "line";
        jumps += word == "jump";
    }
    EXPECT_GT(lines, 20) << out.str();  // "A" has two figures, 中 several more
    EXPECT_GE(jumps, 4);

    c.narrow_font = "special_Romans";  // a catalogue key; the folder has no font/ at all
    std::ostringstream out2, err2;
    EXPECT_EQ(run_text_command(c, out2, err2), 1);
    EXPECT_NE(err2.str().find("无相应字库！"), std::string::npos) << err2.str();
    std::filesystem::remove_all(dir);
}

TEST_F(TextCommandTest, AFillSpacingNoHatchCanTakeIsRefusedBeforeAnythingIsMarked) {
    // Formerly --fill inf (plot) or 1e30 (text) passed the option check and faulted only after the
    // outline had been marked.
    for (const float fill : {std::numeric_limits<float>::infinity(), 1e30f, -1.0f, std::nanf("")}) {
        TextCommand t;
        t.text = "A";
        t.narrow_font = "DejaVu Sans";
        t.fill_mm = fill;
        t.outputs.marks_path = "-";
        std::ostringstream out, err;
        EXPECT_EQ(run_text_command(t, out, err), 2) << fill;
        EXPECT_NE(err.str().find("the hatch spacing must be from 0 (no fill) to 1000 mm"), std::string::npos) << err.str();
        EXPECT_TRUE(out.str().empty());
        PlotOptions p;
        p.input = std::string(KORVEX_SOURCE_DIR) + "/examples/eartag_logo.plt";
        p.fill_mm = fill;
        p.outputs.marks_path = "-";
        std::ostringstream pout, perr;
        EXPECT_EQ(run_plot_command(p, pout, perr), 2) << fill;
        EXPECT_NE(perr.str().find("--fill"), std::string::npos) << perr.str();
        EXPECT_TRUE(pout.str().empty());
    }
}

TEST_F(TextCommandTest, CharactersTheFontsCannotMarkAreNamedAndFailTheCommand) {
    const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / ("korvex_text_unmarked-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    TextCommand c;
    c.text = "A\u20AC\x01";  // the build's special_Romans has A, but neither € nor the control character
    c.folder = std::filesystem::path(KORVEX_FONT_DIR).parent_path().string();
    c.outputs.marks_path = (dir / "marks.txt").string();
    std::ostringstream out, err;
    EXPECT_EQ(run_text_command(c, out, err), 1);
    EXPECT_NE(err.str().find("Text_mark: 2 characters not marked as given: \"\u20AC\" (no glyph in "), std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find("\"\\x01\" (no glyph in "), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find('\x01'), std::string::npos);
    std::filesystem::remove_all(dir);
}
