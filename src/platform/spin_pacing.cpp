// The bare loop reads CLOCK_MONOTONIC_RAW through the library's own MonotonicClock (called on the
// concrete type, so without a virtual call) and compares whole nanoseconds: nothing in it costs
// more than the clock read itself.
#include "platform/spin_pacing.hpp"

#include <algorithm>
#include <cmath>

#include "device/card_registers.hpp"
#include "platform/monotonic_clock.hpp"

namespace korvex {

void Spin_card_rest(IoCard& card) { card.set_page(card_reg::kRestPage); }

void Step_card_writes(IoCard& card) {
    using namespace card_reg;
    for (int channel = 0; channel < 2; ++channel) {
        card.write_io(kDaLow, 0);
        card.write_io(kDaHigh, 0);
        card.write_io(kDaControl, kDaIdle);
        card.write_io(kDaControl, kDaIdle);
    }
}

static double percentile(std::vector<float>& v, double q) {
    if (v.empty()) return 0.0;
    const std::size_t k = std::min(v.size() - 1, static_cast<std::size_t>(std::floor(q * static_cast<double>(v.size()))));
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
    return v[k];
}

SpinPacing Spin_pacing(double period_us, uint64_t cycles, IoCard* card, std::vector<float>& lateness_us) {
    MonotonicClock clock;
    const uint64_t period_ns = static_cast<uint64_t>(std::llround(period_us * 1000.0));
    lateness_us.resize(cycles);
    const uint64_t first = clock.counter();
    uint64_t start = first;
    for (uint64_t i = 0; i < cycles; ++i) {
        while (clock.counter() - start < period_ns) {
        }
        const uint64_t end = clock.counter();
        lateness_us[i] = static_cast<float>(static_cast<double>(end - start - period_ns) / 1000.0);
        start = end;
        if (card) Step_card_writes(*card);
    }
    SpinPacing r;
    r.cycles = cycles;
    r.period_us = static_cast<double>(period_ns) / 1000.0;
    r.measured_us = static_cast<double>(start - first) / 1000.0;
    r.max_us = cycles ? *std::max_element(lateness_us.begin(), lateness_us.end()) : 0.0;
    r.p50_us = percentile(lateness_us, 0.5);
    r.p99_us = percentile(lateness_us, 0.99);
    r.p999_us = percentile(lateness_us, 0.999);
    return r;
}

}  // namespace korvex
