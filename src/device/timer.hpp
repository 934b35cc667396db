// The microsecond clock and the two busy waits every time-critical step of the machine is paced
// with. Times are Doubles in microseconds; spans are Singles, compared after conversion to Single.
#pragma once

#include "state/state.hpp"

namespace korvex {

// Counter frequency (low 32 bits, unsigned) divided by 1 000 000.
double Timer_ticks_per_us(State& s);
// Counter / dblTicksPerUs; before initialization (dblTicksPerUs 0) a division fault.
double Timer_now_us(State& s);
// Spins until (now - start) as a Single reaches span; returns a fresh reading taken afterwards.
// A wait that would end beyond the counter's range (2^63 ticks) is an overflow fault.
double Wait_until_us(State& s, double start_us, float span_us);
// Spins for span microseconds; a span of 0 or less returns without reading the clock. A span
// ending beyond the counter's range is an overflow fault.
void Delay_us(State& s, float span_us);

}  // namespace korvex
