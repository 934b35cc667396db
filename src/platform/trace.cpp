// Formatting of trace events into the host-script trace lines.
#include "platform/trace.hpp"

#include <cstdio>

namespace korvex {

void Trace::line(std::string text) {
    if (!enabled_) return;
    texts_.push_back(std::move(text));
    events_.push_back(Event{clock_ ? clock_->counter() : 0, static_cast<uint32_t>(texts_.size() - 1), Kind::text, 0, 0});
}

std::string format_us(double us) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", us);
    std::string s(buf);
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

std::string Trace::format(const Event& e) const {
    char buf[48];
    switch (e.kind) {
        case Kind::text: return texts_[e.text];
        case Kind::card_open: return e.a ? "card open ok" : "card open fail";
        case Kind::card_page: std::snprintf(buf, sizeof buf, "card page %02X", e.a); return buf;
        case Kind::card_write: std::snprintf(buf, sizeof buf, "card write %02X %02X", e.a, e.b); return buf;
        case Kind::card_read: std::snprintf(buf, sizeof buf, "card read %02X -> %02X", e.a, e.b); return buf;
    }
    return {};
}

void Trace::write(std::ostream& out, bool with_time) const {
    const double frequency = clock_ ? static_cast<double>(clock_->frequency()) : 1e6;
    for (const Event& e : events_) {
        if (with_time) out << '@' << format_us(static_cast<double>(e.counter) * 1e6 / frequency) << ' ';
        out << format(e) << '\n';
    }
}

std::vector<std::string> Trace::lines() const {
    std::vector<std::string> out;
    out.reserve(events_.size());
    for (const Event& e : events_) out.push_back(format(e));
    return out;
}

}  // namespace korvex
