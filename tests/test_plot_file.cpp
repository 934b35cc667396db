// Plot files checked through the simulated machine's marks: the dialect with its quirks (first pair
// only, the consumed terminator, a point inside a number, lower case), the plot step's scale,
// rotation, passes and cell kinds, rotary placement, the fill, and bad input: junk bytes, a file
// ending inside a number or at a bad character, too many edges to fill, a missing file.
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>

#include "fault_of.hpp"
#include "interface/fault_boundary.hpp"
#include "plot_command.hpp"
#include "scan_fixture.hpp"
#include "template/plot_file.hpp"
#include "template_files.hpp"

using namespace korvex;

namespace {

struct Seg {
    char kind;  // 'l' line, 'j' jump
    int x0, y0, x1, y1;
    bool operator==(const Seg&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Seg& s) {
    return o << s.kind << "(" << s.x0 << "," << s.y0 << ")-(" << s.x1 << "," << s.y1 << ")";
}

class PlotFileTest : public ScanTest {
protected:
    void SetUp() override {
        ScanTest::SetUp();
        dir = std::filesystem::temp_directory_path() / ("korvex-plot-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        ScanTest::TearDown();
    }
    std::string file(const std::string& bytes, const std::string& name = "drawing.plt") {
        const std::string path = (dir / name).string();
        tmpl_test::write_file(path, bytes);
        return path;
    }
    // Marks `bytes` at (1, 2) mm, one plot unit per scanner step, unrotated; the marks it made.
    std::vector<Seg> plot(const std::string& bytes) {
        machine.model().clear_marks();
        openings = machine.model().gate_openings();
        Plot_mark(state(), 1.0f, 2.0f, file(bytes), 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f);
        openings = machine.model().gate_openings() - openings;
        return marks();
    }
    std::vector<Seg> marks() const {
        std::vector<Seg> out;
        for (const Mark& m : machine.marks())
            if (m.kind == Mark::Kind::line || m.kind == Mark::Kind::jump)
                out.push_back({m.kind == Mark::Kind::line ? 'l' : 'j', m.x0, m.y0, m.x1, m.y1});
        return out;
    }
    std::vector<Seg> lines() const {
        std::vector<Seg> out;
        for (const Seg& m : marks())
            if (m.kind == 'l') out.push_back(m);
        return out;
    }
    std::filesystem::path dir;
    uint64_t openings = 0;
};

}  // namespace

TEST_F(PlotFileTest, TheDialectWithItsQuirks) {
    // Jump to the first point, one gate opening for the pen-down run, laser off at the end.
    EXPECT_EQ(plot("PU100,200;PD300,200;PD300,400;PU;").at(0).kind, 'j');
    EXPECT_EQ(lines(), (std::vector<Seg>{{'l', 200, 400, 400, 400}, {'l', 400, 400, 400, 600}}));
    EXPECT_EQ(openings, 1u);
    EXPECT_FALSE(machine.gate_emitting());
    EXPECT_EQ(state().sig.blnLaserOn, kFalse);

    // Only the first pair; a point splits X from Y; the terminator after 20 swallows the P of PU.
    plot("PD10,20,30,40;");
    EXPECT_EQ(lines(), (std::vector<Seg>{{'l', 100, 200, 110, 220}}));
    plot("PU0,0;PD1.5,2;");
    EXPECT_EQ(lines(), (std::vector<Seg>{{'l', 100, 200, 101, 205}}));
    plot("PU0,0;PD10,20PU30,40;");
    EXPECT_EQ(lines(), (std::vector<Seg>{{'l', 100, 200, 110, 220}}));
    EXPECT_EQ(openings, 1u);
    // Lower case is no command; PA keeps the pen (up at the start: a jump); "-" anywhere in a run.
    plot("PU0,0;pd10,10;");
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(plot("PA50,50;").back(), (Seg{'j', 100, 200, 150, 250}));
    EXPECT_TRUE(lines().empty());
    plot("PU0,0;PD-10,10-3;PA-20,--7;");
    EXPECT_EQ(lines(), (std::vector<Seg>{{'l', 100, 200, 90, 210}, {'l', 90, 210, 80, 200}}));
    plot("no commands at all");
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(openings, 0u);
}

TEST_F(PlotFileTest, BadInputEndsTheImportCleanly) {
    // A file ending inside a number: the started pair is used, a pair without Y is dropped.
    plot("PU0,0;PD20,2");
    EXPECT_EQ(lines(), (std::vector<Seg>{{'l', 100, 200, 120, 202}}));
    plot("PU0,0;PD20,");
    EXPECT_TRUE(lines().empty());
    plot("PU0,0;PD2");
    EXPECT_TRUE(lines().empty());
    EXPECT_FALSE(machine.gate_emitting());
    // A bad character after the command letters ends the import there, laser off.
    plot("PU0,0;PD10,0;PUx;PD0,0;");
    EXPECT_EQ(lines(), (std::vector<Seg>{{'l', 100, 200, 110, 200}}));
    EXPECT_FALSE(machine.gate_emitting());

    // Junk bytes: marked or refused with a fault, never anything else, the laser off afterwards.
    std::mt19937 rng(7);
    const std::string alphabet = "PUDA;,-.0123456789 \n\xff";
    state().tmpl.curCell.Mode = kCellModeFill;
    state().tmpl.curCell.FillSpace = 0.5f;
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> junk(std::uniform_int_distribution<int>(0, 200)(rng));
        for (uint8_t& b : junk)
            b = round % 2 ? static_cast<uint8_t>(rng()) : static_cast<uint8_t>(alphabet[rng() % alphabet.size()]);
        try {
            run_member([&](State& s) {
                Plot_mark_bytes(s, 0.0f, 0.0f, junk, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f);
                return 0;
            });
        } catch (const Fault&) {
        }
        ASSERT_FALSE(machine.gate_emitting());
    }
}

TEST_F(PlotFileTest, FillHatchesTheDrawingAfterItsOutlineAndFaultsBeyondTheEdgeList) {
    State& s = state();
    s.tmpl.curCell.Mode = kCellModeFill;
    s.tmpl.curCell.FillSpace = 0.1f;  // 10 steps
    const std::string square = "PU0,0;PD100,0;PD100,100;PD0,100;PD0,0;PU;";
    plot(square);
    std::vector<Seg> got = lines();
    ASSERT_EQ(got.size(), 4u + 9u);  // the outline, then the hatch (its corner segments are points)
    EXPECT_EQ(got[4], (Seg{'l', 110, 300, 110, 200}));  // x = 10 runs down, x = 20 up
    EXPECT_EQ(got[5], (Seg{'l', 120, 200, 120, 300}));
    EXPECT_EQ(openings, 1u + 11u);
    EXPECT_EQ(s.fill.lngContourEnd.at(0), 3);
    // Ending at a bad character: no fill.
    plot("PU0,0;PD100,0;PD100,100;PD0,100;PD0,0;PU!");
    EXPECT_EQ(lines().size(), 4u);

    // 30 002 pen-down moves with the fill on: an index fault that leaves the gate closed.
    std::string many = "PU0,0;";
    for (int i = 0; i < kEdgeListSize + 1; ++i) many += i % 2 ? "PD0,0;" : "PD1,0;";
    const std::string path = file(many);
    EXPECT_EQ(fault_of([&] {
                  run_member([&](State& st) {
                      Plot_mark(st, 0.0f, 0.0f, path, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f);
                      return 0;
                  });
              }),
              FaultKind::index);
    EXPECT_FALSE(machine.gate_emitting());
    EXPECT_EQ(s.sig.blnLaserOn, kFalse);

    // A missing file is a failed call before anything moves, and no file is made.
    machine.model().clear_marks();
    const std::string missing = (dir / "missing.plt").string();
    EXPECT_EQ(fault_of([&] { Plot_mark(s, 0, 0, missing, 1, 1, 1, 0, 0, 1, 0, 0); }), FaultKind::file);
    EXPECT_TRUE(machine.marks().empty());
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(fault_of([&] { Plot_mark(s, 0, 0, dir.string(), 1, 1, 1, 0, 0, 1, 0, 0); }), FaultKind::file);
}

TEST_F(PlotFileTest, ThePlotStepScalesRotatesRepeatsAndSkipsBitmapCells) {
    State& s = state();
    const std::string path = file("PU0,0;PD10,0;");
    // One plt cell at (1, 2) mm laid out 16 x 8 mm from a design of 8 x 8 mm: at 100 steps/mm,
    // X scale 200 and Y scale 100 steps per plot unit.
    auto cell = [&](const std::string& flag, float angle) {
        s.tmpl.catLines.at(kCategoryPlot, 0) = "1";
        s.tmpl.catLines.at(kCategoryPlot, 1) = tmpl_test::cell_line(flag, "plot", 1, path);  // pen 1 is current
        auto& v = s.tmpl.catValues.at(kCategoryPlot);
        v.at(1, kValueX) = 1.0f;
        v.at(1, kValueY) = 2.0f;
        v.at(1, kValueWidth) = 16.0f;
        v.at(1, kValueHeight) = 8.0f;
        v.at(1, kValueAngle) = angle;
        machine.model().clear_marks();
    };
    s.para.lngPasses = 1;
    cell("plt file", 0.0f);
    Plot_step(s, 1);
    EXPECT_EQ(lines(), (std::vector<Seg>{{'l', 100, 200, 2100, 200}}));
    // 90 degrees: plot point (20, 0) mm lands at (X, Y + 20).
    cell("plt file", 90.0f);
    Plot_step(s, 1);
    EXPECT_EQ(lines(), (std::vector<Seg>{{'l', 100, 200, 100, 2200}}));
    // 44.5 degrees is used as 44, 45.5 as 46.
    cell("plt file", 45.5f);
    Plot_step(s, 1);
    EXPECT_EQ(lines().at(0).x1, 100 + static_cast<int>(std::nearbyint(2000 * std::cos(46 * 3.14159265358979 / 180))));
    cell("plt file", 44.5f);
    Plot_step(s, 1);
    EXPECT_EQ(lines().at(0).x1, 100 + static_cast<int>(std::nearbyint(2000 * std::cos(44 * 3.14159265358979 / 180))));
    // Three passes mark three times; a "bmp file" cell, or a turn beyond the count, marks nothing.
    s.para.lngPasses = 3;
    cell("plt file", 0.0f);
    Plot_step(s, 1);
    EXPECT_EQ(lines().size(), 3u);
    cell("bmp file", 0.0f);
    Plot_step(s, 1);
    Plot_step(s, 2);
    EXPECT_TRUE(machine.marks().empty());
}

TEST_F(PlotFileTest, RotaryPlacementTurnsTheAxisAndDrawsAtXZero) {
    State& s = state();
    s.tmpl.curCell.Mode = kCellModeRotaryPlace;
    s.tmpl.curCell.RotaryDiameter = static_cast<float>(20.0 / 3.14159265358979);  // 20 mm around
    const double rev = s.hw.dblAxisStepsPerRev;
    machine.model().clear_marks();
    Plot_mark(s, 5.0f, 2.0f, file("PU0,0;PD10,0;"), 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f);
    EXPECT_EQ(s.sig.lngAxisPos, static_cast<int32_t>(std::nearbyint(rev / 4)));  // a quarter turn
    EXPECT_EQ(lines(), (std::vector<Seg>{{'l', 0, 200, 10, 200}}));
    s.tmpl.curCell.RotaryDiameter = 0.0f;
    EXPECT_EQ(fault_of([&] { Plot_mark(s, 5, 2, file("PU0,0;"), 1, 1, 1, 0, 0, 1, 0, 0); }), FaultKind::division);
}

// korvex plot: the example logo, filled, marked through the library and written as marks; a fault
// in the plot file (too many edges to fill, said with their number) or a file the reader stops
// short in (said where) makes the command fail, a missing file is refused before the machine starts.
TEST_F(PlotFileTest, ThePlotCommandMarksTheExampleLogo) {
    korvex::tool::PlotOptions o;
    o.input = std::string(KORVEX_SOURCE_DIR) + "/examples/eartag_logo.plt";
    o.fill_mm = 0.2f;
    o.outputs.marks_path = "-";
    std::ostringstream out, err;
    ASSERT_EQ(korvex::tool::run_plot_command(o, out, err), 0) << err.str();
    std::size_t lines = 0;
    for (std::size_t at = out.str().find("line "); at != std::string::npos; at = out.str().find("\nline ", at + 1)) ++lines;
    EXPECT_GT(lines, 100u);  // the outlines and the hatch of a 10 mm shield at 0.2 mm
    EXPECT_NE(err.str().find("marked "), std::string::npos);

    std::string many = "PU0,0;";
    for (int i = 0; i < kEdgeListSize + 1; ++i) many += i % 2 ? "PD0,0;" : "PD40,0;";
    o.input = file(many);
    std::ostringstream out2, err2;
    EXPECT_EQ(korvex::tool::run_plot_command(o, out2, err2), 1);
    EXPECT_NE(err2.str().find("Plot_mark failed (index): the outline has 30002 edges, more than the fill takes (at most 30001)"),
              std::string::npos) << err2.str();

    // A bad byte after "PD": marked up to there, as the library reads it, and said where it was cut.
    o.input = file("PU0,0;PD400,0;\nPD\x02" "400,400;PD0,400;", "cut.plt");
    std::ostringstream out4, err4;
    EXPECT_EQ(korvex::tool::run_plot_command(o, out4, err4), 1);
    EXPECT_NE(err4.str().find(o.input + " is cut at byte 18 of 34 (line 2, column 3): after \"PD\" comes \"\\x02\": the import ends "
                              "there, so only the drawing before it is marked and nothing is filled"),
              std::string::npos) << err4.str();
    EXPECT_NE(out4.str().find("line "), std::string::npos);

    o.input = (dir / "missing.plt").string();
    std::ostringstream out3, err3;
    EXPECT_EQ(korvex::tool::run_plot_command(o, out3, err3), 2);
    EXPECT_TRUE(out3.str().empty());
}
