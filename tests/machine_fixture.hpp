// Test fixture: a freshly loaded library on a fresh simulated machine, with helpers to read the
// trace back as lines.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "korvex/korvex_dll.hpp"
#include "platform/simulated_machine.hpp"
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
