// ScriptedUi: an operator played by a script or a test. Answers are queued in advance, keys are
// held or released on command, and every message box is recorded (and traced) with its answer.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "korvex/host_ui.hpp"
#include "platform/trace_lines.hpp"
#include "sim/trace.hpp"

namespace korvex {

class ScriptedUi : public HostUi {
public:
    struct Shown {
        std::string text, title;
        Buttons buttons;
        Icon icon;
        Answer answer;
    };

    explicit ScriptedUi(Trace* trace = nullptr) : trace_(trace) {}

    Answer message_box(const std::string& text, const std::string& title, Buttons buttons, Icon icon) override;
    bool key_held(Key key) override;
    void process_messages() override {
        ++message_turns_;
        if (on_poll_) on_poll_();
    }

    // Queues the answer to the next box that asks: OK boxes take ok, Yes/No boxes yes or no.
    // With nothing queued a box is answered OK, and No when it asks Yes/No.
    void queue_answer(Answer a) { answers_.push_back(a); }
    void set_key(Key key, bool held) { (key == Key::shift ? shift_ : space_) = held; }
    // A switch outside the script that also holds Shift while it is set (the korvex tool's SIGINT
    // flag); nullptr disconnects it.
    void set_shift_source(const std::atomic<bool>* held) { shift_source_ = held; }
    // Called on every key poll and message turn, so scheduled events can happen mid-call.
    void set_poll_hook(std::function<void()> hook) { on_poll_ = std::move(hook); }
    void set_trace(Trace* trace) { trace_ = trace; }

    const std::vector<Shown>& shown() const { return shown_; }
    int message_turns() const { return message_turns_; }
    // How often a caller read Shift as held: the library took the operator's stop (its abort flag
    // may be cleared again before the call returns).
    int shift_seen_held() const { return shift_seen_held_; }

private:
    Trace* trace_;
    std::deque<Answer> answers_;
    std::vector<Shown> shown_;
    std::function<void()> on_poll_;
    const std::atomic<bool>* shift_source_ = nullptr;
    bool shift_ = false;
    bool space_ = false;
    int message_turns_ = 0;
    int shift_seen_held_ = 0;
};

// The trace line of a message box: msg "TITLE" "TEXT" BUTTONS ICON -> ANSWER
std::string message_trace_line(const std::string& title, const std::string& text, Buttons buttons, Icon icon, Answer answer);

}  // namespace korvex
