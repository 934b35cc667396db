// The grid from the measured field, cell by cell, and what the library then makes of it.
#include "calibration/grid_solution.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvex::calibration {

namespace {

constexpr int kIterations = 50;
constexpr double kToleranceMm = 1e-7;
constexpr int32_t kDaLimit = 32767;

}  // namespace

Vec2 MeasuredField::asked_for(Vec2 t) const {
    Vec2 s = t;
    for (int i = 0; i < kIterations; ++i) {
        const Vec2 next = t - displacement_mm.at(s);
        const double change = norm(next - s);
        s = next;
        if (change < kToleranceMm) break;
    }
    return s;
}

Vec2 MeasuredField::head_lands_mm(Vec2 a) const {
    return landed_mm((1.0 / steps_per_mm) * in_force.invert(a));
}

Vec2 MeasuredField::ideal_correction(Vec2 t) const { return in_force.apply(steps_per_mm * asked_for(t)); }

GridSolution solve_grid(const MeasuredField& field, double reach_mm) {
    GridSolution out;
    out.offsets.dx.assign(kGridEntries, 0);
    out.offsets.dy.assign(kGridEntries, 0);
    const double centre_offset = (kGridCellSteps - 1) / 2.0;
    // The offset along one axis: the rounded correction, cut so that every position of the cell
    // stays inside the D/A range once corrected.
    bool counted = false;  // the cell lies within reach
    const auto offset = [&](double wanted, int32_t first) -> int16_t {
        const double lo = -kDaLimit - static_cast<double>(first);
        const double hi = kDaLimit - static_cast<double>(first + kGridCellSteps - 1);
        double v = std::nearbyint(wanted);
        if (!std::isfinite(v)) v = 0.0;
        const double cut = std::clamp(v, std::max(lo, -32768.0), std::min(hi, 32767.0));
        if (cut != v && counted) ++out.clamped_cells;
        return static_cast<int16_t>(cut);
    };
    for (int row = 0; row < kGridColumns; ++row) {
        const int32_t y0 = kGridOrigin + row * kGridCellSteps;
        for (int col = 0; col < kGridColumns; ++col) {
            const int32_t x0 = kGridOrigin + col * kGridCellSteps;
            const Vec2 centre{x0 + centre_offset, y0 + centre_offset};
            counted = std::max(std::fabs(centre.x), std::fabs(centre.y)) <= reach_mm * field.steps_per_mm;
            const Vec2 a = field.ideal_correction((1.0 / field.steps_per_mm) * centre);
            const std::size_t k = static_cast<std::size_t>(row) * kGridColumns + col;
            out.offsets.dx[k] = offset(a.x - centre.x, x0);
            out.offsets.dy[k] = offset(a.y - centre.y, y0);
        }
    }
    return out;
}

Vec2 grid_error_mm(const MeasuredField& field, const GridOffsets& grid, Vec2 t) {
    // The library's own steps: the position rounded to D/A steps, its cell's offset added.
    const auto x = static_cast<int32_t>(std::nearbyint(t.x * field.steps_per_mm));
    const auto y = static_cast<int32_t>(std::nearbyint(t.y * field.steps_per_mm));
    const int64_t cell = Grid_cell(x, y);
    if (cell < 0 || cell >= kGridEntries) return {std::numeric_limits<double>::quiet_NaN(), 0.0};
    const Vec2 a{static_cast<double>(x) + grid.dx[static_cast<std::size_t>(cell)],
                 static_cast<double>(y) + grid.dy[static_cast<std::size_t>(cell)]};
    return field.head_lands_mm(a) - t;
}

}  // namespace korvex::calibration
