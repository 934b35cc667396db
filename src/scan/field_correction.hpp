// Field correction: where a logical scanner position must really be sent so the spot lands where
// it should. With a calibration grid, a per-cell offset; without one, the distortion coefficients
// by field turn and the zone scale factors.
#pragma once

#include <cstdint>

#include "state/state.hpp"

namespace korvex {

// Text of the box shown when a corrected position leaves the D/A range (a box without a title).
inline constexpr const char* kCalibrationErrorText = "校准错误";

// Replaces (x, y), in D/A steps, by the corrected position.
void Grid_correct(State& s, int32_t& x, int32_t& y);

}  // namespace korvex
