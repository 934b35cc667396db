// The two correction models. Both are a handful of operations per point: the grid is one table
// lookup, the coefficient model a few multiplications and two zone-table reads.
//
// The coefficient model's formulas divide: by the steps per mm and the zone width to find a zone,
// by the field's span in steps for the scale's slope. A step must not pay for divisions, so it
// multiplies by reciprocals made once (CoefficientScale) instead, and takes its zone from zone
// edges that the divisions themselves drew. A product by a reciprocal can differ from the quotient
// in its last bit, and the positions sent must be exactly those of the formulas, so a scaled
// coordinate is taken from the product only where every number within its error rounds to the
// same Single. Elsewhere (rarely inside the field, and for values that would fault) the point is
// computed by division, exactly as the formulas read.
#include "scan/field_correction.hpp"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

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

// Zone width in mm: zones of equal width per half field.
static double Zone_width_mm(int32_t field_size_mm, int32_t zone_count) {
    return static_cast<double>(field_size_mm) / zone_count / 2.0;
}

// Zones from the centre to a distance, as a real: the distance in mm over the zone width.
static double Zones_to(double distance_steps, float steps_per_mm, double width_mm) {
    return real_div(real_div(distance_steps, steps_per_mm), width_mm);
}

// Zone index of a distance from the centre, counted outward; the outermost zone takes everything
// beyond. A zone count of 0 or less leaves no valid zone.
static int64_t Zone_index(double distance_steps, float steps_per_mm, int32_t field_size_mm, int32_t zone_count) {
    if (zone_count <= 0) return static_cast<int64_t>(zone_count) - 1;
    const double zones = Zones_to(distance_steps, steps_per_mm, Zone_width_mm(field_size_mm, zone_count));
    const int64_t i = zones >= static_cast<double>(zone_count) ? zone_count : static_cast<int64_t>(zones);
    return i >= zone_count ? zone_count - 1 : i;
}

// The distortion by field turn and the signs of x and y: X' = x (1 + y^2 kx), Y' = y (1 + x^2 ky),
// before narrowing to Singles. False for a turn without distortion (X' = x, Y' = y).
[[gnu::always_inline]] static inline bool Distortion(const HardwareRecord& hw, double x, double y, double& x1, double& y1) {
    const double fx = x, fy = y;
    float kx = 0.0f, ky = 0.0f;
    const float A = hw.sngDistortA, B = hw.sngDistortB, C = hw.sngDistortC, D = hw.sngDistortD;
    switch (hw.lngFieldTurn) {
        case 0: kx = x >= 0 ? D : C; ky = y >= 0 ? A : B; break;
        case 1: kx = x >= 0 ? A : B; ky = y >= 0 ? C : D; break;
        case 2: kx = x >= 0 ? C : D; ky = y >= 0 ? B : A; break;
        case 3: kx = x >= 0 ? B : A; ky = y >= 0 ? D : C; break;
        default: x1 = fx, y1 = fy; return false;
    }
    x1 = fx * (1.0 + fy * fy * kx);
    y1 = fy * (1.0 + fx * fx * ky);
    return true;
}

// The scale factors at the two field edges of a coordinate's zone: P at the + edge, M at the - edge
// (columns by the sign of the coordinate, X first, then Y).
struct EdgeScale {
    float p, m;
};
[[gnu::always_inline]] static inline EdgeScale X_edges(const ZoneTable& t, int64_t zone, float x1) {
    return x1 > 0 ? EdgeScale{t.at(zone, 0), t.at(zone, 3)} : EdgeScale{t.at(zone, 1), t.at(zone, 2)};
}
[[gnu::always_inline]] static inline EdgeScale Y_edges(const ZoneTable& t, int64_t zone, float y1) {
    return y1 > 0 ? EdgeScale{t.at(zone, 4), t.at(zone, 5)} : EdgeScale{t.at(zone, 7), t.at(zone, 6)};
}

void Coefficient_position(const HardwareRecord& hw, const ZoneTable& zones, double x, double y, float& x2, float& y2) {
    double dx1, dy1;
    const bool distort = Distortion(hw, x, y, dx1, dy1);
    const float x1 = distort ? to_single(dx1) : static_cast<float>(dx1);
    const float y1 = distort ? to_single(dy1) : static_cast<float>(dy1);

    const float k = hw.sngStepsPerMm;
    const int64_t i = Zone_index(std::fabs(x1), k, hw.lngFieldSizeX, hw.lngZoneCount);
    const int64_t j = Zone_index(std::fabs(y1), k, hw.lngFieldSizeY, hw.lngZoneCount);

    // X scale: P at the +y field edge, M at the -y edge, linear in between.
    const EdgeScale xs = X_edges(zones, i, x1);
    const double x_span = static_cast<double>(k) * hw.lngFieldSizeY;
    x2 = to_single(x1 * ((xs.p + xs.m) / 2.0 + real_div(static_cast<double>(y1) * (xs.p - xs.m), x_span)));
    // Y scale, against the already corrected X.
    const EdgeScale ys = Y_edges(zones, j, y1);
    const double y_span = static_cast<double>(k) * hw.lngFieldSizeX;
    y2 = to_single(y1 * ((ys.p + ys.m) / 2.0 + real_div(static_cast<double>(x2) * (ys.p - ys.m), y_span)));
}

