// Where the plate lay when it was measured: the rotation and shift that carry the pattern's nominal
// node positions onto the measured ones best (least squares over every node). A scan cannot tell
// the field's own offset and turn from the plate's on the glass, so the measured field is taken
// relative to this placement: the correction keeps the field's centre and turn as marked and
// straightens everything else.
#pragma once

#include <vector>

#include "calibration/vec2.hpp"

namespace korvex::calibration {

struct Placement {
    double angle_rad = 0.0;   // counter-clockwise
    Vec2 shift;               // of the field centre, in the measurement's frame
    double scale = 1.0;       // the scale a free fit would have taken (measured pitch / nominal)
    double rms = 0.0;         // of the rigid fit's residuals
    double mirrored_rms = 0.0;  // of the best fit of the mirrored nominal positions

    Vec2 place(Vec2 nominal) const;    // nominal -> measurement frame
    Vec2 unplace(Vec2 measured) const; // measurement frame -> field frame
};

// Both lists in the same unit, y up; at least two pairs.
Placement fit_placement(const std::vector<Vec2>& nominal, const std::vector<Vec2>& measured);

}  // namespace korvex::calibration
