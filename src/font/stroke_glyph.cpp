// Stroke glyphs (not built yet).
#include "font/stroke_glyph.hpp"

namespace korvex {

void Glyph_read_strokes(State&, int32_t, int32_t, const std::string&, int16_t, int16_t, int16_t) {
    raise_fault(FaultKind::unavailable, "stroke fonts are not available in this build yet");
}
void Glyph_measure(State&, int32_t, const std::string&, float, float, const std::string&) {
    raise_fault(FaultKind::unavailable, "stroke fonts are not available in this build yet");
}
void Glyph_mark_strokes(State&, float, float, float, float, float, float, float, float, float, float) {
    raise_fault(FaultKind::unavailable, "stroke fonts are not available in this build yet");
}

}  // namespace korvex
