// Cleanup after a fault: an operation that switched the page register (laser controller 0x7B, input
// byte 1 0x77) and then faulted would leave every later access on that page.
#include "interface/fault_boundary.hpp"

#include "device/card_access.hpp"
#include "device/card_registers.hpp"

namespace korvex {

void cleanup_after_fault(State& s) noexcept {
    try {
        if (s.card.page_selected != card_reg::kRestPage) Page_select(s, card_reg::kRestPage);
    } catch (...) {
    }
}

void member_not_available(const char* member) {
    raise_fault(FaultKind::unavailable, std::string(member) + " is not available in this build yet");
}

}  // namespace korvex
