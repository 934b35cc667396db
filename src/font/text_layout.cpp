// Text layout. Each character's font follows from its code in code page 936: a double-byte code
// (negative as a signed 16-bit value) takes FontWide and its GB2312 row and cell, a single-byte code
// takes FontNarrow; size and spacing always come from FontWide. Stroke glyphs are scaled from font
// units to scanner steps, contour-file characters are fitted to the font height and only spaced,
// outline-font characters go to the outline branch.
#include "font/text_layout.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string_view>

#include "core/code_page.hpp"
#include "font/outline_text.hpp"
#include "font/stroke_glyph.hpp"
#include "font/text_placement.hpp"

namespace korvex {

namespace {

constexpr int32_t kGbRowOffset = 160;  // GB2312 row/cell = byte - 160

// The font and glyph position of one character.
struct CharFont {
    const FontRecord* font = nullptr;
    int32_t row = 0;
    int32_t cell = 0;
    int16_t row_base = 0;
};

CharFont Char_font(const CellRecord& cell, std::string_view ch) {
    const auto c = static_cast<int16_t>(Code_page_code(ch));
    if (c > 0) return {&cell.FontNarrow, 1, c < 255 ? c + 1 : 0, 1};  // glyph number = the code
    const int32_t u = c + 65536;
    const int32_t row = u / 256 - kGbRowOffset;
    return {&cell.FontWide, row, u - (row + kGbRowOffset) * 256 - kGbRowOffset, cell.FontWide.RowBegin};
}

// Loads the character's glyph (type 1) or notes its type (2 outline face, 4 contour file) in
// bytGlyph[0]; returns the font file path, or the face name of an outline font.
const std::string& Char_load(State& s, const CharFont& cf) {
    const FontRecord& f = *cf.font;
    switch (f.Kind) {
        case kFontKindDoubleByte:
        case kFontKindSingleByte:
            Glyph_read_strokes(s, cf.row, cf.cell, f.File, f.Cols, f.Rows, cf.row_base);
            return f.File;
        case kFontKindOutline:
            s.font.bytGlyph.at(0) = kGlyphOutline;
            return f.Name;
        case kFontKindContour:
            s.font.bytGlyph.at(0) = kGlyphContour;
            return f.File;
        default:
            raise_fault(FaultKind::type, "font \"" + f.Name + "\" has no font kind " + std::to_string(f.Kind));
    }
}

// Notes a character that the text cannot show as given: one the code page lacks or that is no
// UTF-8 (the code page's "?" stands in), or one the stroke font just loaded has no glyph for.
void Unmarked_note(FontGroup& f, const std::string& ch, const std::string& font_file) {
    std::string why;
    if (Code_page_code(ch) == '?' && ch != "?")
        why = ch.size() == 1 ? "not UTF-8, marked as ?" : "not in code page 936, marked as ?";
    else if (f.bytGlyph.at(0) == kGlyphStroke && Stroke_glyph_empty(f.bytGlyph))
        why = "no glyph in " + font_file + ", not marked";
    if (!why.empty() && f.unmarkedChars.size() < kUnmarkedCharsKept) f.unmarkedChars.push_back({ch, why});
}

int64_t Char_count(std::string_view text) {
    int64_t n = 0;
    for (; !text.empty(); text.remove_prefix(Utf8_char_bytes(text))) ++n;
    return n;
}

// Calls each(b, ch) for character b (1-based) of `text`, ch its UTF-8 bytes.
template <class Each>
void Chars_walk(std::string_view text, Each&& each) {
    for (int64_t b = 1; !text.empty(); ++b) {
        const std::size_t len = Utf8_char_bytes(text);
        each(b, text.substr(0, len));
        text.remove_prefix(len);
    }
}

}  // namespace

void Text_measure(State& s, float sx, float sy) {
    CellRecord& cell = s.tmpl.curCell;
    FontGroup& f = s.font;
    const double steps_per_mm = s.hw.sngStepsPerMm;
    const double W = cell.FontWide.Width, H = cell.FontWide.Height;
    const auto n = static_cast<std::size_t>(Char_count(cell.Text));
    f.sngCharWidth.assign(n, 0.0f);
    f.sngCharHeight.assign(n, 0.0f);
    f.sngCharScaleX.assign(n, 0.0f);
    f.sngCharScaleY.assign(n, 0.0f);
    float total = 0.0f, top = 0.0f, left = 0.0f, bottom = 0.0f;
    Chars_walk(cell.Text, [&](int64_t b, std::string_view ch_view) {
        const std::string ch(ch_view);
        const std::string& path = Char_load(s, Char_font(cell, ch));
        Unmarked_note(f, ch, path);
        float kx = 1.0f, ky = 1.0f;
        switch (f.bytGlyph.at(0)) {
            case kGlyphStroke:
                Glyph_measure(s, 0, ch, 0.0f, 0.0f, path);
                kx = to_single(real_div(W * sx, real_div(f.bytGlyph.at(1), steps_per_mm)));
                ky = to_single(real_div(H * sy, real_div(f.bytGlyph.at(2), steps_per_mm)));
                break;
            case kGlyphOutline:
                Glyph_measure(s, 1, ch, to_single(W * sx), to_single(H * sy), path);
                break;
            default:  // contour file: the height fitted to the font height, the width in proportion
                Glyph_measure(s, -1, ch, cell.FontWide.Width, cell.FontWide.Height, path);
                kx = ky = to_single(real_div(H * sy, real_div(f.dblTextHeight, steps_per_mm)));
                break;
        }
        if (f.bytGlyph.at(0) != kGlyphOutline) {
            f.dblTextWidth *= kx;
            cell.TextMinX = to_single(cell.TextMinX * static_cast<double>(kx));
            f.dblTextHeight *= ky;
            cell.TextMinY = to_single(cell.TextMinY * static_cast<double>(ky));
        }
        const auto i = static_cast<std::size_t>(b - 1);
        f.sngCharScaleX[i] = kx;
        f.sngCharScaleY[i] = ky;
        f.sngCharWidth[i] = to_single(f.dblTextWidth);
        f.sngCharHeight[i] = to_single(f.dblTextHeight);
        total = to_single(total + f.dblTextWidth);
        top = std::max(top, to_single(f.dblTextHeight));
        left = std::min(left, cell.TextMinX);
        bottom = std::min(bottom, cell.TextMinY);
    });
    f.dblTextWidth = total;
    f.dblTextHeight = top;
    cell.TextMinX = left;
    cell.TextMinY = bottom;
}

void Text_mark(State& s, float x, float y, float sx, float sy) {
    Text_measure(s, sx, sy);
    CellRecord& cell = s.tmpl.curCell;
    FontGroup& f = s.font;
    const double steps_per_mm = s.hw.sngStepsPerMm;
    const TextBlock block{real_div(f.dblTextWidth, steps_per_mm), real_div(f.dblTextHeight, steps_per_mm),
                          real_div(cell.TextMinY, steps_per_mm)};
    const int64_t n = static_cast<int64_t>(f.sngCharWidth.size());
    f.sngArcAngle = 0.0f;
    float advance_mm = 0.0f;
    Chars_walk(cell.Text, [&](int64_t b, std::string_view ch_view) {
        const std::string ch(ch_view);
        const std::string& path = Char_load(s, Char_font(cell, ch));
        CharPlacement p;
        if (cell.Mode & kCellModeArc)
            p = Arc_place(s, x, y, sx, b);
        else if (cell.Mode & kCellModeVertical)
            p = Vertical_place(s, x, y, sx, b, n);
        else
            p = Straight_place(cell, block, x, y, advance_mm);
        const double rad = p.angle_deg * std::numbers::pi / 180.0;
        const float c = to_single(std::cos(rad)), sn = to_single(std::sin(rad));
        const float X = to_single(p.x_mm), Y = to_single(p.y_mm);
        switch (f.bytGlyph.at(0)) {
            case kGlyphStroke:
                Glyph_mark_strokes(s, X, Y, Per_char(f.sngCharScaleX, b), Per_char(f.sngCharScaleY, b), c, sn, -sn, c, 0.0f, 0.0f);
                break;
            case kGlyphOutline:
                Glyph_mark_outline(s, ch, path, X, Y, to_single(cell.FontWide.Width * static_cast<double>(sx)),
                                   to_single(cell.FontWide.Height * static_cast<double>(sy)), c, sn, -sn, c, 0.0f, 0.0f);
                break;
            default:  // a contour-file character is measured, never marked
                break;
        }
        advance_mm = to_single(advance_mm + real_div(Per_char(f.sngCharWidth, b), steps_per_mm) +
                               static_cast<double>(cell.FontWide.Space) * sx);
    });
}

}  // namespace korvex
