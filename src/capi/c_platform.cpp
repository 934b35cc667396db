// Platform choice, object creation and the simulated machine's marks for C hosts. A thread that
// chooses the simulated card gets a SimulatedMachine owned here (its marks readable through
// korvex_sim_*); a thread that creates its first object without choosing gets one too, unless a
// C++ host of the same thread already installed its own backends.
#include <cstring>
#include <memory>

#include "capi/c_boundary.hpp"
#include "capi/c_messages.hpp"
#include "core/output_file.hpp"
#include "interface/default_platform.hpp"
#include "sim/simulated_machine.hpp"

using korvex::capi::ArgumentError;
using korvex::capi::guarded;

namespace {

// The calling thread's choice. At thread exit the machine goes without touching the platform:
// the thread's state, which points into it, is going too.
struct ThreadChoice {
    bool chosen = false;
    std::unique_ptr<korvex::SimulatedMachine> sim;
};
thread_local ThreadChoice t_choice;

bool is(const char* text, const char* name) { return text && std::strcmp(text, name) == 0; }
bool empty(const char* text) { return !text || !*text; }

void choose(const char* card, const char* clock, const char* library_folder) {
    if (!empty(clock) && !is(clock, "virtual") && !is(clock, "monotonic"))
        throw ArgumentError(std::string("unknown clock \"") + clock + "\": use \"virtual\" or \"monotonic\"");
    if (!empty(card) && !is(card, "simulated") && !is(card, "real"))
        throw ArgumentError(std::string("unknown card \"") + card + "\": use \"simulated\" or \"real\"");
    if (is(clock, "virtual") && is(card, "real"))
        throw ArgumentError("the virtual clock runs only the simulated card");
    if (is(card, "real")) {
        // The first CH365 card through sysfs on the monotonic clock; whether it opens shows at
        // Marking_init_pci (korvex::card_failure says why not).
        korvex::select_card("real");
        korvex::Platform platform;
        platform.library_folder = empty(library_folder) ? "" : library_folder;
        platform.ui = &korvex::capi::thread_message_ui();
        korvex::set_platform(platform);
        t_choice.sim.reset();
        t_choice.chosen = true;
        return;
    }
    korvex::select_card("simulated");

    korvex::SimulatedMachine::Options options;
    options.real_time = is(clock, "monotonic");
    options.trace = false;  // a trace keeps every card access; C hosts read the marks instead
    auto sim = std::make_unique<korvex::SimulatedMachine>(options);
    sim->set_library_folder(empty(library_folder) ? "" : library_folder);
    korvex::Platform platform = sim->platform();
    platform.ui = &korvex::capi::thread_message_ui();  // the host's callback, else the console: keys never held
    korvex::set_platform(platform);
    t_choice.sim = std::move(sim);  // the previous machine goes only now that nothing points into it
    t_choice.chosen = true;
}

korvex::SimulatedMachine& simulation() {
    if (!t_choice.sim)
        throw ArgumentError("no simulated machine on this thread: korvex_set_platform(\"simulated\", ...) installs one");
    return *t_choice.sim;
}

}  // namespace

extern "C" {

const char* korvex_version(void) { return KORVEX_VERSION_STRING; }

int32_t korvex_set_platform(const char* card, const char* clock, const char* library_folder) {
    return guarded(nullptr, [&]() -> int32_t {
        choose(card, clock, library_folder);
        return 0;
    });
}

int32_t korvex_library_folder(char* buffer, size_t size, size_t* length) {
    return guarded(nullptr, [&]() -> int32_t {
        korvex::capi::give_string(korvex::current_platform().library_folder, buffer, size, length);
        return 0;
    });
}

int32_t korvex_create(korvex_object** object) {
    return guarded(nullptr, [&]() -> int32_t {
        korvex::capi::require(object, "the object pointer");
        *object = nullptr;
        if (!t_choice.chosen) {
            if (korvex::current_platform().card == &korvex::default_backends().card()) choose(nullptr, nullptr, nullptr);
            t_choice.chosen = true;
        }
        *object = korvex::capi::register_object(std::make_shared<korvex::capi::Object>());
        return 0;
    });
}

int32_t korvex_sim_marks(korvex_mark* marks, size_t capacity, size_t* count) {
    return guarded(nullptr, [&]() -> int32_t {
        korvex::capi::require(count, "count");
        if (capacity != 0) korvex::capi::require(marks, "marks");
        std::size_t n = 0;
        simulation().model().recorder().for_each([&](const korvex::Mark& m) {
            if (n < capacity)
                marks[n] = korvex_mark{static_cast<int32_t>(m.kind), m.x0, m.y0, m.x1, m.y1, m.steps, m.t0_us, m.t1_us};
            ++n;
        });
        *count = n;
        return 0;
    });
}

int32_t korvex_sim_write_marks(const char* path) {
    return guarded(nullptr, [&]() -> int32_t {
        korvex::capi::require(path, "path");
        korvex::SimulatedMachine& sim = simulation();
        korvex::OutputFile out(path, "marks file");
        sim.write_marks(out.stream());
        out.commit();
        return 0;
    });
}

int32_t korvex_sim_clear_marks(void) {
    return guarded(nullptr, [&]() -> int32_t {
        simulation().model().clear_marks();
        return 0;
    });
}

int32_t korvex_sim_set_input(int32_t bit, int32_t level) {
    return guarded(nullptr, [&]() -> int32_t {
        if (bit < 0 || bit > 15) throw ArgumentError("input bit " + std::to_string(bit) + " is not 0-15");
        if (level != 0 && level != 1) throw ArgumentError("input level " + std::to_string(level) + " is not 0 or 1");
        simulation().card().set_input_bit(bit, level);
        return 0;
    });
}

int32_t korvex_sim_laser_emitting(int32_t* emitting) {
    return guarded(nullptr, [&]() -> int32_t {
        korvex::capi::require(emitting, "emitting");
        *emitting = simulation().gate_emitting() ? 1 : 0;
        return 0;
    });
}

int32_t korvex_sim_time_us(double* time_us) {
    return guarded(nullptr, [&]() -> int32_t {
        korvex::capi::require(time_us, "time_us");
        *time_us = simulation().now_us();
        return 0;
    });
}

}  // extern "C"
