// Outline fill (not built yet).
#include "font/hatch_fill.hpp"

namespace korvex {

int32_t Scan_cross(State&, const SegRec&, const SegRec&) {
    raise_fault(FaultKind::unavailable, "hatch fill is not available in this build yet");
}
vbool Hatch_fill(State&, int32_t, int32_t, int32_t, int32_t, int32_t) {
    raise_fault(FaultKind::unavailable, "hatch fill is not available in this build yet");
}

}  // namespace korvex
