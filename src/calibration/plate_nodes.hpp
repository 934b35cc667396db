// Numbering the dots of a scan as the pattern's nodes. From the dot nearest the middle the lattice
// is followed outward, each next node looked for where its neighbours put it (so the field's own
// distortion, a few percent of the pitch from node to node, never loses the way); the orientation
// mark, the one dot off the lattice, then says which node is which and whether the plate lies
// the right way round. Everything that makes the numbering doubtful is a refusal that says what:
// nothing found, a wrong resolution, nodes missing or ambiguous (which ones), the mark missing or
// ambiguous, the plate turned or mirrored, dots beyond the lattice.
#pragma once

#include <vector>

#include "calibration/pattern.hpp"
#include "calibration/scan_marks.hpp"

namespace korvex::calibration {

struct PlateNodes {
    std::vector<Vec2> image_px;  // centre of every node's dot, by node number
    Vec2 orientation_px;         // centre of the orientation mark
    double pitch_px = 0.0;       // typical distance of neighbouring dots
};

// CalibrationError for every refusal.
PlateNodes number_nodes(const ScanMarks& marks, const Pattern& pattern, double dpi);

}  // namespace korvex::calibration
