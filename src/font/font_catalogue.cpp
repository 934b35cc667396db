// Font catalogue (not built yet).
#include "font/font_catalogue.hpp"

namespace korvex {

void Font_catalogue_init(State&) { raise_fault(FaultKind::unavailable, "fonts are not available in this build yet"); }
vbool Font_load(State&) { raise_fault(FaultKind::unavailable, "fonts are not available in this build yet"); }

}  // namespace korvex
