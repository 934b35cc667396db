// Contour font files (a file in the font folder that a template names directly): a table of
// per-character offsets to glyphs made of closed contours of 32-bit points. Such characters are
// only measured, to space the text; every offset and count is checked against the file.
#pragma once

#include <cstdint>
#include <span>

#include "font/stroke_glyph.hpp"

namespace korvex {

// File offset of the character table's own offset.
inline constexpr int64_t kContourTableOffsetAt = 178;

// Box of the character with code-page code `code` (max - min of its points, min corner). A glyph
// without points has an all-zero box. Any read outside `file` is an eof fault.
GlyphBox Contour_glyph_box(std::span<const uint8_t> file, uint16_t code);

}  // namespace korvex
