// One calibration solve: the marked pattern measured (a flatbed scan, or node coordinates from a
// camera or measuring microscope), the plate's placement fitted, each node's displacement taken,
// the correction solved onto every grid cell (and, when asked, the template's coefficient model
// fitted), the grid written in place and the report made. Every refusal comes before anything
// is written.
#pragma once

#include <optional>
#include <string>

#include "calibration/correction_map.hpp"
#include "calibration/pattern.hpp"
#include "calibration/report.hpp"

namespace korvex::calibration {

struct SolveRequest {
    std::string scan_path;      // a scan at dpi ...
    double dpi = 0.0;
    std::string measured_path;  // ... or measured coordinates: node,x_mm,y_mm (y up, any placement)
    Pattern pattern;
    CorrectionMap in_force = CorrectionMap::none();  // while the pattern was marked
    std::string grid_path;      // write the solved grid here (empty: no grid)
    std::optional<CoefficientModel> fit_from;  // fit this template's coefficient model
    std::string coefficients_path;             // and write the fitted values here
    std::string report_folder;  // empty: no report files
    double tolerance_um = 30.0; // the verdict's limit for the largest error over the field
};

struct SolveOutcome {
    CalibrationReport report;
    std::string grid_backup;    // the old grid file's backup, if there was one
};

// CalibrationError for a refusal or a file that cannot be read or written.
SolveOutcome solve_calibration(const SolveRequest& request);

}  // namespace korvex::calibration
