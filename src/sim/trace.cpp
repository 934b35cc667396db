// Formatting of trace events into the host-script trace lines.
#include "sim/trace.hpp"

#include <sys/mman.h>

#include <cstdio>
#include <new>

namespace korvex {

void Trace::line(std::string text) {
    if (!enabled_) return;
    push(Kind::text, 0);
    texts_.push_back(std::move(text));
}

// Blocks are mapped with their pages populated at once: taking the pages one fault at a time
// costs more than recording the events themselves.
void Trace::add_block() {
    void* p = mmap(nullptr, kBlockEvents * sizeof(Event), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE,
                   -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    blocks_.emplace_back(static_cast<Event*>(p));
}

void Trace::BlockRelease::operator()(Event* block) const { munmap(block, kBlockEvents * sizeof(Event)); }

std::string format_us(double us) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", us);
    std::string s(buf);
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

std::string Trace::format(const Event& e, std::size_t& next_text) const {
    char buf[48];
    switch (e.kind()) {
        case Kind::text: return texts_[next_text++];
        case Kind::card_open: return e.a() ? "card open ok" : "card open fail";
        case Kind::card_page: std::snprintf(buf, sizeof buf, "card page %02X", e.a()); return buf;
        case Kind::card_write: std::snprintf(buf, sizeof buf, "card write %02X %02X", e.a(), e.b()); return buf;
        case Kind::card_read: std::snprintf(buf, sizeof buf, "card read %02X -> %02X", e.a(), e.b()); return buf;
    }
    return {};
}

void Trace::write(std::ostream& out, bool with_time) const {
    const double frequency = clock_ ? static_cast<double>(clock_->frequency()) : 1e6;
    std::size_t next_text = 0;
    for (std::size_t i = 0; i < size_; ++i) {
        const Event& e = at(i);
        if (with_time) out << '@' << format_us(static_cast<double>(base_ + e.ticks()) * 1e6 / frequency) << ' ';
        out << format(e, next_text) << '\n';
    }
}

std::vector<std::string> Trace::lines() const {
    std::vector<std::string> out;
    out.reserve(size_);
    std::size_t next_text = 0;
    for (std::size_t i = 0; i < size_; ++i) out.push_back(format(at(i), next_text));
    return out;
}

}  // namespace korvex
