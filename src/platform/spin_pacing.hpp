// The bare pacing loop: a busy wait on the monotonic clock against a fixed stepping cycle, each
// wait measured from the reading that ended the previous one, as the library paces its steps. What
// it achieves is the machine's own limit for the library's pacing; the latency check and the
// pacing benchmark both measure it here.
#pragma once

#include <cstdint>
#include <vector>

#include "korvex/io_card.hpp"

namespace korvex {

struct SpinPacing {
    uint64_t cycles = 0;
    double period_us = 0.0;
    double measured_us = 0.0;  // first reading to last
    // Lateness of a cycle: how far its ending reading came after the previous one plus the period.
    double p50_us = 0.0, p99_us = 0.0, p999_us = 0.0, max_us = 0.0;
    double planned_us() const { return static_cast<double>(cycles) * period_us; }
    double ratio() const { return planned_us() > 0.0 ? measured_us / planned_us() : 0.0; }
};

// Every step of a cycle writes two D/A loads' worth of bytes (8) to the card. On a real card the
// latency check makes the same number of writes without loading a channel: the two data latches
// with 0 and the control register with its idle code, so the scanner does not move.
inline constexpr int kCardWritesPerCycle = 8;
void Step_card_writes(IoCard& card);
// Puts the card on the page it rests on between the library's calls, where those writes go.
void Spin_card_rest(IoCard& card);

// Spins `cycles` cycles of period_us. With a card, each cycle makes the step's card writes right
// after the reading that ended its wait, so their time counts against the next cycle as it does
// in marking. `lateness_us` is the caller's buffer (reused, so a run allocates nothing once it has
// been sized).
SpinPacing Spin_pacing(double period_us, uint64_t cycles, IoCard* card, std::vector<float>& lateness_us);

}  // namespace korvex
