// The backends a thread gets when its host sets none: the simulated card on the virtual clock (or,
// once the thread chose it by name, the real card on the monotonic clock) and the console operator
// interface, outline text from the system's fonts; and the library's own folder (grid files, fonts).
#pragma once

#include <string>

#include "platform/ch365_card.hpp"
#include "platform/console_ui.hpp"
#include "platform/freetype_text_path.hpp"
#include "platform/monotonic_clock.hpp"
#include "platform/posix_serial_port.hpp"
#include "sim/simulated_card.hpp"
#include "sim/virtual_clock.hpp"

namespace korvex {

class DefaultBackends {
public:
    DefaultBackends() : card_(&clock_, nullptr) {}
    SimulatedCard& card() { return card_; }
    VirtualClock& clock() { return clock_; }
    ConsoleUi& ui() { return ui_; }
    PosixSerialPort& serial(int index) { return serial_[index & 3]; }
    FreeTypeTextPath& text_path() { return text_path_; }
    Ch365Card& real_card() { return real_card_; }

    // The card chosen by name ("simulated" or "real"), and the clock that paces a card: the
    // monotonic clock for a real card, the virtual clock for anything else.
    void use_real_card(bool real) { real_ = real; }
    IoCard& chosen_card() { return real_ ? static_cast<IoCard&>(real_card_) : card_; }
    Clock& clock_for(IoCard* card) {
        return dynamic_cast<Ch365Card*>(card) ? static_cast<Clock&>(monotonic_) : clock_;
    }

private:
    VirtualClock clock_;
    MonotonicClock monotonic_;
    SimulatedCard card_;
    Ch365Card real_card_;
    bool real_ = false;
    ConsoleUi ui_;
    FreeTypeTextPath text_path_;
    PosixSerialPort serial_[4] = {PosixSerialPort{0}, PosixSerialPort{1}, PosixSerialPort{2}, PosixSerialPort{3}};
};

// The calling thread's default backends.
DefaultBackends& default_backends();
// Puts the calling thread's default backends back to their power-up state.
void reset_default_backends();

// KORVEX_HOME when set; else the folder of the loaded library file if font/ is there, else the
// installed data folder (share/korvex) if it has font/, else the library file's folder.
std::string default_library_folder();

}  // namespace korvex
