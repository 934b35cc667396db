// Field calibration on the simulated machine: the closed loop (a distorted head marks the pattern,
// a rendered 600 dpi scan is solved into a grid, the grid is loaded and the field measured again,
// between the nodes too), the scans that must be refused without touching the grid file, measured
// coordinates instead of a scan, the coefficient fit, and the distorted head in host scripts.
#include <unistd.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <opencv2/imgproc.hpp>

#include "calibrate_command.hpp"
#include "calibration_probe.hpp"
#include "calibration/grid_solution.hpp"
#include "calibration/lattice_field.hpp"
#include "calibration/placement.hpp"
#include "calibration/solve.hpp"
#include "host_script.hpp"
#include "machine_fixture.hpp"
#include "template_files.hpp"

using namespace korvex;
using namespace korvex::tool;
namespace cal = korvex::calibration;
namespace fs = std::filesystem;

namespace {

constexpr double kFieldMm = 100.0;
constexpr double kStepUm = kFieldMm / 60.0;  // the field fills +-30000 D/A steps
constexpr double kStepsPerMm = 1000.0 / kStepUm;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Folder {
    fs::path path;
    explicit Folder(const std::string& name) : path(fs::path(::testing::TempDir()) / (name + "-" + std::to_string(::getpid()))) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Folder() { fs::remove_all(path); }
    std::string file(const std::string& name) const { return (path / name).string(); }
    std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(path), {})); }
};

// A head whose field edge is off by about a millimetre (0.5-2 mm).
HeadDistortion test_head() {
    HeadDistortion h;
    h.on = true;
    return h;
}

MarkParameters pattern_parameters() {
    MarkParameters p;
    p.step_um = kStepUm;
    p.mark_speed_mm_s = 2000.0f;
    return p;
}

SimulatedStation station(const std::string& grid_folder = "") {
    SimulatedStation st;
    st.head = test_head();
    st.params = pattern_parameters();
    st.library_folder = grid_folder;
    return st;
}

// The marked test pattern under the uncorrected head, marked once for all tests here.
class FieldCalibrationTest : public MachineTest {
protected:
    static void SetUpTestSuite() {
        pattern_ = std::make_unique<cal::Pattern>(cal::make_pattern(kFieldMm, 21, 0.0, kStepUm));
        korvex::testing::reset_thread_state();
        std::ostringstream err;
        const auto machine = mark_on_station(cal::pattern_drawing(*pattern_), station(), err);
        ASSERT_TRUE(machine) << err.str();
        marks_ = std::make_unique<MarkRecorder>(machine->model().recorder());
        korvex::testing::reset_thread_state();
    }
    static void TearDownTestSuite() {
        marks_.reset();
        pattern_.reset();
    }

    void SetUp() override {
        MachineTest::SetUp();
        ASSERT_TRUE(marks_) << "the pattern was not marked";
    }

    static cv::Mat scan(ScanLook look = {}) {
        look.field_mm = kFieldMm;
        return render_scan(*marks_, test_head(), kStepsPerMm, look);
    }

    static std::unique_ptr<cal::Pattern> pattern_;
    static std::unique_ptr<MarkRecorder> marks_;
};
std::unique_ptr<cal::Pattern> FieldCalibrationTest::pattern_;
std::unique_ptr<MarkRecorder> FieldCalibrationTest::marks_;

// Landing errors at the nodes and between them, with the grid in the folder (or none).
cal::ErrorStats field_errors(const cal::Pattern& pattern, const std::string& grid_folder) {
    std::ostringstream err;
    const std::vector<cal::Vec2> errors = landing_errors(nodes_and_between(pattern), station(grid_folder), err);
    EXPECT_FALSE(errors.empty()) << err.str();
    return cal::error_stats(errors);
}

