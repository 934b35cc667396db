// The plate being marked, as the station's operator page sees it while it is made: the marking
// thread adds the laser's marks (lines and dots in field mm, jumps left out), the machine time and
// the gate's state as the machine makes them; the service's feeds read what came since they last
// looked, each from its own cursor. The station's messages (the library's message boxes among
// them) are kept as lines with a running number.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <streambuf>
#include <string>
#include <vector>

#include "sim/sim.hpp"

namespace korvex::tool {

struct LiveMark {
    bool dot = false;
    float x0_mm = 0, y0_mm = 0, x1_mm = 0, y1_mm = 0;
};

// What a feed was sent last: the plate's run (one per begun plate) and how many of its marks.
struct LiveCursor {
    uint64_t run = 0;
    std::size_t marks = 0;
    uint64_t message = 0;
};

class LivePlate {
public:
    struct Snapshot {
        uint64_t run = 0;
        int64_t plate = 0;                 // the journal's plate (0: none begun yet)
        std::vector<std::string> tags;
        bool marking = false;              // a plate's e_PrintEarMark is running
        bool gate_emitting = false;
        double machine_us = 0.0;           // this plate's machine time so far
        std::size_t marks = 0, expected_marks = 0;  // expected: the previous plate's count (0: unknown)
        std::vector<LiveMark> new_marks;   // since the cursor (all of them after a new plate began)
        std::vector<std::pair<uint64_t, std::string>> new_messages;
    };

    void begin(int64_t plate, std::vector<std::string> tags);  // a plate was claimed
    void marking_started();                                     // its marks start from none
    void add(const std::vector<LiveMark>& marks, double machine_us, bool gate_emitting);
    void marking_ended(double machine_us, bool gate_emitting);
    void message(const std::string& line);
    // What changed since `cursor`, which moves to now.
    Snapshot since(LiveCursor& cursor) const;

private:
    mutable std::mutex mutex_;
    uint64_t run_ = 0;
    int64_t plate_ = 0;
    std::vector<std::string> tags_;
    bool marking_ = false, gate_emitting_ = false;
    double machine_us_ = 0.0;
    std::size_t expected_ = 0;
    std::vector<LiveMark> marks_;
    std::deque<std::pair<uint64_t, std::string>> messages_;  // the last 50
    uint64_t message_count_ = 0;
};

// Hands the machine's marks to a LivePlate while a plate is marked: a card listener on the
// marking thread that, every 256 card writes, passes on the marks closed since it last did once
// 50 ms of wall time went by (the clock is read only then; nothing is allocated in between).
class LiveMarksFeed : private CardListener {
public:
    LiveMarksFeed(SimulatedMachine& machine, LivePlate& live, double head_steps_per_mm);
    ~LiveMarksFeed() override;
    LiveMarksFeed(const LiveMarksFeed&) = delete;
    LiveMarksFeed& operator=(const LiveMarksFeed&) = delete;

    void start();  // the machine's marks were just cleared for a plate
    void end();    // the plate's call returned: the rest of its marks, the gate as it is now

private:
    void on_write(uint8_t, uint8_t, uint8_t) override;
    void flush();

    SimulatedMachine& machine_;
    LivePlate& live_;
    double head_;
    bool on_ = false;
    double t0_us_ = 0.0;
    std::size_t sent_ = 0;
    uint64_t writes_ = 0;
    std::chrono::steady_clock::time_point last_;
    std::vector<LiveMark> batch_;
};

// A stream buffer that passes everything on to `next` and gives each whole line to a LivePlate.
class LiveMessageBuf : public std::streambuf {
public:
    LiveMessageBuf(std::streambuf* next, LivePlate& live) : next_(next), live_(live) {}

protected:
    int overflow(int c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override { return next_->pubsync(); }

private:
    std::streambuf* next_;
    LivePlate& live_;
    std::string line_;
};

}  // namespace korvex::tool
