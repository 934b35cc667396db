// Flattening a FreeType outline into closed contours on a stroke font's integer grid, and the
// GB2312 table of such glyphs.
#include "fontc/outline_source.hpp"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>

#include "core/code_page.hpp"
#include "core/numeric.hpp"
#include "core/regular_file.hpp"
#include "core/shown_input.hpp"

namespace korvex::fontc {

namespace {

constexpr int32_t kGbRowsCells = 94;
constexpr std::size_t kOutlineFontMaxBytes = std::size_t{256} << 20;  // CJK collections run to tens of MB
constexpr double kCurveTolerance = 0.2;  // font units a flattened curve may stray from the outline
// Characters whose ink, taken together, is centred in the em of any CJK face: the em is placed
// around their middle.
constexpr char32_t kEmReference[] = {U'国', U'田', U'口', U'永', U'中'};

struct Point {
    double x;
    double y;
};

// The code point of the one UTF-8 character `s` holds; 0 when it holds anything else.
char32_t single_code_point(const std::string& s) {
    if (s.empty() || Utf8_char_bytes(s) != s.size()) return 0;
    const auto b = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(s[i])); };
    switch (s.size()) {
        case 1: return b(0);
        case 2: return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
        case 3: return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
        default: return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
    }
}

// Distance of p from the segment a-b.
double segment_distance(Point p, Point a, Point b) {
    const double vx = b.x - a.x, vy = b.y - a.y;
    const double len2 = vx * vx + vy * vy;
    double t = len2 > 0 ? ((p.x - a.x) * vx + (p.y - a.y) * vy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * vx), p.y - (a.y + t * vy));
}

// Keeps the points of points[first..last] a polyline needs to stay within `tolerance` of them.
void simplify(const std::vector<Point>& points, std::size_t first, std::size_t last, double tolerance,
              std::vector<bool>& keep) {
    if (last <= first + 1) return;
    double worst = -1.0;
    std::size_t at = first;
    for (std::size_t i = first + 1; i < last; ++i) {
        const double d = segment_distance(points[i], points[first], points[last]);
        if (d > worst) {
            worst = d;
            at = i;
        }
    }
    if (worst <= tolerance) return;
    keep[at] = true;
    simplify(points, first, at, tolerance, keep);
    simplify(points, at, last, tolerance, keep);
}

// A closed contour (first point repeated at the end) on the integer grid: simplified, rounded, with
// repeated points and points in the middle of a straight run left out.
std::vector<GridPoint> grid_contour(const std::vector<Point>& contour, double tolerance) {
    std::vector<bool> keep(contour.size(), false);
    keep.front() = keep.back() = true;
    simplify(contour, 0, contour.size() - 1, tolerance, keep);
    std::vector<GridPoint> out;
    for (std::size_t i = 0; i < contour.size(); ++i) {
        if (!keep[i]) continue;
        const GridPoint p{to_i32(contour[i].x), to_i32(contour[i].y)};
        if (!out.empty() && out.back() == p) continue;
        if (out.size() >= 2) {
            const GridPoint a = out[out.size() - 2], b = out.back();
            const int64_t cross = int64_t{b.x - a.x} * (p.y - b.y) - int64_t{b.y - a.y} * (p.x - b.x);
            const int64_t dot = int64_t{b.x - a.x} * (p.x - b.x) + int64_t{b.y - a.y} * (p.y - b.y);
            if (cross == 0 && dot > 0) out.back() = p;  // b lies on the way from a to p
            else out.push_back(p);
        } else {
            out.push_back(p);
        }
    }
    if (out.size() < 3) return {};  // collapsed to a single point: nothing to draw
    return out;
}

// Collects the flattened contours of an outline, scaled to the design grid.
struct Flattener {
    double scale;
    double x_shift;
    double y_shift;
    std::vector<std::vector<Point>> contours;
    Point last{};

