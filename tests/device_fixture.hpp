// Fixture of the device tests: an opened card, a running clock and the hardware defaults, as after
// the first steps of device initialization, plus the trace with machine times for timing checks.
#pragma once

#include <memory>
#include <sstream>
#include <string>

#include "device/card_access.hpp"
#include "device/hardware_table.hpp"
#include "machine_fixture.hpp"

class DeviceTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        object = std::make_unique<korvex_dll>();
        init_clock();
        ASSERT_TRUE(korvex::Card_open(state()));
        korvex::Hardware_defaults(state(), korvex::kHardwareDefaults);
        korvex::Hardware_defaults(state(), korvex::kHardwareDirectionTable);
        mark();
    }
    // Starts a new stretch of trace for since() and timed_since().
    void mark() { from = machine.trace().size(); }
    Lines since() const { return trace_since(from); }
    // The same lines prefixed with the machine time in microseconds ("@102.6 card write DE 80").
    Lines timed_since() const {
        std::ostringstream out;
        machine.trace().write(out, true);
        std::istringstream in(out.str());
        Lines all;
        for (std::string line; std::getline(in, line);) all.push_back(line);
        return Lines(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
    }
    // Times of the lines since mark() that end with `suffix`.
    std::vector<double> times_of(const std::string& suffix) const {
        std::vector<double> out;
        for (const std::string& l : timed_since())
            if (l.size() >= suffix.size() && l.compare(l.size() - suffix.size(), suffix.size(), suffix) == 0)
                out.push_back(std::stod(l.substr(1, l.find(' ') - 1)));
        return out;
    }
    double now() { return machine.now_us(); }

    std::unique_ptr<korvex_dll> object;
    std::size_t from = 0;
};
