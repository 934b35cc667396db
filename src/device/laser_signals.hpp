// The laser's bit signals: the gate with its four delays and the operator's abort keys, the
// software pulse train of pulse mode, the laser enable and auxiliary line 15, and the standby line.
// All bits go through Out_bit_set, so "active" drives a bit to 0.
#pragma once

#include "state/state.hpp"

namespace korvex {

// Asks for the laser on (mark) or off (jump) and drives the gate with its delays in gate mode.
// Every call runs the full sequence, also when the state does not change.
void Laser_switch(State& s, vbool on);
// Fires intPulseCount pulses on the gate bit, each at least one laser period after the last.
void Pulse_train(State& s);
// Laser type 3 only: drives the laser enable line (output 4).
void Laser_enable(State& s, vbool on);
// Drives output 15.
void Out15_set(State& s, vbool on);
// Wakes or puts the laser to sleep on the standby line; nothing when already there or when the
// wake delay is 0.
void Laser_standby(State& s, vbool wake);

// Drives the gate bit to its open or closed level and keeps the record (bit, level, open or not)
// the fault boundary needs to close it again.
void Gate_write(State& s, bool open);

// True when the gate line the library last drove (SignalGroup::gate_driven_bit, 0-15) may be
// open: the library opened it, or its output shadow holds it at its open level, whoever wrote it
// there (the host's raw port_Out_bit). False before the library first drove the gate.
bool Gate_line_open(const State& s);

// The gate's line must not double as a line with a function of its own (the type 1 latch, standby,
// laser enable, the axis lines, output 15): switching that function would switch the laser. On a
// station wired that way the function is refused with an index fault, before anything is written.
void Gate_line_refuse(const State& s, int16_t bit, const char* function);
// Out_bit_set for a line with a function of its own, after Gate_line_refuse.
void Function_bit_set(State& s, int16_t bit, vbool active, const char* function);

}  // namespace korvex
