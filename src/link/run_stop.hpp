// Run, stop and laser switch of the stand-alone controllers: each addresses every controller of the
// port mask and keeps the library's view of them (2 after a run, 1 after a stop or a laser switch).
// None reports a failure through its result.
#pragma once

#include <cstdint>

#include "state/state.hpp"

namespace korvex {

// Run frame 02 64 00 and bytes 3, 4 as the last command left them, confirmed per controller by
// Comm_execute (with its messages). Returns 0.
int16_t Marking_run(State& s);
// Stop frame FE 00 00 00 00 to every controller; nothing is awaited. Returns 0.
int16_t Marking_stop(State& s);
// Laser switch frame 0E a a 00 00 (a = 0 for off, 255 for on; any other on_off keeps bytes 1 and 2);
// nothing is awaited. laserpower and laserfre are not used. Returns 0.
int16_t usb_laser_open(State& s, float laserpower, float laserfre, int16_t on_off);

}  // namespace korvex
