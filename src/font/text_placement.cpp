// Character placement. Straight and vertical text turn about the block's centre by Angle rounded to
// whole degrees; arc text walks the circle by the angle each character's half width subtends, in
// either direction, with the glyph origin at its start or end depending on the orientation.
#include "font/text_placement.hpp"

#include <cmath>
#include <numbers>

namespace korvex {

namespace {

constexpr double kRadPerDeg = std::numbers::pi / 180.0;
constexpr float kDefaultArcDiameterMm = 10.0f;

// (px, py) turned by `angle_deg` about (cx, cy).
CharPlacement Turned(double px, double py, double cx, double cy, double angle_deg) {
    const double c = std::cos(angle_deg * kRadPerDeg), s = std::sin(angle_deg * kRadPerDeg);
    return {(px - cx) * c - (py - cy) * s + cx, (py - cy) * c + (px - cx) * s + cy, angle_deg};
}

// The angle (degrees) that half a chord of length 2h subtends at the centre of a circle of radius r.
double Arc_half_angle_deg(double h, double r) {
    const double q = r * r - h * h;
    if (!(q > 0.0)) raise_fault(FaultKind::invalid_float, "arc text: a character or gap as wide as the arc's diameter");
    return std::atan(h / std::sqrt(q)) / kRadPerDeg;
}

double Steps_per_mm(const State& s) { return s.hw.sngStepsPerMm; }

}  // namespace

CharPlacement Straight_place(const CellRecord& cell, const TextBlock& block, float x, float y, double advance_mm) {
    const double angle = round_half_even(cell.Angle);
    const double cx = x + block.width_mm / 2, cy = y + (block.height_mm - block.min_y_mm) / 2;
    return Turned(x + advance_mm, y - block.min_y_mm, cx, cy, angle);
}

CharPlacement Vertical_place(const State& s, float x, float y, float sx, int64_t b, int64_t n) {
    const CellRecord& cell = s.tmpl.curCell;
    const double angle = round_half_even(cell.Angle);
    const double w1 = real_div(Per_char(s.font.sngCharWidth, 1), Steps_per_mm(s));
    const double h1 = real_div(Per_char(s.font.sngCharHeight, 1), Steps_per_mm(s));
    const double gap = static_cast<double>(cell.FontWide.Space) * sx;
    const double cx = x + w1 / 2, cy = y + (h1 * n + gap * (n - 1)) / 2;
    return Turned(x, y + (n - b) * (h1 + gap), cx, cy, angle);
}

CharPlacement Arc_place(State& s, float x, float y, float sx, int64_t b) {
    CellRecord& cell = s.tmpl.curCell;
    if (cell.ArcDiameter == 0.0f) cell.ArcDiameter = kDefaultArcDiameterMm;
    const double r = cell.ArcDiameter / 2.0;
    const bool forward = (cell.Mode & kCellModeArcDirection) != 0;
    const bool flipped = (cell.Mode & kCellModeArcOrient) != 0;
    const double dir = forward ? 1.0 : -1.0;
    const double taken = s.font.sngArcAngle;
    const double half_char = real_div(Per_char(s.font.sngCharWidth, b), Steps_per_mm(s)) / 2;
    const double alpha = Arc_half_angle_deg(half_char, r);
    const double start = cell.ArcAngle + dir * taken;
    const double mid = cell.ArcAngle + dir * (taken + alpha);
    const double end = cell.ArcAngle + dir * (taken + 2 * alpha);
    const double origin = flipped == forward ? start : end;
    const double half_gap = static_cast<double>(cell.FontWide.Space) * sx / 2;
    s.font.sngArcAngle = to_single(taken + 2 * alpha + 2 * Arc_half_angle_deg(half_gap, r));
    return {x - cell.Value7 + r * std::cos(origin * kRadPerDeg), y - cell.RotaryDiameter + r * std::sin(origin * kRadPerDeg),
            mid - (flipped ? 270.0 : 90.0)};
}

}  // namespace korvex
