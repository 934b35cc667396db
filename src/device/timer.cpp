// Busy waits on the counter. On every turn the loops hint the deadline to the clock, which a real
// clock ignores and a virtual clock uses to jump there; the comparison is always the real one.
#include "device/timer.hpp"

#include <cmath>
#include <string>

namespace korvex {

double Timer_ticks_per_us(State& s) {
    const uint32_t low = static_cast<uint32_t>(s.platform.clock->frequency());
    return static_cast<double>(low) / 1'000'000.0;
}

double Timer_now_us(State& s) {
    const uint64_t c = s.platform.clock->counter();
    const double low = static_cast<double>(static_cast<uint32_t>(c));
    const double high = static_cast<double>(static_cast<int32_t>(c >> 32));
    if (s.clock.dblTicksPerUs == 0.0) raise_fault(FaultKind::division, "clock read before initialization");
    return (high * 4294967296.0 + low) / s.clock.dblTicksPerUs;
}

// The counter value at which (start + span) microseconds have passed, for the wait hint.
static uint64_t deadline_counter(const State& s, double start_us, float span_us) {
    const double ticks = std::ceil((start_us + static_cast<double>(span_us)) * s.clock.dblTicksPerUs);
    if (!(ticks > 0.0)) return 0;
    // The counter reads as a signed count (its high half is signed), so it never gets past 2^63: a
    // wait ending later would spin for ever (a pen settle time of 1e30 ms in a template, say).
    if (ticks >= 0x1p63)
        raise_fault(FaultKind::overflow, "a wait of " + std::to_string(span_us) + " us ends beyond the clock's range");
    return static_cast<uint64_t>(ticks);
}

double Wait_until_us(State& s, double start_us, float span_us) {
    if (span_us > 0.0f) {
        const uint64_t deadline = deadline_counter(s, start_us, span_us);
        while (static_cast<float>(Timer_now_us(s) - start_us) < span_us) s.platform.clock->idle_until(deadline);
    }
    return Timer_now_us(s);
}

void Delay_us(State& s, float span_us) {
    if (!(span_us > 0.0f)) return;
    const double t0 = Timer_now_us(s);
    const uint64_t deadline = deadline_counter(s, t0, span_us);
    while (static_cast<float>(Timer_now_us(s) - t0) < span_us) s.platform.clock->idle_until(deadline);
}

}  // namespace korvex
