// Fonts and text state: the font catalogue and its folder, the glyph buffer of the character being
// drawn, the measured box and per-character layout of the text being marked, the flattened path of
// an outline-font character, and the edge, contour and hatch lists of outline filling.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/numeric.hpp"
#include "korvex/text_path.hpp"
#include "state/table.hpp"

namespace korvex {

// One row of the font catalogue: a template's display key, its file in the font folder, and what
// the glyph reader needs to know of that file.
struct FontCatalogueRow {
    std::string Key;
    std::string File;
    int16_t Kind = 0;      // 2: double-byte (GB2312 row/cell) stroke font; 8: single-byte stroke font
    int16_t Rows = 0;      // design height, font units
    int16_t Cols = 0;      // design width, font units
    int16_t RowBegin = 0;  // first GB2312 row a double-byte file holds
    int16_t Extra1 = 0;    // carried, not read
    int32_t Extra2 = 0;    // carried, not read
};

// Font record kinds (FontRecord::Kind) besides the catalogue's 2 and 8.
inline constexpr int16_t kFontKindOutline = 0;    // a system outline face named by the record's Name
inline constexpr int16_t kFontKindContour = -1;   // a contour font file named directly; measured, not marked
inline constexpr int16_t kFontKindDoubleByte = 2;
inline constexpr int16_t kFontKindSingleByte = 8;

// Glyph types in bytGlyph[0].
inline constexpr uint8_t kGlyphStroke = 1;
inline constexpr uint8_t kGlyphOutline = 2;
inline constexpr uint8_t kGlyphContour = 4;

inline constexpr int kFontCatalogueRows = 60;
inline constexpr int kGlyphBufferBytes = 4097;   // bytGlyph 0-4096; the command list starts at 5
inline constexpr int kGlyphCommandStart = 5;
inline constexpr int kGlyphCommandMax = 4092;    // command bytes that fit from index 5 on
inline constexpr int kPathPoints = 4097;         // flattened outline points of one character
inline constexpr int kEdgeListSize = 30001;      // recEdge 0-30000
inline constexpr int kContourListSize = 10001;   // lngContourEnd 0-10000
inline constexpr int kHatchListSize = 30001;     // recHatch 0-30000

// Characters noted in FontGroup::unmarkedChars, at most this many.
inline constexpr std::size_t kUnmarkedCharsKept = 64;

// A character of a text that could not be marked as given: its bytes as given (UTF-8, or a stray
// byte) and what became of it.
struct UnmarkedChar {
    std::string text;
    std::string why;
};

// A segment of the edge and hatch lists, in scanner steps.
struct SegRec {
    int32_t x0 = 0;
    int32_t y0 = 0;
    int32_t x1 = 0;
    int32_t y1 = 0;
};

struct FontGroup {
    std::string strFontPath;  // library folder + "font/"
    Table<FontCatalogueRow, kFontCatalogueRows> FontCatalogue;

    Table<uint8_t, kGlyphBufferBytes> bytGlyph;

    // Box of the last measured glyph, then of the whole text (Text_measure).
    double dblTextWidth = 0.0;
    double dblTextHeight = 0.0;

    // Per-character layout of the text being marked; element i - 1 holds character i (1-based).
    std::vector<float> sngCharWidth;
    std::vector<float> sngCharHeight;
    std::vector<float> sngCharScaleX;
    std::vector<float> sngCharScaleY;
    float sngArcAngle = 0.0f;  // degrees of arc taken up so far
    // Characters of the texts measured since whoever reads this last cleared it that were not
    // marked as given (the layout marks the others and goes on); the tools report them.
    std::vector<UnmarkedChar> unmarkedChars;

    // The flattened path of the last outline-font character (points and their types), and its
    // text extent (device units; the renderer reports the advance cx only).
    Table<TextPathPoint, kPathPoints> ptPath;
    int32_t szTextCx = 0;
    int32_t szTextCy = 0;
    // The italic setting the outline renderer keeps from the last character marked; measuring
    // renders with it unchanged.
    vbool picTextItalic = kFalse;
};

struct FillGroup {
    Table<SegRec, kEdgeListSize> recEdge;
    Table<int32_t, kContourListSize> lngContourEnd;
    Table<SegRec, kHatchListSize> recHatch;
    int32_t lngHatchCount = 0;
    int32_t lngCrossX = 0;  // the point the last Scan_cross found
    int32_t lngCrossY = 0;
};

}  // namespace korvex
