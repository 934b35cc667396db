// Writing a solved grid where the library reads it. The file is written whole into a temporary
// file beside the target and flushed to disk, the old file kept as a timestamped backup, and only
// then renamed over the target: a library that loads the grid meanwhile reads the old file or the
// new one, never half of one, and a failure changes nothing.
#pragma once

#include <string>

#include "calibration/correction_map.hpp"

namespace korvex::calibration {

// The grid file text: header line, four numbers (step size in um, field in mm, cell steps, cells
// a row: informative, the library does not use them), one "dx,dy" line per entry; CR LF lines.
std::string grid_file_text(const GridOffsets& grid, double step_um, double field_mm);

// Replaces the grid file at path; returns the backup's path (empty when there was no old file).
// CalibrationError, with nothing changed, when it cannot.
std::string write_grid_file(const std::string& path, const GridOffsets& grid, double step_um, double field_mm);

}  // namespace korvex::calibration
