// SimulatedMachine: the whole simulated world a host script or test runs against: the card on the
// virtual (or real) clock, the machine behind it (laser, scanner, axis, and the marks they make),
// the scripted operator, the trace, and the events scripted to happen in the middle of a call (an
// input changing at the N-th card read or gate closing, a key pressed after N us, ...).
// The library's machine code runs against it unchanged through the Platform interfaces.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "korvex/platform.hpp"
#include "sim/emulated_controller_port.hpp"
#include "sim/machine_model.hpp"
#include "platform/monotonic_clock.hpp"
#include "sim/scripted_ui.hpp"
#include "sim/simulated_card.hpp"
#include "sim/trace.hpp"
#include "sim/virtual_clock.hpp"

namespace korvex {

class SimulatedMachine : private CardListener {
public:
    struct Options {
        bool real_time = false;             // pace with the monotonic clock instead of the virtual one
        uint64_t clock_hz = 10'000'000;     // virtual counter frequency
        bool trace = true;
    };
    enum class Event { gate_close, read, time };
    struct Action {
        enum class What { input, key } what = What::input;
        int bit = 0;
        int level = 1;
        Key key = Key::shift;
        bool held = false;
    };

    explicit SimulatedMachine(Options options);
    SimulatedMachine() : SimulatedMachine(Options{}) {}
    ~SimulatedMachine() override;
    SimulatedMachine(const SimulatedMachine&) = delete;
    SimulatedMachine& operator=(const SimulatedMachine&) = delete;

    // The backends to install with set_platform().
    Platform platform() const;
    void set_library_folder(std::string folder) { library_folder_ = std::move(folder); }

    SimulatedCard& card() { return card_; }
    ScriptedUi& ui() { return ui_; }
    // The serial ports: what each port number is wired to (emulated controllers, devices).
    SerialWorld& serial() { return serial_; }
    Trace& trace() { return trace_; }
    const Trace& trace() const { return trace_; }
    Clock& clock() { return *clock_; }
    VirtualClock* virtual_clock() { return options_.real_time ? nullptr : &virtual_clock_; }
    double now_us() { return static_cast<double>(clock_->counter()) * 1e6 / static_cast<double>(clock_->frequency()); }

    // The machine behind the card: laser, scanner spot, rotary axis and the marks they made.
    MachineModel& model() { return model_; }
    const MachineModel& model() const { return model_; }
    void set_wiring(const MachineWiring& wiring) { model_.set_wiring(wiring); }
    // The laser gate's wiring: which output bit opens it, at which level the laser emits.
    void set_gate_wiring(int bit, int emitting_level) {
        MachineWiring w = model_.wiring();
        w.gate_bit = bit;
        w.gate_emitting_level = emitting_level;
        model_.set_wiring(w);
    }
    bool gate_emitting() const { return model_.gate_emitting(); }
    uint64_t gate_closings() const { return model_.gate_closings(); }
    std::vector<Mark> marks() const { return model_.marks(); }
    void write_marks(std::ostream& out, bool with_time = false) const { model_.write_marks(out, with_time); }
    MarkSummary summary(double head_steps_per_mm) const { return model_.summary(head_steps_per_mm); }
    uint64_t card_reads() const { return reads_; }

    // Does the action now, or when the N-th event of its kind from now happens.
    void apply(const Action& action);
    void schedule(Event event, uint64_t n, const Action& action);

private:
    struct Pending {
        Event event;
        uint64_t due;  // event count, or clock microseconds for time events
        Action action;
    };
    void on_write(uint8_t page, uint8_t offset, uint8_t value) override;
    void before_read(uint8_t page, uint8_t offset) override;
    void fire_due();

    Options options_;
    VirtualClock virtual_clock_;
    MonotonicClock monotonic_clock_;
    Clock* clock_;
    Trace trace_;
    SimulatedCard card_;
    MachineModel model_;  // listens to the card before the scripted events do
    ScriptedUi ui_;
    SerialWorld serial_;
    std::string library_folder_;
    std::vector<Pending> pending_;
    uint64_t reads_ = 0;
};

}  // namespace korvex
