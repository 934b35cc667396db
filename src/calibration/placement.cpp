// The rigid fit in closed form: with both point sets centred, the best angle is
// atan2(sum(q x p), sum(q . p)); the shift carries the nominal centroid onto the measured one.
#include "calibration/placement.hpp"

#include <cmath>

namespace korvex::calibration {

namespace {

struct Fit {
    double angle = 0.0, scale = 1.0, rms = 0.0;
    Vec2 shift;
};

Fit rigid_fit(const std::vector<Vec2>& q, const std::vector<Vec2>& p, bool mirror) {
    const std::size_t n = q.size();
    const auto nominal = [&](std::size_t i) { return mirror ? Vec2{q[i].x, -q[i].y} : q[i]; };
    Vec2 qc, pc;
    for (std::size_t i = 0; i < n; ++i) {
        qc = qc + nominal(i);
        pc = pc + p[i];
    }
    qc = (1.0 / n) * qc;
    pc = (1.0 / n) * pc;
    double dot = 0.0, cross = 0.0, qq = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const Vec2 a = nominal(i) - qc, b = p[i] - pc;
        dot += a.x * b.x + a.y * b.y;
        cross += a.x * b.y - a.y * b.x;
        qq += a.x * a.x + a.y * a.y;
    }
    Fit f;
    f.angle = std::atan2(cross, dot);
    f.scale = qq > 0.0 ? std::hypot(dot, cross) / qq : 1.0;
    const double c = std::cos(f.angle), s = std::sin(f.angle);
    f.shift = pc - Vec2{c * qc.x - s * qc.y, s * qc.x + c * qc.y};
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const Vec2 a = nominal(i);
        const Vec2 placed = Vec2{c * a.x - s * a.y, s * a.x + c * a.y} + f.shift;
        const Vec2 r = p[i] - placed;
        sum += r.x * r.x + r.y * r.y;
    }
    f.rms = std::sqrt(sum / n);
    return f;
}

}  // namespace

Vec2 Placement::place(Vec2 q) const {
    const double c = std::cos(angle_rad), s = std::sin(angle_rad);
    return Vec2{c * q.x - s * q.y, s * q.x + c * q.y} + shift;
}

Vec2 Placement::unplace(Vec2 p) const {
    const double c = std::cos(angle_rad), s = std::sin(angle_rad);
    const Vec2 d = p - shift;
    return {c * d.x + s * d.y, -s * d.x + c * d.y};
}

Placement fit_placement(const std::vector<Vec2>& nominal, const std::vector<Vec2>& measured) {
    if (nominal.size() != measured.size() || nominal.size() < 2)
        throw CalibrationError("a placement needs at least two measured nodes");
    const Fit f = rigid_fit(nominal, measured, false);
    Placement out;
    out.angle_rad = f.angle;
    out.shift = f.shift;
    out.scale = f.scale;
    out.rms = f.rms;
    out.mirrored_rms = rigid_fit(nominal, measured, true).rms;
    return out;
}

}  // namespace korvex::calibration
