// Outline fonts (TrueType or OpenType, through FreeType) as double-byte stroke fonts: every GB2312
// character's outline is flattened into closed contours on the font's grid, the em square filling
// the design size with its bottom at y = 0, so a laser draws each character's outline.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fontc/stroke_font_writer.hpp"

namespace korvex::fontc {

// The Unicode character of GB2312 row and cell (1 to 94 each), through the machine's code page;
// 0 when the code page has no character (or only a user-defined one) there.
char32_t Gb_row_cell_unicode(int32_t row, int32_t cell);

class OutlineFont {
public:
    // Opens the face of `file` whose family name is `family` (the first face when empty). A missing
    // file or face is a file fault.
    OutlineFont(const std::string& file, const std::string& family, int32_t design_size);
    ~OutlineFont();
    OutlineFont(const OutlineFont&) = delete;
    OutlineFont& operator=(const OutlineFont&) = delete;

    // The glyph of character `c` as closed contours on the design grid, each contour as simple as
    // `tolerance` font units allow; nothing when the font lacks the character.
    std::optional<StrokeGlyph> glyph(char32_t c, double tolerance) const;
    // Its shape bytes, simplified further where needed until they fit the marker's glyph buffer.
    std::optional<std::vector<uint8_t>> glyph_bytes(char32_t c) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A double-byte font (glyph number (row - row_begin) x 94 + cell - 1, rows row_begin to 94) from the
// outline font `file`, face `family`.
std::vector<std::optional<std::vector<uint8_t>>> Compile_outline_font(const std::string& file, const std::string& family,
                                                                      int32_t design_size, int32_t row_begin);

}  // namespace korvex::fontc
