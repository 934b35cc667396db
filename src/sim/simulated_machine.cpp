// Wiring of the simulated world and its scripted events; the gate closings that `@at gate-close`
// counts come from the machine model.
#include "sim/simulated_machine.hpp"

#include <algorithm>

namespace korvex {

SimulatedMachine::SimulatedMachine(Options options)
    : options_(options),
      virtual_clock_(options.clock_hz),
      clock_(options.real_time ? static_cast<Clock*>(&monotonic_clock_) : static_cast<Clock*>(&virtual_clock_)),
      trace_(clock_),
      card_(options.real_time ? nullptr : &virtual_clock_, options.trace ? &trace_ : nullptr),
      model_(card_, *clock_),
      ui_(options.trace ? &trace_ : nullptr),
      serial_(*clock_, options.trace ? &trace_ : nullptr) {
    trace_.set_enabled(options.trace);
    card_.add_listener(this);
    ui_.set_poll_hook([this] { fire_due(); });
}

SimulatedMachine::~SimulatedMachine() { card_.remove_listener(this); }

Platform SimulatedMachine::platform() const {
    Platform p;
    p.card = const_cast<SimulatedCard*>(&card_);
    p.clock = clock_;
    p.ui = const_cast<ScriptedUi*>(&ui_);
    p.library_folder = library_folder_;
    for (int i = 0; i < 4; ++i) p.serial[i] = const_cast<SerialWorld&>(serial_).control(i);
    return p;
}

void SimulatedMachine::apply(const Action& action) {
    if (action.what == Action::What::input) card_.set_input_bit(action.bit, action.level);
    else ui_.set_key(action.key, action.held);
}

void SimulatedMachine::schedule(Event event, uint64_t n, const Action& action) {
    uint64_t due = 0;
    switch (event) {
        case Event::gate_close: due = model_.gate_closings() + n; break;
        case Event::read: due = reads_ + n; break;
        case Event::time: due = static_cast<uint64_t>(now_us()) + n; break;
    }
    pending_.push_back({event, due, action});
    fire_due();
}

void SimulatedMachine::fire_due() {
    if (pending_.empty()) return;
    const double now = now_us();
    auto due = [&](const Pending& p) {
        switch (p.event) {
            case Event::gate_close: return model_.gate_closings() >= p.due;
            case Event::read: return reads_ >= p.due;
            case Event::time: return now >= static_cast<double>(p.due);
        }
        return false;
    };
    for (std::size_t i = 0; i < pending_.size();) {
        if (due(pending_[i])) {
            Action a = pending_[i].action;
            pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
            apply(a);
        } else {
            ++i;
        }
    }
}

void SimulatedMachine::on_write(uint8_t, uint8_t, uint8_t) {
    // The model (an earlier listener) has already counted a gate closing made by this write.
    fire_due();
}

void SimulatedMachine::before_read(uint8_t, uint8_t) {
    ++reads_;
    fire_due();
}

}  // namespace korvex
