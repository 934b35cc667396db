// The emulated controller's job interpreter: it executes a stored job (speed headers, moves, laser
// on and off, waits, dot lists, laser records) the way the controller's scanner and laser would, and
// records what the light did as marks in controller steps, with the controller's own times.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/marks.hpp"

namespace korvex {

// The controller's timer runs at 98/12 ticks per microsecond.
inline constexpr double kControllerTicksPerUs = 98.0 / 12.0;

// What the scanner and laser of one controller are doing between jobs and records.
struct ControllerHead {
    int32_t x = 0, y = 0;          // spot, controller steps (signed 16-bit coordinates)
    bool emitting = false;
    double t_us = 0.0;             // controller time
    double on_since_us = 0.0;      // when the laser last went on
    bool moved_since_on = false;
    int steps_per_period = 1;      // 0x40
    uint16_t reload = 65535 - 82;  // 0x50/0x51
    uint8_t power[2] = {0, 0};     // 0xB0
    uint8_t frequency = 0;         // 0xB1
    uint16_t dr_time = 0;          // 0xC0
    uint64_t records = 0;          // records executed
};

struct JobResult {
    bool ok = true;
    std::string error;        // what stopped a job that is not well formed
    std::size_t offset = 0;   // where it stopped
};

// Checks that the bytes are one complete job: known opcodes, whole records, an end byte.
JobResult check_job(const uint8_t* job, std::size_t length);
// Executes a job that check_job accepted, moving `head` and adding marks to `marks`.
JobResult run_job(const uint8_t* job, std::size_t length, ControllerHead& head, MarkRecorder& marks);

}  // namespace korvex
