// Landing the machine's marks on a distorted head's work plane. A line is split in halves while a
// quarter, half or three-quarter point of the landed curve lies farther than the tolerance from
// the chord of its piece (16 halvings at most: a piece 1/65536 of a line is always short enough).
#include "sim/landed_marks.hpp"

#include <cmath>
#include <cstdio>

#include "sim/trace.hpp"

namespace korvex {

namespace {

constexpr int kMaxHalvings = 16;
// The marks file's tolerance: a tenth of a head unit (a micrometre at 100 units a mm), far below
// a laser line's width.
constexpr double kFileToleranceUnits = 0.1;

struct Landed {
    double x, y;
};

double distance_to_chord(const Landed& p, const Landed& a, const Landed& b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len = std::hypot(dx, dy);
    if (len == 0.0) return std::hypot(p.x - a.x, p.y - a.y);
    return std::fabs((p.x - a.x) * dy - (p.y - a.y) * dx) / len;
}

class Lander {
public:
    Lander(const HeadDistortion& head, double k, double tolerance) : head_(head), k_(k), tol_(tolerance) {}

    Landed at(double x_da, double y_da) const {
        Landed p;
        land_da(head_, k_, x_da, y_da, p.x, p.y);
        return p;
    }

    // Emits the pieces of the D/A segment a-b (landed ends la, lb) in order.
    template <class Emit>
    void split(double ax, double ay, double bx, double by, const Landed& la, const Landed& lb, int depth,
               const Emit& emit) const {
        const auto point = [&](double t) { return at(ax + (bx - ax) * t, ay + (by - ay) * t); };
        const Landed mid = point(0.5);
        const bool straight = depth >= kMaxHalvings ||
                              (distance_to_chord(mid, la, lb) <= tol_ && distance_to_chord(point(0.25), la, lb) <= tol_ &&
                               distance_to_chord(point(0.75), la, lb) <= tol_);
        if (straight) {
            emit(la, lb);
            return;
        }
        const double mx = (ax + bx) / 2.0, my = (ay + by) / 2.0;
        split(ax, ay, mx, my, la, mid, depth + 1, emit);
        split(mx, my, bx, by, mid, lb, depth + 1, emit);
    }

private:
    const HeadDistortion& head_;
    double k_;
    double tol_;
};

std::string format_units(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v == 0.0 ? 0.0 : v);  // no "-0.00" for a negative zero
    return buf;
}

}  // namespace

void land_da(const HeadDistortion& head, double k, double x_da, double y_da, double& x, double& y) {
    head.land(x_da / k, y_da / k, x, y);
    x *= k;
    y *= k;
}

void for_each_landed(const MarkRecorder& marks, const HeadDistortion& head, double k, double tolerance_units,
                     const std::function<void(const LandedMark&)>& f) {
    const Lander lander(head, k, tolerance_units);
    marks.for_each([&](const Mark& m) {
        LandedMark out;
        out.kind = m.kind;
        out.steps = m.steps;
        out.t0_us = m.t0_us;
        out.t1_us = m.t1_us;
        if (m.kind == Mark::Kind::axis) {
            f(out);
            return;
        }
        const Landed a = lander.at(m.x0, m.y0);
        const Landed b = m.kind == Mark::Kind::dot ? a : lander.at(m.x1, m.y1);
        const auto emit = [&](const Landed& p, const Landed& q) {
            out.x0 = p.x;
            out.y0 = p.y;
            out.x1 = q.x;
            out.y1 = q.y;
            f(out);
        };
        if (m.kind == Mark::Kind::line) lander.split(m.x0, m.y0, m.x1, m.y1, a, b, 0, emit);
        else emit(a, b);
    });
}

void write_landed_marks(std::ostream& out, const MarkRecorder& marks, const HeadDistortion& head, double k,
                        bool with_time) {
    out << "# " << head.describe() << ": where the spot lands, in units of 1/" << format_us(k) << " mm\n";
    for_each_landed(marks, head, k, kFileToleranceUnits, [&](const LandedMark& m) {
        if (with_time) out << "@" << format_us(m.t0_us) << " ";
        switch (m.kind) {
            case Mark::Kind::line:
            case Mark::Kind::jump:
                out << (m.kind == Mark::Kind::line ? "line " : "jump ") << format_units(m.x0) << ' ' << format_units(m.y0)
                    << ' ' << format_units(m.x1) << ' ' << format_units(m.y1) << '\n';
                break;
            case Mark::Kind::dot:
                out << "dot " << format_units(m.x0) << ' ' << format_units(m.y0) << ' ' << format_us(m.t1_us - m.t0_us)
                    << '\n';
                break;
            case Mark::Kind::axis: out << "axis " << m.steps << '\n'; break;
        }
    });
}

void landed_lengths_mm(const MarkRecorder& marks, const HeadDistortion& head, double k, double& marked_mm,
                       double& jumped_mm) {
    marked_mm = jumped_mm = 0.0;
    for_each_landed(marks, head, k, kFileToleranceUnits, [&](const LandedMark& m) {
        const double length = std::hypot(m.x1 - m.x0, m.y1 - m.y0) / k;
        if (m.kind == Mark::Kind::line) marked_mm += length;
        else if (m.kind == Mark::Kind::jump) jumped_mm += length;
    });
}

}  // namespace korvex
