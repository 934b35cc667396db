// Calibration download: the correction grid of one scan head, loaded from its grid file, sent to
// the controller on the serial control selected last as 2048 pages of 128 entries.
#pragma once

#include <cstdint>

#include "core/system_texts.hpp"
#include "state/state.hpp"

namespace korvex {

inline constexpr int32_t kCalPages = 2048;

// Fills bytCalPage with page p (1..2048): entries (p-1)*128 .. p*128-1 as DX, DY, 16-bit each,
// low byte first. Bytes 512..527 stay 0.
void Cal_page_build(State& s, int32_t p);

// The member's operation: True (-1) when the controller confirmed all 2048 pages, else False (0)
// after a message. With no serial control ever selected, a fault.
int16_t Send_cal_data(State& s, int32_t lnghead);

}  // namespace korvex
