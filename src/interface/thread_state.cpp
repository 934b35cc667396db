// Per-thread storage of the machine state and the platform selection: the member layer owns both,
// as it fills in the default backends (the simulated card unless the thread chose the real one).
#include "state/state.hpp"

#include <string_view>

#include "interface/default_platform.hpp"

namespace korvex {

namespace {
thread_local std::unique_ptr<State> t_state;
thread_local Platform t_configured;  // what the host set; empty entries mean "default"
}  // namespace

static Platform filled(const Platform& p) {
    Platform out = p;
    DefaultBackends& d = default_backends();
    if (!out.card) out.card = &d.chosen_card();
    if (!out.clock) out.clock = &d.clock_for(out.card);
    if (!out.ui) out.ui = &d.ui();
    if (!out.text_path) out.text_path = &d.text_path();
    for (int i = 0; i < 4; ++i)
        if (!out.serial[i]) out.serial[i] = &d.serial(i);
    if (out.library_folder.empty()) out.library_folder = default_library_folder();
    return out;
}

void set_platform(const Platform& platform) {
    t_configured = platform;
    if (t_state) t_state->platform = filled(t_configured);
}

Platform current_platform() { return filled(t_configured); }

Platform configured_platform() { return t_configured; }

bool select_card(const char* name) {
    const std::string_view n = name ? name : "";
    if (n != "simulated" && n != "real") return false;
    default_backends().use_real_card(n == "real");
    if (t_state) t_state->platform = filled(t_configured);
    return true;
}

std::string card_failure() {
    Ch365Card* real = dynamic_cast<Ch365Card*>(current_platform().card);
    return real ? real->failure() : std::string();
}

State& thread_state() {
    if (!t_state) {
        t_state = std::make_unique<State>();
        t_state->platform = filled(t_configured);
    }
    return *t_state;
}

bool thread_state_exists() { return t_state != nullptr; }

namespace testing {
void reset_thread_state() {
    t_state.reset();
    reset_default_backends();
    t_configured = Platform{};
}
}  // namespace testing

}  // namespace korvex
