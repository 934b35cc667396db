// Path flattening: curves become chords in equal parameter steps, the number of steps chosen from
// the curve's second difference so that the chord error stays within the tolerance.
#include "platform/path_flattening.hpp"

#include <algorithm>
#include <cmath>

#include "core/numeric.hpp"

namespace korvex {

namespace {

// Chords of a curve whose second derivative never exceeds `bend` (device units), so that each
// chord strays at most bend * h^2 / 8 from the curve for a parameter step h.
int32_t chord_count(double bend, double tolerance) {
    const double n = std::ceil(std::sqrt(bend / (8.0 * tolerance)));
    return static_cast<int32_t>(std::clamp(n, 1.0, 256.0));
}

}  // namespace

FlatPath::FlatPath(TextPathPoint* points, int32_t capacity, double tolerance_units)
    : points_(points), capacity_(capacity), tolerance_(tolerance_units) {}

void FlatPath::add(int32_t x, int32_t y, uint8_t type) {
    if (count_ < capacity_) points_[count_] = TextPathPoint{x, y, type};
    ++count_;
}

void FlatPath::move_to(double x, double y) {
    end_figure();
    cur_x_ = x;
    cur_y_ = y;
    start_x_ = last_x_ = static_cast<int32_t>(round_half_even(x));
    start_y_ = last_y_ = static_cast<int32_t>(round_half_even(y));
    add(start_x_, start_y_, 6);
    open_ = true;
    figure_points_ = 1;
}

void FlatPath::line_to(double x, double y) {
    cur_x_ = x;
    cur_y_ = y;
    const auto px = static_cast<int32_t>(round_half_even(x));
    const auto py = static_cast<int32_t>(round_half_even(y));
    if (!open_ || (px == last_x_ && py == last_y_)) return;
    if (pending_) {
        add(pending_x_, pending_y_, 2);
        ++figure_points_;
    }
    pending_ = true;
    pending_x_ = last_x_ = px;
    pending_y_ = last_y_ = py;
}

void FlatPath::conic_to(double cx, double cy, double x, double y) {
    const double x0 = cur_x_, y0 = cur_y_;
    const double bend = 2.0 * std::hypot(x0 - 2.0 * cx + x, y0 - 2.0 * cy + y);
    const int32_t n = chord_count(bend, tolerance_);
    for (int32_t i = 1; i <= n; ++i) {
        const double t = static_cast<double>(i) / n, u = 1.0 - t;
        line_to(u * u * x0 + 2.0 * u * t * cx + t * t * x, u * u * y0 + 2.0 * u * t * cy + t * t * y);
    }
}

void FlatPath::cubic_to(double c1x, double c1y, double c2x, double c2y, double x, double y) {
    const double x0 = cur_x_, y0 = cur_y_;
    const double bend = 6.0 * std::max(std::hypot(x0 - 2.0 * c1x + c2x, y0 - 2.0 * c1y + c2y),
                                       std::hypot(c1x - 2.0 * c2x + x, c1y - 2.0 * c2y + y));
    const int32_t n = chord_count(bend, tolerance_);
    for (int32_t i = 1; i <= n; ++i) {
        const double t = static_cast<double>(i) / n, u = 1.0 - t;
        const double a = u * u * u, b = 3.0 * u * u * t, c = 3.0 * u * t * t, d = t * t * t;
        line_to(a * x0 + b * c1x + c * c2x + d * x, a * y0 + b * c1y + c * c2y + d * y);
    }
}

void FlatPath::end_figure() {
    if (!open_) return;
    open_ = false;
    if (!pending_) {  // a lone move-to draws nothing: take it back
        --count_;
        return;
    }
    pending_ = false;
    if (pending_x_ == start_x_ && pending_y_ == start_y_ && figure_points_ >= 2) {
        // The figure came back to its start: the point before closes it.
        if (count_ - 1 < capacity_) points_[count_ - 1].type = 3;
        return;
    }
    add(pending_x_, pending_y_, 3);
}

int32_t FlatPath::finish() {
    end_figure();
    return count_;
}

}  // namespace korvex
