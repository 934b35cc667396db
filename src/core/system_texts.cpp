// The system texts' English and the choice of the language they are shown in.
#include "core/system_texts.hpp"

#include <atomic>
#include <cstdlib>

namespace korvex {

namespace {

struct SystemText {
    const char* original;
    const char* english;
};

constexpr SystemText kSystemTexts[] = {
    {kNoCalibrationText, "No calibration data: the marks will be inaccurate"},
    {kCalibrationErrorText, "Calibration error"},
    {kNoFontText, "No such font!"},
    {kPortOpenFailedText, "Cannot connect the stand-alone port, please check; error code: "},
    {kPortWord, " port "},
    {kBadFlashText, "The flash has bad blocks"},
    {kNoMarkingDataText, "No marking data, nothing can be marked: please send the data first"},
    {kUnknownCommandText, "An unknown command was sent!"},
    {kJobErrorText, "The marking file is faulty and cannot be marked: please send the data again"},
    {kWriteFileFailedText, "Sending the write-file command failed, please send again"},
    {kFileInfoFailedText, "Sending the file information failed, please send again"},
    {kHeadParaFailedText, "Sending the system parameters failed, please send again"},
    {kFileDataFailedText, "Sending the file data failed, please send again"},
    {kNoGridText, "No calibration data"},
    {kCalCommandFailedText, "Sending the calibration data command failed, please send again"},
    {kCalPageFailedText, "Sending the calibration data failed, please send again"},
    {kSysCommandFailedText, "The system data command failed"},
    {kSysPageFailedText, "Sending the system data failed"},
    {kReconnectQuestionText, "The laser head is not connected: please make sure its power is on. Connect again?"},
    {kCommandFailedText, "Serial command exchange failed, please check the connection. Command "},
};

// 0: not chosen (read the environment), else 1 + Language.
std::atomic<int> g_language{0};

bool starts_with(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

std::string English_of(std::string_view text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const SystemText* best = nullptr;
        std::size_t best_size = 0;
        for (const SystemText& t : kSystemTexts) {
            const std::string_view original(t.original);
            if (original.size() > best_size && starts_with(text.substr(i), original)) {
                best = &t;
                best_size = original.size();
            }
        }
        if (best) {
            out += best->english;
            i += best_size;
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string Shown_in(Language language, std::string_view text) {
    if (language == Language::original) return std::string(text);
    std::string english = English_of(text);
    if (english == text) return english;
    return english + " (" + std::string(text) + ")";
}

Language Language_named(std::string_view name) {
    return starts_with(name, "zh") ? Language::original : Language::english;
}

Language Shown_language() {
    if (const int chosen = g_language.load(std::memory_order_relaxed)) return static_cast<Language>(chosen - 1);
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(variable); value && *value) return Language_named(value);
    return Language::english;
}

void Set_shown_language(Language language) { g_language.store(1 + static_cast<int>(language), std::memory_order_relaxed); }

}  // namespace korvex
