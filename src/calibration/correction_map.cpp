// The correction in force as a smooth map. A grid's offsets hold the correction at the centres of
// its 128-step cells; between the centres it is interpolated bilinearly. Inversion is the fixed
// point s = s + (a - apply(s)), which converges because a correction moves neighbouring positions
// nearly alike.
#include "calibration/correction_map.hpp"

#include <algorithm>
#include <cmath>

#include "device/calibration_file.hpp"
#include "korvex/fault.hpp"
#include "state/state.hpp"
#include "template/template_file.hpp"

namespace korvex::calibration {

CoefficientModel template_coefficient_model(const std::string& base) {
    State& s = thread_state();
    TemplateLoadReport report;
    Template_load(s, base, &report);
    if (!report.magic) throw CalibrationError(base + ".mc1 cannot be read as a template");
    CoefficientModel m;
    m.hw = s.hw;
    m.zones = s.scan.zoneTable;
    return m;
}

namespace {

constexpr int kInvertIterations = 40;
constexpr double kInvertTolerance = 1e-6;  // D/A steps

Vec2 grid_between_centres(const GridOffsets& g, Vec2 t) {
    const double first_centre = kGridOrigin + (kGridCellSteps - 1) / 2.0;
    const double fc = std::clamp((t.x - first_centre) / kGridCellSteps, 0.0, kGridColumns - 1.0);
    const double fr = std::clamp((t.y - first_centre) / kGridCellSteps, 0.0, kGridColumns - 1.0);
    const int c = std::min(static_cast<int>(fc), kGridColumns - 2), r = std::min(static_cast<int>(fr), kGridColumns - 2);
    const double u = fc - c, v = fr - r;
    const auto at = [&](int col, int row, const std::vector<int16_t>& d) {
        return static_cast<double>(d[static_cast<std::size_t>(row) * kGridColumns + col]);
    };
    const auto bilinear = [&](const std::vector<int16_t>& d) {
        return (1 - u) * (1 - v) * at(c, r, d) + u * (1 - v) * at(c + 1, r, d) + (1 - u) * v * at(c, r + 1, d) +
               u * v * at(c + 1, r + 1, d);
    };
    return {bilinear(g.dx), bilinear(g.dy)};
}

}  // namespace

GridOffsets read_grid_offsets(const std::string& path) {
    auto grid = std::make_unique<CalibrationGroup>();
    try {
        Grid_file_read(path, *grid);
    } catch (const Fault& f) {
        throw CalibrationError(std::string("cannot read the grid file: ") + f.what());
    }
    GridOffsets out;
    out.dx.assign(grid->intGridDX.items.begin(), grid->intGridDX.items.end());
    out.dy.assign(grid->intGridDY.items.begin(), grid->intGridDY.items.end());
    return out;
}

CorrectionMap CorrectionMap::none() { return CorrectionMap{}; }

CorrectionMap CorrectionMap::grid(GridOffsets offsets) {
    if (offsets.dx.size() != static_cast<std::size_t>(kGridEntries) || offsets.dy.size() != offsets.dx.size())
        throw CalibrationError("a grid has 262145 offset pairs");
    CorrectionMap m;
    m.kind_ = Kind::grid;
    m.grid_ = std::make_shared<const GridOffsets>(std::move(offsets));
    return m;
}

CorrectionMap CorrectionMap::coefficients(const CoefficientModel& model) {
    CorrectionMap m;
    m.kind_ = Kind::coefficients;
    m.model_ = std::make_shared<const CoefficientModel>(model);
    return m;
}

Vec2 CorrectionMap::apply(Vec2 t) const {
    switch (kind_) {
        case Kind::none: return t;
        case Kind::grid: return t + grid_between_centres(*grid_, t);
        case Kind::coefficients: {
            float x = 0.0f, y = 0.0f;
            try {
                Coefficient_position(model_->hw, model_->zones, t.x, t.y, x, y);
            } catch (const Fault& f) {
                throw CalibrationError(std::string("the template's coefficient model cannot be evaluated: ") + f.what());
            }
            return {x, y};
        }
    }
    return t;
}

Vec2 CorrectionMap::invert(Vec2 a) const {
    if (kind_ == Kind::none) return a;
    Vec2 s = a;
    for (int i = 0; i < kInvertIterations; ++i) {
        const Vec2 step = a - apply(s);
        s = s + step;
        if (norm(step) < kInvertTolerance) break;
    }
    return s;
}

}  // namespace korvex::calibration
