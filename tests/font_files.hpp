// Test helpers for fonts: hand-made stroke font files (glyph number -> shape bytes behind the
// 3-byte offset table), contour font files, and a fixture whose library folder has a font/ folder,
// on a machine brought up at 100 D/A steps per millimetre.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "scan_fixture.hpp"

namespace font_test {

using Bytes = std::vector<uint8_t>;

// A stroke font file with the given glyphs (index entries for glyph numbers 0 to the largest).
Bytes stroke_font(const std::map<int64_t, Bytes>& glyphs);

struct Contour {
    uint8_t flag = 0;
    std::vector<std::pair<int32_t, int32_t>> points;
};
// A contour font file: the character table at 182 covers codes 0 to the largest code given.
Bytes contour_font(const std::map<uint16_t, std::vector<Contour>>& glyphs);

void put_le(Bytes& b, std::size_t at, uint32_t value, int bytes);

}  // namespace font_test

// A fresh machine (100 steps/mm) whose library folder is a scratch folder with an empty font/.
class FontTest : public ScanTest {
public:
    struct Seg {
        int x0, y0, x1, y1;
        bool operator==(const Seg&) const = default;
    };

protected:
    void SetUp() override;
    void TearDown() override;
    // Writes font/<name>.
    void write_font(const std::string& name, const font_test::Bytes& bytes) const;
    void remove_font(const std::string& name) const;
    // Line marks (spot moved while emitting) recorded since the last clear_marks.
    std::vector<Seg> lines() const;
    // Strokes: runs of line marks with no other mark between, from the first start to the last end
    // (the stepping of a slanted line may record its last short step as a mark of its own).
    std::vector<Seg> strokes() const;
    std::string folder;
};
std::ostream& operator<<(std::ostream& o, const FontTest::Seg& s);
