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
// A span beyond kLongestWaitUs is an overflow fault (see Wait_span_checked).
double Wait_until_us(State& s, double start_us, float span_us);
// Spins for span microseconds; a span of 0 or less returns without reading the clock, one beyond
// kLongestWaitUs is an overflow fault.
void Delay_us(State& s, float span_us);

// The longest busy wait the machine makes. Settle times, gate delays and pacing periods come from
// templates and from the host; one beyond a minute is a value no scanner or laser needs, and would
// hold the caller's thread spinning for days (or, far enough out, past the counter's range).
inline constexpr float kLongestWaitUs = 60'000'000.0f;
// span_us as a Single when it is a wait the machine can make (NaN, infinity or more than
// kLongestWaitUs: an overflow fault whose message names `what`, e.g. "PenSettle").
float Wait_span_checked(double span_us, const char* what);

}  // namespace korvex
