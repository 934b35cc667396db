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
    float span_us = s.para.sngStepTime * Length_steps(static_cast<int64_t>(s.scan.lngPosX) - X1,
                                                      static_cast<int64_t>(s.scan.lngPosY) - Y1);
    if (span_us > s.para.sngStepTimeMax) span_us = s.para.sngStepTimeMax;
    if (!(span_us > 0.0f)) return;
    const double t0 = Timer_now_us(s);
    const bool drift = s.hw.lngDaMode == kDaModeDrift;
    // In D/A mode 2 the channels are refreshed while the scanner settles; otherwise a plain wait.
    if (!drift) {
        Delay_us(s, span_us);
        return;
    }
    while (static_cast<float>(Timer_now_us(s) - t0) < span_us) DA_step(s, 0, kDirectionRefresh, 0);
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
    if (nx > ny) {
        int64_t e = 2 * ny - nx;
        for (int64_t n = 0; n < nx; ++n) {
            const int32_t next_x = to_i32(s.scan.lngPosX + sx);
            int32_t next_y = s.scan.lngPosY;
            if (e >= 0) {
                next_y = to_i32(s.scan.lngPosY + sy);
                e += 2 * ny - 2 * nx;
            } else {
                e += 2 * ny;
            }
            Point_step(s, next_x, next_y, cycle_us);
            if (pulses) Pulse_train(s);
        }
    } else {
        int64_t e = 2 * nx - ny;
        for (int64_t n = 0; n < ny; ++n) {
            const int32_t next_y = to_i32(s.scan.lngPosY + sy);
            int32_t next_x = s.scan.lngPosX;
            if (e >= 0) {
                next_x = to_i32(s.scan.lngPosX + sx);
                e += 2 * nx - 2 * ny;
            } else {
                e += 2 * nx;
            }
            Point_step(s, next_x, next_y, cycle_us);
            if (pulses) Pulse_train(s);
        }
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
