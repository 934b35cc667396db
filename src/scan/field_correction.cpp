// The two correction models. Both are a handful of operations per point: the grid is one table
// lookup, the coefficient model a few multiplications and two zone-table reads.
#include "scan/field_correction.hpp"

#include <cmath>

namespace korvex {

int64_t Grid_cell(int32_t x, int32_t y) {
    const int64_t column = (static_cast<int64_t>(x) - kGridOrigin) / kGridCellSteps;
    const int64_t row = (static_cast<int64_t>(y) - kGridOrigin) / kGridCellSteps;
    return row * kGridColumns + column;
}

static void Grid_offset(State& s, int32_t& x, int32_t& y) {
    // 128 x 128-step cells of a 512 x 512 raster whose origin is at -32768; no interpolation.
    const int64_t cell = Grid_cell(x, y);
    const int64_t cx = static_cast<int64_t>(x) + s.grid.intGridDX.at(cell);
    const int64_t cy = static_cast<int64_t>(y) + s.grid.intGridDY.at(cell);
    x = to_i32(cx);
    y = to_i32(cy);
    if (cx >= 65536 || cx <= -65536 || cy >= 65536 || cy <= -65536)
        s.platform.ui->message_box(kCalibrationErrorText, "", Buttons::ok, Icon::none);
}

// Zone index of a distance from the centre: zones of equal width per half field, counted outward;
// the outermost zone takes everything beyond. A zone count of 0 or less leaves no valid zone.
static int64_t Zone_index(double distance_steps, float steps_per_mm, int32_t field_size_mm, int32_t zone_count) {
    if (zone_count <= 0) return static_cast<int64_t>(zone_count) - 1;
    const double width_mm = static_cast<double>(field_size_mm) / zone_count / 2.0;
    const double zones = real_div(real_div(distance_steps, steps_per_mm), width_mm);
    const int64_t i = zones >= static_cast<double>(zone_count) ? zone_count : static_cast<int64_t>(zones);
    return i >= zone_count ? zone_count - 1 : i;
}

void Coefficient_position(const HardwareRecord& hw, const ZoneTable& zone, double x, double y, float& x2, float& y2) {
    const double fx = x, fy = y;
    // Distortion coefficients by field turn and the signs of x and y.
    float kx = 0.0f, ky = 0.0f;
    const float A = hw.sngDistortA, B = hw.sngDistortB, C = hw.sngDistortC, D = hw.sngDistortD;
    bool distort = true;
    switch (hw.lngFieldTurn) {
        case 0: kx = x >= 0 ? D : C; ky = y >= 0 ? A : B; break;
        case 1: kx = x >= 0 ? A : B; ky = y >= 0 ? C : D; break;
        case 2: kx = x >= 0 ? C : D; ky = y >= 0 ? B : A; break;
        case 3: kx = x >= 0 ? B : A; ky = y >= 0 ? D : C; break;
        default: distort = false; break;
    }
    const float x1 = distort ? to_single(fx * (1.0 + fy * fy * kx)) : static_cast<float>(fx);
    const float y1 = distort ? to_single(fy * (1.0 + fx * fx * ky)) : static_cast<float>(fy);

    const float k = hw.sngStepsPerMm;
    const int64_t i = Zone_index(std::fabs(x1), k, hw.lngFieldSizeX, hw.lngZoneCount);
    const int64_t j = Zone_index(std::fabs(y1), k, hw.lngFieldSizeY, hw.lngZoneCount);

    // X scale: P at the +y field edge, M at the -y edge, linear in between.
    const float xp = x1 > 0 ? zone.at(i, 0) : zone.at(i, 1);
    const float xm = x1 > 0 ? zone.at(i, 3) : zone.at(i, 2);
    const double x_span = static_cast<double>(k) * hw.lngFieldSizeY;
    x2 = to_single(x1 * ((xp + xm) / 2.0 + real_div(static_cast<double>(y1) * (xp - xm), x_span)));
    // Y scale, against the already corrected X.
    const float yp = y1 > 0 ? zone.at(j, 4) : zone.at(j, 7);
    const float ym = y1 > 0 ? zone.at(j, 5) : zone.at(j, 6);
    const double y_span = static_cast<double>(k) * hw.lngFieldSizeX;
    y2 = to_single(y1 * ((yp + ym) / 2.0 + real_div(static_cast<double>(x2) * (yp - ym), y_span)));
}

static void Coefficient_model(State& s, int32_t& x, int32_t& y) {
    float x2 = 0.0f, y2 = 0.0f;
    Coefficient_position(s.hw, s.scan.zoneTable, x, y, x2, y2);
    x = to_i32(static_cast<double>(x2));
    y = to_i32(static_cast<double>(y2));
}

void Grid_correct(State& s, int32_t& x, int32_t& y) {
    if (s.grid.blnGridLoaded != 0) Grid_offset(s, x, y);
    else Coefficient_model(s, x, y);
}

}  // namespace korvex
