// Marking parameters: the host's speeds, gate delays, step size and laser values, the copy kept for
// the stand-alone controller, and Speed_apply, which clamps the speeds, derives the stepping cycles
// of vector stepping and programs the laser.
#pragma once

#include <cstdint>

#include "state/state.hpp"

namespace korvex {

// The public member's operation; always returns 1.
int16_t Marking_para(State& s, float ms, float mms, int32_t tcf, int32_t tch, int32_t tof, int32_t toh, double su,
                     float laserpower, float laserfre, float lasermaxpower, int32_t dr_time);

// Clamps the speeds, derives lngMarkStepN/Us (and lngJumpStepN/Us for a positive jump speed), and
// runs Laser_program.
void Speed_apply(State& s);

// The stepping cycle for `speed_mm_s` at `steps_per_mm`: n D/A steps per cycle, n just enough for a
// cycle of at least 14 us, and the cycle time in whole us that keeps the speed exact. A cycle or
// step count beyond 32 bits is an overflow fault naming `speed_name` and the speed.
struct StepCycle {
    int32_t steps;
    int32_t period_us;
};
StepCycle Step_cycle(float steps_per_mm, float speed_mm_s, const char* speed_name = "speed");

}  // namespace korvex
