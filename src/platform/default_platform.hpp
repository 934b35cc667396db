// The backends a thread gets when its host sets none: the simulated card on the virtual clock and
// the console operator interface; and the library's own folder (grid files, fonts).
#pragma once

#include <string>

#include "platform/console_ui.hpp"
#include "platform/simulated_card.hpp"
#include "platform/virtual_clock.hpp"

namespace korvex {

class DefaultBackends {
public:
    DefaultBackends() : card_(&clock_, nullptr) {}
    SimulatedCard& card() { return card_; }
    VirtualClock& clock() { return clock_; }
    ConsoleUi& ui() { return ui_; }

private:
    VirtualClock clock_;
    SimulatedCard card_;
    ConsoleUi ui_;
};

// The calling thread's default backends.
DefaultBackends& default_backends();
// Puts the calling thread's default backends back to their power-up state.
void reset_default_backends();

// KORVEX_HOME when set, else the folder of the loaded library file.
std::string default_library_folder();

}  // namespace korvex