    Point to_grid(const FT_Vector* v) const { return {v->x * scale + x_shift, v->y * scale + y_shift}; }
    void line(Point p) {
        contours.back().push_back(p);
        last = p;
    }
    // Enough straight pieces that the curve with control polygon deviation `bend` stays in tolerance.
    static int pieces(double bend) { return std::clamp(static_cast<int>(std::ceil(std::sqrt(bend / kCurveTolerance))), 1, 64); }

    static int move_to(const FT_Vector* to, void* user) {
        auto* f = static_cast<Flattener*>(user);
        f->contours.emplace_back();
        f->line(f->to_grid(to));
        return 0;
    }
    static int line_to(const FT_Vector* to, void* user) {
        auto* f = static_cast<Flattener*>(user);
        f->line(f->to_grid(to));
        return 0;
    }
    static int conic_to(const FT_Vector* control, const FT_Vector* to, void* user) {
        auto* f = static_cast<Flattener*>(user);
        const Point p0 = f->last, p1 = f->to_grid(control), p2 = f->to_grid(to);
        const int n = pieces(std::hypot(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y) / 4);
        for (int i = 1; i <= n; ++i) {
            const double t = static_cast<double>(i) / n, u = 1 - t;
            f->line({u * u * p0.x + 2 * u * t * p1.x + t * t * p2.x, u * u * p0.y + 2 * u * t * p1.y + t * t * p2.y});
        }
        return 0;
    }
    static int cubic_to(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
        auto* f = static_cast<Flattener*>(user);
        const Point p0 = f->last, p1 = f->to_grid(c1), p2 = f->to_grid(c2), p3 = f->to_grid(to);
        const double bend = std::max(std::hypot(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y),
                                     std::hypot(p1.x - 2 * p2.x + p3.x, p1.y - 2 * p2.y + p3.y));
        const int n = pieces(bend * 3 / 4);
        for (int i = 1; i <= n; ++i) {
            const double t = static_cast<double>(i) / n, u = 1 - t;
            f->line({u * u * u * p0.x + 3 * u * u * t * p1.x + 3 * u * t * t * p2.x + t * t * t * p3.x,
                     u * u * u * p0.y + 3 * u * u * t * p1.y + 3 * u * t * t * p2.y + t * t * t * p3.y});
        }
        return 0;
    }
};

}  // namespace

char32_t Gb_row_cell_unicode(int32_t row, int32_t cell) {
    if (row < 1 || row > kGbRowsCells || cell < 1 || cell > kGbRowsCells) return 0;
    const char bytes[2] = {static_cast<char>(row + 0xA0), static_cast<char>(cell + 0xA0)};
    const char32_t c = single_code_point(Gbk_to_utf8(std::string_view(bytes, 2)));
    if (c < 0x80 || (c >= 0xE000 && c <= 0xF8FF)) return 0;  // undefined ("?") or a user-defined code
    return c;
}

struct OutlineFont::Impl {
    std::string file_bytes;  // the face reads from these while it lives
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    double scale = 1.0;    // font units of the design grid per font unit of the face
    double y_shift = 0.0;  // design units added to every y: puts the bottom of the em at 0

    // Loads the unscaled outline of character c; false when the face lacks it.
    bool load(char32_t c) const {
        const FT_UInt index = FT_Get_Char_Index(face, c);
        if (index == 0) return false;
        if (FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING) != 0) return false;
        return face->glyph->format == FT_GLYPH_FORMAT_OUTLINE;
    }
};

