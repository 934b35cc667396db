// A template loaded to be looked at, exactly as e_setPrintInfo loads and sorts it, into a
// machine state of its own on a simulated card that starts from the hardware defaults: what the
// library will hold, without touching the calling thread's machine.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "sim/simulated_machine.hpp"
#include "state/state.hpp"
#include "template/template_file.hpp"

namespace korvex {

class LoadedTemplate {
public:
    // `base` without extension; `library_folder` holds the fonts (empty: the working folder).
    explicit LoadedTemplate(const std::string& base, const std::string& library_folder = "");
    LoadedTemplate(const LoadedTemplate&) = delete;
    LoadedTemplate& operator=(const LoadedTemplate&) = delete;

    State& state() { return *state_; }
    const TemplateLoadReport& load() const { return load_; }
    // The fault e_setPrintInfo ended with while sorting the cells ("" when it sorted them all).
    const std::string& setup_fault() const { return setup_fault_; }
    // The number of cells the count line of the cell list gives (0 when it cannot be read).
    int32_t cells() const;

private:
    SimulatedMachine machine_;
    std::unique_ptr<State> state_;
    TemplateLoadReport load_;
    std::string setup_fault_;
};

// A machine state on `machine`'s backends with the hardware defaults, for loading a template into.
std::unique_ptr<State> private_template_state(SimulatedMachine& machine);

// What the print pass calls a cell of category k: "bar-code cell", "first-number cell", ...
const char* category_cell_name(int k);

// Template messages can quote a whole bad line of the files.
inline constexpr std::size_t kShownFaultChars = 200;

// A fault as the template reports quote it: "KIND fault: MESSAGE", the message escaped.
std::string template_fault_text(const Fault& f);

}  // namespace korvex
