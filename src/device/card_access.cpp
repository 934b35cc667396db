// The card's register map as the library drives it. Output registers cannot be read back, so every
// change goes through a shadow byte and the whole byte is written.
#include "device/card_access.hpp"

#include <cmath>
#include <cstdio>

#include "device/timer.hpp"
#include "device/card_registers.hpp"

namespace korvex {

using namespace card_reg;

bool Card_open(State& s) {
    s.card.card_open = s.platform.card->open();
    return s.card.card_open;
}

void Card_required(const State& s) {
    if (!s.card.card_open)
        raise_fault(FaultKind::device, "no I/O card is open (Marking_init_pci has not run in direct mode, or could not open the card)");
}

// Splits an address into the page to select (or none) and the offset.
static uint8_t offset_of(int32_t address, bool& paged, uint8_t& page) {
    if (address <= 254) {
        paged = false;
        return to_byte(address);  // a negative address has no offset on the bus
    }
    paged = true;
    page = to_byte(address / 256);
    return static_cast<uint8_t>(address % 256);
}

void Port_write(State& s, int32_t address, int32_t value) {
    const uint8_t byte = to_byte(value);
    bool paged;
    uint8_t page = 0;
    const uint8_t offset = offset_of(address, paged, page);
    if (!paged) {
        s.platform.card->write_io(offset, byte);
        return;
    }
    Page_select(s, page);
    s.platform.card->write_io(offset, byte);
    Page_select(s, kRestPage);
}

uint8_t Port_read(State& s, int32_t address) {
    bool paged;
    uint8_t page = 0;
    const uint8_t offset = offset_of(address, paged, page);
    if (!paged) return s.platform.card->read_io(offset);
    Page_select(s, page);
    const uint8_t value = s.platform.card->read_io(offset);
    Page_select(s, kRestPage);
    return value;
}

uint8_t Input_read_high(State& s) {
    Page_select(s, kIn1Page);
    Delay_us(s, 100.0f);
    const uint8_t value = s.platform.card->read_io(kIn1);
    Page_select(s, kRestPage);
    Delay_us(s, 100.0f);
    return value;
}

// 2^bit rounded to an integer: a negative bit number gives 0 (2^-1 = 0.5 rounds to even 0).
static uint8_t bit_mask(int bit) { return bit < 0 ? 0 : static_cast<uint8_t>(1u << bit); }

// Sets (high) or clears one output bit in its shadow and writes the whole byte. Bits above 15 do
// nothing; negative bits rewrite byte 0 unchanged.
static void Shadow_bit_write(State& s, int16_t bit, bool high) {
    if (bit > 15) return;
    const bool low_byte = bit <= 7;
    uint8_t& shadow = low_byte ? s.card.bytOutPort0 : s.card.bytOutPort1;
    const uint8_t mask = bit_mask(low_byte ? bit : bit - 8);
    shadow = high ? static_cast<uint8_t>(shadow | mask) : static_cast<uint8_t>(shadow & ~mask);
    Port_write(s, low_byte ? kOut0 : kOut1, shadow);
}

void Out_bit_set(State& s, int16_t bit, vbool active) { Shadow_bit_write(s, bit, active == 0); }

bool In_bit_get(State& s, int16_t bit) {
    if (bit < 0 || bit > 15) return false;
    if (bit <= 7) return (Port_read(s, kIn0) & bit_mask(bit)) == 0;
    return (Input_read_high(s) & bit_mask(bit - 8)) == 0;
}

void DA_write(State& s, int32_t value, int16_t channel) {
    const bool slow = s.hw.blnDaSlow != 0;
    if (channel != 0 && channel != 1) {
        if (slow) Delay_us(s, 10.0f);
        return;
    }
    const float gain = channel == 0 ? s.hw.sngDaGain0 : s.hw.sngDaGain1;
    int64_t c = to_i32(static_cast<double>(gain) * static_cast<double>(value));
    const int64_t word = c;
    if (c < 0) c += 65536;
    // Outside -65536..65535 one of the two bytes is not a byte: an overflow before the load (a low
    // byte that fits has gone out by then, as on the card).
    try {
        Port_write(s, kDaLow, static_cast<int32_t>(c % 256));
        Port_write(s, kDaHigh, static_cast<int32_t>(c / 256));
    } catch (const Fault& f) {
        if (f.kind() != FaultKind::overflow) throw;
        char text[160];
        std::snprintf(text, sizeof text, "D/A channel %d cannot be sent %lld (gain %g x %d): its two bytes carry -65536 to 65535",
                      channel, static_cast<long long>(word), static_cast<double>(gain), value);
        raise_fault(FaultKind::overflow, text);
    }
    if (slow) Delay_us(s, 10.0f);
    Port_write(s, kDaControl, channel == 0 ? kDaLoad0 : kDaLoad1);
    if (slow) Delay_us(s, 10.0f);
    Port_write(s, kDaControl, kDaIdle);
    if (slow) Delay_us(s, 10.0f);
}

void DA_zero(State& s) {
    DA_write(s, 0, 0);
    DA_write(s, 0, 1);
    s.card.lngDaValue0 = 0;
    s.card.lngDaValue1 = 0;
}

int16_t Port_out_bit_raw(State& s, int16_t bit, int16_t level) {
    if (level == 0 || level == 1) Shadow_bit_write(s, bit, level == 1);
    return 0;
}

int16_t Port_in_bit(State& s, int16_t bit) { return In_bit_get(s, bit) ? 1 : 0; }

int16_t Marking_DA_volts(State& s, double volts, int16_t channel) {
    DA_write(s, to_i32(volts / 10.0 * 32767.0), channel);
    return 0;
}

}  // namespace korvex
