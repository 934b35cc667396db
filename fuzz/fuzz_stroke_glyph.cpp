// libFuzzer harness for stroke font files: the input (after a 5-byte header) is checked as a font
// file (the check must say what is wrong, never fault), then a few glyphs named by the header are
// normalised into the glyph buffer and measured. Reads outside the file or writes past the buffer
// must never happen; a Fault is an accepted outcome of reading a glyph.
// Header: design width, design height, three glyph numbers (0xFF: glyph -1).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "font/stroke_glyph.hpp"
#include "korvex/fault.hpp"
#include "state/state.hpp"

namespace {
constexpr std::size_t kHeader = 5;

korvex::State& fuzz_state() {
    // The state is large; one is allocated for the whole run and only its font group is used.
    static const std::unique_ptr<korvex::State> s = std::make_unique<korvex::State>();
    return *s;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < kHeader) return 0;
    korvex::State& s = fuzz_state();
    const std::span<const uint8_t> file(data + kHeader, size - kHeader);
    const int16_t cols = data[0] == 0xFF ? 256 : data[0];  // 256 does not fit the buffer's byte
    const int16_t rows = data[1];
    try {
        (void)korvex::Stroke_font_problem(file);
    } catch (...) {
        __builtin_trap();
    }
    for (std::size_t k = 2; k < kHeader; ++k) {
        const int64_t glyph_number = data[k] == 0xFF ? -1 : data[k];
        try {
            korvex::Glyph_read_strokes_from(file, glyph_number, cols, rows, s.font.bytGlyph);
            const korvex::GlyphBox box = korvex::Stroke_glyph_box(s.font.bytGlyph);
            if (box.min_x > 0.0f || box.min_y > 0.0f || box.width < 0.0 || box.height < 0.0) __builtin_trap();
            korvex::Glyph_measure(s, 0, "", 0.0f, 0.0f, "");
            if (s.font.dblTextWidth <= 0.0 || s.font.dblTextHeight <= 0.0) __builtin_trap();
        } catch (const korvex::Fault&) {
        }
    }
    return 0;
}
