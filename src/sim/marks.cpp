// Merging of spot movements into straight marks, and the marks text and summary.
//
// A run is extended point by point. For the chord from the run's start S to an end P to stay
// within the tolerance t of every point I in between (at distance d from S), its direction must
// lie within asin(t / d) of I's direction; the intersection of those angular intervals (the cone)
// is kept, so each point costs one atan2 and at most one asin, whatever the length of the run.
// A point inside the cone, and at least as far out as every point before it, is a valid end. A
// point outside it may still lie within tolerance of a longer chord (a stepped line swings to both
// sides of its chord), so it is kept in the run's tail until either a later point is a valid end
// again, or the cone becomes empty or the path turns back (a retrace): then the run ends at its
// last valid end, and the tail starts the next run from there.
//
// Each point brings its own tolerance: the plain one, or (when enabled) the length of the step that
// reached it. The library steps a straight vector as a staircase: the leading channel, often the
// other with it, the same few D/A units every cycle, and the chord from the vector's start to a
// point on the way strays up to a step from the staircase; letting it stray that far turns the
// staircase back into the vector. The vector's last step, the rest of the way onto its end, is
// shorter or uneven: the line ends there, so the corners between vectors stay where the machine
// turned. (A corner whose last step happens to be a whole one may be cut by that step.) A whole
// jump ignores the cone: only a retrace ends it.
#include "sim/marks.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "korvex/fault.hpp"
#include "sim/trace.hpp"

