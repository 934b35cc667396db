// Outline fill: the closed contours of the edge list are covered with vertical hatch lines
// FillSpace apart; the crossings of each scan line are paired by the even-odd rule and successive
// lines run in opposite directions, so the scanner zigzags through the fill.
#pragma once

#include <cstdint>

#include "state/state.hpp"

namespace korvex {

// Where the vertical segment `scan` meets `edge`: 0 no common point, 1 one crossing (left in
// lngCrossX/lngCrossY), 2 the edge lies on the scan line.
int32_t Scan_cross(State& s, const SegRec& scan, const SegRec& edge);

// Hatches the first `contours` contours of recEdge/lngContourEnd within the box; rebuilds recHatch
// and lngHatchCount. True when at least one hatch segment was produced.
vbool Hatch_fill(State& s, int32_t contours, int32_t maxX, int32_t maxY, int32_t minX, int32_t minY);

}  // namespace korvex
