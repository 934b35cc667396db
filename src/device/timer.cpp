// Busy waits on the counter. On every turn the loops hint the deadline to the clock, which a real
// clock ignores and a virtual clock uses to jump there; the comparison is always the real one.
// Every span is checked against the longest wait first, and the deadline hint saturates below 2^63
// ticks (where the counter read back as a signed value would turn negative), so no wait can spin
// for ever on a deadline that wrapped.
#include "device/timer.hpp"

#include <cmath>
#include <cstdio>

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

float Wait_span_checked(double span_us, const char* what) {
    if (!(span_us <= static_cast<double>(kLongestWaitUs)) && !(span_us <= 0.0)) {
        char text[160];
        std::snprintf(text, sizeof text, "%s: a wait of %.9g us is longer than the longest wait the machine makes (%.0f s)",
                      what, span_us, static_cast<double>(kLongestWaitUs) / 1e6);
        raise_fault(FaultKind::overflow, text);
    }
    return static_cast<float>(span_us);
}

// The counter value at which (start + span) microseconds have passed, for the wait hint; at most
// INT64_MAX, the last value the clock reads back as a positive time.
static uint64_t deadline_counter(const State& s, double start_us, float span_us) {
    const double ticks = std::ceil((start_us + static_cast<double>(span_us)) * s.clock.dblTicksPerUs);
    if (!(ticks > 0.0)) return 0;
    if (ticks >= 9.2e18) return static_cast<uint64_t>(INT64_MAX);
    return static_cast<uint64_t>(ticks);
}

double Wait_until_us(State& s, double start_us, float span_us) {
    if (span_us > 0.0f) {
        if (span_us > kLongestWaitUs) Wait_span_checked(span_us, "wait");
        const uint64_t deadline = deadline_counter(s, start_us, span_us);
        while (static_cast<float>(Timer_now_us(s) - start_us) < span_us) s.platform.clock->idle_until(deadline);
    }
    return Timer_now_us(s);
}

void Delay_us(State& s, float span_us) {
    if (!(span_us > 0.0f)) return;
    if (span_us > kLongestWaitUs) Wait_span_checked(span_us, "wait");
    const double t0 = Timer_now_us(s);
    const uint64_t deadline = deadline_counter(s, t0, span_us);
    while (static_cast<float>(Timer_now_us(s) - t0) < span_us) s.platform.clock->idle_until(deadline);
}

}  // namespace korvex
