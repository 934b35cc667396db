// Test fixture: a freshly loaded library on a fresh simulated machine, with helpers to read the
// trace back as lines.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "korvex/korvex_dll.hpp"
#include "sim/simulated_machine.hpp"
#include "state/state.hpp"

class MachineTest : public ::testing::Test {
protected:
    void SetUp() override {
        korvex::testing::reset_thread_state();
        korvex::set_platform(machine.platform());
    }
    void TearDown() override { korvex::testing::reset_thread_state(); }

    korvex::State& state() { return korvex::thread_state(); }
    std::vector<std::string> trace_lines() const { return machine.trace().lines(); }
    // Trace lines recorded from `from` on.
    std::vector<std::string> trace_since(std::size_t from) const {
        auto all = machine.trace().lines();
        return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
    }
    // Sets the clock up as device initialization does, so waits can run.
    void init_clock();

    korvex::SimulatedMachine machine;
};

using Lines = std::vector<std::string>;

// The operator's Ctrl-C: SIGINT raised once, on the first card write after the modelled gate's
// `opening`-th opening, while the listener is attached to the machine's card.
class CtrlCAtGateOpening : public korvex::CardListener {
public:
    CtrlCAtGateOpening(korvex::SimulatedMachine& machine, uint64_t opening) : machine_(machine), opening_(opening) {
        machine_.card().add_listener(this);
    }
    ~CtrlCAtGateOpening() override { machine_.card().remove_listener(this); }
    bool sent() const { return sent_; }
    void on_write(uint8_t, uint8_t, uint8_t) override {
        if (!sent_ && machine_.model().gate_openings() == opening_) {
            sent_ = true;
            std::raise(SIGINT);
        }
    }

private:
    korvex::SimulatedMachine& machine_;
    uint64_t opening_;
    bool sent_ = false;
};
