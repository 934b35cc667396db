// Hardware defaults: the values the hardware record and its companion fields start from, and the
// direction table that maps a logical scanner move onto a D/A channel and sign per field orientation.
#pragma once

#include <cstdint>

#include "state/state.hpp"

namespace korvex {

// Hardware_defaults modes.
inline constexpr int32_t kHardwareDefaults = -1;
inline constexpr int32_t kHardwareDirectionTable = 0;

// -1: record defaults (fields that have one), zone row 0, output shadows, gate enable, standby state,
// pacing times and corrected position. 0: the direction table and the pacing times. Others: nothing.
void Hardware_defaults(State& s, int32_t mode);

}  // namespace korvex
