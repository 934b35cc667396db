// Platform: the set of host-side backends one host thread uses (card, clock, operator interface,
// outline text, library folder). Set it before the thread's first call; every entry left empty gets
// its default (the simulated card, the virtual clock, the console, the system's outline fonts).
#pragma once

#include <string>

#include "korvex/export.h"
#include "korvex/clock.hpp"
#include "korvex/host_ui.hpp"
#include "korvex/io_card.hpp"
#include "korvex/serial_port.hpp"
#include "korvex/text_path.hpp"

namespace korvex {

struct Platform {
    IoCard* card = nullptr;
    Clock* clock = nullptr;
    HostUi* ui = nullptr;
    // Outline-font renderer; by default the system's fonts through fontconfig and FreeType.
    TextPath* text_path = nullptr;
    // The four serial controls of the stand-alone link; by default real lines (KORVEX_COM<n> or
    // /dev/ttyS<n-1> for port number n).
    SerialPort* serial[4] = {nullptr, nullptr, nullptr, nullptr};
    // Folder holding grid files and font/; empty: KORVEX_HOME, else the folder of the library file.
    std::string library_folder;
};

// Installs the backends for the calling thread (the caller keeps them alive). Empty entries take
// the thread's defaults. Takes effect for every object of this thread, also those already created.
KORVEX_API void set_platform(const Platform& platform);

// The backends in force for the calling thread, defaults filled in.
KORVEX_API Platform current_platform();

// Chooses, by name, the card the calling thread gets when its platform names none: "simulated"
// (the default, on the virtual clock) or "real" (the first CH365 card found through sysfs, paced
// by the monotonic clock). Choose before the thread's first Marking_init_pci. False, and nothing
// changed, for any other name.
KORVEX_API bool select_card(const char* name);

// Why the thread's real card failed to open the last time it was tried; empty when it opened, was
// never tried, or the thread's card is not a real one.
KORVEX_API std::string card_failure();

}  // namespace korvex
