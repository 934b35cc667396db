// Stroke font files and glyphs: a glyph is read from its file's 3-byte offset table into the glyph
// buffer as a normalised command list (pen up/down and signed-byte displacements), measured as the
// box the pen travels, and marked through the scanner scaled, rotated and placed. Contour font files
// named directly by a template are measured here too (never marked).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "font/font_file_cache.hpp"
#include "state/state.hpp"

namespace korvex {

using GlyphBuffer = Table<uint8_t, kGlyphBufferBytes>;

// Fills bytGlyph with glyph (row, cell) of the stroke font file `path` (glyph number
// (row - rowBegin) x 94 + cell - 1). A command list over 4092 bytes is an index fault.
void Glyph_read_strokes(State& s, int32_t row, int32_t cell, const std::string& path, int16_t cols, int16_t rows,
                        int16_t rowBegin);

// The glyph number of GB2312 (row, cell) in a file whose first row is rowBegin (negative: none).
int64_t Glyph_number(int32_t row, int32_t cell, int16_t rowBegin);

// The reading itself, on a stroke font file held in memory (the font compiler and fuzzers use it
// directly): glyph `glyph_number` of `file` into `glyph` as type 1 with the given design size.
// Bytes past the end of the file read as 0 (no glyph, end of glyph).
void Glyph_read_strokes_from(std::span<const uint8_t> file, int64_t glyph_number, int16_t cols, int16_t rows,
                             GlyphBuffer& glyph);

// Whether the command list in `glyph` is empty (the font had no glyph for the character).
bool Stroke_glyph_empty(const GlyphBuffer& glyph);
// Whether the glyph in `glyph` moves with the pen down, so that marking it leaves a line.
bool Stroke_glyph_draws(const GlyphBuffer& glyph);

// What is wrong with a stroke font file, or "" when nothing is: an empty file, an offset entry that
// points past the end of the file or into the offset table, a glyph whose shape bytes run past the
// end or whose command list does not fit the glyph buffer, no glyph at all. The offset table ends
// where the first glyph's shape bytes begin.
std::string Stroke_font_problem(std::span<const uint8_t> file);

// The stroke font file at `path`, checked with Stroke_font_problem once each time it is read from
// disk: a damaged file is a file fault naming it and what is wrong.
std::shared_ptr<const FontFileBytes> Stroke_font_file(const std::string& path);

// Box of one glyph in its own units; min_x, min_y never above 0 for stroke glyphs.
struct GlyphBox {
    double width = 0.0;
    double height = 0.0;
    float min_x = 0.0f;
    float min_y = 0.0f;
};
// The box the pen travels through the command list of `glyph` (pen-up moves count once a pen
// command has been seen), before the zero-width/height rule.
GlyphBox Stroke_glyph_box(const GlyphBuffer& glyph);

// Measures into dblTextWidth, dblTextHeight, curCell.TextMinX/TextMinY: mode 0 the stroke glyph in
// bytGlyph, -1 character `ch` of the contour font file `face`, 1 character `ch` of the system
// outline face `face` at width x height mm. A zero width or height becomes 1.0.
void Glyph_measure(State& s, int32_t mode, const std::string& ch, float width, float height, const std::string& face);

// Marks the stroke glyph in bytGlyph at (x, y) mm, sx/sy steps per font unit, rotation matrix
// (m11, m21, m12, m22), offset (ox, oy) mm. Ends with the laser off.
void Glyph_mark_strokes(State& s, float x, float y, float sx, float sy, float m11, float m21, float m12, float m22,
                        float ox, float oy);

}  // namespace korvex
