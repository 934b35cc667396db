// Point output: a corrected position goes to the scanner as a difference to the last one, mapped
// onto the two D/A channels by the field turn, either at once (Point_out) or paced per axis
// (Point_step, which also turns x into rotary axis steps for rotary marking).
#pragma once

#include <cstdint>

#include "state/state.hpp"

namespace korvex {

inline constexpr int16_t kDirectionRefresh = 2;  // DA_step direction that only refreshes (D/A mode 2)
inline constexpr int32_t kDaModeDrift = 2;       // lngDaMode value with drift compensation

// Moves logical axis 0 (X) or 1 (Y) by count steps in direction 0 (+) or 1 (-).
void DA_step(State& s, int16_t axis, int16_t direction, int32_t count);
void Point_out(State& s, int32_t x, int32_t y);
void Point_step(State& s, int32_t x, int32_t y, float period_us);

}  // namespace korvex
