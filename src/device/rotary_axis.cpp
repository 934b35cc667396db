// Rotary axis moves. The direction output is only rewritten (with its settling wait) when the
// direction changes; each step is a pulse on the step output paced from the end of the last one.
#include "device/rotary_axis.hpp"

#include <cstdlib>

#include "device/card_access.hpp"
#include "device/laser_signals.hpp"
#include "device/timer.hpp"

namespace korvex {

// Settling time of the direction output and width of the step pulse.
static constexpr float kDirectionSettleUs = 100.0f;
static constexpr float kStepPulseUs = 10.0f;

void Axis_step(State& s, int32_t steps, vbool ramp) {
    const HardwareRecord& hw = s.hw;
    if (steps == 0) return;
    Gate_line_refuse(s, hw.intAxisDirBit, "axis direction line");
    Gate_line_refuse(s, hw.intAxisStepBit, "axis step line");
    const bool reverse = steps < 0;
    if (!reverse) {
        if (s.sig.blnAxisReverse != 0) {
            Out_bit_set(s, hw.intAxisDirBit, vb_not(hw.blnAxisDirLevel));
            Delay_us(s, kDirectionSettleUs);
        }
        s.sig.blnAxisReverse = kFalse;
    } else {
        if (s.sig.blnAxisReverse == 0) {
            Out_bit_set(s, hw.intAxisDirBit, hw.blnAxisDirLevel);
            Delay_us(s, kDirectionSettleUs);
        }
        s.sig.blnAxisReverse = kTrue;
    }

    const int32_t count = to_i32(static_cast<int64_t>(std::llabs(static_cast<int64_t>(steps))));
    const float run_period_us = s.para.sngAxisSpeed + 10.0f;

    // Ramp: `ramp_steps` steps of acceleration and as many of deceleration, the period changing
    // by `change_us` per step.
    int32_t ramp_steps = 0;
    double change_us = 0.0;
    const double drop_us = static_cast<double>(hw.lngAxisStartPeriod) - run_period_us;
    if (ramp != 0 && hw.lngAxisRampSteps > 0 && drop_us >= 0.0) {
        int32_t c = hw.lngAxisRampSteps;
        if (count <= 2 * static_cast<int64_t>(c)) c = to_i32(count / 2.0);
        if (c > 0) {
            ramp_steps = c;
            change_us = drop_us / c;
        }
    }

    const int16_t limit_bit = reverse ? hw.intAxisLimitRev : hw.intAxisLimitFwd;
    double t = Timer_now_us(s);
    for (int32_t i = 1; i <= count; ++i) {
        if (In_bit_get(s, limit_bit)) {
            const int32_t made = i - 1;
            s.sig.lngAxisPos = to_i32(static_cast<int64_t>(s.sig.lngAxisPos) + (reverse ? -made : made));
            return;
        }
        double period_us = run_period_us;
        if (ramp_steps > 0) {
            if (i < ramp_steps) period_us = static_cast<double>(hw.lngAxisStartPeriod) - change_us * i;
            if (i > count - ramp_steps) period_us = run_period_us + change_us * (i - (count - ramp_steps));
        }
        t = Wait_until_us(s, t, to_single(period_us));
        Out_bit_set(s, hw.intAxisStepBit, kFalse);
        Delay_us(s, kStepPulseUs);
        Out_bit_set(s, hw.intAxisStepBit, kTrue);
        t = Timer_now_us(s);
    }
    s.sig.lngAxisPos = to_i32(static_cast<int64_t>(s.sig.lngAxisPos) + steps);
    s.platform.ui->process_messages();
}

}  // namespace korvex
