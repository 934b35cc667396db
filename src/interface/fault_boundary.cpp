// Cleanup after a fault: an operation that switched the page register (laser controller 0x7B, input
// byte 1 0x77) and then faulted would leave every later access on that page, and one that faulted
// with the laser gate open (or in the middle of a pulse) would leave the laser emitting.
#include "interface/fault_boundary.hpp"

#include "device/card_access.hpp"
#include "device/card_registers.hpp"

namespace korvex {

void cleanup_after_fault(State& s) noexcept {
    try {
        if (s.card.page_selected != card_reg::kRestPage) Page_select(s, card_reg::kRestPage);
    } catch (...) {
    }
    // Close the gate that was opened, on the bit and with the level it was opened with; no delays.
    if (s.sig.gate_open) {
        s.sig.gate_open = false;
        s.sig.blnLaserOn = kFalse;
        try {
            Out_bit_set(s, s.sig.gate_open_bit, vb_not(s.sig.gate_open_level));
        } catch (...) {
        }
    }
}

void member_not_available(const char* member) {
    raise_fault(FaultKind::unavailable, std::string(member) + " is not available in this build yet");
}

}  // namespace korvex
