// Hershey stroke fonts (.jhf files) as single-byte stroke fonts: each glyph line of such a file holds
// the character's left and right bounds and its pen strokes on a grid where capitals stand 21 units
// tall on a baseline at y = 9 (y grows downwards); the glyphs follow one another from code 32 on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fontc/stroke_font_writer.hpp"

namespace korvex::fontc {

struct HersheyGlyph {
    int32_t left = 0;   // left bound, Hershey units
    int32_t right = 0;  // right bound
    std::vector<std::vector<std::pair<int32_t, int32_t>>> strokes;  // (x, y), y down
};

// The glyphs of a .jhf file in file order (the first is code 32). A malformed line is a file fault.
std::vector<HersheyGlyph> Read_hershey(const std::string& path);

// The design size at which one Hershey unit is one font unit: capitals then fill 21 of its 24 units.
inline constexpr int32_t kHersheyDesignSize = 24;

// One glyph on a font grid of `design_size` units: scaled by design_size / 24, the baseline moved to
// y = 0 with y up, the left bound to x = 0 and the advance the glyph's width; with `fixed_pitch`
// every glyph is centred in an advance of the whole design size instead.
StrokeGlyph Hershey_glyph_strokes(const HersheyGlyph& glyph, int32_t design_size, bool fixed_pitch);

// A single-byte font (glyph number = character code, 256 index entries) from a .jhf file.
std::vector<std::optional<std::vector<uint8_t>>> Compile_hershey_font(const std::string& path, int32_t design_size,
                                                                      bool fixed_pitch);

}  // namespace korvex::fontc