// The six numbers of a row of the report's table (max, RMS, 95% at the nodes, then over the field).
std::vector<double> report_row(const std::string& report, const std::string& label) {
    const std::size_t at = report.find("\n" + label);
    if (at == std::string::npos) return {};
    std::istringstream row(report.substr(at + 1 + label.size(), report.find('\n', at + 1) - at - 1 - label.size()));
    std::vector<double> v;
    for (double x = 0.0; row >> x;) v.push_back(x);
    return v;
}

CalibrateSolveCommand solve_command(const Folder& dir, const std::string& scan) {
    CalibrateSolveCommand c;
    c.scan_path = scan;
    c.dpi = 600;
    c.pattern_path = dir.file("pattern.csv");
    c.grid_path = dir.file("grid_data.dat");
    return c;
}

}  // namespace

TEST_F(FieldCalibrationTest, ClosedLoopOnADistortedHeadMarksTrueBetweenTheNodesToo) {
    Folder dir("calibration_loop");
    cal::write_pattern_csv(*pattern_, dir.file("pattern.csv"));
    const std::string old_grid = "Marking calibrate Data Ver 1.0\r\nan old grid\r\n";
    std::ofstream(dir.file("grid_data.dat"), std::ios::binary) << old_grid;

    // The head as marked: its field edge is off by 0.5-2 mm.
    const cal::ErrorStats before = field_errors(*pattern_, "");
    EXPECT_GT(before.max_um, 500.0);
    EXPECT_LT(before.max_um, 2000.0);

    // A 600 dpi scan, the plate turned and shifted on the glass, blurred, noisy, dusty.
    ASSERT_TRUE(write_scan(dir.file("scan.png"), scan()));
    CalibrateSolveCommand c = solve_command(dir, dir.file("scan.png"));
    c.report_folder = dir.file("report");
    std::ostringstream out, err;
    ASSERT_EQ(run_calibrate_solve(c, out, err), 0) << err.str() << out.str();
    EXPECT_NE(out.str().find("verdict: CORRECTED"), std::string::npos) << out.str();
    for (const char* f : {"report.txt", "nodes.csv", "vectors.png", "heatmap.png"})
        EXPECT_TRUE(fs::is_regular_file(dir.path / "report" / f)) << f;
    // The old grid is kept as a backup; the new one is a whole grid file.
    std::size_t backups = 0;
    for (const auto& e : fs::directory_iterator(dir.path))
        if (e.path().extension() == ".bak") {
            ++backups;
            EXPECT_EQ(read_file(e.path().string()), old_grid);
        }
    EXPECT_EQ(backups, 1u);
    EXPECT_NO_THROW(cal::read_grid_offsets(dir.file("grid_data.dat")));

    // Marked again with the grid loaded, at the nodes and halfway between them.
    const cal::ErrorStats after = field_errors(*pattern_, dir.path.string());
    EXPECT_LE(after.max_um, 30.0) << "RMS " << after.rms_um;
    EXPECT_LE(after.rms_um, 10.0);
    EXPECT_LE(after.max_um, before.max_um / 20.0);
}

