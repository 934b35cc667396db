// The laser controller sits behind one port (page 0x7B, offset 0xDF) that takes a register number
// and then that register's value. Its pulse timers count 8.17 ticks per microsecond upward and
// overflow at 65536, so a time is loaded as 65536 - ticks. Type 1 lasers take their power on the
// low nibble of output byte 1 instead, latched by a pulse on output 6.
#include "device/laser_program.hpp"

#include <string>

#include "device/card_access.hpp"
#include "device/card_registers.hpp"
#include "device/laser_signals.hpp"
#include "device/timer.hpp"

namespace korvex {

using namespace card_reg;

static constexpr double kTimerTicksPerUs = 8.17;
static constexpr double kTimerOverflow = 65536.0;
static constexpr float kRegisterSettleUs = 10.0f;
static constexpr float kPageSettleUs = 100.0f;
static constexpr float kLatchPulseUs = 1000.0f;
static constexpr int16_t kLatchBit = 6;
// Fixed pulse high time of type 1 lasers.
static constexpr int16_t kType1PulseUs = 5;

// Laser controller register numbers.
enum LaserRegister : uint8_t {
    kRegType = 0,
    kRegLevelHigh = 1,
    kRegLevelLow = 2,
    kRegHighTimeHigh = 3,
    kRegHighTimeLow = 4,
    kRegLowTimeHigh = 5,
    kRegLowTimeLow = 6,
};

// One register/value pair, each byte followed by the controller's settling wait. The value is
// checked before the register number goes out, so a value that does not fit a byte never leaves
// the controller waiting for the value of a half-written pair.
static void Register_write(State& s, uint8_t reg, int64_t value) {
    const uint8_t byte = to_byte(value);
    Port_write(s, kLaserPort, reg);
    Delay_us(s, kRegisterSettleUs);
    Port_write(s, kLaserPort, byte);
    Delay_us(s, kRegisterSettleUs);
}

// A 16-bit quantity, rounded half to even, as its low-byte register and then its high-byte one.
static void Register_word_write(State& s, uint8_t reg_low, uint8_t reg_high, double x) {
    const int32_t word = to_i32(x);
    Register_write(s, reg_low, int_mod(word, 256));
    Register_write(s, reg_high, int_div(word, 256));
}

static float Power_ratio(const State& s) {
    // Nothing sets the maximum power but device initialization, Marking_para and a template's last
    // hardware values: a template loaded before either, whose last values could not be read, has 0.
    if (s.hw.sngLaserMaxPower == 0.0f)
        raise_fault(FaultKind::division, "division by zero: the laser's maximum power (sngLaserMaxPower) is 0");
    return to_single(real_div(s.para.sngLaserPower, s.hw.sngLaserMaxPower));
}
static float Period_us(const State& s) { return to_single(real_div(1000.0, s.para.sngLaserFreq)); }

// Timer reloads of a pulse `width_us` high within `period_us`, both stored as Singles.
struct PulseReloads {
    float high;
    float low;
};
static PulseReloads Pulse_reloads(float period_us, int16_t width_us) {
    const float low_us = to_single(static_cast<double>(period_us) - width_us);
    return {to_single(kTimerOverflow - width_us * kTimerTicksPerUs),
            to_single(kTimerOverflow - static_cast<double>(low_us) * kTimerTicksPerUs)};
}

static void Write_type(State& s) { Register_write(s, kRegType, s.hw.intLaserType); }

// The power level, 4096 at full power. Computed before the first register write, so a maximum power
// of 0 faults with the controller untouched rather than after its type register.
static float Power_level(const State& s) { return to_single(static_cast<double>(Power_ratio(s)) * 4096.0); }

static void Write_level(State& s, float level) { Register_word_write(s, kRegLevelLow, kRegLevelHigh, level); }

static void Write_times(State& s, double high, double low) {
    Register_word_write(s, kRegLowTimeLow, kRegLowTimeHigh, low);
    Register_word_write(s, kRegHighTimeLow, kRegHighTimeHigh, high);
}

// Type 1's power as a 4-bit level, 15 the lowest. A power above the maximum (a maximum below the
// 0.2 floor of the power) would give a level below 0, which would borrow from outputs 12-15 of the
// same byte, so it is an overflow fault, raised before anything is written.
static int64_t Type1_power_nibble(const State& s) {
    const int64_t level = 15 - int_div(to_i32(static_cast<double>(Power_ratio(s)) * 255.0), 16);
    if (level < 0 || level > 15) raise_fault(FaultKind::overflow, "type 1 power level " + std::to_string(level) + " is outside 0-15");
    return level;
}

// Type 1: the power level on the low nibble of output byte 1, then a 1 ms latch pulse.
static void Type1_power_latch(State& s, int64_t level) {
    Page_select(s, kRestPage);
    Delay_us(s, kPageSettleUs);
    s.card.bytOutPort1 = to_byte((s.card.bytOutPort1 & 0xF0) + level);
    Port_write(s, kOut1, s.card.bytOutPort1);
    Out_bit_set(s, kLatchBit, kFalse);
    Delay_us(s, kLatchPulseUs);
    Out_bit_set(s, kLatchBit, kTrue);
}

void Laser_program(State& s) {
    MarkingGroup& p = s.para;
    if (p.sngLaserPower > s.hw.sngLaserMaxPower) p.sngLaserPower = s.hw.sngLaserMaxPower;
    if (p.sngLaserFreq > s.hw.sngLaserMaxFreq) p.sngLaserFreq = s.hw.sngLaserMaxFreq;
    if (p.sngLaserFreq < 0.5f) p.sngLaserFreq = 0.5f;
    if (p.sngLaserPower < 0.2f) p.sngLaserPower = 0.2f;

    const int16_t type = s.hw.intLaserType;
    if (type == 1) {
        // Type 1 drives output 6 and the low nibble of output byte 1 as well.
        Gate_line_refuse(s, kLatchBit, "type 1 laser's power latch");
        for (int16_t bit = 8; bit <= 11; ++bit) Gate_line_refuse(s, bit, "type 1 laser's power lines");
    }

    Page_select(s, kLaserPage);
    Delay_us(s, kPageSettleUs);

    switch (type) {
        case 0:
        case 3: {
            // Pulse generator with a power level.
            const float level = Power_level(s);
            const PulseReloads r = Pulse_reloads(Period_us(s), s.hw.intPulseWidthUs);
            Write_type(s);
            Write_level(s, level);
            Write_times(s, r.high, r.low);
            break;
        }
        case 2: {
            // Duty cycle only: 90 % of the period at full power.
            const float duty = to_single(static_cast<double>(Power_ratio(s)) * 0.9);
            const double period_us = Period_us(s);
            const double high = kTimerOverflow - period_us * kTimerTicksPerUs * duty;
            const double low = kTimerOverflow - period_us * kTimerTicksPerUs * (1.0 - duty);
            Write_type(s);
            Write_times(s, high, low);
            break;
        }
        case 1: {
            // Fixed 5 us pulse at 20 kHz or more; power on the output lines.
            if (p.sngLaserFreq < 20.0f) p.sngLaserFreq = 20.0f;
            const int64_t level = Type1_power_nibble(s);
            const PulseReloads r = Pulse_reloads(Period_us(s), kType1PulseUs);
            Write_type(s);
            Write_times(s, r.high, r.low);
            Type1_power_latch(s, level);
            break;
        }
        case 5: {
            // Power level only.
            const float level = Power_level(s);
            Write_type(s);
            Write_level(s, level);
            break;
        }
        default:
            break;  // type 4 and unknown types take nothing
    }

    if (type == 4) {
        // A type 4 controller is left alone entirely; nothing that follows may fail the call.
        try {
            Page_select(s, kRestPage);
            Delay_us(s, kPageSettleUs);
        } catch (const Fault&) {
        }
        return;
    }
    Page_select(s, kRestPage);
    Delay_us(s, kPageSettleUs);
}

}  // namespace korvex
