// Text layout: a text cell's characters are measured (each with its font chosen by its code in the
// code page: double-byte characters from FontWide, single-byte ones from FontNarrow), then placed
// straight and turned about the text's centre, stacked vertically, or along an arc, and marked one
// by one as stroke glyphs or outline-font characters.
#pragma once

#include "state/state.hpp"

namespace korvex {

// Measures curCell.Text with width/height scales sx, sy: per-character widths, heights and scales,
// the total width, the largest height and the smallest box corner.
void Text_measure(State& s, float sx, float sy);

// Marks curCell.Text at (x, y) mm with scales sx, sy (layout size over designed size).
void Text_mark(State& s, float x, float y, float sx, float sy);

}  // namespace korvex
