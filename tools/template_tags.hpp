// How many tags one plate of a template holds (its bar-code cells, as e_setPrintInfo sorts them),
// read in a machine state of its own so that nothing of the calling thread's machine is touched.
#pragma once

#include <memory>
#include <string>

namespace korvex {
struct State;
class SimulatedMachine;
}  // namespace korvex

namespace korvex::tool {

// A machine state on `machine`'s backends with the hardware defaults, for loading a template into.
std::unique_ptr<State> private_template_state(SimulatedMachine& machine);

// The bar-code cells of template `base` (BASE.mc1 / BASE.nam). A template that cannot be read is
// a korvex::Fault; one without bar-code cells gives 0.
int template_tags_per_plate(const std::string& base);

}  // namespace korvex::tool
