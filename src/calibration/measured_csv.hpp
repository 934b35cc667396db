// Measured node coordinates from a camera or a measuring microscope, instead of a scan: a CSV of
// "node,x_mm,y_mm" rows (a header, an orientation row and "#" lines allowed), y up, in the
// instrument's own placement of the plate.
#pragma once

#include <string>
#include <vector>

#include "calibration/pattern.hpp"

namespace korvex::calibration {

// Every node of the pattern, by node number; CalibrationError names missing, repeated or unknown
// nodes and bad numbers with their line.
std::vector<Vec2> read_measured_csv(const std::string& path, const Pattern& pattern);

}  // namespace korvex::calibration