TEST_F(FieldCalibrationTest, BadScansAreRefusedAndTheGridFileIsLeftAlone) {
    Folder dir("calibration_refusals");
    cal::write_pattern_csv(*pattern_, dir.file("pattern.csv"));
    const std::string old_grid = "an old grid file\n";
    std::ofstream(dir.file("grid_data.dat"), std::ios::binary) << old_grid;
    const cv::Mat good = scan();

    // A 110 mm pattern of the same 21 x 21 nodes, for a scan of the 100 mm one.
    cal::write_pattern_csv(cal::make_pattern(110.0, 21, 0.0, kStepUm), dir.file("pattern110.csv"));
    cv::Mat blank(good.size(), CV_8U, cv::Scalar(228));
    cv::Mat noise(good.size(), CV_16S);
    cv::RNG(5).fill(noise, cv::RNG::NORMAL, 0.0, 3.0);
    cv::add(blank, noise, blank, cv::noArray(), CV_8U);
    cv::Mat half = good.clone();
    half(cv::Rect(0, half.rows / 2, half.cols, half.rows - half.rows / 2)).setTo(cv::Scalar(228));
    cv::Mat turned;
    cv::rotate(good, turned, cv::ROTATE_90_CLOCKWISE);

    struct Case {
        const char* name;
        cv::Mat image;
        double dpi;
        const char* pattern;
        const char* says;
    };
    const Case cases[] = {
        {"blank page", blank, 600, "pattern.csv", "no dots found"},
        {"half a pattern", half, 600, "pattern.csv", "nodes missing: 0-"},
        {"wrong resolution", good, 300, "pattern.csv", "the scan is at about 600 dpi"},
        {"turned a quarter", turned, 600, "pattern.csv", "turned a quarter turn clockwise"},
        {"another field size", good, 600, "pattern110.csv", "a pattern of another size"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ASSERT_TRUE(write_scan(dir.file("scan.png"), k.image));
        CalibrateSolveCommand c = solve_command(dir, dir.file("scan.png"));
        c.dpi = k.dpi;
        c.pattern_path = dir.file(k.pattern);
        c.report_folder = dir.file("report");
        std::ostringstream out, err;
        EXPECT_EQ(run_calibrate_solve(c, out, err), 2);
        EXPECT_NE(err.str().find(k.says), std::string::npos) << err.str();
        EXPECT_EQ(read_file(dir.file("grid_data.dat")), old_grid);
        EXPECT_EQ(dir.entries(), 4u);  // the two patterns, the grid and the scan: nothing new
    }
}

TEST_F(FieldCalibrationTest, MeasuredCoordinatesSolveLikeAScanAndAreCheckedAsStrictly) {
    // Coordinates from a measuring microscope: where each node landed, in the instrument's own
    // placement (turned, shifted), to the micrometre.
    Folder dir("calibration_measured");
    cal::write_pattern_csv(*pattern_, dir.file("pattern.csv"));
    const HeadDistortion head = test_head();
    std::string csv = "node,x_mm,y_mm\n", missing = csv, mirrored = csv;
    const double c = std::cos(0.3), s = std::sin(0.3);
    for (int n = 0; n < pattern_->count(); ++n) {
        const cal::Vec2 p = pattern_->node_mm(n);
        double x = 0.0, y = 0.0;
        head.land(p.x, p.y, x, y);
        char row[96];
        std::snprintf(row, sizeof row, "%d,%.4f,%.4f\n", n, 40.0 + c * x - s * y, 20.0 + s * x + c * y);
        csv += row;
        if (n != 17 && n != 18) missing += row;
        std::snprintf(row, sizeof row, "%d,%.4f,%.4f\n", n, x, -y);
        mirrored += row;
    }
    std::ofstream(dir.file("measured.csv")) << csv;
    std::ofstream(dir.file("missing.csv")) << missing;
    std::ofstream(dir.file("mirrored.csv")) << mirrored;

    CalibrateSolveCommand cmd = solve_command(dir, "");
    for (const auto& [file, says] : {std::pair{"missing.csv", "2 of 441 nodes not measured: 17-18"},
                                     std::pair{"mirrored.csv", "mirrored"}}) {
        cmd.measured_path = dir.file(file);
        std::ostringstream out, err;
        EXPECT_EQ(run_calibrate_solve(cmd, out, err), 2);
        EXPECT_NE(err.str().find(says), std::string::npos) << err.str();
        EXPECT_FALSE(fs::exists(dir.file("grid_data.dat")));
    }
    cmd.measured_path = dir.file("measured.csv");
    std::ostringstream out, err;
    ASSERT_EQ(run_calibrate_solve(cmd, out, err), 0) << err.str();
    EXPECT_NE(out.str().find("turned 17.1"), std::string::npos) << out.str();
    const cal::ErrorStats after = field_errors(*pattern_, dir.path.string());
    EXPECT_LE(after.max_um, 30.0) << "RMS " << after.rms_um;
}

TEST_F(FieldCalibrationTest, TheTemplatesCoefficientModelIsFittedToTheField) {
    // A station template: turn 0, a 110 mm field in 5 zones, no distortion coefficients yet (its
    // model leaves every position as it is, as the uncorrected pattern was marked).
    Folder dir("calibration_coefficients");
    tmpl_test::Mc1Text mc1 = tmpl_test::distinct_mc1();
    mc1.hw3[1] = mc1.hw3[2] = "110";                              // lngFieldSizeX, lngFieldSizeY
    for (int pos = 27; pos <= 30; ++pos) mc1.hw3[pos] = "0";      // sngDistortA-D
    mc1.zone_count = "5";
    mc1.zones.assign(5, {"1", "1", "1", "1", "1", "1", "1", "1"});
    tmpl_test::write_file(dir.file("station.mc1"), mc1.text());
    cal::write_pattern_csv(*pattern_, dir.file("pattern.csv"));
    ASSERT_TRUE(write_scan(dir.file("scan.png"), scan()));

    CalibrateSolveCommand c = solve_command(dir, dir.file("scan.png"));
    c.grid_path.clear();
    c.fit = "coefficients";
    c.template_base = dir.file("station.mc1");
    c.report_folder = dir.file("report");  // the coefficients go there, into a folder not made yet
    c.tolerance_um = 1000.0;
    std::ostringstream out, err;
    ASSERT_EQ(run_calibrate_solve(c, out, err), 0) << err.str() << out.str();
    const std::string text = read_file(dir.file("report/coefficients.txt"));
    EXPECT_NE(text.find("lngZoneCount 5"), std::string::npos) << text;
    EXPECT_NE(text.find("zone 4 "), std::string::npos) << text;
    EXPECT_EQ(text.find("sngDistortA 0\n"), std::string::npos) << text;  // fitted, not left at 0
    // The fitted model leaves less than a third of the field's error (RMS over the field).
    const std::vector<double> before = report_row(out.str(), "as marked"), after = report_row(out.str(), "after, coefficients");
    ASSERT_EQ(before.size(), 6u) << out.str();
    ASSERT_EQ(after.size(), 6u) << out.str();
    EXPECT_LT(after[4], before[4] / 3.0) << out.str();
}

TEST(HeadSetting, ScriptsAndOptionsSwitchTheDistortedHeadOnAndItsMarksLand) {
    // Settings: defaults for what is not given, every bad word named.
    const HeadDistortion h = parse_head_setting({"distorted,lens_pct=0.5 distance_mm=300"});
    EXPECT_TRUE(h.on);
    EXPECT_EQ(h.lens_pct, 0.5);
    EXPECT_EQ(h.distance_mm, 300.0);
    EXPECT_EQ(h.mirror_spacing_mm, HeadDistortion{}.mirror_spacing_mm);
    EXPECT_FALSE(parse_head_setting({"ideal"}).on);
    for (const char* bad : {"crooked", "distorted lens=1", "distorted scale_x=0", "distorted distance_mm=-1",
                            "distorted skew_mrad=1x"}) {
        EXPECT_THROW(parse_head_setting({bad}), HeadSettingError) << bad;
    }
    try {
        script::parse_script("Marking_DA 0 0\n@head distorted mirrors_mm=\n");
        FAIL() << "a head setting without a value was accepted";
    } catch (const script::ScriptError& e) {
        EXPECT_EQ(e.line(), 2);
    }

    // A line along the top of the field, marked by the same script with and without the head.
    Folder dir("head_setting");
    const std::string job = "Marking_init_pci 128 0 0 1 0 [0,0,0,0] 1\nMarking_para 1000 3000 0 0 0 0 10 50 20 100 0\n"
                            "marking_start\nMarking_data [2, -40,40, 40,40, 0]\n";
    std::ofstream(dir.file("ideal.ks")) << job;
    std::ofstream(dir.file("distorted.ks")) << "@head distorted\n" << job;
    std::string marks[2];
    for (int i = 0; i < 2; ++i) {
        RunCommand r;
        r.script_path = dir.file(i == 0 ? "ideal.ks" : "distorted.ks");
        r.trace_path = dir.file("trace");
        r.outputs.marks_path = dir.file("marks");
        std::ostringstream out, err;
        ASSERT_EQ(run_script_command(r, out, err), 0) << err.str();
        marks[i] = read_file(dir.file("marks"));
    }
    EXPECT_NE(marks[0].find("line -4000 4000 4000 4000\n"), std::string::npos) << marks[0];
    EXPECT_EQ(marks[0].find('#'), std::string::npos);
    // The head bends the line (a chain of lines) and lands its ends where its geometry puts them.
    EXPECT_EQ(marks[1].rfind("# distorted distance_mm=250", 0), 0u) << marks[1];
    double x = 0.0, y = 0.0;
    test_head().land(-40.0, 40.0, x, y);
    char start[64];
    std::snprintf(start, sizeof start, "line %.2f %.2f ", x * 100.0, y * 100.0);
    EXPECT_NE(marks[1].find(start), std::string::npos) << marks[1];
    EXPECT_GT(std::count(marks[1].begin(), marks[1].end(), '\n'), 5);
}

TEST(GridSolution, OffsetsUndoTheMeasuredFieldInDaStepsAndComposeWithTheGridInForce) {
    // The field as marked: every node landed 0.1 mm right and 0.05 mm down of where it was asked
    // for, and 0.1 % farther out. The grid sends each cell's centre where that lands it true.
    const cal::Pattern p = cal::make_pattern(kFieldMm, 21, 0.0, kStepUm);
    std::vector<cal::Vec2> shifted;
    for (int n = 0; n < p.count(); ++n) shifted.push_back(cal::Vec2{0.1, -0.05} + 0.001 * p.node_mm(n));
    const cal::LatticeField field(p.nodes, p.field_mm, shifted);
    const cal::CorrectionMap none = cal::CorrectionMap::none();
    const cal::MeasuredField measured{field, kStepsPerMm, none};
    const cal::GridSolution solved = cal::solve_grid(measured, p.field_mm / 2);
    EXPECT_EQ(solved.clamped_cells, 0);
    // The cell around the centre (128 steps, centre at 63.5): asked for t, send (t - shift) / 1.001.
    const std::size_t centre = static_cast<std::size_t>(Grid_cell(0, 0));
    EXPECT_EQ(solved.offsets.dx[centre], std::lround((63.5 - 60.0) / 1.001 - 63.5));
    EXPECT_EQ(solved.offsets.dy[centre], std::lround((63.5 + 30.0) / 1.001 - 63.5));
    const std::size_t edge = static_cast<std::size_t>(Grid_cell(29000, 0));  // centre 29055.5
    EXPECT_EQ(solved.offsets.dx[edge], std::lround((29055.5 - 60.0) / 1.001 - 29055.5));
    // What the library then makes of it lands within the cell's own error and the rounding to steps.
    for (const cal::Vec2 t : {cal::Vec2{0, 0}, cal::Vec2{-49.9, 31.3}, cal::Vec2{12.34, -45.6}})
        EXPECT_LT(cal::norm(cal::grid_error_mm(measured, solved.offsets, t)), 2e-3) << t.x << "," << t.y;

    // Marked again under that grid, the plate shows what is left: here, a further 0.01 mm right.
    // The new grid adds that to the one in force.
    const cal::CorrectionMap in_force = cal::CorrectionMap::grid(solved.offsets);
    const cal::LatticeField left(p.nodes, p.field_mm, std::vector<cal::Vec2>(p.count(), cal::Vec2{0.01, 0.0}));
    const cal::GridSolution again = cal::solve_grid(cal::MeasuredField{left, kStepsPerMm, in_force}, p.field_mm / 2);
    EXPECT_EQ(again.offsets.dx[centre], solved.offsets.dx[centre] - 6);
    EXPECT_EQ(again.offsets.dy[centre], solved.offsets.dy[centre]);
    EXPECT_NEAR(again.offsets.dx[edge], solved.offsets.dx[edge] - 6, 1);
}

TEST(LatticeField, PassesThroughEveryNodeAndFollowsASmoothFieldBetweenThem) {
    // The distorted head's own displacement, sampled at the nodes of a 100 mm, 21 x 21 lattice.
    const cal::Pattern p = cal::make_pattern(kFieldMm, 21, 0.0, kStepUm);
    const HeadDistortion head = test_head();
    const auto truth = [&](cal::Vec2 q) {
        cal::Vec2 l;
        head.land(q.x, q.y, l.x, l.y);
        return l - q;
    };
    std::vector<cal::Vec2> samples;
    for (int n = 0; n < p.count(); ++n) samples.push_back(truth(p.node_mm(n)));
    const cal::LatticeField field(p.nodes, p.field_mm, samples);
    for (int n = 0; n < p.count(); n += 17) EXPECT_LT(cal::norm(field.at(p.node_mm(n)) - samples[n]), 1e-12);
    double worst = 0.0;
    for (double x = -50.0; x <= 50.0; x += 1.3)
        for (double y = -50.0; y <= 50.0; y += 1.7) worst = std::max(worst, cal::norm(field.at({x, y}) - truth({x, y})));
    EXPECT_LT(worst, 0.1e-3);  // mm (0.03 um seen), of a field that bends by nearly a millimetre
    // Beyond the lattice it carries on for a pitch, then holds.
    EXPECT_LT(cal::norm(field.at({52.0, 0.0}) - truth({52.0, 0.0})), 5e-3);
    EXPECT_EQ(field.at({80.0, 10.0}).x, field.at({55.0, 10.0}).x);
}

TEST(PatternFile, ReadsBackWhatWasWrittenAndNamesWhatIsWrong) {
    Folder dir("pattern_file");
    cal::Pattern p = cal::make_pattern(80.0, 25, 0.8, kStepUm);
    p.correction = "grid /lib/grid_data.dat 0123456789abcdef";
    cal::write_pattern_csv(p, dir.file("pattern.csv"));
    const cal::Pattern back = cal::read_pattern_csv(dir.file("pattern.csv"));
    EXPECT_EQ(back.nodes, 25);
    EXPECT_DOUBLE_EQ(back.field_mm, 80.0);
    EXPECT_DOUBLE_EQ(back.dot_mm, 0.8);
    EXPECT_DOUBLE_EQ(back.step_um, kStepUm);
    EXPECT_EQ(back.correction, p.correction);

    const std::string good = read_file(dir.file("pattern.csv"));
    const auto damaged = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        std::ofstream(dir.file("bad.csv")) << text;
        try {
            cal::read_pattern_csv(dir.file("bad.csv"));
        } catch (const cal::CalibrationError& e) {
            return std::string(e.what());
        }
        return std::string("read");
    };
    EXPECT_NE(damaged("\n7,", "\n7x,").find("bad.csv:15: node '7x' is not a number"), std::string::npos);
    EXPECT_NE(damaged("\n7,-16.6667,-40\n", "\n8,-13.3333,-40\n").find("node 8 is twice"), std::string::npos);
    EXPECT_NE(damaged("\n7,-16.6667", "\n7,-16.5").find("node 7 is not on the 25 x 25 lattice"), std::string::npos);
    EXPECT_NE(damaged("\norientation,", "\nmark,").find("'mark' is not a number"), std::string::npos);
    EXPECT_NE(damaged("\n624,40,40\n", "\n").find("624 nodes are not a square lattice"), std::string::npos);
    EXPECT_NE(damaged("# dot_mm 0.8", "# dot_mm 9").find("the dots must be"), std::string::npos);
}
