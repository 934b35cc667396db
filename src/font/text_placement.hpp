// Where each character of a text cell goes: straight text turned about the block's centre, the
// characters stacked vertically and turned the same way, or text along a circular arc with each
// glyph's baseline tangent to the circle. Positions in millimetres, angles in degrees.
#pragma once

#include <cstdint>
#include <vector>

#include "state/state.hpp"

namespace korvex {

// Value of character b (1-based) in one of the per-character arrays; outside it is an index fault.
inline float Per_char(const std::vector<float>& values, int64_t b) {
    if (b < 1 || static_cast<uint64_t>(b) > values.size()) raise_fault(FaultKind::index, "character outside the measured text");
    return values[static_cast<std::size_t>(b - 1)];
}

struct CharPlacement {
    double x_mm = 0.0;
    double y_mm = 0.0;
    double angle_deg = 0.0;  // rotation of the glyph
};

// The straight text block as measured (all characters together), in millimetres.
struct TextBlock {
    double width_mm = 0.0;   // sum of character widths, gaps not included
    double height_mm = 0.0;  // largest character height
    double min_y_mm = 0.0;   // lowest point (never above 0)
};

// Straight text: character with its origin `advance_mm` along the unrotated baseline.
CharPlacement Straight_place(const CellRecord& cell, const TextBlock& block, float x, float y, double advance_mm);

// Vertical text: character b (1-based) of n, all spaced by the first character's height.
CharPlacement Vertical_place(const State& s, float x, float y, float sx, int64_t b, int64_t n);

// Arc text: character b (1-based); advances sngArcAngle past the character and the gap after it.
// A zero ArcDiameter becomes 10 (kept in curCell). A character or gap at least as wide as the
// diameter is a fault.
CharPlacement Arc_place(State& s, float x, float y, float sx, int64_t b);

}  // namespace korvex
