// The correction the library applies, as a map from the position a job asks for to the D/A
// position sent (both in D/A steps, the library's logical frame): none, a grid, or a template's
// coefficient model. A grid is taken as the smooth correction its cells were sampled from (its
// offsets interpolated between cell centres), so a pattern marked under a grid tells how the head
// moves the spot for the D/A positions the grid really sent.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "calibration/vec2.hpp"
#include "scan/field_correction.hpp"
#include "state/hardware_record.hpp"

namespace korvex::calibration {

// A grid file's offsets, entry k = row x 512 + column (262 145 entries, the last one unused).
struct GridOffsets {
    std::vector<int16_t> dx, dy;
};

// The library's reader on a grid file; CalibrationError naming the file when it cannot be read.
GridOffsets read_grid_offsets(const std::string& path);

// A template's coefficient model: its hardware values (turn, field size, coefficients, zone count)
// with the steps per mm it marks at, and its zone table.
struct CoefficientModel {
    HardwareRecord hw;
    ZoneTable zones;
};

// The coefficient model of template `base` (no extension), its machine file loaded into the calling
// thread's machine as the library loads it; CalibrationError when that file is not a template.
CoefficientModel template_coefficient_model(const std::string& base);

class CorrectionMap {
public:
    static CorrectionMap none();
    static CorrectionMap grid(GridOffsets offsets);
    static CorrectionMap coefficients(const CoefficientModel& model);

    // The D/A position sent for the position t.
    Vec2 apply(Vec2 t_steps) const;
    // The position whose D/A position is a (found by iteration).
    Vec2 invert(Vec2 a_steps) const;
    bool is_none() const { return kind_ == Kind::none; }

private:
    enum class Kind { none, grid, coefficients } kind_ = Kind::none;
    std::shared_ptr<const GridOffsets> grid_;
    std::shared_ptr<const CoefficientModel> model_;
};

}  // namespace korvex::calibration
