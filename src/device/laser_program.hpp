// Laser controller programming: power level, repetition frequency and pulse timing written as
// register/value pairs to the controller's port on the I/O card, in the form the laser type needs.
#pragma once

#include "state/state.hpp"

namespace korvex {

// Clamps power and frequency (writing the clamped values back) and programs the controller for
// intLaserType. Leaves the card on its resting page.
void Laser_program(State& s);

}  // namespace korvex