void Coefficient_model_by_division(State& s, int32_t& x, int32_t& y) {
    float x2 = 0.0f, y2 = 0.0f;
    Coefficient_position(s.hw, s.scan.zoneTable, x, y, x2, y2);
    x = to_i32(static_cast<double>(x2));
    y = to_i32(static_cast<double>(y2));
}

// The least distance (a Single, as distances are) that Zone_index puts in zone n or beyond, found
// by bisecting the Singles in their bit order with the divisions themselves; infinity when even the
// largest Single falls short. Zone_index only grows with the distance, so below the edge is zone n-1.
static float Zone_edge_steps(int n, float steps_per_mm, double width_mm) {
    constexpr uint32_t kLargest = 0x7F7FFFFF;  // the largest finite Single
    if (Zones_to(std::bit_cast<float>(kLargest), steps_per_mm, width_mm) < n) return HUGE_VALF;
    uint32_t low = 0, high = kLargest;  // Zones_to(low) may fall short, Zones_to(high) reaches n
    while (low < high) {
        const uint32_t mid = low + (high - low) / 2;
        if (Zones_to(std::bit_cast<float>(mid), steps_per_mm, width_mm) >= n) high = mid;
        else low = mid + 1;
    }
    return std::bit_cast<float>(high);
}

static void Make_zone_edges(std::array<float, kZoneRows + 1>& edges, float steps_per_mm, int32_t field_size_mm,
                            int32_t zone_count) {
    const double width_mm = Zone_width_mm(field_size_mm, zone_count);
    edges[0] = 0.0f;
    for (int n = 1; n < zone_count; ++n) edges[n] = Zone_edge_steps(n, steps_per_mm, width_mm);
    edges[zone_count] = HUGE_VALF;
}

// Makes the reciprocals and zone edges anew when a value they come from changed (the template
// loaded, the marking parameters set, a field written by the host): four comparisons a step, the
// divisions only then. The steps per mm compare by their bits, so a NaN is taken in once too.
// The comparisons are made inline in the step; the making is out of line, away from it.
[[gnu::noinline]] static void Make_scale(const HardwareRecord& hw, CoefficientScale& c) {
    c.steps_per_mm = hw.sngStepsPerMm;
    c.field_x_mm = hw.lngFieldSizeX;
    c.field_y_mm = hw.lngFieldSizeY;
    c.zone_count = hw.lngZoneCount;
    c.usable = false;
    const double k = c.steps_per_mm;
    // From 1e-6 steps per mm up, no distance a Single holds makes the zone divisions leave the
    // Doubles; smaller, zero, negative or missing values are left to the divisions (faults included).
    if (!(k >= 1e-6 && k <= 1e30 && c.field_x_mm > 0 && c.field_y_mm > 0 && c.zone_count >= 1 &&
          c.zone_count <= kZoneRows))
        return;
    c.zones_per_step_x = 1.0 / (k * Zone_width_mm(c.field_x_mm, c.zone_count));
    c.zones_per_step_y = 1.0 / (k * Zone_width_mm(c.field_y_mm, c.zone_count));
    c.per_x_span_steps = 1.0 / (k * c.field_y_mm);
    c.per_y_span_steps = 1.0 / (k * c.field_x_mm);
    Make_zone_edges(c.edge_x_steps, c.steps_per_mm, c.field_x_mm, c.zone_count);
    Make_zone_edges(c.edge_y_steps, c.steps_per_mm, c.field_y_mm, c.zone_count);
    c.usable = true;
}

[[gnu::always_inline]] static inline const CoefficientScale& Current_scale(State& s) {
    const HardwareRecord& hw = s.hw;
    CoefficientScale& c = s.scan.coefficient_scale;
    if (std::bit_cast<uint32_t>(c.steps_per_mm) != std::bit_cast<uint32_t>(hw.sngStepsPerMm) ||
        c.field_x_mm != hw.lngFieldSizeX || c.field_y_mm != hw.lngFieldSizeY || c.zone_count != hw.lngZoneCount)
        [[unlikely]] Make_scale(hw, c);
    return c;
}

