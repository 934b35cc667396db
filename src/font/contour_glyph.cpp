// Contour glyph boxes. Layout of a contour font file (little-endian): at offset 178 the signed
// 32-bit offset T of the character table; at T + 4 x code the offset G of the character's glyph;
// at G a 16-bit contour count, then per contour a flag byte, a 16-bit point count and the points
// as pairs of signed 32-bit x, y.
#include "font/contour_glyph.hpp"

#include <algorithm>

namespace korvex {

namespace {

// Sequential little-endian reads; every byte outside the file is an eof fault.
class ContourReader {
public:
    explicit ContourReader(std::span<const uint8_t> file) : file_(file) {}
    void seek(int64_t pos) { pos_ = pos; }
    void skip(int64_t n) { take(n); }
    int16_t i16() { return static_cast<int16_t>(unsigned_le(2)); }
    int32_t i32() { return static_cast<int32_t>(unsigned_le(4)); }

private:
    int64_t take(int64_t n) {
        if (pos_ < 0 || static_cast<uint64_t>(pos_) > file_.size() || static_cast<uint64_t>(n) > file_.size() - static_cast<uint64_t>(pos_))
            raise_fault(FaultKind::eof, "contour glyph data outside the font file");
        const int64_t at = pos_;
        pos_ += n;
        return at;
    }
    uint32_t unsigned_le(int n) {
        const int64_t at = take(n);
        uint32_t v = 0;
        for (int k = n - 1; k >= 0; --k) v = (v << 8) | file_[static_cast<std::size_t>(at + k)];
        return v;
    }

    std::span<const uint8_t> file_;
    int64_t pos_ = 0;
};

}  // namespace

GlyphBox Contour_glyph_box(std::span<const uint8_t> file, uint16_t code) {
    ContourReader in(file);
    in.seek(kContourTableOffsetAt);
    const int64_t table = in.i32();
    in.seek(table + 4 * static_cast<int64_t>(code));
    in.seek(in.i32());
    const int32_t contours = in.i16();
    bool any = false;
    int32_t min_x = 0, min_y = 0, max_x = 0, max_y = 0;
    for (int32_t c = 0; c < contours; ++c) {
        in.skip(1);  // contour flag
        const int32_t points = in.i16();
        for (int32_t k = 0; k < points; ++k) {
            const int32_t x = in.i32(), y = in.i32();
            if (!any) {
                min_x = max_x = x;
                min_y = max_y = y;
                any = true;
            }
            min_x = std::min(min_x, x);
            max_x = std::max(max_x, x);
            min_y = std::min(min_y, y);
            max_y = std::max(max_y, y);
        }
    }
    GlyphBox box;
    box.width = static_cast<double>(max_x) - min_x;
    box.height = static_cast<double>(max_y) - min_y;
    box.min_x = static_cast<float>(min_x);
    box.min_y = static_cast<float>(min_y);
    return box;
}

}  // namespace korvex
