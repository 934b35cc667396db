// Turning the measured field into a correction grid. With P the field as marked (the position a
// job asked for -> where the spot landed, measured) and C0 the correction in force while it was
// marked, the head itself is H = P o C0^-1, and the correction that makes it land true is
// H^-1 = C0 o P^-1. Each grid cell gets H^-1 at its centre, as the offset from the centre, in D/A
// steps. The library adds a cell's offset to every position inside it, so within a cell of
// 128 steps the correction is the centre's: how far the field bends across one cell is the
// grid's own limit.
#pragma once

#include "calibration/correction_map.hpp"
#include "calibration/lattice_field.hpp"

namespace korvex::calibration {

// The measured field as marked: the displacement of the spot (mm) where a position p (mm) was asked for.
struct MeasuredField {
    const LatticeField& displacement_mm;
    double steps_per_mm;  // the library's scale when the pattern was marked
    const CorrectionMap& in_force;

    // Where a position asked for (mm) landed.
    Vec2 landed_mm(Vec2 p_mm) const { return p_mm + displacement_mm.at(p_mm); }
    // The position to ask for so that the spot lands at t (mm), under the correction in force.
    Vec2 asked_for(Vec2 t_mm) const;
    // Where the head lands the spot for the D/A position a (steps), mm.
    Vec2 head_lands_mm(Vec2 a_steps) const;
    // The D/A position that lands the spot at t (mm): the ideal correction of t, steps.
    Vec2 ideal_correction(Vec2 t_mm) const;
};

struct GridSolution {
    GridOffsets offsets;
    int clamped_cells = 0;  // cells within reach_mm of the centre whose offset had to be cut to keep the D/A range
};

// Cells beyond reach_mm (on either axis) are cut to the D/A range without counting: no job the
// measured field covers uses them.
GridSolution solve_grid(const MeasuredField& field, double reach_mm);

// The landing error (mm) at t (mm) of a job marked with this grid loaded.
Vec2 grid_error_mm(const MeasuredField& field, const GridOffsets& grid, Vec2 t_mm);

}  // namespace korvex::calibration
