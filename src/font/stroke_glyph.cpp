// Stroke glyphs: the shape bytes of a glyph are normalised into the glyph buffer's command list
// (pen down, pen up, displacements), so measuring and marking only ever see four commands. Packed
// vector bytes carry a length (high nibble) and one of 16 directions (low nibble).
#include "font/stroke_glyph.hpp"

#include <algorithm>

#include "core/code_page.hpp"
#include "device/laser_signals.hpp"
#include "font/contour_glyph.hpp"
#include "font/font_file_cache.hpp"
#include "font/outline_text.hpp"
#include "scan/vector_stepping.hpp"

namespace korvex {

namespace {

// Command bytes of the glyph buffer.
constexpr uint8_t kCmdEnd = 0;
constexpr uint8_t kCmdPenDown = 1;
constexpr uint8_t kCmdPenUp = 2;
constexpr uint8_t kCmdMove = 8;
constexpr uint8_t kCmdMoves = 9;
// Shape bytes that draw nothing: 3, 4 and 7 carry one operand, 12 three, 5 and 6 none.
constexpr uint8_t kShapeSkip1a = 3, kShapeSkip1b = 4, kShapeSkip1c = 7;
constexpr uint8_t kShapeNop1 = 5, kShapeNop2 = 6;
constexpr uint8_t kShapeSkip3 = 12;

// x component of a unit step in each of the 16 directions (0 = +x, 4 = +y, 8 = -x, 12 = -y); the y
// component of direction d is the x component of direction d + 12.
constexpr float kDirectionX[16] = {1, 1, 1, 0.5f, 0, -0.5f, -1, -1, -1, -1, -1, -0.5f, 0, 0.5f, 1, 1};

inline int32_t Signed(uint8_t b) { return static_cast<int8_t>(b); }
inline uint8_t Byte_of(int32_t v) { return static_cast<uint8_t>(static_cast<int8_t>(v)); }

// The file's bytes from one position on; past the end every byte is 0.
class ShapeReader {
public:
    ShapeReader(std::span<const uint8_t> file, int64_t pos) : file_(file), pos_(pos) {}
    uint8_t next() {
        const int64_t p = pos_++;
        if (p >= 0 && static_cast<uint64_t>(p) < file_.size()) return file_[static_cast<std::size_t>(p)];
        past_end_ = true;
        return 0;
    }
    // Whether a byte beyond the file was read.
    bool past_end() const { return past_end_; }

private:
    std::span<const uint8_t> file_;
    int64_t pos_;
    bool past_end_ = false;
};

// Appends to the command list; the 4093rd byte is a fault, never a write past the buffer.
class CommandWriter {
public:
    explicit CommandWriter(GlyphBuffer& glyph) : glyph_(glyph) {}
    void put(uint8_t b) {
        if (count_ >= kGlyphCommandMax) raise_fault(FaultKind::index, "glyph command list longer than 4092 bytes");
        glyph_.at(kGlyphCommandStart + count_++) = b;
    }
    void finish() {
        glyph_.at(3) = static_cast<uint8_t>(count_ & 0xFF);
        glyph_.at(4) = static_cast<uint8_t>(count_ >> 8);
    }

private:
    GlyphBuffer& glyph_;
    int32_t count_ = 0;
};

// A packed vector byte: length b div 16 in direction b mod 16, halves rounded to even.
void Put_vector(CommandWriter& out, uint8_t b) {
    const int d = b % 16;
    const float length = static_cast<float>(b / 16);
    out.put(kCmdMove);
    out.put(Byte_of(static_cast<int32_t>(round_half_even(length * kDirectionX[d]))));
    out.put(Byte_of(static_cast<int32_t>(round_half_even(length * kDirectionX[(d + 12) % 16]))));
}

void Shape_bytes_convert(ShapeReader& in, CommandWriter& out) {
    for (;;) {
        const uint8_t b = in.next();
        switch (b) {
            case kCmdEnd:
                out.put(kCmdEnd);
                return;
            case kCmdPenDown:
            case kCmdPenUp:
                out.put(b);
                break;
            case kCmdMove:
                out.put(kCmdMove);
                out.put(in.next());
                out.put(in.next());
                break;
            case kCmdMoves:
                out.put(kCmdMoves);
                for (;;) {
                    const uint8_t dx = in.next(), dy = in.next();
                    out.put(dx);
                    out.put(dy);
                    if (dx == 0 && dy == 0) break;
                }
                break;
            case kShapeSkip1a:
            case kShapeSkip1b:
            case kShapeSkip1c:
                in.next();
                break;
            case kShapeNop1:
            case kShapeNop2:
                break;
            case kShapeSkip3:
                in.next();
                in.next();
                in.next();
                break;
            default:
                Put_vector(out, b);
                break;
        }
    }
}

// Walks the command list of `glyph`, calling pen(bool down) for pen commands and move(dx, dy) for
// every displacement, until the end command.
template <class Pen, class Move>
void Commands_walk(const GlyphBuffer& glyph, Pen&& pen, Move&& move) {
    int64_t i = kGlyphCommandStart;
    for (;;) {
        const uint8_t c = glyph.at(i++);
        if (c == kCmdEnd) return;
        if (c == kCmdPenDown || c == kCmdPenUp) {
            pen(c == kCmdPenDown);
        } else if (c == kCmdMove) {
            const int32_t dx = Signed(glyph.at(i)), dy = Signed(glyph.at(i + 1));
            i += 2;
            move(dx, dy);
        } else if (c == kCmdMoves) {
            for (;;) {
                const int32_t dx = Signed(glyph.at(i)), dy = Signed(glyph.at(i + 1));
                i += 2;
                if (dx == 0 && dy == 0) break;
                move(dx, dy);
            }
        }
    }
}

// The scanner still stands where the previous character ended. A glyph that starts with the pen
// down would otherwise open the gate there and mark its first stroke from there: before the first
// gate opening of a glyph the scanner goes to the glyph's origin dark (the laser off first, should
// it still be on).
void Origin_approach(State& s, float x_mm, float y_mm) {
    const double k = s.hw.sngStepsPerMm;
    if (s.sig.blnLaserOn != 0) Laser_switch(s, kFalse);
    Scan_vector(s, to_single(real_div(s.scan.lngPosX, k)), to_single(real_div(s.scan.lngPosY, k)), x_mm, y_mm);
}

}  // namespace

int64_t Glyph_number(int32_t row, int32_t cell, int16_t rowBegin) {
    return (static_cast<int64_t>(row) - rowBegin) * 94 + (static_cast<int64_t>(cell) - 1);
}

void Glyph_read_strokes_from(std::span<const uint8_t> file, int64_t glyph_number, int16_t cols, int16_t rows,
                             GlyphBuffer& glyph) {
    glyph.at(0) = kGlyphStroke;
    glyph.at(1) = to_byte(static_cast<int32_t>(cols));
    glyph.at(2) = to_byte(static_cast<int32_t>(rows));
    CommandWriter out(glyph);
    if (glyph_number >= 0) {
        ShapeReader index(file, 3 * glyph_number);
        const int64_t b0 = index.next(), b1 = index.next(), b2 = index.next();
        const int64_t first = b0 + 256 * b1 + 65536 * b2;  // 1-based position of the first shape byte
        if (first != 0) {
            ShapeReader shape(file, first - 1);
            Shape_bytes_convert(shape, out);
            out.finish();
            return;
        }
    }
    out.put(kCmdEnd);  // no glyph: an empty command list
    out.finish();
}

void Glyph_read_strokes(State& s, int32_t row, int32_t cell, const std::string& path, int16_t cols, int16_t rows,
                        int16_t rowBegin) {
    const std::shared_ptr<const FontFileBytes> file = Stroke_font_file(path);
    Glyph_read_strokes_from(*file, Glyph_number(row, cell, rowBegin), cols, rows, s.font.bytGlyph);
}

bool Stroke_glyph_empty(const GlyphBuffer& glyph) { return glyph.at(kGlyphCommandStart) == kCmdEnd; }

bool Stroke_glyph_draws(const GlyphBuffer& glyph) {
    bool down = false, draws = false;
    Commands_walk(glyph, [&](bool pen_down) { down = pen_down; }, [&](int32_t, int32_t) { draws = draws || down; });
    return draws;
}

std::string Stroke_font_problem(std::span<const uint8_t> file) {
    if (file.empty()) return "the file is empty";
    if (file.size() < 3) return "the file is shorter than one offset entry";
    // The offset table runs from the start of the file to the first shape byte any entry points
    // at; each of its entries must point past the table and into the file, and every glyph must
    // end inside the file and fit the glyph buffer.
    const auto size = static_cast<int64_t>(file.size());
    int64_t table_end = size;
    int64_t glyphs = 0;
    GlyphBuffer glyph;
    for (int64_t n = 0; 3 * n + 3 <= table_end; ++n) {
        ShapeReader entry(file, 3 * n);
        const int64_t b0 = entry.next(), b1 = entry.next(), b2 = entry.next();
        const int64_t first = b0 + 256 * b1 + 65536 * b2;
        if (first == 0) continue;
        const std::string which = "the offset of glyph " + std::to_string(n) + " (" + std::to_string(first) + ")";
        if (first - 1 >= size) return which + " points past the end of the file (" + std::to_string(size) + " bytes)";
        if (first - 1 < 3 * n + 3) return which + " points into the offset table";
        table_end = std::min(table_end, first - 1);
        ShapeReader shape(file, first - 1);
        CommandWriter out(glyph);
        try {
            Shape_bytes_convert(shape, out);
        } catch (const Fault&) {
            return "glyph " + std::to_string(n) + " is longer than the " + std::to_string(kGlyphCommandMax) +
                   "-byte glyph buffer";
        }
        if (shape.past_end()) return "glyph " + std::to_string(n) + " runs past the end of the file";
        ++glyphs;
    }
    if (glyphs == 0) return "the file holds no glyph";
    return {};
}

std::shared_ptr<const FontFileBytes> Stroke_font_file(const std::string& path) {
    return Font_file_bytes(path, Stroke_font_problem);
}

GlyphBox Stroke_glyph_box(const GlyphBuffer& glyph) {
    GlyphBox box;
    int32_t px = 0, py = 0, max_x = 0, max_y = 0;
    bool counting = false;
    auto fold = [&] {
        max_x = std::max(max_x, px);
        max_y = std::max(max_y, py);
        box.min_x = std::min(box.min_x, static_cast<float>(px));
        box.min_y = std::min(box.min_y, static_cast<float>(py));
    };
    Commands_walk(
        glyph,
        [&](bool down) {
            counting = true;
            if (down) fold();
        },
        [&](int32_t dx, int32_t dy) {
            px += dx;
            py += dy;
            if (counting) fold();
        });
    box.width = max_x;
    box.height = max_y;
    return box;
}

void Glyph_measure(State& s, int32_t mode, const std::string& ch, float width, float height, const std::string& face) {
    CellRecord& cell = s.tmpl.curCell;
    auto store = [&](const GlyphBox& box) {
        s.font.dblTextWidth = box.width;
        s.font.dblTextHeight = box.height;
        cell.TextMinX = box.min_x;
        cell.TextMinY = box.min_y;
    };
    if (mode == 0) {
        store(Stroke_glyph_box(s.font.bytGlyph));
    } else if (mode == -1) {
        const std::shared_ptr<const FontFileBytes> file = Font_file_bytes(face);
        try {
            store(Contour_glyph_box(*file, Code_page_code(ch)));
        } catch (const Fault& f) {
            raise_fault(f.kind(), face + ": " + f.what());
        }
    } else if (mode == 1) {
        Glyph_measure_outline(s, ch, width, height, face);
    } else {
        raise_fault(FaultKind::index, "no glyph measuring mode " + std::to_string(mode));
    }
    if (s.font.dblTextWidth == 0.0) s.font.dblTextWidth = 1.0;
    if (s.font.dblTextHeight == 0.0) s.font.dblTextHeight = 1.0;
}

void Glyph_mark_strokes(State& s, float x, float y, float sx, float sy, float m11, float m21, float m12, float m22,
                        float ox, float oy) {
    // Millimetres per font unit along the glyph's own axes.
    const double mm_x = real_div(sx, s.hw.sngStepsPerMm);
    const double mm_y = real_div(sy, s.hw.sngStepsPerMm);
    int32_t u = 0, v = 0;
    bool first = true;  // no segment issued and no approach made yet: the pen is at the origin
    auto X_of = [&](int32_t pu, int32_t pv) { return to_single(pu * mm_x * m11 + pv * mm_y * m12 + ox + x); };
    auto Y_of = [&](int32_t pu, int32_t pv) { return to_single(pu * mm_x * m21 + pv * mm_y * m22 + oy + y); };
    Commands_walk(
        s.font.bytGlyph,
        [&](bool down) {
            if (down && first) {
                Origin_approach(s, X_of(0, 0), Y_of(0, 0));
                first = false;
            }
            Laser_switch(s, to_vbool(down));
        },
        [&](int32_t du, int32_t dv) {
            const float x0 = X_of(u, v), y0 = Y_of(u, v);
            if (first && s.sig.blnLaserOn != 0) {
                // Still emitting from before the glyph, with no pen command yet.
                Origin_approach(s, x0, y0);
                Laser_switch(s, kTrue);
            }
            first = false;
            Scan_vector(s, x0, y0, X_of(u + du, v + dv), Y_of(u + du, v + dv));
            u += du;
            v += dv;
        });
    Laser_switch(s, kFalse);
}

}  // namespace korvex
