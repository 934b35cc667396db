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

// The coefficient model (no grid loaded) two ways with one result: by division, as its formulas
// read (faults included), and by multiplication with reciprocals made once for the hardware
// values in force. The second returns false, leaving x and y alone, wherever it cannot be sure of
// the first's result to the last bit; Grid_correct then takes the first.
void Coefficient_model_by_division(State& s, int32_t& x, int32_t& y);
bool Coefficient_model_by_products(State& s, int32_t& x, int32_t& y);

}  // namespace korvex
