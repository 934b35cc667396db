// Card access: opening the I/O card, paged byte reads and writes, the output shadows with their
// active-low bit operation, input bits, and the D/A converter's channel loads.
#pragma once

#include <cstdint>

#include "device/card_registers.hpp"
#include "state/state.hpp"

namespace korvex {

// Opens the card and remembers whether that worked.
bool Card_open(State& s);
// The members that drive the card (marking, the port members) refuse to run while no card is open:
// on an unopened card every write would vanish and every input read 0, and the host could not tell
// a job done from none. A device fault.
void Card_required(const State& s);
// Writes a byte (0-255, else an overflow fault). Addresses of 255 and above are paged:
// page = address div 256, offset = address mod 256, then the page goes back to 0xFF.
void Port_write(State& s, int32_t address, int32_t value);
uint8_t Port_read(State& s, int32_t address);
// Input byte 1 (inputs 8-15): page 0x77, 100 us, read 0xDF, page 0xFF, 100 us.
uint8_t Input_read_high(State& s);
// Library outputs are active low: active clears the bit in the shadow, then the byte is written.
void Out_bit_set(State& s, int16_t bit, vbool active);
// True when the input reads 0 (active). Bits outside 0-15 read nothing and are never active.
bool In_bit_get(State& s, int16_t bit);
// Loads a D/A channel (0 or 1) with gain x value as a 16-bit two's complement word.
void DA_write(State& s, int32_t value, int16_t channel);
void DA_zero(State& s);

// Page register writes that the library keeps track of (so it can return to 0xFF after a fault).
// A page away from rest is recorded before the driver call, the resting page only once the call
// went through: a failed call back to rest leaves the card on the other page, and the record says so.
inline void Page_select(State& s, uint8_t page) {
    if (page != card_reg::kRestPage) s.card.page_selected = page;
    s.platform.card->set_page(page);
    s.card.page_selected = page;
}

// The public port members' own algorithms.
int16_t Port_out_bit_raw(State& s, int16_t bit, int16_t level);
int16_t Port_in_bit(State& s, int16_t bit);
int16_t Marking_DA_volts(State& s, double volts, int16_t channel);

}  // namespace korvex
