// State: all machine state of one host thread, shared by every korvex_dll created on that thread.
// It is allocated whole (zeroed) with the thread's first object and fetched once per member call;
// the machine code receives it by reference and never looks it up again.
#pragma once

#include <cstdint>
#include <memory>

#include "core/numeric.hpp"
#include "korvex/platform.hpp"
#include "state/device_state.hpp"
#include "state/hardware_record.hpp"
#include "state/link_state.hpp"
#include "state/scan_state.hpp"
#include "state/cell_record.hpp"
#include "state/font_state.hpp"
#include "state/table.hpp"

namespace korvex {

// Library interface: the creation counter that numbers the objects.
struct InterfaceGroup {
    int32_t lngCreated = 0;
};

// Clock: counter ticks per microsecond; 0 until device initialization sets it.
struct ClockGroup {
    double dblTicksPerUs = 0.0;
};

// Card access: output shadows, the scan engine's D/A record, the page the library last selected
// (0xFF at rest; used to put the card back on its resting page after a fault) and whether the card
// was opened. The D/A gains and
// the slow-load flag are hardware record fields (HardwareRecord).
struct CardGroup {
    uint8_t bytOutPort0 = 0;
    uint8_t bytOutPort1 = 0;
    int32_t lngDaValue0 = 0;
    int32_t lngDaValue1 = 0;
    uint8_t page_selected = 0xFF;
    bool card_open = false;   // the library's last Card_open opened the card
    double dblDriftT0 = 0.0;  // us, reference time of the drift term in D/A mode 2 (set by marking_start)
};

// Calibration grid: one X and one Y offset per 128 x 128-step cell of a 512 x 512 raster over the
// D/A range (entry 262 144 only exists to be read from the file).
inline constexpr int kGridEntries = 262145;
struct CalibrationGroup {
    vbool blnGridLoaded = kFalse;
    Table<int16_t, kGridEntries> intGridDX;
    Table<int16_t, kGridEntries> intGridDY;
};

struct State {
    Platform platform;  // backends of this thread, defaults filled in
    InterfaceGroup iface;
    ClockGroup clock;
    CardGroup card;
    CalibrationGroup grid;
    HardwareRecord hw;
    SignalGroup sig;
    MarkingGroup para;
    DeviceGroup device;
    LinkGroup link;
    ScanGroup scan;
    TemplateGroup tmpl;
    FontGroup font;
    FillGroup fill;
};

// The calling thread's state; allocated on first use (by the first object created on the thread).
// Kept by the member layer with the thread's platform selection (src/interface/thread_state.cpp),
// which fills in the default backends; the machine code below it is handed its State.
State& thread_state();
// True once the calling thread has a state.
bool thread_state_exists();
// The backends the host set for the calling thread, as set: empty entries are the defaults'.
Platform configured_platform();

namespace testing {
// Drops the calling thread's state, so the next object starts from a freshly loaded library.
void reset_thread_state();
}  // namespace testing

}  // namespace korvex
