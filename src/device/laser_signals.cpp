// Laser gate, pulses, enable, standby. The gate is the one signal that lights the laser, so every
// write of it goes through Gate_write, which remembers what it opened for the fault boundary.
#include "device/laser_signals.hpp"

#include <cmath>
#include <string>

#include "device/card_access.hpp"
#include "device/timer.hpp"

namespace korvex {

void Gate_write(State& s, bool open) {
    const int16_t bit = s.hw.intGateBit;
    const vbool level = s.hw.blnGateLevel;
    if (open) {
        s.sig.gate_open = true;
        s.sig.gate_driven = true;
        s.sig.gate_driven_bit = bit;
        s.sig.gate_driven_level = level;
        Out_bit_set(s, bit, level);
    } else {
        Out_bit_set(s, bit, vb_not(level));
        s.sig.gate_open = false;
        s.sig.gate_driven = true;
        s.sig.gate_driven_bit = bit;
        s.sig.gate_driven_level = level;
    }
}

bool Gate_line_open(const State& s) {
    if (s.sig.gate_open) return true;
    if (!s.sig.gate_driven) return false;
    const int16_t bit = s.sig.gate_driven_bit;
    if (bit < 0 || bit > 15) return false;  // on no output line
    const uint8_t shadow = bit <= 7 ? s.card.bytOutPort0 : s.card.bytOutPort1;
    const bool line_high = (shadow >> (bit & 7)) & 1;
    // Out_bit_set drives an active bit low: the gate opens low when its level is True.
    return line_high == (s.sig.gate_driven_level == 0);
}

void Gate_line_refuse(const State& s, int16_t bit, const char* function) {
    if (bit >= 0 && bit <= 15 && bit == s.hw.intGateBit)
        raise_fault(FaultKind::index, "output " + std::to_string(bit) + " is the laser gate; it cannot also be the " + function);
}

void Function_bit_set(State& s, int16_t bit, vbool active, const char* function) {
    Gate_line_refuse(s, bit, function);
    Out_bit_set(s, bit, active);
}

// Shift aborts at once; Space asks first and aborts on Yes.
static void Abort_key_poll(State& s) {
    HostUi& ui = *s.platform.ui;
    if (ui.key_held(Key::shift)) s.sig.blnAbort = kTrue;
    if (ui.key_held(Key::space)) {
        if (ui.message_box(kAbortQuestion, kMessageTitle, Buttons::yes_no, Icon::none) == Answer::yes) s.sig.blnAbort = kTrue;
    }
}

void Laser_switch(State& s, vbool on) {
    if (s.sig.blnAbort != 0) {
        // While an abort is pending the only thing left to do is to make sure the light is off.
        if (s.sig.blnLaserOn != 0) {
            Gate_write(s, false);
            s.sig.blnLaserOn = kFalse;
        }
        return;
    }
    const bool opening = on != 0;
    s.sig.blnLaserOn = to_vbool(opening);
    if (s.para.sngPulseWidth != 0.0f) {
        // Pulse mode: Pulse_train fires the laser after each scanner step; the gate stays alone.
        Abort_key_poll(s);
        return;
    }
    if (s.sig.blnGateEnable == 0) {
        s.platform.ui->process_messages();
        Abort_key_poll(s);
        return;
    }
    if (opening) {
        Delay_us(s, static_cast<float>(s.para.lngOnDelay));
        Gate_write(s, true);
        Delay_us(s, static_cast<float>(s.para.lngOnHold));
        return;
    }
    Delay_us(s, static_cast<float>(s.para.lngOffDelay));
    Gate_write(s, false);
    s.platform.ui->process_messages();
    Abort_key_poll(s);
    Delay_us(s, static_cast<float>(s.para.lngOffHold));
}

// One port write lasts about this long; a pulse is as many writes as fit its width.
static constexpr double kPortWriteUs = 2.6;

void Pulse_train(State& s) {
    if (s.sig.blnGateEnable == 0) return;
    const float period_us = to_single(real_div(1000.0, s.para.sngLaserFreq));
    for (int32_t pulse = 1; pulse <= s.para.intPulseCount; ++pulse) {
        s.sig.dblLastPulse = Wait_until_us(s, s.sig.dblLastPulse, period_us);
        const int32_t extra_writes = to_i32(std::floor(static_cast<double>(s.para.sngPulseWidth) / kPortWriteUs));
        for (int32_t w = 0; w <= extra_writes; ++w) Gate_write(s, true);
        Gate_write(s, false);
    }
}

void Laser_enable(State& s, vbool on) {
    if (s.hw.intLaserType == 3) Function_bit_set(s, 4, on, "laser enable line");
}

void Out15_set(State& s, vbool on) { Function_bit_set(s, 15, on, "auxiliary output 15"); }

void Laser_standby(State& s, vbool wake) {
    const bool waking = wake != 0;
    const bool sleeping = s.sig.blnLaserSleeping != 0;
    if (waking != sleeping) return;  // already in the state asked for
    if (s.hw.sngWakeDelay == 0.0f) return;
    if (waking) {
        Function_bit_set(s, s.hw.intStandbyBit, kTrue, "standby line");
        Delay_us(s, s.hw.sngWakeDelay);
        s.sig.blnLaserSleeping = kFalse;
    } else {
        Function_bit_set(s, s.hw.intStandbyBit, kFalse, "standby line");
        s.sig.blnLaserSleeping = kTrue;
    }
}

}  // namespace korvex
