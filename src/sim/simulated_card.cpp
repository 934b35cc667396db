// The card's local bus as the registers see it. An unopened card traces every call and changes
// nothing; a read from it leaves the caller's byte at 0, as the driver does when it fails. A call
// the fault knob fails is traced with "fail" and takes its bus time, but never reaches the bus.
#include "sim/simulated_card.hpp"

#include <algorithm>
#include <cstdio>

#include "korvex/fault.hpp"

namespace korvex {

SimulatedCard::SimulatedCard(VirtualClock* charge_clock, Trace* trace) : charge_clock_(charge_clock), trace_(trace) {
    set_access_us(2.6);
}

uint64_t SimulatedCard::us_to_ticks(double us) const {
    return static_cast<uint64_t>(us * static_cast<double>(charge_clock_->frequency()) / 1e6 + 0.5);
}

void SimulatedCard::remove_listener(CardListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void SimulatedCard::set_input_bit(int bit, int level) {
    if (bit < 0 || bit > 15) return;
    uint8_t& byte = inputs_[bit >> 3];
    const uint8_t mask = static_cast<uint8_t>(1u << (bit & 7));
    byte = level ? static_cast<uint8_t>(byte | mask) : static_cast<uint8_t>(byte & ~mask);
}

void SimulatedCard::raise_call_failure(const char* call) {
    if (trace_) trace_->line(std::string(call) + " fail");
    charge();
    raise_fault(FaultKind::device, "the card driver failed: " + std::string(call));
}

bool SimulatedCard::open() {
    const bool fails = call_fails();
    if (trace_) trace_->card_open(present_ && !fails);
    if (!present_ || fails) return false;
    open_ = true;
    laser_expect_value_ = false;
    return true;
}

void SimulatedCard::set_page(uint8_t page) {
    if (call_fails()) {
        char call[32];
        std::snprintf(call, sizeof call, "card page %02X", page);
        raise_call_failure(call);
    }
    if (trace_) trace_->card_page(page);
    charge();
    if (open_) page_ = page;
}

void SimulatedCard::write_io(uint8_t offset, uint8_t value) {
    if (call_fails()) {
        char call[32];
        std::snprintf(call, sizeof call, "card write %02X %02X", offset, value);
        raise_call_failure(call);
    }
    if (trace_) trace_->card_write(offset, value);
    charge();
    using namespace card_reg;
    if (!open_) {
        // an unopened card takes nothing
    } else if (page_ == kRestPage) {
        switch (offset) {
            case kOut0: outputs_[0] = value; break;
            case kOut1: outputs_[1] = value; break;
            case kDaLow: da_low_ = value; break;
            case kDaHigh: da_high_ = value; break;
            case kDaControl:
                if (value == kDaLoad0) da_channels_[0] = static_cast<int16_t>(da_latch());
                else if (value == kDaLoad1) da_channels_[1] = static_cast<int16_t>(da_latch());
                break;
            default: break;
        }
    } else if (page_ == kLaserPage && offset == kLaserPort) {
        // The controller's port takes a register number, then that register's value.
        if (!laser_expect_value_) {
            laser_pending_reg_ = value;
        } else {
            laser_regs_[laser_pending_reg_] = value;
            laser_log_.push_back({laser_pending_reg_, value});
        }
        laser_expect_value_ = !laser_expect_value_;
    }
    for (CardListener* l : listeners_) l->on_write(page_, offset, value);
}

uint8_t SimulatedCard::read_io(uint8_t offset) {
    if (call_fails()) {
        char call[32];
        std::snprintf(call, sizeof call, "card read %02X", offset);
        raise_call_failure(call);
    }
    for (CardListener* l : listeners_) l->before_read(page_, offset);
    uint8_t value = 0;
    if (open_) {
        using namespace card_reg;
        if (page_ == kRestPage && offset == kIn0) value = inputs_[0];
        else if (page_ == kIn1Page && offset == kIn1) value = inputs_[1];
        else value = 0xFF;  // nothing drives the bus there
    }
    if (trace_) trace_->card_read(offset, value);
    charge();
    return value;
}

}  // namespace korvex
