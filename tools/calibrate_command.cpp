// korvex calibrate pattern | solve. The pattern is marked through the public object on the
// simulated machine (or the real card), like every other job of the tool; the correction in force
// is recorded in pattern.csv (with a fingerprint of its file) so the solve composes the new grid
// with exactly the correction the plate was marked under.
#include "calibrate_command.hpp"

#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <iostream>
#include <memory>

#include "calibration/solve.hpp"
#include "core/shown_input.hpp"
#include "job_options.hpp"
#include "tool_command.hpp"

namespace korvex::tool {

namespace {

namespace fs = std::filesystem;
using calibration::CalibrationError;

constexpr int32_t kFieldSteps = 30000;       // the default step size puts the field's edge here
constexpr int32_t kLargestFieldSteps = 32000;  // leaves room for the correction inside the D/A range

// A template base path from what the user gave (BASE or BASE.mc1).
std::string template_base_of(const std::string& given) {
    const fs::path p(given);
    return p.extension() == ".mc1" ? (p.parent_path() / p.stem()).string() : given;
}

// A temporary library folder whose grid_data.dat is a link to a grid file; removed with the object.
struct GridFolder {
    std::string path;
    ~GridFolder() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
};

// The correction in force as pattern.csv records it: "none", "grid FILE HASH", "template BASE HASH".
std::string correction_record(const std::string& kind, const std::string& path, const std::string& hashed_file) {
    return kind + " " + fs::absolute(path).lexically_normal().string() + " " + calibration::file_fingerprint(hashed_file);
}

// The recorded correction, checked against its file as it is now.
calibration::CorrectionMap correction_in_force(const std::string& record, std::string& template_base) {
    if (Shown_input(record, record.size() + 1) != record)
        throw CalibrationError("the pattern file's correction '" + Shown_input(record) + "' holds control characters");
    const std::size_t first = record.find(' '), last = record.rfind(' ');
    const std::string kind = record.substr(0, first);
    if (kind == "none") return calibration::CorrectionMap::none();
    if ((kind != "grid" && kind != "template") || first == std::string::npos || last <= first)
        throw CalibrationError("the pattern file's correction '" + Shown_input(record) +
                               "' is not none, grid FILE HASH or template BASE HASH");
    const std::string path = record.substr(first + 1, last - first - 1), hash = record.substr(last + 1);
    const std::string file = kind == "grid" ? path : path + ".mc1";
    if (calibration::file_fingerprint(file) != hash)
        throw CalibrationError("the " + kind + " " + path + " in force when the pattern was marked has changed since " +
                               "(solved again?): mark the pattern again with the correction now in force");
    if (kind == "grid") return calibration::CorrectionMap::grid(calibration::read_grid_offsets(path));
    template_base = path;
    return calibration::CorrectionMap::coefficients(calibration::template_coefficient_model(path));
}

}  // namespace

MarkReport mark_pattern(SimulatedMachine& machine, JobInterrupt* interrupt, std::vector<double>& drawing,
                        const MarkParameters& params, const std::string& template_base, std::ostream& err) {
    JobCalls calls(machine, interrupt, err, "korvex calibrate pattern");
    korvex_dll dll;
    bool up = bring_up(calls, dll, params);
    if (up && !template_base.empty())
        up = calls.call("e_setPrintInfo", [&] { dll.e_setPrintInfo(template_base); }) && set_parameters(calls, dll, params);
    int16_t result = 0;
    if (up) calls.call("Marking_data", [&] { result = dll.Marking_data(drawing); });
    calls.report.completed = result == 1;
    return calls.report;
}

int run_calibrate_pattern(CalibratePatternCommand c, std::ostream& out, std::ostream& err) {
    const std::string tool = "korvex calibrate pattern";
    const double field_mm = c.outputs.picture.field_mm;
    if (c.params.step_um == 0.0) c.params.step_um = field_mm / 2.0 * 1000.0 / kFieldSteps;
    calibration::Pattern pattern;
    GridFolder grid_folder;
    std::string library_folder;
    try {
        pattern = calibration::make_pattern(field_mm, c.nodes, c.dot_mm, c.params.step_um);
        if (c.params.step_um > 0.0 && field_mm / 2.0 * 1000.0 / c.params.step_um > kLargestFieldSteps)
            throw CalibrationError("a " + format_number(field_mm, 1) + " mm field needs more than +-" +
                                   std::to_string(kLargestFieldSteps) + " D/A steps at " + format_number(c.params.step_um, 3) +
                                   " um a step; take a larger --step-um");
        if (!c.grid.empty() && !c.template_base.empty())
            throw CalibrationError("a grid and a template's coefficient model cannot both be in force: give one");
        std::error_code ec;
        if (!c.grid.empty() && fs::is_directory(c.grid, ec)) {
            library_folder = c.grid;
            pattern.correction = correction_record("grid", c.grid + "/grid_data.dat", c.grid + "/grid_data.dat");
        } else if (!c.grid.empty()) {
            pattern.correction = correction_record("grid", c.grid, c.grid);
            char name[] = "/tmp/korvex_grid_XXXXXX";
            if (!::mkdtemp(name)) throw CalibrationError("cannot make a temporary library folder for the grid");
            grid_folder.path = library_folder = name;
            fs::create_symlink(fs::absolute(c.grid), grid_folder.path + "/grid_data.dat", ec);
            if (ec) throw CalibrationError("cannot link the grid into a library folder: " + ec.message());
        } else if (!c.template_base.empty()) {
            c.template_base = template_base_of(c.template_base);
            pattern.correction = correction_record("template", c.template_base, c.template_base + ".mc1");
        }
        fs::create_directories(c.out_folder, ec);
        if (!fs::is_directory(c.out_folder, ec)) throw CalibrationError("cannot make the folder " + c.out_folder);
    } catch (const CalibrationError& e) {
        err << tool << ": " << e.what() << "\n";
        return 2;
    }
    const std::string csv_path = (fs::path(c.out_folder) / "pattern.csv").string();
    // The pictures are a 1:1 print of the plate: the field with a 5 mm margin, no jumps.
    c.outputs.picture.field_mm = field_mm + 10.0;
    c.outputs.picture.jumps = false;
    if (!prepare_job(tool, csv_path, c.params, c.head_steps_per_mm, c.outputs, err)) return 2;
    std::vector<double> drawing = calibration::pattern_drawing(pattern, c.outputs.picture.spot_mm);
    c.scan.field_mm = field_mm;
    c.scan.line_mm = c.outputs.picture.spot_mm;

    bool scan_ok = true;
    const MachineJobSetup setup{c.real_time, library_folder, c.head_steps_per_mm, c.outputs, c.card};
    const int status = run_machine_job(tool, setup, [&](SimulatedMachine& machine, JobInterrupt& interrupt) {
        MarkReport report = mark_pattern(machine, &interrupt, drawing, c.params, c.template_base, err);
        if (!c.scan_path.empty() && report.completed && !c.card.real()) {
            const cv::Mat scan = render_scan(machine.model().recorder(), machine.model().head(), c.head_steps_per_mm, c.scan);
            scan_ok = write_scan(c.scan_path, scan);
            err << tool << ": " << (scan_ok ? "simulated scan written to " : "cannot write ") << c.scan_path << "\n";
        }
        return report;
    }, out, err);
    if (status != 0) {
        err << tool << ": the pattern was not marked completely; no pattern.csv written\n";
        return status;
    }
    try {
        calibration::write_pattern_csv(pattern, csv_path);
    } catch (const CalibrationError& e) {
        err << tool << ": " << e.what() << "\n";
        return 1;
    }
    out << "pattern: " << pattern.nodes << " x " << pattern.nodes << " nodes over " << format_number(field_mm, 1)
        << " mm, pitch " << format_number(pattern.pitch_mm(), 3) << " mm, dots " << format_number(pattern.dot_mm, 2)
        << " mm, " << format_number(c.params.step_um, 4) << " um a D/A step, correction in force: " << pattern.correction
        << "; node table " << csv_path << std::endl;
    return scan_ok ? 0 : 1;
}

int run_calibrate_solve(const CalibrateSolveCommand& c, std::ostream& out, std::ostream& err) {
    const std::string tool = "korvex calibrate solve";
    try {
        if (c.scan_path.empty() == c.measured_path.empty())
            throw CalibrationError("give a scan or --measured coordinates (one of them)");
        if (!c.scan_path.empty() && !(c.dpi > 0.0)) throw CalibrationError("give the scan's resolution with --dpi");
        if (!c.fit.empty() && c.fit != "coefficients") throw CalibrationError("--fit takes 'coefficients'");
        calibration::SolveRequest r;
        r.pattern = calibration::read_pattern_csv(c.pattern_path);
        if (c.step_um > 0.0) r.pattern.step_um = c.step_um;
        r.scan_path = c.scan_path;
        r.dpi = c.dpi;
        r.measured_path = c.measured_path;
        std::string template_in_force;
        r.in_force = correction_in_force(r.pattern.correction, template_in_force);
        r.grid_path = c.grid_path;
        r.report_folder = c.report_folder;
        r.tolerance_um = c.tolerance_um;
        if (c.fit == "coefficients") {
            const std::string base = c.template_base.empty() ? template_in_force : template_base_of(c.template_base);
            if (base.empty()) throw CalibrationError("--fit coefficients needs the station's template (--template BASE)");
            r.fit_from = calibration::template_coefficient_model(base);
            r.coefficients_path = !c.coefficients_path.empty() ? c.coefficients_path
                                  : !c.report_folder.empty()  ? (fs::path(c.report_folder) / "coefficients.txt").string()
                                                              : (fs::path(c.pattern_path).parent_path() / "coefficients.txt").string();
        }
        const calibration::SolveOutcome o = calibration::solve_calibration(r);
        out << calibration::report_text(o.report) << std::flush;
        if (!c.report_folder.empty()) err << tool << ": report written to " << c.report_folder << "\n";
        const std::string& v = o.report.verdict;
        return v.rfind("PASS", 0) == 0 || v.rfind("CORRECTED", 0) == 0 ? 0 : 1;
    } catch (const CalibrationError& e) {
        err << tool << ": " << e.what() << "\n";
        return 2;
    }
}

ToolCommand add_calibrate_command(CLI::App& app) {
    auto p = std::make_shared<CalibratePatternCommand>();
    auto s = std::make_shared<CalibrateSolveCommand>();
    ToolCommand c;
    c.sub = app.add_subcommand("calibrate", "Make the field correction: mark the test pattern, solve a grid from its scan");
    c.sub->require_subcommand(1);

    CLI::App* pat = c.sub->add_subcommand("pattern", "Mark the calibration test pattern and write its node table pattern.csv");
    pat->add_option("--out", p->out_folder, "folder for pattern.csv (and pattern.png when no output is named)")
        ->capture_default_str();
    pat->add_option("--nodes", p->nodes, "nodes per side of the lattice (at least 21)")->capture_default_str();
    pat->add_option("--dot-mm", p->dot_mm, "diameter of a node's dot, mm (0: a quarter pitch)")->capture_default_str();
    p->params.step_um = 0.0;
    add_mark_parameter_options(pat, p->params);
    pat->add_option("--grid", p->grid, "the grid in force: a grid file, or a library folder holding grid_data.dat");
    pat->add_option("--template", p->template_base, "a template (BASE or BASE.mc1) whose coefficient model is in force");
    pat->add_flag("--real-time", p->real_time, "pace with the monotonic clock instead of the virtual one");
    add_card_options(pat, p->card);
    p->outputs.picture.field_mm = 100.0;
    add_output_options(pat, p->outputs);
    pat->add_option("--head-steps-per-mm", p->head_steps_per_mm,
                    "scale of the simulated head, D/A units per mm (default: 1000 / step size)");
    pat->add_option("--scan", p->scan_path, "also write a simulated flatbed scan of the marked plate (PNG or TIFF)");
    pat->add_option("--scan-dpi", p->scan.dpi, "the simulated scan's resolution")->capture_default_str();
    pat->add_option("--scan-angle-deg", p->scan.angle_deg, "how far the plate lies turned on the glass")
        ->capture_default_str();

    CLI::App* sol = c.sub->add_subcommand("solve", "Measure the marked pattern in a scan and write the grid file and report");
    sol->add_option("SCAN", s->scan_path, "flatbed scan of the marked plate (PNG or TIFF, grey or colour)");
    sol->add_option("--dpi", s->dpi, "the scan's resolution, dots per inch (600 to 1200 recommended)");
    sol->add_option("--measured", s->measured_path, "measured node coordinates instead of a scan (node,x_mm,y_mm; y up)");
    sol->add_option("--pattern", s->pattern_path, "the pattern's node table")->capture_default_str();
    sol->add_option("--grid", s->grid_path, "grid file to write (replaced atomically, the old one kept as a backup)");
    sol->add_option("--report", s->report_folder, "folder for report.txt, nodes.csv, vectors.png, heatmap.png");
    sol->add_option("--fit", s->fit, "'coefficients': also fit the template's coefficient model");
    sol->add_option("--template", s->template_base, "the template to fit (default: the one in force when marked)");
    sol->add_option("--coefficients", s->coefficients_path, "file for the fitted coefficient model");
    sol->add_option("--step-um", s->step_um, "the D/A step size the pattern was marked with (when pattern.csv lacks it)");
    sol->add_option("--tolerance-um", s->tolerance_um, "the verdict's limit for the largest error over the field")
        ->capture_default_str();

    c.run = [p, s, pat] {
        if (*pat) return run_calibrate_pattern(*p, std::cout, std::cerr);
        return run_calibrate_solve(*s, std::cout, std::cerr);
    };
    return c;
}

}  // namespace korvex::tool
