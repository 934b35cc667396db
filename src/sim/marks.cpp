// Merging of spot movements into straight marks, and the marks text and summary.
//
// A run is extended point by point. For the chord from the run's start S to an end P to stay
// within the tolerance t of every point I in between (at distance d from S), its direction must
// lie within asin(t / d) of I's direction: between the two tangents from S to the circle of radius
// t around I. The intersection of those ranges (the cone) is kept as its two edge vectors, so a
// point costs a few cross products and two square roots, whatever the length of the run. A point
// inside the cone, and at least as far out as every point before it, is a valid end. A point
// outside it may still lie within tolerance of a longer chord (a stepped line swings to both sides
// of its chord), so it is kept in the run's tail until either a later point is a valid end again,
// or the cone becomes empty or the path turns back (a retrace): then the run ends at its last
// valid end, and the tail starts the next run from there.
//
// Each point brings its own tolerance: the plain one, or (when enabled) the length of the step that
// reached it. The library steps a straight vector as a staircase: the leading channel, often the
// other with it, the same few D/A units every cycle, and the chord from the vector's start to a
// point on the way strays up to a step from the staircase; letting it stray that far turns the
// staircase back into the vector. The vector's last step, the rest of the way onto its end, is
// shorter or uneven: the line ends there, so the corners between vectors stay where the machine
// turned. (A corner whose last step happens to be a whole one may be cut by that step.) A whole
// jump ignores the cone: only a retrace ends it.
//
// The newest movement is held back until the next event, because the second channel of the same
// point may still arrive and turn it into one diagonal movement; only then is it merged.
#include "sim/marks.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "korvex/fault.hpp"
#include "sim/trace.hpp"

