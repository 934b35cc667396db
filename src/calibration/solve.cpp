// The solve, step by step: measure, place, displace, correct, predict, write, report.
#include "calibration/solve.hpp"

#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <tuple>

#include "calibration/coefficient_fit.hpp"
#include "calibration/csv_text.hpp"
#include "calibration/grid_output.hpp"
#include "calibration/grid_solution.hpp"
#include "calibration/measured_csv.hpp"
#include "calibration/placement.hpp"
#include "calibration/plate_nodes.hpp"
#include "calibration/scan_marks.hpp"
#include "core/shown_input.hpp"

namespace korvex::calibration {

namespace {

constexpr double kScaleSlack = 0.04;  // a measured pitch this far off the pattern's is refused
constexpr double kScaleNote = 0.01;   // and this far off is worth a note
constexpr int kRaster = 401;          // points per side of the field's error raster (0.25 mm at 100 mm)

struct Measurement {
    std::vector<Vec2> mm;  // by node, y up, in the measurement's own placement
    std::vector<std::string> facts;
};

Measurement measure_scan(const SolveRequest& r) {
    if (!(std::isfinite(r.dpi) && r.dpi >= 50.0 && r.dpi <= 10000.0))
        throw CalibrationError("the scan's resolution must be 50 to 10000 dpi");
    const cv::Mat grey = read_scan(r.scan_path);
    const double px_per_mm = r.dpi / 25.4;
    const ScanMarks marks = find_marks(grey, r.pattern.dot_mm * px_per_mm);
    const PlateNodes nodes = number_nodes(marks, r.pattern, r.dpi);
    Measurement m;
    for (const Vec2& p : nodes.image_px) m.mm.push_back({p.x / px_per_mm, -p.y / px_per_mm});
    m.facts.push_back("scan: " + std::to_string(marks.width_px) + " x " + std::to_string(marks.height_px) + " px at " +
                      fixed(r.dpi, 0) + " dpi, marks " + (marks.dark_marks ? "darker" : "lighter") + " than the plate by " +
                      fixed(marks.contrast, 0) + " grey levels (noise " + fixed(marks.noise, 1) + "), dots " +
                      fixed(marks.dot_diameter_px / px_per_mm, 2) + " mm across (pattern " + fixed(r.pattern.dot_mm, 2) +
                      " mm), " + std::to_string(marks.rejected) + " specks and streaks left out");
    return m;
}

Measurement measure_csv(const SolveRequest& r) {
    Measurement m;
    m.mm = read_measured_csv(r.measured_path, r.pattern);
    m.facts.push_back("measured coordinates of all " + std::to_string(m.mm.size()) + " nodes");
    return m;
}

std::vector<Vec2> raster_of(double field_mm, const std::function<Vec2(Vec2)>& f) {
    std::vector<Vec2> out;
    out.reserve(kRaster * kRaster);
    for (int row = 0; row < kRaster; ++row)
        for (int col = 0; col < kRaster; ++col)
            out.push_back(f({-field_mm / 2 + field_mm * col / (kRaster - 1), -field_mm / 2 + field_mm * row / (kRaster - 1)}));
    return out;
}

std::string stats_line(const ErrorStats& s) {
    return "max " + fixed(s.max_um, 1) + " um, RMS " + fixed(s.rms_um, 1) + " um";
}

}  // namespace

SolveOutcome solve_calibration(const SolveRequest& r) {
    const Pattern& pattern = r.pattern;
    const bool from_scan = !r.scan_path.empty();
    Measurement m = from_scan ? measure_scan(r) : measure_csv(r);

    // The plate's placement, and what it says about the measurement.
    std::vector<Vec2> nominal;
    for (int n = 0; n < pattern.count(); ++n) nominal.push_back(pattern.node_mm(n));
    const Placement place = fit_placement(nominal, m.mm);
    if (!from_scan && place.mirrored_rms < 0.5 * place.rms && place.rms > 0.05 * pattern.pitch_mm())
        throw CalibrationError("measurement refused: the coordinates fit the pattern mirrored; give them with y up");
    if (std::fabs(place.scale - 1.0) > kScaleSlack) {
        const std::string apart = "the nodes lie " + fixed(place.scale * pattern.pitch_mm(), 3) + " mm apart where the pattern's pitch is " +
                                  fixed(pattern.pitch_mm(), 3) + " mm";
        if (from_scan)
            throw CalibrationError("scan refused: at " + fixed(r.dpi, 0) + " dpi " + apart + ": the scan is at about " +
                                   fixed(std::round(r.dpi * place.scale / 10.0) * 10.0, 0) + " dpi, or the plate carries a pattern of another size (a " +
                                   fixed(pattern.field_mm * place.scale, 1) + " mm field)");
        throw CalibrationError("measurement refused: " + apart + ": coordinates in another unit, or a pattern of another size");
    }
    if (std::fabs(place.scale - 1.0) > kScaleNote)
        m.facts.push_back("note: the field measures " + fixed(std::fabs(place.scale - 1.0) * 100.0, 2) + " % " +
                          (place.scale > 1.0 ? "larger" : "smaller") +
                          " than the pattern; a head is rarely off by that much, so check the " +
                          (from_scan ? "scanner's resolution" : "instrument's scale") + " (the correction takes it as the head's)");
    const double turn_deg = place.angle_rad * 180.0 / 3.14159265358979;
    m.facts.push_back("placement: turned " + fixed(turn_deg, 3) + " deg, field centre at (" + fixed(place.shift.x, 2) + ", " +
                      fixed(from_scan ? -place.shift.y : place.shift.y, 2) + ") mm" +
                      (from_scan ? " from the scan's top left" : "") + "; measured scale " + fixed(place.scale, 5));

    std::vector<Vec2> displacement;
    double largest = 0.0;
    for (int n = 0; n < pattern.count(); ++n) {
        displacement.push_back(place.unplace(m.mm[static_cast<std::size_t>(n)]) - nominal[static_cast<std::size_t>(n)]);
        largest = std::max(largest, norm(displacement.back()));
    }
    if (largest > 0.45 * pattern.pitch_mm())
        throw CalibrationError("measurement refused: a node lies " + fixed(largest, 2) +
                               " mm from its place, nearly half a pitch: the nodes cannot be told apart safely");
    const LatticeField field_mm(pattern.nodes, pattern.field_mm, displacement);

    CalibrationReport report;
    report.source = from_scan ? r.scan_path : r.measured_path;
    report.facts = m.facts;
    report.field_mm = pattern.field_mm;
    report.nodes = pattern.nodes;
    report.raster = kRaster;
    report.node_before_mm = displacement;
    report.field_before_mm = raster_of(pattern.field_mm, [&](Vec2 p) { return field_mm.at(p); });
    report.facts.push_back("correction in force when marked: " + Shown_input(pattern.correction, 300));

    const bool solving = !r.grid_path.empty() || r.fit_from.has_value();
    if (solving && !(pattern.step_um > 0.0))
        throw CalibrationError("the pattern file does not say the D/A step size the pattern was marked with (its step_um "
                               "line): give it (--step-um)");
    const double k = pattern.step_um > 0.0 ? 1000.0 / pattern.step_um : 0.0;
    const MeasuredField measured{field_mm, k, r.in_force};
    const auto errors_of = [&](const std::function<Vec2(Vec2)>& error) {
        std::vector<Vec2> at_nodes;
        for (const Vec2& p : nominal) at_nodes.push_back(error(p));
        return std::make_pair(at_nodes, raster_of(pattern.field_mm, error));
    };

    std::optional<GridSolution> grid;
    if (!r.grid_path.empty()) {
        grid = solve_grid(measured, pattern.field_mm / 2.0);
        std::tie(report.node_after_mm, report.field_after_mm) =
            errors_of([&](Vec2 t) { return grid_error_mm(measured, grid->offsets, t); });
        report.after_what = "new grid";
        if (grid->clamped_cells > 0)
            report.facts.push_back(std::to_string(grid->clamped_cells) +
                                   " grid cells of the field were cut short to keep the D/A range: the field is too large for the step size");
    }
    std::optional<CoefficientModel> fitted;
    std::string coefficient_line;
    if (r.fit_from) {
        CoefficientModel start = *r.fit_from;
        start.hw.sngStepsPerMm = static_cast<float>(k);
        fitted = fit_coefficients(measured, start, pattern.field_mm / 2.0);
        auto [nodes_after, field_after] = errors_of([&](Vec2 t) { return coefficient_error_mm(measured, *fitted, t); });
        coefficient_line = "coefficient model without a grid: " + stats_line(error_stats(field_after)) + " over the field";
        if (!grid) {
            report.node_after_mm = nodes_after;
            report.field_after_mm = field_after;
            report.after_what = "coefficients";
        }
    }

    // Everything is known: write.
    if (!r.report_folder.empty()) make_report_folder(r.report_folder);
    SolveOutcome out;
    if (grid) {
        out.grid_backup = write_grid_file(r.grid_path, grid->offsets, pattern.step_um, pattern.field_mm);
        report.outcome.push_back("grid written to " + r.grid_path +
                                 (out.grid_backup.empty() ? "" : " (the old one kept as " + out.grid_backup + ")"));
    }
    if (fitted) {
        if (!r.coefficients_path.empty()) {
            write_text_file(r.coefficients_path, coefficients_text(*fitted, report.source));
            report.outcome.push_back("coefficient model written to " + r.coefficients_path);
        }
        report.outcome.push_back(coefficient_line);
    }

    const ErrorStats before = report.before_field();
    const std::string limit = fixed(r.tolerance_um, 0) + " um";
    if (report.node_after_mm.empty()) {
        report.verdict = before.max_um <= r.tolerance_um
                             ? "PASS: the field is true to " + limit + " (" + stats_line(before) + ")"
                             : "FAIL: the field is off by more than " + limit + " (" + stats_line(before) +
                                   "); solve a correction with --grid";
    } else {
        const ErrorStats after = report.after_field();
        const std::string what = grid ? "the new grid" : "the fitted coefficients";
        report.verdict = after.max_um <= r.tolerance_um
                             ? "CORRECTED: with " + what + " the field should be true to " + limit + " (" + stats_line(after) +
                                   ", was " + stats_line(before) + "); mark the pattern again to verify"
                             : "LIMITED: with " + what + " the field should still be off by up to " + fixed(after.max_um, 1) +
                                   " um (RMS " + fixed(after.rms_um, 1) + " um, was " + stats_line(before) +
                                   "), more than " + limit;
    }
    if (!r.report_folder.empty()) write_report(report, r.report_folder);
    out.report = std::move(report);
    return out;
}

}  // namespace korvex::calibration
