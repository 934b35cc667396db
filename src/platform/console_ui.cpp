// Console message boxes and the names the trace uses for buttons, icons and answers.
#include "platform/console_ui.hpp"

#include <iostream>

#include "core/system_texts.hpp"

namespace korvex {

const char* buttons_name(Buttons b) { return b == Buttons::ok ? "ok" : "yesno"; }
const char* icon_name(Icon i) {
    switch (i) {
        case Icon::none: return "none";
        case Icon::info: return "info";
        case Icon::critical: return "critical";
    }
    return "none";
}
const char* answer_name(Answer a) {
    switch (a) {
        case Answer::ok: return "ok";
        case Answer::yes: return "yes";
        case Answer::no: return "no";
    }
    return "ok";
}

Answer ConsoleUi::message_box(const std::string& text, const std::string& title, Buttons buttons, Icon) {
    Answer answer = Answer::ok;
    if (buttons == Buttons::yes_no) answer = (text == kAbortQuestion) ? Answer::yes : Answer::no;
    std::cerr << "[" << title << "] " << Shown_in(Shown_language(), text) << " -> " << answer_name(answer) << std::endl;
    return answer;
}

}  // namespace korvex