namespace korvex {

namespace {
// Keeps points exactly at the tolerance inside it despite rounding.
constexpr double kSlack = 1e-9;

double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

// Is direction (x, y) in the range that turns counter-clockwise from edge lo to edge hi? The range
// is less than a half turn wide and lies within a quarter turn of (cx, cy), which tells it from
// the opposite range the two edges also bound.
bool within(double x, double y, double lo_x, double lo_y, double hi_x, double hi_y, double cx, double cy) {
    return (cross(lo_x, lo_y, x, y) >= 0.0) & (cross(x, y, hi_x, hi_y) >= 0.0) & (x * cx + y * cy > 0.0);
}

// Is the root of dist2 (rounded) greater than tol? Squared where the margin decides it.
bool farther_than(double dist2, double tol) {
    const double tol2 = tol * tol;
    if (dist2 > tol2 * (1.0 + 0x1p-40)) return true;
    if (dist2 < tol2 * (1.0 - 0x1p-40)) return false;
    return std::sqrt(dist2) > tol;
}
}  // namespace

double Mark::length_da() const {
    return std::hypot(static_cast<double>(x1) - x0, static_cast<double>(y1) - y0);
}

void MarkRecorder::start_run(int32_t x0, int32_t y0, Mark::Kind kind, double t0_us) {
    Open& o = open_;
    o.active = true;
    o.mark = Mark{};
    o.mark.kind = kind;
    o.mark.x0 = o.mark.x1 = x0;
    o.mark.y0 = o.mark.y1 = y0;
    o.mark.t0_us = o.mark.t1_us = t0_us;
    o.cone_full = true;
    o.ref_x = o.ref_y = o.lo_x = o.lo_y = o.hi_x = o.hi_y = 0.0;
    o.max_dist2 = 0.0;
    o.step_directions = 0;
    o.tail.clear();
}

namespace {
// The direction of a movement in eighths of a turn (0: +x, 2: +y), -1 for none.
int octant(int64_t dx, int64_t dy) {
    static constexpr int kOctant[3][3] = {{5, 4, 3}, {6, -1, 2}, {7, 0, 1}};  // [sign dx + 1][sign dy + 1]
    return kOctant[(dx > 0) - (dx < 0) + 1][(dy > 0) - (dy < 0) + 1];
}
// Per direction k (index k + 1; none counts as -1), the directions a quarter turn or more away.
constexpr std::array<uint8_t, 9> kFarDirections = [] {
    std::array<uint8_t, 9> far{};
    for (int k = -1; k < 8; ++k)
        for (int j = 0; j < 8; ++j) {
            const int d = j > k ? j - k : k - j;
            if ((d < 8 - d ? d : 8 - d) >= 2) far[static_cast<std::size_t>(k + 1)] |= static_cast<uint8_t>(1u << j);
        }
    return far;
}();
// True when a step in direction `k` turns a quarter or more from a step the run already made: a
// staircase only ever steps along one axis and the diagonal beside it.
bool turns_away(uint8_t directions, int k) { return (directions & kFarDirections[static_cast<std::size_t>(k + 1)]) != 0; }
}  // namespace

// Adds one point to the open run; false (and nothing changed) when the run must end at its last
// valid end first.
[[gnu::always_inline]] inline bool MarkRecorder::try_add(const Point& p) {
    Open& o = open_;
    Mark& m = o.mark;
    const bool in_tail = !o.tail.empty();
    const int32_t lx = in_tail ? o.tail.back().x : m.x1;
    const int32_t ly = in_tail ? o.tail.back().y : m.y1;
    if (p.x == lx && p.y == ly) {  // no movement: the last point just lasts longer
        (in_tail ? o.tail.back().t1_us : m.t1_us) = p.t1_us;
        return true;
    }
    const double tol = p.tol_da + kSlack;
    const double px = static_cast<double>(p.x) - m.x0, py = static_cast<double>(p.y) - m.y0;
    // Distances are compared squared where that decides as the roots would; the roots (exact
    // enough at D/A scale) are taken only when it would not.
    const double dist2 = px * px + py * py;
    if (dist2 < o.max_dist2 && std::sqrt(dist2) + tol < std::sqrt(o.max_dist2)) return false;  // back towards the start: a retrace
    if (whole_jumps_ && m.kind == Mark::Kind::jump) {
        o.max_dist2 = std::max(o.max_dist2, dist2);
        m.x1 = p.x;
        m.y1 = p.y;
        m.t1_us = p.t1_us;
        o.tail.clear();
        return true;
    }
    // A point back on the start has no direction; it counts as the +x direction.
    const double vx = dist2 == 0.0 ? 1.0 : px;
    const bool valid = o.cone_full || within(vx, py, o.lo_x, o.lo_y, o.hi_x, o.hi_y, o.ref_x, o.ref_y);
    if (farther_than(dist2, tol)) {  // the point itself narrows the cone for every later end
        // Its own range: its direction turned either way by asin(tol / dist), the tangents from the
        // start to the circle of radius tol around it.
        const double along = std::sqrt(std::max(dist2 - tol * tol, 0.0));
        const double lo_x = px * along + py * tol, lo_y = py * along - px * tol;
        const double hi_x = px * along - py * tol, hi_y = py * along + px * tol;
        if (o.cone_full) {
            o.cone_full = false;
            o.ref_x = px, o.ref_y = py;
            o.lo_x = lo_x, o.lo_y = lo_y;
            o.hi_x = hi_x, o.hi_y = hi_y;
        } else {
            bool lo_inside, hi_inside;
            if (valid) {
                // The point lies in the cone, so the ranges meet, and each of its edges (less than a
                // quarter turn from it) lies in the cone unless it passes the cone's edge on its side.
                lo_inside = cross(o.lo_x, o.lo_y, lo_x, lo_y) >= 0.0;
                hi_inside = cross(hi_x, hi_y, o.hi_x, o.hi_y) >= 0.0;
            } else {
                // Two ranges narrower than a half turn meet where one's clockwise edge lies in the other.
                lo_inside = within(lo_x, lo_y, o.lo_x, o.lo_y, o.hi_x, o.hi_y, o.ref_x, o.ref_y);
                hi_inside = within(hi_x, hi_y, o.lo_x, o.lo_y, o.hi_x, o.hi_y, o.ref_x, o.ref_y);
                if (!lo_inside && !within(o.lo_x, o.lo_y, lo_x, lo_y, hi_x, hi_y, px, py)) return false;
            }
            if (lo_inside) o.lo_x = lo_x, o.lo_y = lo_y;
            if (hi_inside) o.hi_x = hi_x, o.hi_y = hi_y;
        }
    }
    o.max_dist2 = std::max(o.max_dist2, dist2);
    if (valid) {
        m.x1 = p.x;
        m.y1 = p.y;
        m.t1_us = p.t1_us;
        o.tail.clear();
    } else {
        o.tail.push_back(p);
    }
    return true;
}

void MarkRecorder::feed() {
    std::size_t i = 0;
    while (i < queue_.size()) {
        if (try_add(queue_[i])) {
            ++i;
            continue;
        }
        // End the run at its last valid end; its tail and the rest start the next run there.
        push(open_.mark);
        spare_.assign(open_.tail.begin(), open_.tail.end());
        spare_.insert(spare_.end(), queue_.begin() + static_cast<std::ptrdiff_t>(i), queue_.end());
        start_run(open_.mark.x1, open_.mark.y1, open_.mark.kind, spare_.front().t0_us);
        std::swap(queue_, spare_);
        i = 0;
    }
    queue_.clear();
}

void MarkRecorder::finish_open() {
    while (open_.active) {
        push(open_.mark);
        if (open_.mark.kind == Mark::Kind::axis || open_.tail.empty()) {
            open_.active = false;
            open_.tail.clear();
            return;
        }
        queue_.assign(open_.tail.begin(), open_.tail.end());
        start_run(open_.mark.x1, open_.mark.y1, open_.mark.kind, queue_.front().t0_us);
        feed();
    }
}

// How a movement continues the staircase of a stepped vector. Its steps move one or both channels
// by the same unit; the last step of a vector is shorter (the rest of the way onto its end).
inline MarkRecorder::StepKind MarkRecorder::classify_step(int64_t adx, int64_t ady) {
    if (step_max_da_ <= 0.0) return StepKind::other;
    const int64_t big = std::max(adx, ady), small = std::min(adx, ady);
    const bool uniform = small == 0 || small == big;
    if (uniform && big == step_unit_) return StepKind::staircase;
    if (uniform && big > step_unit_) {
        step_unit_ = big;  // the first step of a staircase, or one at a higher speed
        step_diagonal_da_ = std::hypot(static_cast<double>(big), static_cast<double>(big));
        return StepKind::first;
    }
    return StepKind::last;
}

[[gnu::always_inline]] inline void MarkRecorder::apply_pending() {
    const Pending& mv = pending_;  // nothing below changes it
    pending_.valid = false;
    const int64_t dx = static_cast<int64_t>(mv.x1) - mv.x0, dy = static_cast<int64_t>(mv.y1) - mv.y0;
    const Mark::Kind kind = mv.emitting ? Mark::Kind::line : Mark::Kind::jump;
    const StepKind step = classify_step(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
    // A vector's last step lands on a corner of the machine's path: the line ends there exactly,
    // once the next vector's steps begin (its last step may come as two one-channel moves).
    // So does a line whose steps turn a quarter or more: the machine turned a corner there.
    const bool stepping = kind == Mark::Kind::line && (step == StepKind::staircase || step == StepKind::first);
    const int direction = octant(dx, dy);
    if (kind == Mark::Kind::line && corner_behind_ && step != StepKind::last) finish_open();
    else if (stepping && open_.active && open_.mark.kind == kind && turns_away(open_.step_directions, direction))
        finish_open();
    corner_behind_ = kind == Mark::Kind::line && step == StepKind::last;
    const Open& o = open_;
    const int32_t lx = o.tail.empty() ? o.mark.x1 : o.tail.back().x;
    const int32_t ly = o.tail.empty() ? o.mark.y1 : o.tail.back().y;
    if (!o.active || o.mark.kind != kind || lx != mv.x0 || ly != mv.y0) {
        finish_open();
        start_run(mv.x0, mv.y0, kind, mv.t0_us);
    }
    if (stepping && direction >= 0) open_.step_directions |= static_cast<uint8_t>(1u << direction);
    double tol_da = tolerance_da_;
    if (step == StepKind::staircase) {  // a whole step along one channel or diagonally
        const double step_da = dx != 0 && dy != 0 ? step_diagonal_da_ : static_cast<double>(step_unit_);
        if (step_da <= step_max_da_) tol_da = std::max(tolerance_da_, step_da);
    }
    const Point p{mv.x1, mv.y1, mv.t0_us, mv.t1_us, tol_da};
    if (try_add(p)) return;
    queue_.assign(1, p);
    feed();
}

void MarkRecorder::move(int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool emitting, double t0_us, double t1_us) {
    if (pending_.valid) apply_pending();
    pending_ = Pending{true, x0, y0, x1, y1, emitting, t0_us, t1_us};
}

void MarkRecorder::amend_last_move(int32_t x1, int32_t y1, double t1_us) {
    if (pending_.valid) {
        pending_.x1 = x1;
        pending_.y1 = y1;
        pending_.t1_us = t1_us;
        return;
    }
    // Nothing to amend (the caller broke the contract): record it as a move of its own.
    if (open_.active && open_.mark.kind != Mark::Kind::axis) {
        const int32_t lx = open_.tail.empty() ? open_.mark.x1 : open_.tail.back().x;
        const int32_t ly = open_.tail.empty() ? open_.mark.y1 : open_.tail.back().y;
        move(lx, ly, x1, y1, open_.mark.kind == Mark::Kind::line, t1_us, t1_us);
    }
}

void MarkRecorder::dot(int32_t x, int32_t y, double t0_us, double t1_us) {
    close();
    Mark m;
    m.kind = Mark::Kind::dot;
    m.x0 = m.x1 = x;
    m.y0 = m.y1 = y;
    m.t0_us = t0_us;
    m.t1_us = t1_us;
    push(m);
}

void MarkRecorder::axis_step(int direction, double t_us) {
    if (pending_.valid) apply_pending();
    const int step = direction < 0 ? -1 : 1;
    Mark& m = open_.mark;
    if (open_.active && m.kind == Mark::Kind::axis && (m.steps < 0) == (step < 0)) {
        m.steps += step;
        m.t1_us = t_us;
        return;
    }
    close();
    start_run(0, 0, Mark::Kind::axis, t_us);
    open_.mark.steps = step;
}

void MarkRecorder::close() {
    if (pending_.valid) apply_pending();
    finish_open();
    step_unit_ = 0;
    corner_behind_ = false;
}

std::vector<Mark> MarkRecorder::closing_marks() const {
    MarkRecorder rest(tolerance_da_);
    rest.step_max_da_ = step_max_da_;
    rest.whole_jumps_ = whole_jumps_;
    rest.step_unit_ = step_unit_;
    rest.step_diagonal_da_ = step_diagonal_da_;
    rest.corner_behind_ = corner_behind_;
    rest.open_ = open_;
    rest.pending_ = pending_;
    rest.close();
    return std::move(rest.closed_);
}

std::vector<Mark> MarkRecorder::all() const {
    std::vector<Mark> out;
    out.reserve(closed_.size() + 1);
    for_each([&](const Mark& m) { out.push_back(m); });
    return out;
}

void MarkRecorder::clear() {
    closed_.clear();
    open_.active = false;
    open_.tail.clear();
    pending_.valid = false;
    step_unit_ = 0;
    corner_behind_ = false;
}

std::string format_mark(const Mark& m, bool with_time) {
    std::string s;
    if (with_time) s = "@" + format_us(m.t0_us) + " ";
    char buf[80];
    switch (m.kind) {
        case Mark::Kind::line:
        case Mark::Kind::jump:
            std::snprintf(buf, sizeof buf, "%s %d %d %d %d", m.kind == Mark::Kind::line ? "line" : "jump", m.x0, m.y0,
                          m.x1, m.y1);
            return s + buf;
        case Mark::Kind::dot:
            std::snprintf(buf, sizeof buf, "dot %d %d ", m.x0, m.y0);
            return s + buf + format_us(m.on_us());
        case Mark::Kind::axis:
            std::snprintf(buf, sizeof buf, "axis %d", m.steps);
            return s + buf;
    }
    return s;
}

void write_marks(std::ostream& out, const MarkRecorder& marks, bool with_time) {
    marks.for_each([&](const Mark& m) { out << format_mark(m, with_time) << '\n'; });
}

MarkSummary summarize_marks(const MarkRecorder& marks, double head_steps_per_mm) {
    if (!(head_steps_per_mm > 0.0) || !std::isfinite(head_steps_per_mm))
        raise_fault(FaultKind::division, "marks summary: head scale must be a positive number of D/A steps per mm");
    MarkSummary s;
    marks.for_each([&](const Mark& m) {
        switch (m.kind) {
            case Mark::Kind::line:
                s.marked_da += m.length_da();
                s.line_time_us += m.on_us();
                ++s.lines;
                break;
            case Mark::Kind::jump: s.jumped_da += m.length_da(); ++s.jumps; break;
            case Mark::Kind::dot: ++s.dots; s.dot_on_us += m.on_us(); break;
            case Mark::Kind::axis: s.axis_steps += m.steps < 0 ? -static_cast<int64_t>(m.steps) : m.steps; break;
        }
    });
    s.marked_mm = s.marked_da / head_steps_per_mm;
    s.jumped_mm = s.jumped_da / head_steps_per_mm;
    return s;
}

std::string format_summary(const MarkSummary& s) {
    return "marked " + format_us(s.marked_mm) + " mm (" + format_us(s.marked_da) + " D/A units), jumped " +
           format_us(s.jumped_mm) + " mm (" + format_us(s.jumped_da) + " D/A units), lines " + std::to_string(s.lines) +
           ", jumps " + std::to_string(s.jumps) + ", dots " + std::to_string(s.dots) + " (" + format_us(s.dot_on_us) +
           " us), axis " + std::to_string(s.axis_steps) + " steps, laser switchings " +
           std::to_string(s.laser_switchings) + ", machine time " + format_us(s.machine_time_us) + " us";
}

}  // namespace korvex
