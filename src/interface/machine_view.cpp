// Reading the thread's machine for hosts and tools: copies of a few values of its state, never a
// reference into it, and no state created where there is none yet; and the library's step cycle.
#include "korvex/machine_view.hpp"

#include "core/leading_number.hpp"
#include "device/marking_params.hpp"
#include "state/state.hpp"

namespace korvex {

static_assert(kUnmarkedCharactersKept == kUnmarkedCharsKept);

MachineReading machine_reading() {
    MachineReading r;
    if (!thread_state_exists()) return r;
    const State& s = thread_state();
    r.exists = true;
    r.head_steps_per_mm = s.hw.sngStepsPerMm;
    r.mark_speed_mm_s = s.para.sngMarkSpeed;
    r.step_um = s.para.offPara.su;
    r.template_machine_damaged = s.tmpl.load_report.machine_file_damaged();
    return r;
}

std::vector<CodeCellArea> template_code_cells() {
    std::vector<CodeCellArea> cells;
    if (!thread_state_exists()) return cells;
    const State& s = thread_state();
    const int per_plate = static_cast<int>(Leading_number(s.tmpl.catLines.at(kCategoryBarcode, 0)));
    const auto& v = s.tmpl.catValues.at(kCategoryBarcode);
    for (int g = 1; g <= per_plate; ++g)
        cells.push_back({v.at(g, kValueX), v.at(g, kValueY), v.at(g, kValueWidth), v.at(g, kValueHeight)});
    return cells;
}

std::vector<UnmarkedCharacter> take_unmarked_characters() {
    std::vector<UnmarkedCharacter> taken;
    if (!thread_state_exists()) return taken;
    std::vector<UnmarkedChar>& noted = thread_state().font.unmarkedChars;
    for (UnmarkedChar& c : noted) taken.push_back({std::move(c.text), std::move(c.why)});
    noted.clear();
    return taken;
}

PlannedStepCycle planned_step_cycle(float steps_per_mm, float speed_mm_s, const char* speed_name) {
    const StepCycle cycle = Step_cycle(steps_per_mm, speed_mm_s, speed_name);
    return {cycle.steps, cycle.period_us};
}

}  // namespace korvex
