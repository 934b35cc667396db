// Catmull-Rom through the samples: between nodes k and k+1 at t, the weights of nodes k-1 .. k+2
// are (-t^3+2t^2-t)/2, (3t^3-5t^2+2)/2, (-3t^3+4t^2+t)/2, (t^3-t^2)/2. The border nodes carry on
// the parabola of the last three nodes (3 v0 - 3 v1 + v2), so the curve bends at the edge as inside.
#include "calibration/lattice_field.hpp"

#include <algorithm>
#include <cmath>

namespace korvex::calibration {

namespace {

void weights(double t, double w[4], double dw[4]) {
    const double t2 = t * t, t3 = t2 * t;
    w[0] = (-t3 + 2 * t2 - t) / 2;
    w[1] = (3 * t3 - 5 * t2 + 2) / 2;
    w[2] = (-3 * t3 + 4 * t2 + t) / 2;
    w[3] = (t3 - t2) / 2;
    dw[0] = (-3 * t2 + 4 * t - 1) / 2;
    dw[1] = (9 * t2 - 10 * t) / 2;
    dw[2] = (-9 * t2 + 8 * t + 1) / 2;
    dw[3] = (3 * t2 - 2 * t) / 2;
}

}  // namespace

LatticeField::LatticeField(int nodes, double field_mm, const std::vector<Vec2>& values)
    : n_(nodes), half_mm_(field_mm / 2.0), pitch_mm_(field_mm / (nodes - 1)) {
    if (nodes < 3 || values.size() != static_cast<std::size_t>(nodes) * nodes)
        throw CalibrationError("a lattice field needs values at every node of at least 3 x 3");
    const int m = n_ + 2;
    ext_.assign(static_cast<std::size_t>(m) * m, Vec2{});
    const auto cell = [&](int col, int row) -> Vec2& { return ext_[static_cast<std::size_t>((row + 1) * m + col + 1)]; };
    for (int row = 0; row < n_; ++row)
        for (int col = 0; col < n_; ++col) cell(col, row) = values[static_cast<std::size_t>(row * n_ + col)];
    // The border: the parabola through the last three nodes carried on one node.
    const auto beyond = [](Vec2 a, Vec2 b, Vec2 c) { return 3.0 * a - 3.0 * b + c; };
    for (int row = 0; row < n_; ++row) {
        cell(-1, row) = beyond(cell(0, row), cell(1, row), cell(2, row));
        cell(n_, row) = beyond(cell(n_ - 1, row), cell(n_ - 2, row), cell(n_ - 3, row));
    }
    for (int col = -1; col <= n_; ++col) {
        cell(col, -1) = beyond(cell(col, 0), cell(col, 1), cell(col, 2));
        cell(col, n_) = beyond(cell(col, n_ - 1), cell(col, n_ - 2), cell(col, n_ - 3));
    }
}

void LatticeField::inside(double u, double v, Vec2& value, Vec2& du, Vec2& dv) const {
    const int i = std::clamp(static_cast<int>(std::floor(u)), 0, n_ - 2);
    const int j = std::clamp(static_cast<int>(std::floor(v)), 0, n_ - 2);
    double wu[4], dwu[4], wv[4], dwv[4];
    weights(u - i, wu, dwu);
    weights(v - j, wv, dwv);
    value = du = dv = Vec2{};
    for (int b = 0; b < 4; ++b)
        for (int a = 0; a < 4; ++a) {
            const Vec2 s = ext(i - 1 + a, j - 1 + b);
            value = value + (wu[a] * wv[b]) * s;
            du = du + (dwu[a] * wv[b]) * s;
            dv = dv + (wu[a] * dwv[b]) * s;
        }
}

Vec2 LatticeField::at(Vec2 p) const {
    const double u = (p.x + half_mm_) / pitch_mm_, v = (p.y + half_mm_) / pitch_mm_;
    const double uc = std::clamp(u, 0.0, n_ - 1.0), vc = std::clamp(v, 0.0, n_ - 1.0);
    Vec2 value, du, dv;
    inside(uc, vc, value, du, dv);
    // Beyond the lattice: carried on linearly for one pitch, then held.
    return value + std::clamp(u - uc, -1.0, 1.0) * du + std::clamp(v - vc, -1.0, 1.0) * dv;
}

}  // namespace korvex::calibration
