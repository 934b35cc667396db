// Ear-tag print pass (not built yet).
#include "template/print_pass.hpp"

namespace korvex {

void Begin_mark(State&) { raise_fault(FaultKind::unavailable, "the ear-tag print pass is not available in this build yet"); }
vbool Template_mark(State&) {
    raise_fault(FaultKind::unavailable, "the ear-tag print pass is not available in this build yet");
}
int16_t Print_ear_mark(State&, const std::vector<uint8_t>&, const std::vector<std::string>&,
                       const std::vector<std::string>&, const std::vector<uint8_t>&, vbool&) {
    raise_fault(FaultKind::unavailable, "the ear-tag print pass is not available in this build yet");
}

}  // namespace korvex
