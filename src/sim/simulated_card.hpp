// SimulatedCard: a register-level model of the I/O card's local bus: page register, two output
// bytes, two input bytes, the D/A converter's data latches and channel loads, and the laser
// controller's register port. Each access is traced and charges its bus time to the virtual clock.
// Listeners (the machine model, script events) see every write after the registers took it, and
// every read before the card answers it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "device/card_registers.hpp"
#include "korvex/io_card.hpp"
#include "sim/trace.hpp"
#include "sim/virtual_clock.hpp"

namespace korvex {


class CardListener {
public:
    virtual ~CardListener() = default;
    virtual void on_write(uint8_t page, uint8_t offset, uint8_t value) {}
    // Called before the card answers a read, so an input can change exactly at that read.
    virtual void before_read(uint8_t page, uint8_t offset) {}
};

class SimulatedCard : public IoCard {
public:
    struct LaserRegisterWrite {
        uint8_t reg;
        uint8_t value;
    };

    SimulatedCard(VirtualClock* charge_clock = nullptr, Trace* trace = nullptr);

    bool open() override;
    void set_page(uint8_t page) override;
    void write_io(uint8_t offset, uint8_t value) override;
    uint8_t read_io(uint8_t offset) override;

    // Fault knob: a card that is not there cannot be opened.
    void set_present(bool present) { present_ = present; }
    // Fault knob: the n-th driver call from now (open, set_page, write_io and read_io each count
    // one, n from 1) fails once, as the driver reports it: open returns false, the others raise a
    // `device` fault without reaching the card (the page, byte or latch is not taken; a failed read
    // answers nothing). The calls after it work again. 0 disarms the knob.
    void fail_call(uint64_t n) { fail_at_ = n == 0 ? 0 : driver_calls_ + n; }
    // Driver calls made so far (open included), the count fail_call() counts in.
    uint64_t driver_calls() const { return driver_calls_; }
    bool failure_pending() const { return fail_at_ != 0; }
    // Bus time charged per access, microseconds (2.6 by default).
    void set_access_us(double us) { access_ticks_ = charge_clock_ ? us_to_ticks(us) : 0; }
    void set_trace(Trace* trace) { trace_ = trace; }
    void add_listener(CardListener* listener) { listeners_.push_back(listener); }
    void remove_listener(CardListener* listener);

    // Inputs are driven from outside (switches, scripts); all read 1 at power-up.
    void set_input_bit(int bit, int level);
    uint8_t input_byte(int index) const { return inputs_[index & 1]; }

    bool is_open() const { return open_; }
    uint8_t page() const { return page_; }
    uint8_t output_byte(int index) const { return outputs_[index & 1]; }
    int16_t da_channel(int channel) const { return da_channels_[channel & 1]; }
    uint16_t da_latch() const { return static_cast<uint16_t>(da_high_ << 8 | da_low_); }
    uint8_t laser_register(uint8_t reg) const { return laser_regs_[reg]; }
    const std::vector<LaserRegisterWrite>& laser_writes() const { return laser_log_; }
    uint64_t access_count() const { return accesses_; }

private:
    uint64_t us_to_ticks(double us) const;
    // Counts one driver call; true when it is the one set to fail (which also disarms the knob).
    bool call_fails() {
        if (++driver_calls_ != fail_at_) return false;
        fail_at_ = 0;
        return true;
    }
    [[noreturn]] void raise_call_failure(const char* call);
    void charge() {
        ++accesses_;
        if (charge_clock_) charge_clock_->advance_ticks(access_ticks_);
    }

    VirtualClock* charge_clock_;
    Trace* trace_;
    std::vector<CardListener*> listeners_;
    uint64_t access_ticks_ = 0;
    uint64_t accesses_ = 0;
    uint64_t driver_calls_ = 0;
    uint64_t fail_at_ = 0;
    bool present_ = true;
    bool open_ = false;
    uint8_t page_ = card_reg::kRestPage;
    std::array<uint8_t, 2> outputs_{0, 0};
    std::array<uint8_t, 2> inputs_{0xFF, 0xFF};
    uint8_t da_low_ = 0;
    uint8_t da_high_ = 0;
    std::array<int16_t, 2> da_channels_{0, 0};
    std::array<uint8_t, 256> laser_regs_{};
    bool laser_expect_value_ = false;
    uint8_t laser_pending_reg_ = 0;
    std::vector<LaserRegisterWrite> laser_log_;
};

}  // namespace korvex
