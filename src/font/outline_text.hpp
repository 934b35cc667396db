// Outline-font text: a character of a system face is fetched from the platform's TextPath as a
// flattened path at 2000 points, scaled to the character height and stretched to its width, and
// marked as closed figures; with the cell's fill bit its inside is hatched first (Outline_fill turns
// the path into the hatcher's edge list).
#pragma once

#include <cstdint>
#include <string>

#include "state/state.hpp"

namespace korvex {

// curCell.Mode bit that, with the fill bit, marks filled characters without their outline.
inline constexpr int32_t kCellModeFillOnly = 0x80;

// Glyph_measure mode 1: measures character `ch` of face `face` at W x H mm, in scanner steps.
void Glyph_measure_outline(State& s, const std::string& ch, float W, float H, const std::string& face);

// Marks character `ch` of face `face` with its origin at (X, Y) mm, W x H mm, rotation matrix
// (m11, m21, m12, m22), offset (ox, oy) mm; bits 0x10/0x20/0x40/0x80 of curCell.Mode choose fill,
// italic, bold and fill-without-outline.
void Glyph_mark_outline(State& s, const std::string& ch, const std::string& face, float X, float Y, float W, float H,
                        float m11, float m21, float m12, float m22, float ox, float oy);

// Builds the edge list from path points 0..last scaled by s_scale and hatches it; True when hatch
// segments were produced. Nothing when curCell.Mode lacks the fill bit.
vbool Outline_fill(State& s, int32_t last, float s_scale);

}  // namespace korvex
