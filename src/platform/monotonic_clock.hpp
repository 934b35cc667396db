// MonotonicClock: the real clock for real devices, CLOCK_MONOTONIC_RAW in nanoseconds. Waits spin on
// it; the wait-loop hint does nothing.
#pragma once

#include <time.h>

#include "korvex/clock.hpp"

namespace korvex {

class MonotonicClock : public Clock {
public:
    uint64_t frequency() override { return 1'000'000'000ull; }
    uint64_t counter() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
        return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000ull + static_cast<uint64_t>(ts.tv_nsec);
    }
    void idle_until(uint64_t) override {}
};

}  // namespace korvex
