// Marks: what the simulated machine did with the light, as a short list of movements instead of
// millions of D/A loads. Successive spot movements with the same laser state are merged into the
// longest straight runs that stay within a tolerance (one D/A unit) of the chord between the run's
// ends. The machine model also lets a point stray as far as the step that reached it, so the
// staircase the library steps a straight vector along comes out as one `line`, and merges a dark
// stretch into one `jump`. Also the `--marks` text writer and the job summary (lengths,
// switchings, machine time).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace korvex {

struct Mark {
    enum class Kind : uint8_t { line, jump, dot, axis };
    Kind kind = Kind::line;
    // line/jump: from (x0, y0) to (x1, y1); dot: at (x0, y0). Signed D/A units, channel 0 first.
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int32_t steps = 0;     // axis: signed step count (negative = reverse)
    double t0_us = 0.0;    // machine time of the first load, the gate opening or the first step
    double t1_us = 0.0;    // machine time of the last load, the gate closing or the last step

    double on_us() const { return t1_us - t0_us; }  // a dot's light time
    double length_da() const;                       // chord length of a line or jump
};

// Turns the machine's movements into merged marks as they happen. At most one mark is open (a run
// of spot movements or of axis steps); every other kind of event closes it first, so marks stay in
// time order. Memory grows only with the number of marks (and the few points of a run not yet
// settled), amortised.
class MarkRecorder {
public:
    explicit MarkRecorder(double tolerance_da = 1.0) { set_tolerance_da(tolerance_da); }

    // Negative or NaN tolerances count as 0 (only exactly collinear movements merge).
    void set_tolerance_da(double tolerance_da) { tolerance_da_ = tolerance_da > 0.0 ? tolerance_da : 0.0; }
    double tolerance_da() const { return tolerance_da_; }
    // A point of a line may lie as far from its run's chord as the staircase step that reached it is
    // long, for steps up to this length; 0 (the default) turns this off. Longer movements are the
    // machine's real turns, kept within the plain tolerance, and a line always ends where a vector's
    // last, shorter step landed (a corner of the drawing).
    void set_step_tolerance_max_da(double max_da) { step_max_da_ = max_da > 0.0 ? max_da : 0.0; }
    // Successive jump movements merge into one jump whatever their course (the path of a jump is not
    // marked); a jump that turns back towards its start by more than its step still ends there.
    void set_whole_jumps(bool whole) { whole_jumps_ = whole; }

    // The spot moved from (x0, y0) to (x1, y1) between t0 and t1, emitting or not.
    void move(int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool emitting, double t0_us, double t1_us);
    // The last move() turned out to continue to (x1, y1) at t1 (the second channel of the same
    // point arrived): it is replaced by the one move to there. Only right after move(), with
    // nothing else in between.
    void amend_last_move(int32_t x1, int32_t y1, double t1_us);
    // The light was on at (x, y) from t0 to t1 without the spot moving.
    void dot(int32_t x, int32_t y, double t0_us, double t1_us);
    // One step of the rotary axis (+1 forward, -1 reverse).
    void axis_step(int direction, double t_us);
    // Closes the open mark (the laser switched, or the job ended).
    void close();

    // Every mark so far in order, the still open one included as if it closed now.
    template <class F>
    void for_each(F&& f) const {
        for (const Mark& m : closed_) f(m);
        if (!open_.active && !pending_.valid) return;
        for (const Mark& m : closing_marks()) f(m);
    }
    std::vector<Mark> all() const;
    std::size_t closed_count() const { return closed_.size(); }
    const Mark& closed_at(std::size_t i) const { return closed_.at(i); }
    bool empty() const { return closed_.empty() && !open_.active && !pending_.valid; }
    void clear();

private:
    // The end of one movement, its times, and how far a run's chord may pass from it.
    struct Point {
        int32_t x, y;
        double t0_us, t1_us;
        double tol_da;
    };
    // The run being extended: its chord start is (mark.x0, mark.y0) and its last valid end
    // (mark.x1, mark.y1). tail holds the points after that end which are not valid ends yet but may
    // still be passed by a later one. The cone is the range of chord directions that keeps every
    // point after the start within tolerance, held as its clockwise edge (lo_*) and counter-clockwise
    // edge (hi_*), direction vectors from the start; it lies within a quarter turn of ref_*, the
    // first point that narrowed it. max_dist2 is the square of the farthest point's distance from
    // the start.
    struct Open {
        bool active = false;
        Mark mark;
        bool cone_full = true;
        double ref_x = 0.0, ref_y = 0.0;
        double lo_x = 0.0, lo_y = 0.0, hi_x = 0.0, hi_y = 0.0;
        double max_dist2 = 0.0;
        uint8_t step_directions = 0;  // bit k: a staircase step went in direction k x 45 degrees
        std::vector<Point> tail;
    };
    // The last movement, held back until the next event: the second channel of the same point may
    // still amend it.
    struct Pending {
        bool valid = false;
        int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        bool emitting = false;
        double t0_us = 0.0, t1_us = 0.0;
    };
    enum class StepKind { staircase, first, last, other };
    StepKind classify_step(int64_t adx, int64_t ady);  // from the movement of each channel
    void apply_pending();       // merges the held-back movement
    void start_run(int32_t x0, int32_t y0, Mark::Kind kind, double t0_us);
    bool try_add(const Point& p);
    void feed();                // adds queue_ to the open run, splitting it where it must
    void finish_open();         // closes the open run, settling its tail into runs of their own
    void push(const Mark& m) { closed_.push_back(m); }
    std::vector<Mark> closing_marks() const;  // the marks closing now would add

    double tolerance_da_ = 1.0;
    double step_max_da_ = 0.0;
    bool whole_jumps_ = false;
    int64_t step_unit_ = 0;       // channel movement of one staircase step (0: none yet)
    double step_diagonal_da_ = 0.0;  // length of a diagonal step of that unit
    bool corner_behind_ = false;  // the last movement was a vector's last step
    std::vector<Mark> closed_;
    Open open_;
    Pending pending_;
    std::vector<Point> queue_, spare_;  // scratch of feed(), kept for their capacity
};

// One line of the `--marks` format: "line X0 Y0 X1 Y1", "jump ...", "dot X Y MICROSECONDS",
// "axis STEPS"; with_time prefixes the mark's start time ("@12.5 ").
std::string format_mark(const Mark& mark, bool with_time = false);
void write_marks(std::ostream& out, const MarkRecorder& marks, bool with_time = false);

// What a job did, in D/A units and, through the simulated head's scale, in millimetres.
struct MarkSummary {
    double marked_da = 0.0;        // total length of the lines
    double jumped_da = 0.0;        // total length of the jumps
    double marked_mm = 0.0;
    double jumped_mm = 0.0;
    uint64_t lines = 0, jumps = 0, dots = 0;
    double dot_on_us = 0.0;        // light time of all dots
    int64_t axis_steps = 0;        // steps made, both directions counted
    double line_time_us = 0.0;     // from first to last load of every line, added up
    uint64_t laser_switchings = 0; // gate openings plus closings
    double machine_time_us = 0.0;
};

// Lengths and counts of the marks; head_steps_per_mm must be positive and finite (else a
// division fault). Switchings and machine time are the machine's to fill in.
MarkSummary summarize_marks(const MarkRecorder& marks, double head_steps_per_mm);
// "marked 12.5 mm (3500 D/A), jumped ..., dots 3, axis 200 steps, laser switchings 20,
// machine time 1234.5 us"
std::string format_summary(const MarkSummary& summary);

}  // namespace korvex
