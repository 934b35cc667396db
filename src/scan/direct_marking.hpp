// Direct marking of the host's vector array md: polylines, points and the end value, marked at once
// through Scan_vector and Laser_switch.
#pragma once

#include <vector>

#include "state/state.hpp"

namespace korvex {

// Marks md in direct mode; returns 1 when the end value was reached.
int16_t Marking_data_direct(State& s, const std::vector<double>& md);

}  // namespace korvex
