// Outline-font text (not built yet).
#include "font/outline_text.hpp"

namespace korvex {

void Glyph_measure_outline(State&, const std::string&, float, float, const std::string&) {
    raise_fault(FaultKind::unavailable, "outline fonts are not available in this build yet");
}
void Glyph_mark_outline(State&, const std::string&, const std::string&, float, float, float, float, float, float,
                        float, float, float, float) {
    raise_fault(FaultKind::unavailable, "outline fonts are not available in this build yet");
}
vbool Outline_fill(State&, int32_t, float) {
    raise_fault(FaultKind::unavailable, "outline fonts are not available in this build yet");
}

}  // namespace korvex
