// ConsoleUi: the operator interface for hosts that set none. Message boxes go to standard error and
// are answered on the safe side (OK; Yes to "stop marking?", No to "reconnect?"). It has no keyboard.
#pragma once

#include "korvex/host_ui.hpp"

namespace korvex {

class ConsoleUi : public HostUi {
public:
    Answer message_box(const std::string& text, const std::string& title, Buttons buttons, Icon icon) override;
    bool key_held(Key) override { return false; }
    void process_messages() override {}
};

}  // namespace korvex
