// Device initialization: bringing the machine up in direct mode (card, calibration grid, hardware
// defaults, gate closed, scanner centred, laser programmed) and resetting the motion state for a
// new job.
#pragma once

#include <cstdint>
#include <vector>

#include "core/system_texts.hpp"
#include "state/state.hpp"

namespace korvex {

// The public member's operation; returns 0. card = 1 selects the stand-alone controllers, which
// this build does not carry yet (an unavailable fault after the mode has been recorded). lnghead is
// not used; rs_n (the serial port list) only matters in stand-alone mode.
int16_t Marking_init_pci(State& s, int16_t out_data0, int16_t out_data1, int16_t card, int16_t LaserType,
                         int16_t lnghead, const std::vector<uint8_t>& rs_n, int16_t laser_sw);

// The motion state every job starts from: scanner at the centre on both channels (DA_zero),
// positions, axis position and the last corrected position zeroed.
void Motion_reset(State& s);

// Resets the scanner, axis position and abort for a new job: 1 in direct mode (intCardMode 0),
// 0 for a mode other than 0 and 1. Stand-alone mode faults as not available yet.
int16_t marking_start(State& s);

}  // namespace korvex
