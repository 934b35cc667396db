// Field calibration on the simulated machine. BM_CalibrationResidual: a distorted head (field edge
// off by about a millimetre) marks the pattern, its 600 dpi scan is solved into a grid, the field is
// measured at the nodes and halfway between them with the grid loaded; then the pattern is marked
// again under that grid, scanned and solved once more. Counters: largest and RMS error (um) as
// marked, after one and after two iterations. BM_CalibrationSolveA4: the solve of a 600 dpi A4
// scan (reading the PNG, finding the nodes, solving and writing the grid).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "calibrate_command.hpp"
#include "calibration/solve.hpp"
#include "calibration_probe.hpp"
#include "state/state.hpp"

namespace {

namespace cal = korvex::calibration;
namespace fs = std::filesystem;
using namespace korvex::tool;

constexpr double kFieldMm = 100.0;
constexpr double kStepUm = kFieldMm / 60.0;

struct TempFolder {
    fs::path path;
    TempFolder() {
        char name[] = "/tmp/korvex_bench_calibration_XXXXXX";
        if (!::mkdtemp(name)) throw std::runtime_error("cannot create a temporary folder");
        path = name;
    }
    ~TempFolder() { fs::remove_all(path); }
    std::string file(const std::string& n) const { return (path / n).string(); }
};

SimulatedStation station(const std::string& grid_folder) {
    SimulatedStation s;
    s.head.on = true;
    s.params.step_um = kStepUm;
    s.params.mark_speed_mm_s = 2000.0f;
    s.library_folder = grid_folder;
    return s;
}

// The solve of a scan in the folder into the folder's grid_data.dat.
CalibrateSolveCommand solve_into(const TempFolder& dir, const std::string& scan, double dpi) {
    CalibrateSolveCommand c;
    c.scan_path = dir.file(scan);
    c.dpi = dpi;
    c.pattern_path = dir.file("pattern.csv");
    c.grid_path = dir.file("grid_data.dat");
    return c;
}

// Marks the pattern under the grid now in the folder (none at first), scans it, solves a new grid
// into the folder.
void iterate(const TempFolder& dir, const cal::Pattern& pattern, bool grid_in_force, const ScanLook& look) {
    std::ostringstream err;
    const auto machine = mark_on_station(cal::pattern_drawing(pattern), station(grid_in_force ? dir.path.string() : ""), err);
    if (!machine) throw std::runtime_error("the pattern was not marked: " + err.str());
    if (!write_scan(dir.file("scan.png"), render_scan(machine->model().recorder(), machine->model().head(), 1000.0 / kStepUm, look)))
        throw std::runtime_error("cannot write the scan");
    cal::Pattern marked = pattern;
    if (grid_in_force) marked.correction = "grid " + dir.file("grid_data.dat") + " " + cal::file_fingerprint(dir.file("grid_data.dat"));
    cal::write_pattern_csv(marked, dir.file("pattern.csv"));
    std::ostringstream out;
    if (run_calibrate_solve(solve_into(dir, "scan.png", look.dpi), out, err) == 2) throw std::runtime_error("refused: " + err.str());
}

void BM_CalibrationResidual(benchmark::State& state) {
    for (auto _ : state) {
        korvex::testing::reset_thread_state();
        TempFolder dir;
        const cal::Pattern pattern = cal::make_pattern(kFieldMm, 21, 0.0, kStepUm);
        const std::vector<cal::Vec2> points = nodes_and_between(pattern);
        std::ostringstream err;
        const auto stats = [&](const std::string& folder) {
            return cal::error_stats(landing_errors(points, station(folder), err));
        };
        ScanLook look;
        look.field_mm = kFieldMm;
        const cal::ErrorStats before = stats("");
        iterate(dir, pattern, false, look);
        const cal::ErrorStats once = stats(dir.path.string());
        look.angle_deg = -1.3;  // the plate laid down again for the second scan
        look.seed = 25;
        iterate(dir, pattern, true, look);
        const cal::ErrorStats twice = stats(dir.path.string());
        state.counters["before_max_um"] = before.max_um;
        state.counters["before_rms_um"] = before.rms_um;
        state.counters["once_max_um"] = once.max_um;
        state.counters["once_rms_um"] = once.rms_um;
        state.counters["twice_max_um"] = twice.max_um;
        state.counters["twice_rms_um"] = twice.rms_um;
        state.counters["once_max_ratio"] = once.max_um / before.max_um;
        state.counters["points"] = static_cast<double>(points.size());
    }
}
BENCHMARK(BM_CalibrationResidual)->Iterations(1)->Unit(benchmark::kSecond);

void BM_CalibrationSolveA4(benchmark::State& state) {
    korvex::testing::reset_thread_state();
    TempFolder dir;
    const cal::Pattern pattern = cal::make_pattern(kFieldMm, 21, 0.0, kStepUm);
    std::ostringstream err;
    const auto machine = mark_on_station(cal::pattern_drawing(pattern), station(""), err);
    if (!machine) {
        state.SkipWithError("the pattern was not marked");
        return;
    }
    ScanLook look;
    look.page_width_mm = 210.0;
    look.page_height_mm = 297.0;
    look.shift_y_mm = 60.0;  // the plate in the upper part of the page
    if (!write_scan(dir.file("a4.png"), render_scan(machine->model().recorder(), machine->model().head(), 1000.0 / kStepUm, look)))
        state.SkipWithError("cannot write the scan");
    cal::write_pattern_csv(pattern, dir.file("pattern.csv"));
    const CalibrateSolveCommand c = solve_into(dir, "a4.png", look.dpi);
    for (auto _ : state) {
        std::ostringstream out, e;
        if (run_calibrate_solve(c, out, e) == 2) state.SkipWithError(e.str().c_str());
    }
}
BENCHMARK(BM_CalibrationSolveA4)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
