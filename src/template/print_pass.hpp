// The ear-tag print pass: the host's bitmaps and numbers are copied into the tag tables, then the
// categorised cells of the chosen template are marked turn by turn, one turn per bar-code cell:
// the bar-code cell, the first- and second-number cells as text, then the plot cell.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/system_texts.hpp"
#include "state/state.hpp"

namespace korvex {

// The direct-mode reset before and after a pass: scanner to the field centre, positions and the
// abort flag cleared, pacing references at now.
void Begin_mark(State& s);

// Marks every categorised cell, turn g = 1 .. number of bar-code cells. Always True.
vbool Template_mark(State& s);

// e_PrintEarMark: copies the tag data (every index checked before anything is marked), sets
// `busy` around Template_mark (left set when the pass faults), resets before and after. Returns 0.
// arr_Size(0) is the entry count N (at most 101), arr_Size(t + 1) the bitmap bytes of entry t (at
// most 201), imageData the entries' bytes back to back, strNumber1/2 at least N numbers each; any
// shortfall is an index fault raised before the first entry is copied.
int16_t Print_ear_mark(State& s, const std::vector<uint8_t>& imageData, const std::vector<std::string>& strNumber1,
                       const std::vector<std::string>& strNumber2, const std::vector<uint8_t>& arr_Size, vbool& busy);

}  // namespace korvex
