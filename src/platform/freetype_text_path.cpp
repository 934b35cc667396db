// The default outline-font renderer on FreeType and fontconfig. A face is looked up once per
// (name, bold, italic) and kept open; bold and italic come from the face fontconfig picks when the
// family has them, else from emboldening and a 12-degree slant of the regular upright outline.
#include "platform/freetype_text_path.hpp"

#include <fontconfig/fontconfig.h>
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include "core/numeric.hpp"
#include "platform/path_flattening.hpp"

namespace korvex {

namespace {

// The Unicode code point of the one UTF-8 character in `text`; 0 for an empty or broken text.
char32_t code_point(std::string_view text) {
    if (text.empty()) return 0;
    const auto b0 = static_cast<unsigned char>(text[0]);
    int extra = b0 < 0x80 ? 0 : (b0 & 0xE0) == 0xC0 ? 1 : (b0 & 0xF0) == 0xE0 ? 2 : (b0 & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || text.size() < static_cast<std::size_t>(extra) + 1) return 0;
    char32_t c = extra == 0 ? b0 : b0 & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        const auto b = static_cast<unsigned char>(text[static_cast<std::size_t>(i)]);
        if ((b & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b & 0x3F);
    }
    return c;
}

// Flattens FreeType's outline (font units, y up) into device units with y down from the cell top.
struct Decomposer {
    FlatPath& path;
    double scale;
    double top;
    double x(const FT_Vector* v) const { return static_cast<double>(v->x) * scale; }
    double y(const FT_Vector* v) const { return (top - static_cast<double>(v->y)) * scale; }

    static Decomposer& of(void* user) { return *static_cast<Decomposer*>(user); }
    static int move(const FT_Vector* to, void* user) {
        Decomposer& d = of(user);
        d.path.move_to(d.x(to), d.y(to));
        return 0;
    }
    static int line(const FT_Vector* to, void* user) {
        Decomposer& d = of(user);
        d.path.line_to(d.x(to), d.y(to));
        return 0;
    }
    static int conic(const FT_Vector* c, const FT_Vector* to, void* user) {
        Decomposer& d = of(user);
        d.path.conic_to(d.x(c), d.y(c), d.x(to), d.y(to));
        return 0;
    }
    static int cubic(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
        Decomposer& d = of(user);
        d.path.cubic_to(d.x(c1), d.y(c1), d.x(c2), d.y(c2), d.x(to), d.y(to));
        return 0;
    }
};

}  // namespace

FreeTypeTextPath::~FreeTypeTextPath() {
    for (auto& [key, f] : faces_) FT_Done_Face(f.ft_face);
    if (library_) FT_Done_FreeType(library_);
}

FreeTypeTextPath::Face& FreeTypeTextPath::face(std::string_view face_name, bool bold, bool italic) {
    if (auto it = faces_.find(FaceKeyView{face_name, bold, italic}); it != faces_.end()) return it->second;
    FaceKey key{std::string(face_name), bold, italic};

    if (!library_ && FT_Init_FreeType(&library_) != 0) {
        library_ = nullptr;
        raise_fault(FaultKind::device, "the outline font renderer could not start");
    }
    if (!FcInit()) raise_fault(FaultKind::device, "the font configuration could not be read");

    // The family by name (an unknown name gets fontconfig's substitute), upright or italic,
    // regular or bold.
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(std::get<0>(key).c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    FcChar8* file = nullptr;
    int index = 0;
    if (!match || FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) {
        if (match) FcPatternDestroy(match);
        raise_fault(FaultKind::device, "no outline font is installed");
    }
    FcPatternGetInteger(match, FC_INDEX, 0, &index);

    Face f;
    f.file = reinterpret_cast<const char*>(file);
    FcPatternDestroy(match);
    if (FT_New_Face(library_, f.file.c_str(), index & 0xFFFF, &f.ft_face) != 0) f.ft_face = nullptr;
    if (f.ft_face && !FT_IS_SCALABLE(f.ft_face)) {
        FT_Done_Face(f.ft_face);
        f.ft_face = nullptr;
    }
    if (!f.ft_face) raise_fault(FaultKind::device, "the outline font " + f.file + " cannot be read");

    // The cell's top: the face's Windows ascent where it has one, else its ascender.
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(f.ft_face, FT_SFNT_OS2));
    f.cell_top = os2 && os2->version != 0xFFFF && os2->usWinAscent > 0 ? os2->usWinAscent : f.ft_face->ascender;
    f.scale = kUnitsPerEm / f.ft_face->units_per_EM;
    // Styles the face lacks are made from its outline (fontconfig may have picked a regular or
    // upright face for want of a bold or italic one).
    const bool face_bold = os2 && os2->version != 0xFFFF ? os2->usWeightClass >= 600
                                                         : (f.ft_face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    if (bold && !face_bold) f.embolden = f.ft_face->units_per_EM / 24;
    f.oblique = italic && !(f.ft_face->style_flags & FT_STYLE_FLAG_ITALIC);
    return faces_.emplace(std::move(key), f).first->second;
}

std::string FreeTypeTextPath::face_file(std::string_view face_name, bool bold, bool italic) {
    return face(face_name, bold, italic).file;
}

int32_t FreeTypeTextPath::character_path(std::string_view face_name, bool bold, bool italic, std::string_view character,
                                         TextPathPoint* points, int32_t capacity, int32_t& advance) {
    advance = 0;
    Face& f = face(face_name, bold, italic);
    const char32_t c = code_point(character);
    if (c == 0) return 0;
    // A character the face lacks draws the face's missing-glyph shape (glyph 0).
    const FT_UInt glyph = FT_Get_Char_Index(f.ft_face, c);
    if (FT_Load_Glyph(f.ft_face, glyph, FT_LOAD_NO_SCALE) != 0 || f.ft_face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        return 0;
    FT_GlyphSlot slot = f.ft_face->glyph;
    FT_Pos advance_units = slot->metrics.horiAdvance;
    if (f.embolden > 0) {
        // Thicker strokes, the left side bearing kept, the advance grown by the extra width.
        FT_Outline_Embolden(&slot->outline, f.embolden);
        FT_Outline_Translate(&slot->outline, f.embolden / 2, 0);
        advance_units += f.embolden;
    }
    if (f.oblique) {
        const FT_Matrix slant{0x10000, 0x0366A, 0, 0x10000};  // x += 0.2126 y (12 degrees)
        FT_Outline_Transform(&slot->outline, &slant);
    }
    advance = static_cast<int32_t>(round_half_even(static_cast<double>(advance_units) * f.scale));

    const FT_Outline_Funcs funcs{&Decomposer::move, &Decomposer::line, &Decomposer::conic, &Decomposer::cubic, 0, 0};
    int32_t count = 0;
    for (double tolerance = kFlatteningTolerance; tolerance <= 16.0; tolerance *= 2.0) {
        FlatPath path(points, capacity, tolerance);
        Decomposer d{path, f.scale, f.cell_top};
        if (FT_Outline_Decompose(&slot->outline, &funcs, &d) != 0) return 0;
        count = path.finish();
        if (count <= capacity) break;
    }
    return count;
}

}  // namespace korvex
