// IoCard: the four driver calls the library makes on the PCI bus-bridge card (open, page register,
// byte write, byte read). The machine code sees only this; backends decide what a byte does.
// A driver call that fails reports it: open() returns false, the other three raise a `device` fault
// (korvex::Fault), which ends the running member like any other fault.
#pragma once

#include <cstdint>

#include "korvex/export.h"

namespace korvex {

class KORVEX_API IoCard {
public:
    virtual ~IoCard() = default;
    // Opens device 0; false when the card is not there.
    virtual bool open() = 0;
    // Writes the address page register (local address lines A15-A8).
    virtual void set_page(uint8_t page) = 0;
    // Writes one byte at page:offset.
    virtual void write_io(uint8_t offset, uint8_t value) = 0;
    // Reads one byte at page:offset.
    virtual uint8_t read_io(uint8_t offset) = 0;
};

}  // namespace korvex
