// The scan engine's records (lngDaValue0/1, lngCorrX/Y) equal what the D/A channels hold as long
// as the engine is their only writer, so every move is sent as a difference.
//
// D/A mode 2 compensates a slow drift of the scanner amplifiers: every load writes the channel's
// record plus rate x (now - T0) / 1000, and the other channel is rewritten with its own drift term
// when that moved. T0 is the moment of the last marking_start (without it the drift term would grow
// from the counter's origin and soon leave the D/A range).
#include "scan/point_output.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "device/card_access.hpp"
#include "device/rotary_axis.hpp"
#include "device/timer.hpp"
#include "scan/field_correction.hpp"

namespace korvex {

static int32_t& Channel_record(State& s, int16_t channel) { return channel == 0 ? s.card.lngDaValue0 : s.card.lngDaValue1; }

// The value a channel is loaded with: its record, plus the drift term in D/A mode 2.
static int32_t Drifted(State& s, int16_t channel, double now_us) {
    const float rate = channel == 0 ? s.hw.sngDriftRate0 : s.hw.sngDriftRate1;
    const int32_t record = Channel_record(s, channel);
    return to_i32((now_us - s.card.dblDriftT0) * rate * 0.001 + record);
}

static void Drift_refresh(State& s, int16_t channel, double now_us) {
    const int32_t value = Drifted(s, channel, now_us);
    if (value != Channel_record(s, channel)) DA_write(s, value, channel);
}

// A position the D/A converter cannot be sent: said as the point it is, on its axis, against the
// field's range, with the converter's own complaint after it. A line is stepped, so the point is
// the first step the converter refused on the way to the line's end.
[[noreturn]] static void Out_of_field(State& s, int16_t axis, const Fault& f) {
    const char* name = axis == 0 ? "X" : "Y";
    const int32_t record = axis == 0 ? s.scan.lngCorrX : s.scan.lngCorrY;  // the corrected point being sent
    char text[200];
    const double k = s.hw.sngStepsPerMm;
    if (std::isfinite(k) && k > 0.0) {
        std::snprintf(text, sizeof text,
                      "point outside the field: the spot would reach %s = %.3f mm (%d steps); the field spans %.3f to %.3f mm "
                      "(-32768 to 32767 steps at %g steps per mm); ",
                      name, record / k, record, -32768.0 / k, 32767.0 / k, k);
    } else {
        std::snprintf(text, sizeof text,
                      "point outside the field: the spot would reach %s = %d steps; the field spans -32768 to 32767 steps; ", name,
                      record);
    }
    raise_fault(FaultKind::overflow, text + std::string(f.what()));
}

void DA_step(State& s, int16_t axis, int16_t direction, int32_t count) {
    const bool drift = s.hw.lngDaMode == kDaModeDrift;
    if (direction == kDirectionRefresh) {
        if (!drift) return;
        const double now = Timer_now_us(s);
        Drift_refresh(s, 0, now);
        Drift_refresh(s, 1, now);
        return;
    }
    const int64_t entry = static_cast<int64_t>(s.hw.lngFieldTurn) * 12 + axis * 6 + direction * 3;
    const int16_t channel = s.scan.varDirTable.at(entry);
    const int16_t sign = s.scan.varDirTable.at(entry + 1);
    if (channel != 0 && channel != 1) return;
    int32_t& record = Channel_record(s, channel);
    record = to_i32(static_cast<int64_t>(record) + static_cast<int64_t>(sign) * count);
    try {
        if (!drift) {
            DA_write(s, record, channel);
            return;
        }
        const double now = Timer_now_us(s);
        DA_write(s, Drifted(s, channel, now), channel);
        Drift_refresh(s, static_cast<int16_t>(1 - channel), now);
    } catch (const Fault& f) {
        if (f.kind() != FaultKind::overflow) throw;
        Out_of_field(s, axis, f);
    }
}

// Moves one logical axis by a signed corrected difference; nothing for 0.
static void Move_axis(State& s, int16_t axis, int64_t delta) {
    if (delta < 0) DA_step(s, axis, 1, to_i32(-delta));
    if (delta > 0) DA_step(s, axis, 0, to_i32(delta));
}

void Point_out(State& s, int32_t x, int32_t y) {
    int32_t cx = x, cy = y;
    Grid_correct(s, cx, cy);
    const int64_t dx = static_cast<int64_t>(cx) - s.scan.lngCorrX;
    const int64_t dy = static_cast<int64_t>(cy) - s.scan.lngCorrY;
    s.scan.lngCorrX = cx;
    s.scan.lngCorrY = cy;
    if (dx == 0 && dy == 0) return;
    Move_axis(s, 0, dx);
    Move_axis(s, 1, dy);
    s.scan.lngPosX = x;
    s.scan.lngPosY = y;
}

// Rotary marking: x is a place on the workpiece's circumference; the axis turns step by step
// (with its ramp) until it stands there.
static void Rotary_move_to(State& s, int32_t x) {
    const double circumference_mm = static_cast<double>(s.tmpl.curCell.RotaryDiameter) * 3.14159265358979;
    const double target = real_div(real_div(x, s.hw.sngStepsPerMm) * s.hw.dblAxisStepsPerRev, circumference_mm);
    int64_t n = to_i32(target - s.sig.lngAxisPos);
    while (n != 0) {
        if (n < 0) {
            Axis_step(s, -1, kTrue);
            ++n;
        } else {
            Axis_step(s, 1, kTrue);
            --n;
        }
    }
}

void Point_step(State& s, int32_t x, int32_t y, float period_us) {
    int32_t cx = x, cy = y;
    Grid_correct(s, cx, cy);
    if (s.tmpl.curCell.Mode & kCellModeRotary) {
        Rotary_move_to(s, x);
    } else {
        const int64_t dx = static_cast<int64_t>(cx) - s.scan.lngCorrX;
        s.scan.lngCorrX = cx;
        s.scan.dblTimeX = Wait_until_us(s, s.scan.dblTimeX, period_us);
        Move_axis(s, 0, dx);
    }
    s.scan.lngPosX = x;
    const int64_t dy = static_cast<int64_t>(cy) - s.scan.lngCorrY;
    s.scan.lngCorrY = cy;
    s.scan.dblTimeY = Wait_until_us(s, s.scan.dblTimeY, period_us);
    Move_axis(s, 1, dy);
    s.scan.lngPosY = y;
}

}  // namespace korvex
