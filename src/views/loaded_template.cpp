// Loading a template into a private state: the same Print_info_set the public member runs.
#include "views/loaded_template.hpp"

#include "core/leading_number.hpp"
#include "core/shown_input.hpp"
#include "template/print_setup.hpp"

namespace korvex {

namespace {

SimulatedMachine::Options quiet_machine() {
    SimulatedMachine::Options options;
    options.trace = false;
    return options;
}

}  // namespace

const char* category_cell_name(int k) {
    switch (k) {
        case kCategoryBarcode: return "bar-code cell";
        case kCategoryNumber1: return "first-number cell";
        case kCategoryNumber2: return "second-number cell";
        case kCategoryText: return "text cell (never marked)";
        case kCategoryPlot: return "plot cell";
        default: return "";
    }
}

std::string template_fault_text(const Fault& f) {
    return std::string(fault_kind_name(f.kind())) + " fault: " + Shown_input(f.what(), kShownFaultChars);
}

LoadedTemplate::LoadedTemplate(const std::string& base, const std::string& library_folder) : machine_(quiet_machine()) {
    if (!library_folder.empty()) machine_.set_library_folder(library_folder);
    state_ = private_template_state(machine_);
    State& s = *state_;
    std::string base_stored;
    std::array<int32_t, kCategories> counters{};
    try {
        // The base goes in with an extension of its own, so a dot in a folder name is not cut.
        Print_info_set(s, base + ".mc1", base_stored, counters, &load_);
    } catch (const Fault& f) {
        setup_fault_ = template_fault_text(f);
    }
}

int32_t LoadedTemplate::cells() const {
    try {
        return to_i32(Leading_number(state_->tmpl.namLines.at(0)));
    } catch (const Fault&) {
        return 0;
    }
}

}  // namespace korvex
