// Marks as a distorted head draws them on the work plane. The machine's marks stay in D/A units
// (what the card commanded); here every mark is moved to where the spot lands. A line the mirrors
// sweep is straight in D/A units but curved on the plane, so it comes out as a chain of short
// lines that stay within a tolerance of that curve. Positions are in head units (mm times the
// head scale), the unit an ideal head's marks are in, so pictures and marks files keep their scale.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "sim/head_distortion.hpp"
#include "sim/marks.hpp"

namespace korvex {

struct LandedMark {
    Mark::Kind kind = Mark::Kind::line;
    double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;  // head units; a dot at (x0, y0)
    int32_t steps = 0;                               // axis marks
    double t0_us = 0.0, t1_us = 0.0;                 // of the whole mark a piece belongs to
};

// Where a D/A position lands, in head units.
void land_da(const HeadDistortion& head, double head_steps_per_mm, double x_da, double y_da, double& x, double& y);

// Calls f for every mark in order, moved to where it lands: lines as pieces within tolerance_units
// of the landed curve (chained: each piece starts where the last ended, exactly), jumps as the
// chord between their landed ends, dots at their landed place, axis marks unchanged.
void for_each_landed(const MarkRecorder& marks, const HeadDistortion& head, double head_steps_per_mm,
                     double tolerance_units, const std::function<void(const LandedMark&)>& f);

// The `--marks` lines of a distorted head: the format of the machine's marks with landed positions
// in head units to two decimals, after a comment line that says so.
void write_landed_marks(std::ostream& out, const MarkRecorder& marks, const HeadDistortion& head,
                        double head_steps_per_mm, bool with_time = false);

// Lengths of the landed lines and jumps, mm (the summary of a distorted head's job).
void landed_lengths_mm(const MarkRecorder& marks, const HeadDistortion& head, double head_steps_per_mm,
                       double& marked_mm, double& jumped_mm);

}  // namespace korvex
