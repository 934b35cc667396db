// Trace: the raw record of what the simulated machine saw (card accesses, message boxes, member
// calls), kept as small fixed records and only formatted when written, because a marking job makes
// millions of card accesses.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "korvex/clock.hpp"

namespace korvex {

class Trace {
public:
    enum class Kind : uint8_t { text, card_open, card_page, card_write, card_read };
    struct Event {
        uint64_t counter;  // clock reading when it happened
        uint32_t text;     // index into the text lines (Kind::text)
        Kind kind;
        uint8_t a;         // ok flag, page or offset
        uint8_t b;         // value
    };

    explicit Trace(Clock* clock = nullptr) : clock_(clock) {}
    void set_clock(Clock* clock) { clock_ = clock; }
    void set_enabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }

    void card_open(bool ok) { push(Kind::card_open, ok ? 1 : 0, 0); }
    void card_page(uint8_t page) { push(Kind::card_page, page, 0); }
    void card_write(uint8_t offset, uint8_t value) { push(Kind::card_write, offset, value); }
    void card_read(uint8_t offset, uint8_t value) { push(Kind::card_read, offset, value); }
    void line(std::string text);

    std::size_t size() const { return events_.size(); }
    const std::vector<Event>& events() const { return events_; }
    void clear() { events_.clear(); texts_.clear(); }

    // One event a line, optionally prefixed with "@<microseconds> ".
    std::string format(const Event& e) const;
    void write(std::ostream& out, bool with_time) const;
    std::vector<std::string> lines() const;

private:
    void push(Kind kind, uint8_t a, uint8_t b) {
        if (!enabled_) return;
        events_.push_back(Event{clock_ ? clock_->counter() : 0, 0, kind, a, b});
    }

    Clock* clock_;
    bool enabled_ = true;
    std::vector<Event> events_;
    std::vector<std::string> texts_;
};

// Formats a time in microseconds without trailing zeros ("12.5", "100", "0.026").
std::string format_us(double us);

}  // namespace korvex