OutlineFont::OutlineFont(const std::string& file, const std::string& family, int32_t design_size)
    : impl_(std::make_unique<Impl>()) {
    // Read through the one opener of regular files, so a FIFO or a folder is refused, never waited on.
    impl_->file_bytes = Regular_file_read(file, kOutlineFontMaxBytes, "outline font file");
    if (FT_Init_FreeType(&impl_->library) != 0) raise_fault(FaultKind::device, "FreeType does not start");
    FT_Long faces = 1;
    for (FT_Long i = 0; i < faces; ++i) {
        FT_Face face = nullptr;
        if (FT_New_Memory_Face(impl_->library, reinterpret_cast<const FT_Byte*>(impl_->file_bytes.data()),
                               static_cast<FT_Long>(impl_->file_bytes.size()), i, &face) != 0) {
            if (i > 0) break;
            FT_Done_FreeType(impl_->library);
            raise_fault(FaultKind::file, "cannot open the outline font " + file);
        }
        faces = face->num_faces;
        if (family.empty() || (face->family_name && family == face->family_name)) {
            impl_->face = face;
            break;
        }
        FT_Done_Face(face);
    }
    if (!impl_->face) {
        FT_Done_FreeType(impl_->library);
        raise_fault(FaultKind::file, "no outline face '" + Shown_input(family) + "' in " + file);
    }
    const FT_Face face = impl_->face;
    impl_->scale = real_div(design_size, face->units_per_EM);
    double low = 0.0, high = 0.0;
    bool found = false;
    for (char32_t c : kEmReference) {
        if (!impl_->load(c)) continue;
        FT_BBox box;
        FT_Outline_Get_CBox(&face->glyph->outline, &box);
        low = found ? std::min(low, static_cast<double>(box.yMin)) : box.yMin;
        high = found ? std::max(high, static_cast<double>(box.yMax)) : box.yMax;
        found = true;
    }
    // Without reference characters the em's bottom is the face's descender.
    const double em_bottom = found ? (low + high) / 2 - face->units_per_EM / 2.0 : face->descender;
    impl_->y_shift = -em_bottom * impl_->scale;
}

OutlineFont::~OutlineFont() {
    FT_Done_Face(impl_->face);
    FT_Done_FreeType(impl_->library);
}

std::optional<StrokeGlyph> OutlineFont::glyph(char32_t c, double tolerance) const {
    if (!impl_->load(c)) return std::nullopt;
    Flattener f{impl_->scale, 0.0, impl_->y_shift, {}, {}};
    FT_Outline_Funcs funcs{};
    funcs.move_to = &Flattener::move_to;
    funcs.line_to = &Flattener::line_to;
    funcs.conic_to = &Flattener::conic_to;
    funcs.cubic_to = &Flattener::cubic_to;
    if (FT_Outline_Decompose(&impl_->face->glyph->outline, &funcs, &f) != 0) return std::nullopt;
    StrokeGlyph g;
    g.advance = to_i32(impl_->face->glyph->advance.x * impl_->scale);
    for (auto& contour : f.contours) {
        if (contour.size() < 2) continue;
        contour.push_back(contour.front());  // outlines are closed
        std::vector<GridPoint> points = grid_contour(contour, tolerance);
        if (!points.empty()) g.strokes.push_back(std::move(points));
    }
    return g;
}

std::optional<std::vector<uint8_t>> OutlineFont::glyph_bytes(char32_t c) const {
    for (double tolerance = 0.3; tolerance <= 8.0; tolerance *= 1.5) {
        const std::optional<StrokeGlyph> g = glyph(c, tolerance);
        if (!g) return std::nullopt;
        std::vector<uint8_t> bytes = Encode_glyph(*g);
        if (bytes.size() <= kMaxGlyphBytes) return bytes;
    }
    raise_fault(FaultKind::overflow, "glyph too complex for the glyph buffer");
}

std::vector<std::optional<std::vector<uint8_t>>> Compile_outline_font(const std::string& file, const std::string& family,
                                                                      int32_t design_size, int32_t row_begin) {
    if (row_begin < 1 || row_begin > kGbRowsCells) raise_fault(FaultKind::index, "first row outside 1 to 94");
    const OutlineFont font(file, family, design_size);
    std::vector<std::optional<std::vector<uint8_t>>> glyphs(static_cast<std::size_t>((kGbRowsCells + 1 - row_begin) * kGbRowsCells));
    for (int32_t row = row_begin; row <= kGbRowsCells; ++row)
        for (int32_t cell = 1; cell <= kGbRowsCells; ++cell)
            if (const char32_t c = Gb_row_cell_unicode(row, cell))
                glyphs[static_cast<std::size_t>((row - row_begin) * kGbRowsCells + cell - 1)] = font.glyph_bytes(c);
    return glyphs;
}

}  // namespace korvex::fontc
