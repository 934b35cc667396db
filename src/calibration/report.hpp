// The calibration report: how far the marks landed from where they belong, per node and over the
// whole field, as marked ("before") and as the new correction will mark them ("after"); as a text
// summary with a one-line verdict, a CSV per node, an error-vector plot and a heat map (PNG).
#pragma once

#include <string>
#include <vector>

#include "calibration/vec2.hpp"

namespace korvex::calibration {

struct ErrorStats {
    int count = 0;
    double max_um = 0.0, rms_um = 0.0, p95_um = 0.0;
};
// Of the lengths of the errors (mm); NaN entries are left out.
ErrorStats error_stats(const std::vector<Vec2>& errors_mm);

struct CalibrationReport {
    std::string source;                 // the scan or the measured coordinates
    std::vector<std::string> facts;     // lines on how it was measured (placement, resolution, ...)
    double field_mm = 0.0;
    int nodes = 0;                      // per side
    std::vector<Vec2> node_before_mm;   // by node number
    std::vector<Vec2> node_after_mm;    // empty: no correction was solved
    // Errors over the field, a raster x raster grid of points spanning the lattice, row 0 at the bottom.
    int raster = 0;
    std::vector<Vec2> field_before_mm, field_after_mm;
    std::string after_what;             // "with the new grid", ...
    std::vector<std::string> outcome;   // files written, coefficients, ...
    std::string verdict;                // one line

    ErrorStats before_nodes() const { return error_stats(node_before_mm); }
    ErrorStats after_nodes() const { return error_stats(node_after_mm); }
    ErrorStats before_field() const { return error_stats(field_before_mm); }
    ErrorStats after_field() const { return error_stats(field_after_mm); }
};

// The summary as text: facts, the statistics table, outcome, verdict (the last line).
std::string report_text(const CalibrationReport& report);

// Makes the report folder when it is missing; CalibrationError when it cannot.
void make_report_folder(const std::string& folder);

// Writes report.txt (the summary and a table per node), nodes.csv, vectors.png and heatmap.png into
// the folder (made when missing). CalibrationError when it cannot.
void write_report(const CalibrationReport& report, const std::string& folder);

}  // namespace korvex::calibration
