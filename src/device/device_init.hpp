// Device initialization: bringing the machine up in direct mode (card, calibration grid, hardware
// defaults, gate closed, scanner centred, laser programmed) and resetting the motion state for a
// new job.
#pragma once

#include <cstdint>

#include "core/system_texts.hpp"
#include "state/state.hpp"

namespace korvex {

inline constexpr int16_t kDirectCardMode = 0;

// What every set-up starts with, direct or stand-alone: the clock's rate, the mode (card) and the
// laser type. The member then runs the mode's own set-up (Direct_init, or the link's Link_init).
void Marking_mode_record(State& s, int16_t card, int16_t LaserType);

// The direct-mode set-up after Marking_mode_record: card opened, grid loaded, hardware defaults,
// gate closed, scanner centred, laser programmed with the start values. Returns 0.
int16_t Direct_init(State& s, int16_t out_data0, int16_t out_data1, int16_t laser_sw);

// The scanner and axis records every job starts from: positions, axis position and the last
// corrected position zeroed (the scanner itself is not moved).
void Positions_reset(State& s);

// The motion state every job starts from: scanner at the centre on both channels (DA_zero),
// positions, axis position and the last corrected position zeroed.
void Motion_reset(State& s);

// marking_start in direct mode: the card must be open; scanner, axis position, drift reference and
// abort reset for a new job. Returns 1.
int16_t Direct_job_start(State& s);

}  // namespace korvex
