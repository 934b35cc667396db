// A template's base name and its tags a plate: the template is loaded exactly as e_setPrintInfo
// loads it.
#include "korvex/template_view.hpp"

#include <array>

#include "core/leading_number.hpp"
#include "device/hardware_table.hpp"
#include "device/timer.hpp"
#include "views/loaded_template.hpp"
#include "sim/simulated_machine.hpp"
#include "state/state.hpp"
#include "template/print_setup.hpp"

namespace korvex {

std::unique_ptr<State> private_template_state(SimulatedMachine& machine) {
    auto s = std::make_unique<State>();
    s->platform = machine.platform();
    s->clock.dblTicksPerUs = Timer_ticks_per_us(*s);
    Hardware_defaults(*s, kHardwareDefaults);
    Hardware_defaults(*s, kHardwareDirectionTable);
    return s;
}

std::string template_base_name(const std::string& name) { return Strip_extension(name); }

int template_tags_per_plate(const std::string& base) {
    SimulatedMachine::Options options;
    options.trace = false;
    SimulatedMachine machine(options);
    const std::unique_ptr<State> s = private_template_state(machine);
    std::string stored;
    std::array<int32_t, kCategories> counters{};
    // The base goes in with an extension of its own, so a dot in a folder name is not cut.
    Print_info_set(*s, base + ".mc1", stored, counters);
    return static_cast<int>(Leading_number(s->tmpl.catLines.at(kCategoryBarcode, 0)));
}

}  // namespace korvex
