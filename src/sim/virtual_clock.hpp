// VirtualClock: machine time for the simulated machine and tests. Reading it never moves it; a wait
// loop's hint jumps it to the deadline, and every simulated device access charges its own time, so
// virtual time follows the machine and a job's trace is the same however often the code reads it.
#pragma once

#include <cstdint>

#include "korvex/clock.hpp"

namespace korvex {

class VirtualClock : public Clock {
public:
    explicit VirtualClock(uint64_t frequency_hz = 10'000'000) : frequency_hz_(frequency_hz) {}

    uint64_t frequency() override { return frequency_hz_; }
    uint64_t counter() override { return ticks_; }
    // Jumps to the deadline; a loop that still polls at or past it moves one tick per turn, so a
    // wait whose rounded comparison is not yet satisfied always ends.
    void idle_until(uint64_t deadline) override { ticks_ = deadline > ticks_ ? deadline : ticks_ + 1; }

    // Charges machine time spent by a device access.
    void advance_us(double us) { ticks_ += static_cast<uint64_t>(us * static_cast<double>(frequency_hz_) / 1e6 + 0.5); }
    void advance_ticks(uint64_t ticks) { ticks_ += ticks; }
    void set_counter(uint64_t ticks) { ticks_ = ticks; }
    double now_us() const { return static_cast<double>(ticks_) * 1e6 / static_cast<double>(frequency_hz_); }

private:
    uint64_t frequency_hz_;
    uint64_t ticks_ = 0;
};

}  // namespace korvex
