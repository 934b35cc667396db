// Integer line drawing with equal steps: the leading axis advances a steps every cycle of T us,
// the other axis follows by the error term, and a last short step lands exactly on the end point.
#include "scan/vector_stepping.hpp"

#include <cmath>

#include "device/laser_signals.hpp"
#include "device/timer.hpp"
#include "scan/point_output.hpp"

namespace korvex {

static int32_t To_steps(float mm, float steps_per_mm) { return to_i32(static_cast<double>(mm * steps_per_mm)); }

static float Length_steps(int64_t dx, int64_t dy) {
    return static_cast<float>(std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy));
}

// A jump in one move: the spot is sent straight to the end, then the scanner gets time in
// proportion to the distance (sngStepTime per step, at most sngStepTimeMax).
static void Jump_in_one_move(State& s, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    Point_out(s, X2, Y2);
    double span_us = static_cast<double>(s.para.sngStepTime) *
                     Length_steps(static_cast<int64_t>(s.scan.lngPosX) - X1, static_cast<int64_t>(s.scan.lngPosY) - Y1);
    if (span_us > s.para.sngStepTimeMax) span_us = s.para.sngStepTimeMax;
    if (!(span_us > 0.0)) return;
    // Both ways of waiting below take the span as it is, so it is checked here first.
    const float wait_us = Wait_span_checked(span_us, "jump settle (PenStepTime x length, at most PenStepTimeMax)");
    const double t0 = Timer_now_us(s);
    const bool drift = s.hw.lngDaMode == kDaModeDrift;
    // In D/A mode 2 the channels are refreshed while the scanner settles; otherwise a plain wait.
    if (!drift) {
        Delay_us(s, wait_us);
        return;
    }
    while (static_cast<float>(Timer_now_us(s) - t0) < wait_us) DA_step(s, 0, kDirectionRefresh, 0);
}

void Scan_vector(State& s, float x1, float y1, float x2, float y2) {
    const float k = s.hw.sngStepsPerMm;
    const int32_t X1 = To_steps(x1, k), Y1 = To_steps(y1, k), X2 = To_steps(x2, k), Y2 = To_steps(y2, k);
    if (s.sig.blnAbort != 0) {
        Laser_switch(s, kFalse);
        return;
    }
    const bool marking = s.sig.blnLaserOn != 0;
    const bool pulse_mode = s.para.sngPulseWidth != 0.0f;
    int32_t a;
    float cycle_us;
    if (!marking && s.para.sngJumpSpeed == 0.0f) {
        Jump_in_one_move(s, X1, Y1, X2, Y2);
        return;
    } else if (!marking) {
        a = s.para.lngJumpStepN;
        cycle_us = static_cast<float>(s.para.lngJumpStepUs);
    } else if (pulse_mode) {
        a = s.para.lngPulseStep;
        cycle_us = to_single(static_cast<double>(s.para.sngStepTime) * a);
        if (cycle_us > s.para.sngStepTimeMax) cycle_us = s.para.sngStepTimeMax;
    } else {
        a = s.para.lngMarkStepN;
        cycle_us = static_cast<float>(s.para.lngMarkStepUs);
    }
    if (X2 == X1 && Y2 == Y1) return;

    const bool pulses = marking && pulse_mode;
    const int64_t dx = static_cast<int64_t>(X2) - X1, dy = static_cast<int64_t>(Y2) - Y1;
    const int64_t nx = int_div(dx < 0 ? -dx : dx, a), ny = int_div(dy < 0 ? -dy : dy, a);
    const int64_t sx = X2 >= X1 ? a : -static_cast<int64_t>(a);
    const int64_t sy = Y2 >= Y1 ? a : -static_cast<int64_t>(a);
    // The leading axis (X when it has more steps, else Y, also on a tie) advances every cycle; the
    // other follows when the error term says so (a tie, e = 0, steps both).
    const bool x_leads = nx > ny;
    const int64_t n_lead = x_leads ? nx : ny, n_other = x_leads ? ny : nx;
    const int64_t s_lead = x_leads ? sx : sy, s_other = x_leads ? sy : sx;
    int64_t e = 2 * n_other - n_lead;
    for (int64_t n = 0; n < n_lead; ++n) {
        const int64_t lead = static_cast<int64_t>(x_leads ? s.scan.lngPosX : s.scan.lngPosY) + s_lead;
        int64_t other = x_leads ? s.scan.lngPosY : s.scan.lngPosX;
        if (e >= 0) {
            other += s_other;
            e += 2 * n_other - 2 * n_lead;
        } else {
            e += 2 * n_other;
        }
        Point_step(s, to_i32(x_leads ? lead : other), to_i32(x_leads ? other : lead), cycle_us);
        if (pulses) Pulse_train(s);
    }
    if (s.scan.lngPosX != X2 || s.scan.lngPosY != Y2) {
        Point_step(s, X2, Y2, cycle_us);
        if (pulses) Pulse_train(s);
    }
    // Settling: tenths of a microsecond per step of length, at most lngJumpDelay.
    float settle_us = to_single(static_cast<double>(Length_steps(dx, dy)) * s.para.lngJumpDelayRate / 10.0);
    if (settle_us > static_cast<float>(s.para.lngJumpDelay)) settle_us = static_cast<float>(s.para.lngJumpDelay);
    Delay_us(s, settle_us);
}

}  // namespace korvex