// The zone of a distance: one product gives it to within a zone or so (it differs from the
// divisions' quotient by a few units in the last place), the edges the divisions drew settle it. The
// product is taken of `near_steps`, the distance before it was narrowed to a Single (it need not wait
// for the narrowing), the edges are compared with the distance itself.
[[gnu::always_inline]] static inline int64_t Zone_by_edges(double near_steps, float distance_steps, double zones_per_step,
                                                           const std::array<float, kZoneRows + 1>& edges, int32_t zone_count) {
    const double z = near_steps * zones_per_step;
    int64_t i = z < zone_count ? static_cast<int64_t>(z) : zone_count - 1;
    // Loops rather than selects: the compiler makes them branches, rarely taken, so the zone's table
    // reads need not wait for the edges' comparisons. They end at edge 0 (0, no distance is below it)
    // and at the last zone's (infinity, every finite distance is below it).
    while (distance_steps < edges[i]) --i;
    while (distance_steps >= edges[i + 1]) ++i;
    return i;
}

// c (a + b / span) narrowed to a Single, with 1 / span for the division. Where the sum does not
// cancel (|a| + |b / span| at most four times |a + b / span|), the product's result lies within 16
// units in the last place of a Double of the formula's; unless that puts it within 128 units of a
// point halfway between two Singles (the low 29 bits of the Double near 2^28), both round to the
// same Single. Also declined: results a Single cannot hold as a normal number, which the formula
// may fault on.
[[gnu::always_inline]] static inline bool Scaled_by_product(float c, double a, double b, double per_span, float& result) {
    const double q = b * per_span;
    const double sum = a + q;
    if (!(std::fabs(a) + std::fabs(q) <= 4.0 * std::fabs(sum))) return false;
    const double v = c * sum;
    const double size = std::fabs(v);
    if (!(size < 0x1p127) || (size < 0x1p-120 && size != 0.0)) return false;
    constexpr uint64_t kHalfway = uint64_t{1} << 28, kMargin = 128;
    const uint64_t dropped = std::bit_cast<uint64_t>(v) & ((uint64_t{1} << 29) - 1);
    if (dropped - (kHalfway - kMargin) <= 2 * kMargin) return false;
    result = static_cast<float>(v);
    return true;
}

// A Single rounded half to even into 32 bits, as to_i32 does, without a library call for the
// coordinates a field has. The processor's conversion rounds to nearest, ties to even (its default
// mode); elsewhere, below 2^30 the Double sum with 1.5 x 2^52 keeps no fraction, so the addition
// itself rounds that way and the subtraction is exact.
[[gnu::always_inline]] static inline int32_t Nearest_i32(float v) {
    if (std::fabs(v) < 0x1p30f) [[likely]] {
#if defined(__SSE__)
        return _mm_cvtss_si32(_mm_set_ss(v));
#else
        constexpr double kRoundingBias = 0x1.8p52;
        return static_cast<int32_t>((static_cast<double>(v) + kRoundingBias) - kRoundingBias);
#endif
    }
    return to_i32(static_cast<double>(v));
}

[[gnu::always_inline]] static inline bool By_products(State& s, int32_t& x, int32_t& y) {
    const CoefficientScale& c = Current_scale(s);
    if (!c.usable) return false;
    double dx1, dy1;
    Distortion(s.hw, x, y, dx1, dy1);
    // Undistorted values are whole numbers, always in range; distorted ones must fit a Single.
    if (!(std::fabs(dx1) <= static_cast<double>(FLT_MAX) && std::fabs(dy1) <= static_cast<double>(FLT_MAX))) return false;
    const float x1 = static_cast<float>(dx1), y1 = static_cast<float>(dy1);
    const int64_t i = Zone_by_edges(std::fabs(dx1), std::fabs(x1), c.zones_per_step_x, c.edge_x_steps, c.zone_count);
    const int64_t j = Zone_by_edges(std::fabs(dy1), std::fabs(y1), c.zones_per_step_y, c.edge_y_steps, c.zone_count);
    const EdgeScale xs = X_edges(s.scan.zoneTable, i, x1);
    float x2, y2;
    if (!Scaled_by_product(x1, (xs.p + xs.m) / 2.0, static_cast<double>(y1) * (xs.p - xs.m), c.per_x_span_steps, x2))
        return false;
    const EdgeScale ys = Y_edges(s.scan.zoneTable, j, y1);
    if (!Scaled_by_product(y1, (ys.p + ys.m) / 2.0, static_cast<double>(x2) * (ys.p - ys.m), c.per_y_span_steps, y2))
        return false;
    x = Nearest_i32(x2);
    y = Nearest_i32(y2);
    return true;
}

bool Coefficient_model_by_products(State& s, int32_t& x, int32_t& y) { return By_products(s, x, y); }

void Grid_correct(State& s, int32_t& x, int32_t& y) {
    if (s.grid.blnGridLoaded != 0) Grid_offset(s, x, y);
    else if (!By_products(s, x, y)) [[unlikely]] Coefficient_model_by_division(s, x, y);
}

}  // namespace korvex
