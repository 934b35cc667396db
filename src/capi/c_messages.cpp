// The C layer's operator interface and log: korvex_set_message_cb and korvex_set_log_cb.
#include "capi/c_messages.hpp"

#include <mutex>

#include "capi/c_boundary.hpp"
#include "core/system_texts.hpp"
#include "platform/console_ui.hpp"
#include "state/state.hpp"

namespace korvex::capi {

namespace {

// The host's callback when it set one, else the console's boxes.
class CallbackUi : public HostUi {
public:
    void set(korvex_message_cb callback, void* user_data) {
        callback_ = callback;
        user_data_ = user_data;
    }

    Answer message_box(const std::string& text, const std::string& title, Buttons buttons, Icon icon) override {
        const std::string shown = Shown_in(Shown_language(), text);
        Answer answer = Answer::ok;
        if (!callback_) {
            answer = console_.message_box(text, title, buttons, icon);
        } else {
            const korvex_message m{text.c_str(), shown.c_str(), title.c_str(), static_cast<int32_t>(buttons),
                                   static_cast<int32_t>(icon)};
            const int32_t given = callback_(&m, user_data_);
            answer = offered(buttons, given);
            if (static_cast<int32_t>(answer) != given) {
                answer = safe_answer(text, buttons);
                log_line(KORVEX_LOG_LEVEL_WARNING, "message \"" + title + "\": the callback answered " +
                                                       std::to_string(given) + ", which the box does not offer; taken as " +
                                                       answer_name(answer));
            }
        }
        log_line(KORVEX_LOG_LEVEL_INFO, "message \"" + title + "\": " + shown + " -> " + answer_name(answer));
        return answer;
    }
    bool key_held(Key key) override { return console_.key_held(key); }
    void process_messages() override { console_.process_messages(); }

private:
    // The given answer when the buttons offer it, else an answer that differs from it.
    static Answer offered(Buttons buttons, int32_t given) {
        if (buttons == Buttons::ok) return given == KORVEX_ANSWER_OK ? Answer::ok : Answer::yes;
        if (given == KORVEX_ANSWER_YES) return Answer::yes;
        return given == KORVEX_ANSWER_NO ? Answer::no : Answer::ok;
    }
    Answer safe_answer(const std::string& text, Buttons buttons) {
        if (buttons == Buttons::ok) return Answer::ok;
        return text == kAbortQuestion ? Answer::yes : Answer::no;
    }

    korvex_message_cb callback_ = nullptr;
    void* user_data_ = nullptr;
    ConsoleUi console_;
};

thread_local CallbackUi t_ui;

struct LogTarget {
    korvex_log_cb callback = nullptr;
    korvex_log_level level = KORVEX_LOG_LEVEL_NONE;
    void* user_data = nullptr;
};
std::mutex g_log_mutex;
LogTarget g_log;

}  // namespace

HostUi& thread_message_ui() { return t_ui; }

void log_line(korvex_log_level level, const std::string& line) noexcept {
    LogTarget target;
    {
        std::lock_guard<std::mutex> lock(g_log_mutex);
        target = g_log;
    }
    if (target.callback && level != KORVEX_LOG_LEVEL_NONE && level <= target.level)
        target.callback(level, line.c_str(), target.user_data);
}

}  // namespace korvex::capi

extern "C" {

int32_t korvex_set_message_cb(korvex_message_cb callback, void* user_data) {
    return korvex::capi::guarded(nullptr, [&]() -> int32_t {
        korvex::capi::t_ui.set(callback, user_data);
        korvex::Platform platform = korvex::configured_platform();
        platform.ui = &korvex::capi::t_ui;
        korvex::set_platform(platform);
        return 0;
    });
}

// The level comes in as a plain number: a C host may pass any int, and only a checked one becomes
// a korvex_log_level.
int32_t korvex_set_log_cb(korvex_log_cb callback, int32_t level, void* user_data) {
    return korvex::capi::guarded(nullptr, [&]() -> int32_t {
        if (level < KORVEX_LOG_LEVEL_NONE || level > KORVEX_LOG_LEVEL_INFO)
            throw korvex::capi::ArgumentError("unknown log level " + std::to_string(level));
        std::lock_guard<std::mutex> lock(korvex::capi::g_log_mutex);
        korvex::capi::g_log = {callback, static_cast<korvex_log_level>(level), user_data};
        return 0;
    });
}

}  // extern "C"