namespace korvex {

namespace {
constexpr double kPi = std::numbers::pi;
// Keeps points exactly at the tolerance inside it despite rounding.
constexpr double kSlack = 1e-9;

double wrap_angle(double a) {
    while (a > kPi) a -= 2.0 * kPi;
    while (a <= -kPi) a += 2.0 * kPi;
    return a;
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
    o.cone_ref = o.cone_lo = o.cone_hi = 0.0;
    o.max_dist = 0.0;
    o.step_directions = 0;
    o.tail.clear();
}

namespace {
// The direction of a movement in eighths of a turn (0: +x, 2: +y), -1 for none.
int octant(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    static constexpr int kOctant[3][3] = {{5, 4, 3}, {6, -1, 2}, {7, 0, 1}};  // [sign dx + 1][sign dy + 1]
    const int sx = (x1 > x0) - (x1 < x0), sy = (y1 > y0) - (y1 < y0);
    return kOctant[sx + 1][sy + 1];
}
// True when a step in direction `k` turns a quarter or more from a step the run already made: a
// staircase only ever steps along one axis and the diagonal beside it.
bool turns_away(uint8_t directions, int k) {
    for (int j = 0; j < 8; ++j) {
        const int d = std::abs(j - k);
        if ((directions >> j & 1) != 0 && std::min(d, 8 - d) >= 2) return true;
    }
    return false;
}
}  // namespace

// Adds one point to the open run; false when the run must end at its last valid end first.
bool MarkRecorder::try_add(const Point& p) {
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
    const double dist = std::sqrt(px * px + py * py);  // exact enough at D/A scale, and fast
    if (dist + tol < o.max_dist) return false;  // back towards the start: a retrace
    if (whole_jumps_ && m.kind == Mark::Kind::jump) {
        o.max_dist = std::max(o.max_dist, dist);
        m.x1 = p.x;
        m.y1 = p.y;
        m.t1_us = p.t1_us;
        o.tail.clear();
        return true;
    }
    const double phi = std::atan2(py, px);
    bool full = o.cone_full;
    double ref = o.cone_ref, lo = o.cone_lo, hi = o.cone_hi;
    bool valid = full;
    if (!full) {
        const double rel = wrap_angle(phi - ref);
        valid = rel >= lo && rel <= hi;
    }
    if (dist > tol) {  // the point itself narrows the cone for every later end
        const double half = std::asin(tol / dist);
        if (full) {
            full = false;
            ref = phi;
            lo = -half;
            hi = half;
        } else {
            const double rel = wrap_angle(phi - ref);
            lo = std::max(lo, rel - half);
            hi = std::min(hi, rel + half);
            if (lo > hi) return false;
        }
    }
    o.cone_full = full;
    o.cone_ref = ref;
    o.cone_lo = lo;
    o.cone_hi = hi;
    o.max_dist = std::max(o.max_dist, dist);
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
MarkRecorder::StepKind MarkRecorder::classify_step(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (step_max_da_ <= 0.0) return StepKind::other;
    const int64_t adx = std::abs(static_cast<int64_t>(x1) - x0), ady = std::abs(static_cast<int64_t>(y1) - y0);
    const int64_t big = std::max(adx, ady), small = std::min(adx, ady);
    const bool uniform = small == 0 || small == big;
    if (uniform && big == step_unit_) return StepKind::staircase;
    if (uniform && big > step_unit_) {
        step_unit_ = big;  // the first step of a staircase, or one at a higher speed
        return StepKind::first;
    }
    return StepKind::last;
}

void MarkRecorder::move(int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool emitting, double t0_us, double t1_us) {
    last_.valid = true;
    last_.x0 = x0;
    last_.y0 = y0;
    last_.emitting = emitting;
    last_.t0_us = t0_us;
    last_.before = open_;  // reuses the snapshot's tail capacity
    last_.closed_size = closed_.size();
    last_.unit_before = step_unit_;
    last_.corner_before = corner_behind_;
    const Mark::Kind kind = emitting ? Mark::Kind::line : Mark::Kind::jump;
    const StepKind step = classify_step(x0, y0, x1, y1);
    const double step_da = std::hypot(static_cast<double>(x1) - x0, static_cast<double>(y1) - y0);
    // A vector's last step lands on a corner of the machine's path: the line ends there exactly,
    // once the next vector's steps begin (its last step may come as two one-channel moves).
    // So does a line whose steps turn a quarter or more: the machine turned a corner there.
    const bool stepping = kind == Mark::Kind::line && (step == StepKind::staircase || step == StepKind::first);
    const int direction = octant(x0, y0, x1, y1);
    if (kind == Mark::Kind::line && corner_behind_ && step != StepKind::last) finish_open();
    else if (stepping && open_.active && open_.mark.kind == kind && turns_away(open_.step_directions, direction))
        finish_open();
    corner_behind_ = kind == Mark::Kind::line && step == StepKind::last;
    const Open& o = open_;
    const int32_t lx = o.tail.empty() ? o.mark.x1 : o.tail.back().x;
    const int32_t ly = o.tail.empty() ? o.mark.y1 : o.tail.back().y;
    if (!o.active || o.mark.kind != kind || lx != x0 || ly != y0) {
        finish_open();
        start_run(x0, y0, kind, t0_us);
    }
    if (stepping && direction >= 0) open_.step_directions |= static_cast<uint8_t>(1u << direction);
    const bool loose = step == StepKind::staircase && step_da <= step_max_da_;
    const double tol_da = loose ? std::max(tolerance_da_, step_da) : tolerance_da_;
    queue_.clear();
    queue_.push_back(Point{x1, y1, t0_us, t1_us, tol_da});
    feed();
}

void MarkRecorder::amend_last_move(int32_t x1, int32_t y1, double t1_us) {
    if (!last_.valid) {
        // Nothing to amend (the caller broke the contract): record it as a move of its own.
        if (open_.active && open_.mark.kind != Mark::Kind::axis) {
            const int32_t lx = open_.tail.empty() ? open_.mark.x1 : open_.tail.back().x;
            const int32_t ly = open_.tail.empty() ? open_.mark.y1 : open_.tail.back().y;
            move(lx, ly, x1, y1, open_.mark.kind == Mark::Kind::line, t1_us, t1_us);
        }
        return;
    }
    // Undo the last move (and whatever runs it ended) and apply the whole move instead.
    closed_.resize(last_.closed_size);
    open_ = last_.before;
    step_unit_ = last_.unit_before;
    corner_behind_ = last_.corner_before;
    const int32_t x0 = last_.x0, y0 = last_.y0;
    const bool emitting = last_.emitting;
    const double t0_us = last_.t0_us;
    move(x0, y0, x1, y1, emitting, t0_us, t1_us);
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
    finish_open();
    last_.valid = false;
    step_unit_ = 0;
    corner_behind_ = false;
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
    last_.valid = false;
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
