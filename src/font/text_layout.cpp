// Text layout (not built yet).
#include "font/text_layout.hpp"

namespace korvex {

void Text_measure(State&, float, float) { raise_fault(FaultKind::unavailable, "text is not available in this build yet"); }
void Text_mark(State&, float, float, float, float) {
    raise_fault(FaultKind::unavailable, "text is not available in this build yet");
}

}  // namespace korvex
