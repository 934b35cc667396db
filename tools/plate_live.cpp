// The live plate's shared state, behind one mutex: the marking thread writes a batch at a time
// (every 50 ms of wall time at most), the feeds read.
#include "plate_live.hpp"

namespace korvex::tool {

void LivePlate::begin(int64_t plate, std::vector<std::string> tags) {
    std::lock_guard lock(mutex_);
    plate_ = plate;
    tags_ = std::move(tags);
    machine_us_ = 0.0;
    if (!marks_.empty()) expected_ = marks_.size();
    marks_.clear();
    ++run_;
}

void LivePlate::marking_started() {
    std::lock_guard lock(mutex_);
    marking_ = true;
}

void LivePlate::add(const std::vector<LiveMark>& marks, double machine_us, bool gate_emitting) {
    std::lock_guard lock(mutex_);
    marks_.insert(marks_.end(), marks.begin(), marks.end());
    machine_us_ = machine_us;
    gate_emitting_ = gate_emitting;
}

void LivePlate::marking_ended(double machine_us, bool gate_emitting) {
    std::lock_guard lock(mutex_);
    marking_ = false;
    machine_us_ = machine_us;
    gate_emitting_ = gate_emitting;
}

void LivePlate::message(const std::string& line) {
    std::lock_guard lock(mutex_);
    messages_.emplace_back(++message_count_, line);
    if (messages_.size() > 50) messages_.pop_front();
}

LivePlate::Snapshot LivePlate::since(LiveCursor& cursor) const {
    std::lock_guard lock(mutex_);
    Snapshot s;
    s.run = run_;
    s.plate = plate_;
    s.tags = tags_;
    s.marking = marking_;
    s.gate_emitting = gate_emitting_;
    s.machine_us = machine_us_;
    s.marks = marks_.size();
    s.expected_marks = expected_;
    const std::size_t from = cursor.run == run_ ? std::min(cursor.marks, marks_.size()) : 0;
    s.new_marks.assign(marks_.begin() + static_cast<std::ptrdiff_t>(from), marks_.end());
    for (const auto& m : messages_)
        if (m.first > cursor.message) s.new_messages.push_back(m);
    cursor = {run_, marks_.size(), message_count_};
    return s;
}

LiveMarksFeed::LiveMarksFeed(SimulatedMachine& machine, LivePlate& live, double head_steps_per_mm)
    : machine_(machine), live_(live), head_(head_steps_per_mm > 0 ? head_steps_per_mm : 100.0) {
    machine_.card().add_listener(this);
    batch_.reserve(4096);
}

LiveMarksFeed::~LiveMarksFeed() { machine_.card().remove_listener(this); }

void LiveMarksFeed::start() {
    on_ = true;
    sent_ = 0;
    t0_us_ = machine_.now_us();
    last_ = std::chrono::steady_clock::now();
    live_.marking_started();
}

void LiveMarksFeed::end() {
    if (!on_) return;
    flush();
    on_ = false;
    live_.marking_ended(machine_.now_us() - t0_us_, machine_.gate_emitting());
}

void LiveMarksFeed::on_write(uint8_t, uint8_t, uint8_t) {
    if (!on_ || (++writes_ & 0xFF) != 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(50)) return;
    last_ = now;
    flush();
}

void LiveMarksFeed::flush() {
    const MarkRecorder& r = machine_.model().recorder();
    batch_.clear();
    for (; sent_ < r.closed_count(); ++sent_) {
        const Mark& m = r.closed_at(sent_);
        if (m.kind != Mark::Kind::line && m.kind != Mark::Kind::dot) continue;
        batch_.push_back({m.kind == Mark::Kind::dot, static_cast<float>(m.x0 / head_), static_cast<float>(m.y0 / head_),
                          static_cast<float>(m.x1 / head_), static_cast<float>(m.y1 / head_)});
    }
    live_.add(batch_, machine_.now_us() - t0_us_, machine_.gate_emitting());
}

int LiveMessageBuf::overflow(int c) {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    const char ch = static_cast<char>(c);
    xsputn(&ch, 1);
    return c;
}

std::streamsize LiveMessageBuf::xsputn(const char* s, std::streamsize n) {
    for (std::streamsize i = 0; i < n; ++i) {
        if (s[i] != '\n') {
            if (line_.size() < 2000) line_ += s[i];
            continue;
        }
        if (!line_.empty()) live_.message(line_);
        line_.clear();
    }
    return next_->sputn(s, n);
}

}  // namespace korvex::tool
