// The rotary axis stepper: direction and step outputs, limit inputs, and an optional linear ramp
// of the step period at the start and end of a move.
#pragma once

#include <cstdint>

#include "state/state.hpp"

namespace korvex {

// Moves the axis |steps| steps (negative: reverse), stopping at an active limit input. With `ramp`
// True and a ramp configured, the step period falls from lngAxisStartPeriod to the run period over
// the first steps and rises back over the last ones.
void Axis_step(State& s, int32_t steps, vbool ramp);

}  // namespace korvex
