// Cleanup after a fault: an operation that switched the page register (laser controller 0x7B, input
// byte 1 0x77) and then faulted would leave every later access on that page, and a fault with the
// laser gate open (in the middle of a mark or a pulse, or after the host opened the gate line with
// port_Out_bit) would leave the laser emitting.
#include "interface/fault_boundary.hpp"

#include "device/card_access.hpp"
#include "device/card_registers.hpp"
#include "device/laser_signals.hpp"

namespace korvex {

void cleanup_after_fault(State& s) noexcept {
    try {
        if (s.card.page_selected != card_reg::kRestPage) Page_select(s, card_reg::kRestPage);
    } catch (...) {
    }
    // Close the gate on the bit and with the level it was last driven with (templates can change
    // intGateBit and blnGateLevel in between), when the library left it open or its shadow holds
    // it open whoever wrote it (the host drives raw levels with port_Out_bit); no delays. A closed
    // gate gets no write.
    if (Gate_line_open(s)) {
        s.sig.gate_open = false;
        s.sig.blnLaserOn = kFalse;
        try {
            Out_bit_set(s, s.sig.gate_driven_bit, vb_not(s.sig.gate_driven_level));
        } catch (...) {
        }
    }
}

void member_not_available(const char* member) {
    raise_fault(FaultKind::unavailable, std::string(member) + " is not available in this build yet");
}

}  // namespace korvex
