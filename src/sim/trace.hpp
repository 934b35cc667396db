// Trace: the raw record of what the simulated machine saw (card accesses, message boxes, member
// calls), kept as small fixed records and only formatted when written, because a marking job makes
// millions of card accesses.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "korvex/clock.hpp"
#include "platform/trace_lines.hpp"

namespace korvex {

class Trace : public TraceLines {
public:
    enum class Kind : uint8_t { text, card_open, card_page, card_write, card_read };
    // One event in 8 bytes: kind (3 bits), two byte operands, and the clock reading as 45 bits of
    // ticks since the trace's first event (40 days at 10 MHz, 9 hours at 1 GHz; later readings
    // are clamped, since they only serve the time prefix). The k-th text event is text line k.
    struct Event {
        uint64_t bits;
        Kind kind() const { return static_cast<Kind>(bits & 7); }
        uint8_t a() const { return static_cast<uint8_t>(bits >> 3); }
        uint8_t b() const { return static_cast<uint8_t>(bits >> 11); }
        uint64_t ticks() const { return bits >> 19; }
    };

    explicit Trace(Clock* clock = nullptr) : clock_(clock) {}
    void set_clock(Clock* clock) { clock_ = clock; }
    void set_enabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }
    bool recording() const override { return enabled_; }

    void card_open(bool ok) { push(Kind::card_open, ok ? 1 : 0, 0); }
    void card_page(uint8_t page) { push(Kind::card_page, page, 0); }
    void card_write(uint8_t offset, uint8_t value) { push(Kind::card_write, offset, value); }
    void card_read(uint8_t offset, uint8_t value) { push(Kind::card_read, offset, value); }
    void line(std::string text) override;

    std::size_t size() const { return size_; }
    void clear() {
        blocks_.clear();
        size_ = 0;
        texts_.clear();
    }

    // One event a line, optionally prefixed with "@<microseconds> ".
    void write(std::ostream& out, bool with_time) const;
    std::vector<std::string> lines() const;

private:
    std::string format(const Event& e, std::size_t& next_text) const;
    void push(Kind kind, uint32_t operands) {
        if (!enabled_) return;
        uint64_t ticks = 0;
        if (clock_) {
            const uint64_t now = clock_->counter();
            if (size_ == 0) base_ = now;
            ticks = now >= base_ ? now - base_ : 0;
            if (ticks > kMaxTicks) ticks = kMaxTicks;
        }
        if ((size_ & (kBlockEvents - 1)) == 0) add_block();
        blocks_.back()[size_ & (kBlockEvents - 1)] =
            Event{static_cast<uint64_t>(kind) | static_cast<uint64_t>(operands) << 3 | ticks << 19};
        ++size_;
    }
    void add_block();
    const Event& at(std::size_t i) const { return blocks_[i / kBlockEvents][i & (kBlockEvents - 1)]; }
    // Events live in fixed blocks that are never moved, so a growing trace costs no copies.
    static constexpr std::size_t kBlockEvents = std::size_t{1} << 16;
    void push(Kind kind, uint8_t a, uint8_t b) { push(kind, static_cast<uint32_t>(a | b << 8)); }
    static constexpr uint64_t kMaxTicks = (uint64_t{1} << 45) - 1;

    Clock* clock_;
    uint64_t base_ = 0;
    bool enabled_ = true;
    struct BlockRelease {
        void operator()(Event* block) const;
    };
    std::vector<std::unique_ptr<Event[], BlockRelease>> blocks_;
    std::size_t size_ = 0;
    std::vector<std::string> texts_;
};

// Formats a time in microseconds without trailing zeros ("12.5", "100", "0.026").
std::string format_us(double us);

}  // namespace korvex
