// Bar-code dot matrices: a bar-code cell is marked as a square code of 16 x 16 modules from the
// 32-byte bitmap the host rendered for the tag: three nested border rectangles around the code
// area, then every dark module filled with concentric squares of laser lines.
#pragma once

#include <cstdint>

#include "state/state.hpp"

namespace korvex {

inline constexpr int kCodeModules = 16;     // modules per row and column
inline constexpr int kCodeBitmapBytes = 32; // bytes of a code bitmap that are used

// True when module (row, col) of bitmap entry `entry` is dark: row r in bytes 2r and 2r + 1, most
// significant bit first, row 0 at the top, column 0 at the left.
bool Module_dark(const State& s, int32_t entry, int row, int col);

// The last square index of a dark module (squares 0 to this are marked, none when it is negative):
// from the module width alone, floor(module / spacing / 2) with both divisions in Single
// arithmetic. A spacing of 0 is a division fault, a count beyond 32 bits an overflow fault, never
// an endless loop.
int32_t Module_last_square(float module_width_mm, float spacing_mm);

// Marks bar-code slot g (1-100) of category 0 from tagBitmap entry g - 1: code area from
// catValues (lower-left X0, Y0, width W, height H), line spacing curCell.FillSpace. The cell's pen
// must be selected. A FillSpace of 0 with a dark module is a division fault (the gate is closed).
void Bitmap_dots(State& s, int32_t g);

}  // namespace korvex
