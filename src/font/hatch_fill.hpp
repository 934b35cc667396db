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
// and lngHatchCount. True when at least one hatch segment was produced. Fewer than two edges (or
// no contour) give no hatch; more edges than recEdge holds, more contours than lngContourEnd
// holds, or more segments than recHatch holds are index faults.
vbool Hatch_fill(State& s, int32_t contours, int32_t maxX, int32_t maxY, int32_t minX, int32_t minY);

// The hatch line spacing in scanner steps: sngStepsPerMm x curCell.FillSpace rounded half to
// even, at least 1.
int32_t Hatch_spacing_steps(const State& s);

// An outline of `edges` edges does not fit the edge list: the index fault that ends the call,
// saying how many edges the outline has and how many the fill takes.
[[noreturn]] void Edge_list_overflow(int64_t edges);

// The number of edges the first `contours` contours span (contour i runs from the edge after the
// end of contour i - 1 to its own end); more than recEdge holds is an index fault.
int32_t Hatch_edge_total(const State& s, int32_t contours);

}  // namespace korvex
