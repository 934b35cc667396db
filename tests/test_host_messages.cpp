// Message boxes for hosts: a C host's callback answers the machine's questions (here the link's
// "reconnect?") and gets the text byte-exact beside its English; the log callback hears of boxes,
// refused answers and faults; shown texts join English and original, composite texts included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/system_texts.hpp"
#include "korvex/korvex.h"
#include "link/command_exchange.hpp"
#include "test_link_fixture.hpp"

namespace {

struct HostOperator {
    std::vector<int32_t> answers;  // given in turn, then No
    std::vector<std::string> texts, shown;
    std::vector<int32_t> buttons;
    std::vector<std::string> log;
};

int32_t answer_box(const korvex_message* m, void* user_data) {
    auto& host = *static_cast<HostOperator*>(user_data);
    host.texts.push_back(m->text);
    host.shown.push_back(m->shown);
    host.buttons.push_back(m->buttons);
    const std::size_t turn = host.texts.size() - 1;
    return turn < host.answers.size() ? host.answers[turn] : KORVEX_ANSWER_NO;
}

void log_to(korvex_log_level level, const char* line, void* user_data) {
    static_cast<HostOperator*>(user_data)->log.push_back(std::to_string(level) + " " + line);
}

class HostMessagesTest : public LinkTest {
protected:
    void TearDown() override {
        korvex_set_message_cb(nullptr, nullptr);
        korvex_set_log_cb(nullptr, KORVEX_LOG_LEVEL_NONE, nullptr);
        korvex::Set_shown_language(korvex::Language::english);
        LinkTest::TearDown();
    }
    bool connect(int16_t port, const std::vector<std::string>& words) {
        emulator(port, words);
        init_link({static_cast<uint8_t>(0x80 | port), 0, 0, 0});
        korvex::Command_set(state(), 1, 0, 0, 0, 0);
        return korvex::Comm_execute(state());
    }
    HostOperator host;
};

TEST_F(HostMessagesTest, HostCallbackAnswersTheReconnectQuestion) {
    korvex::Set_shown_language(korvex::Language::english);
    ASSERT_EQ(korvex_set_message_cb(answer_box, &host), 0);
    ASSERT_EQ(korvex_set_log_cb(log_to, KORVEX_LOG_LEVEL_INFO, &host), 0);
    // The first reply is the wrong byte: the machine asks, the host says Yes, the second try connects.
    host.answers = {KORVEX_ANSWER_YES};
    EXPECT_TRUE(connect(1, {"reply=AA00000000", "at=1"}));
    EXPECT_EQ(link().lngCtrlState, 254);
    ASSERT_EQ(host.texts.size(), 1u);
    EXPECT_EQ(host.texts[0], korvex::kReconnectQuestionText);  // byte-exact, as traced
    EXPECT_EQ(host.buttons[0], KORVEX_BUTTONS_YES_NO);
    EXPECT_EQ(host.shown[0], "The laser head is not connected: please make sure its power is on. Connect again? (" +
                                 std::string(korvex::kReconnectQuestionText) + ")");
    EXPECT_EQ(sent(0).size(), 2u);
    ASSERT_FALSE(host.log.empty());
    EXPECT_EQ(host.log.back().rfind("3 message \"marking system\": The laser head", 0), 0u) << host.log.back();
    EXPECT_NE(host.log.back().find("-> yes"), std::string::npos);

    // A silent controller: Yes twice, then No; the closing box with the command's code is an OK box.
    host = {{KORVEX_ANSWER_YES, KORVEX_ANSWER_YES}, {}, {}, {}, {}};
    EXPECT_FALSE(connect(2, {"silent"}));
    ASSERT_EQ(host.texts.size(), 4u);
    EXPECT_EQ(host.texts[3], std::string(korvex::kCommandFailedText) + "1");
    EXPECT_EQ(host.buttons[3], KORVEX_BUTTONS_OK);

    // An answer the box does not offer is taken as the safe one (No: do not reconnect) and logged.
    host = {{42}, {}, {}, {}, {}};
    korvex::Set_shown_language(korvex::Language::original);
    EXPECT_FALSE(connect(3, {"silent"}));
    EXPECT_EQ(host.texts.size(), 2u);  // the question once, then the closing box
    EXPECT_EQ(host.shown[0], korvex::kReconnectQuestionText);
    EXPECT_EQ(host.log.at(0).rfind("2 message \"marking system\": the callback answered 42", 0), 0u) << host.log.at(0);

    // Without a callback the console answers: No to the question, nothing reaches the host.
    ASSERT_EQ(korvex_set_message_cb(nullptr, nullptr), 0);
    host = {};
    EXPECT_FALSE(connect(4, {"silent"}));
    EXPECT_TRUE(host.texts.empty());
    EXPECT_EQ(link().lngCtrlState, 255);
}

TEST(SystemTexts, ShownTextsJoinEnglishAndTheOriginal) {
    using korvex::Language;
    const std::string port_error = std::string(korvex::kPortOpenFailedText) + "8002" + korvex::kPortWord + "3";
    EXPECT_EQ(korvex::English_of(port_error), "Cannot connect the stand-alone port, please check; error code: 8002 port 3");
    // The longest text wins where a shorter one begins the same.
    EXPECT_EQ(korvex::English_of(korvex::kNoCalibrationText), "No calibration data: the marks will be inaccurate");
    EXPECT_EQ(korvex::English_of(korvex::kNoGridText), "No calibration data");
    EXPECT_EQ(korvex::Shown_in(Language::english, korvex::kCardOpenFailedText), korvex::kCardOpenFailedText);
    EXPECT_EQ(korvex::Shown_in(Language::english, korvex::kNoFontText), std::string("No such font! (") + korvex::kNoFontText + ")");
    EXPECT_EQ(korvex::Shown_in(Language::original, korvex::kNoFontText), korvex::kNoFontText);
    EXPECT_EQ(korvex::Language_named("zh_CN.UTF-8"), Language::original);
    EXPECT_EQ(korvex::Language_named("en_US.UTF-8"), Language::english);
    EXPECT_EQ(korvex::Language_named("C"), Language::english);
    EXPECT_EQ(korvex_set_log_cb(log_to, 9, nullptr), KORVEX_ERROR_BASE - KORVEX_FAULT_ARGUMENT);
}

}  // namespace
