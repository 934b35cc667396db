// What the calling thread's machine holds, read without changing it: values the members keep but
// return nowhere, for hosts and tools that show or check them. Before the thread's first korvex_dll
// there is no machine, and the readers give zeros and empty lists (they do not create one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "korvex/export.h"

namespace korvex {

struct MachineReading {
    bool exists = false;                  // the thread has a machine
    double head_steps_per_mm = 0.0;       // the head's scale (hardware value), D/A steps per millimetre
    double mark_speed_mm_s = 0.0;         // the marking speed last set
    double step_um = 0.0;                 // the step size last set (Marking_para's su)
    bool template_machine_damaged = false;  // the last template's machine file had records not taken over
};
KORVEX_API MachineReading machine_reading();

// A bar-code cell of the template e_setPrintInfo last sorted: its place and size in millimetres.
struct CodeCellArea {
    double x_mm = 0, y_mm = 0, width_mm = 0, height_mm = 0;
};
// The sorted template's bar-code cells, one per tag of a plate, in the pass's order.
KORVEX_API std::vector<CodeCellArea> template_code_cells();

// A character of a text that could not be marked as given: its bytes as given (UTF-8, or a stray
// byte) and what became of it.
struct UnmarkedCharacter {
    std::string text;
    std::string why;
};
// The text layout notes at most this many; a full list means there may have been more.
inline constexpr std::size_t kUnmarkedCharactersKept = 64;
// The characters noted since the last take, and the list emptied for the next calls.
KORVEX_API std::vector<UnmarkedCharacter> take_unmarked_characters();

// The stepping cycle the library plans for `speed_mm_s` at `steps_per_mm` (as Marking_para plans
// the marking speed's): steps a cycle and the cycle's period. A speed that gives no cycle is a
// korvex::Fault whose message names it as `speed_name`.
struct PlannedStepCycle {
    int32_t steps = 0;
    int32_t period_us = 0;
};
KORVEX_API PlannedStepCycle planned_step_cycle(float steps_per_mm, float speed_mm_s, const char* speed_name);

}  // namespace korvex
