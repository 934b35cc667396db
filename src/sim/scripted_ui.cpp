// The scripted operator: queued answers, held keys, recorded boxes.
#include "sim/scripted_ui.hpp"

namespace korvex {

std::string message_trace_line(const std::string& title, const std::string& text, Buttons buttons, Icon icon, Answer answer) {
    return "msg " + quoted(title) + " " + quoted(text) + " " + buttons_name(buttons) + " " + icon_name(icon) + " -> " +
           answer_name(answer);
}

Answer ScriptedUi::message_box(const std::string& text, const std::string& title, Buttons buttons, Icon icon) {
    Answer answer = buttons == Buttons::yes_no ? Answer::no : Answer::ok;
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
        // A queued answer that the box cannot give falls back to the box's default.
        if (buttons == Buttons::ok) answer = Answer::ok;
        else if (answer == Answer::ok) answer = Answer::no;
    }
    shown_.push_back({text, title, buttons, icon, answer});
    if (trace_) trace_->line(message_trace_line(title, text, buttons, icon, answer));
    return answer;
}

bool ScriptedUi::key_held(Key key) {
    if (on_poll_) on_poll_();
    if (key != Key::shift) return space_;
    const bool held = shift_ || (shift_source_ && shift_source_->load(std::memory_order_relaxed));
    if (held) ++shift_seen_held_;
    return held;
}

}  // namespace korvex
