// Writing stroke font files: a glyph given as pen-down polylines on the font's integer grid becomes
// shape bytes (pen up, pen down and signed-byte displacements, ending with 0), and the glyphs of a
// font become one file behind its table of 3-byte offsets indexed by glyph number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvex::fontc {

struct GridPoint {
    int32_t x = 0;  // font units, y up, baseline (or bottom of the em) at 0
    int32_t y = 0;
    bool operator==(const GridPoint&) const = default;
};

// One glyph: the polylines the pen draws, in order, and the advance the pen steps on to afterwards.
struct StrokeGlyph {
    std::vector<std::vector<GridPoint>> strokes;
    int32_t advance = 0;
};

// The longest command list a glyph may have: the marker's glyph buffer holds no more.
inline constexpr std::size_t kMaxGlyphBytes = 4092;

// Shape bytes of `glyph`: a pen-up move to each stroke's start, pen down, the stroke's moves, pen up,
// and finally a pen-up move to (advance, 0), then 0. Moves longer than a signed byte are split; runs
// of three or more moves go out as one displacement list (9). Repeated points are dropped.
std::vector<uint8_t> Encode_glyph(const StrokeGlyph& glyph);

// The whole file: `glyphs[n]` is glyph number n (empty: no glyph, index entry 0).
std::vector<uint8_t> Assemble_font(const std::vector<std::optional<std::vector<uint8_t>>>& glyphs);

// Writes `bytes` to `path` (an OutputFile: a new file renamed into place). A failure is a file fault.
void Write_file(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace korvex::fontc
