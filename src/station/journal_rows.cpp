// Time stamps, the checks of stored texts, and row values.
#include "station/journal_rows.hpp"

#include <algorithm>
#include <chrono>
#include <ctime>

#include "core/shown_input.hpp"

namespace korvex::station {

std::string now_text() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(ms));
    return text;
}

void check_text(const std::string& what, const std::string& text, std::size_t max_bytes, bool allow_empty) {
    if (text.empty() && !allow_empty) throw StationError(StationError::Kind::bad_input, what + " is empty");
    if (text.size() > max_bytes)
        throw StationError(StationError::Kind::bad_input, what + " \"" + Shown_input(text) + "\" is longer than " + std::to_string(max_bytes) + " bytes");
    // Shown_input escapes exactly the control characters and the bytes that are not UTF-8.
    if (Shown_input(text, text.size() + 1) != text)
        throw StationError(StationError::Kind::bad_input, what + " \"" + Shown_input(text) + "\" holds a control character or is not UTF-8");
}

void check_number(const std::string& number) {
    if (number.empty() || number.size() > 32 || !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw StationError(StationError::Kind::bad_input, "\"" + Shown_input(number) + "\" is not a number of 1 to 32 digits");
}

std::string text_of(const SqlValue& v) { return v.value_or(""); }

int64_t int_of(const SqlValue& v) {
    if (!v) return 0;
    try {
        return std::stoll(*v);
    } catch (const std::exception&) {
        throw StationError(StationError::Kind::database, "the journal holds \"" + Shown_input(*v) + "\" where a number belongs");
    }
}

}  // namespace korvex::station
