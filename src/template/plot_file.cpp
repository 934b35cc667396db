// Plot files (not built yet).
#include "template/plot_file.hpp"

namespace korvex {

void Plot_mark(State&, float, float, const std::string&, float, float, float, float, float, float, float, float) {
    raise_fault(FaultKind::unavailable, "plot files are not available in this build yet");
}
void Plot_step(State&, int32_t) { raise_fault(FaultKind::unavailable, "plot files are not available in this build yet"); }

}  // namespace korvex
