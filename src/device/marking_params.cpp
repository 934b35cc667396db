// Marking parameters. Vector stepping moves n D/A steps per cycle along the longer axis; the cycle
// is kept just above the ~14 us one scanner update needs, and its length in whole microseconds is
// chosen so n steps per cycle give exactly the asked speed.
#include "device/marking_params.hpp"

#include <climits>
#include <cmath>
#include <cstdio>

#include "device/laser_program.hpp"
#include "device/timer.hpp"

namespace korvex {

static constexpr float kMaxSpeedMmS = 15000.0f;
static constexpr float kMinMarkSpeedMmS = 1.0f;
static constexpr double kCycleBudgetUs = 14.0;

int16_t Marking_para(State& s, float ms, float mms, int32_t tcf, int32_t tch, int32_t tof, int32_t toh, double su,
                     float laserpower, float laserfre, float lasermaxpower, int32_t dr_time) {
    HeadParaRecord& o = s.para.offPara;
    o.ms = ms;
    o.mms = mms;
    o.tof = tof;
    o.toh = toh;
    o.tcf = tcf;
    o.tch = tch;
    o.su = su;
    o.laserpower = laserpower;
    o.laserfre = laserfre;
    o.dr_time = dr_time;
    s.hw.sngLaserMaxPower = lasermaxpower;
    if (s.device.intCardMode == 1) return 1;  // the stand-alone controller takes them with its job

    MarkingGroup& p = s.para;
    p.intPulseCount = 1;
    p.lngPulseStep = 1;
    p.lngOnDelay = tof;
    p.lngOffHold = tch;
    p.lngOffDelay = tcf;
    p.lngJumpDelayRate = 0;
    p.lngOnHold = toh;
    p.sngStepTime = 0.0f;
    p.lngJumpDelay = dr_time;
    p.sngPenSettle = 1.0f;
    p.sngStepTimeMax = 0.0f;
    p.lngAxisSettle = 1;
    // Direct mode runs the laser at these fixed values; the host's power and frequency only reach
    // the stand-alone controller.
    p.sngLaserPower = 10.0f;
    p.sngLaserFreq = 5.0f;
    p.sngJumpSpeed = mms;
    p.sngMarkSpeed = ms;
    p.sngMarkSpeed2 = ms;
    p.sngAxisSpeed = 100.0f;
    p.sngPulseWidth = 0.0f;
    p.lngPasses = 1;
    p.lngCurPen = 1;
    s.hw.sngStepsPerMm = to_single(real_div(1000.0, su));
    Speed_apply(s);
    Delay_us(s, p.sngPenSettle * 1000.0f);
    return 1;
}

StepCycle Step_cycle(float steps_per_mm, float speed_mm_s, const char* speed_name) {
    const double k = steps_per_mm;
    const double v = speed_mm_s;
    // A speed so slow or so fast that the cycle or its step count leaves 32 bits is said with its
    // value, so whoever set it can tell which one.
    const auto too_far = [&](const char* what, double value, const char* unit) {
        char text[192];
        std::snprintf(text, sizeof text, "%s %.7g mm/s at %.7g steps/mm gives %s %.7g%s, more than 32 bits hold",
                      speed_name, v, k, what, value, unit);
        raise_fault(FaultKind::overflow, text);
    };
    const double us_per_step = real_div(1'000'000.0, k * v);
    const double n = std::floor(real_div(kCycleBudgetUs, us_per_step)) + 1.0;
    if (!(n <= INT32_MAX)) too_far("a step count per cycle of", n, "");
    const int32_t steps = to_i32(n);
    const double period_us = real_div(real_div(steps * 1'000'000.0, k), v);
    if (!(std::fabs(period_us) <= INT32_MAX)) too_far("a step cycle of", period_us, " us");
    return {steps, to_i32(period_us)};
}

static float Clamp_mark_speed(float v) {
    if (v < kMinMarkSpeedMmS) v = kMinMarkSpeedMmS;
    if (v > kMaxSpeedMmS) v = kMaxSpeedMmS;
    return v;
}

void Speed_apply(State& s) {
    MarkingGroup& p = s.para;
    p.sngMarkSpeed = Clamp_mark_speed(p.sngMarkSpeed);
    p.sngMarkSpeed2 = Clamp_mark_speed(p.sngMarkSpeed2);
    if (p.sngJumpSpeed > kMaxSpeedMmS) p.sngJumpSpeed = kMaxSpeedMmS;

    const float k = s.hw.sngStepsPerMm;
    const StepCycle mark = Step_cycle(k, p.sngMarkSpeed, "marking speed");
    p.lngMarkStepN = mark.steps;
    p.lngMarkStepUs = mark.period_us;
    // The second marking speed is derived the same way (and can fault the same way), but nothing
    // uses its cycle.
    (void)Step_cycle(k, p.sngMarkSpeed2, "second marking speed");
    if (p.sngJumpSpeed > 0.0f) {
        const StepCycle jump = Step_cycle(k, p.sngJumpSpeed, "jump speed");
        p.lngJumpStepN = jump.steps;
        p.lngJumpStepUs = jump.period_us;
    }
    Laser_program(s);
}

}  // namespace korvex
