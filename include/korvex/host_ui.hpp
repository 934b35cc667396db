// HostUi: the little the library asks of the operator's desktop: modal message boxes, the state
// of the Shift and Space keys, and a turn of the host thread's pending window messages.
#pragma once

#include <string>

#include "korvex/export.h"

namespace korvex {

// The title of every message box the library shows.
inline constexpr const char* kMessageTitle = "marking system";
// The question a Space press asks during marking; Yes stops the job.
inline constexpr const char* kAbortQuestion = " yes=exit,no=continue.";

enum class Buttons { ok, yes_no };
enum class Icon { none, info, critical };
enum class Answer { ok, yes, no };
enum class Key { shift, space };

class KORVEX_API HostUi {
public:
    virtual ~HostUi() = default;
    virtual Answer message_box(const std::string& text, const std::string& title, Buttons buttons, Icon icon) = 0;
    virtual bool key_held(Key key) = 0;
    virtual void process_messages() = 0;
};

KORVEX_API const char* buttons_name(Buttons b);  // "ok", "yesno"
KORVEX_API const char* icon_name(Icon i);        // "none", "info", "critical"
KORVEX_API const char* answer_name(Answer a);    // "ok", "yes", "no"

}  // namespace korvex
