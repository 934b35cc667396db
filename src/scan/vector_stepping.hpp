// Vector stepping: every drawing of direct mode reaches the scanner through Scan_vector, which moves
// the spot along a straight segment in millimetres, marking or jumping as the last Laser_switch
// left the laser, in equal integer steps paced to the configured speed, then lets it settle.
#pragma once

#include "state/state.hpp"

namespace korvex {

void Scan_vector(State& s, float x1, float y1, float x2, float y2);

}  // namespace korvex
