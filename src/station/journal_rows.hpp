// What the journal's source files share: the time stamps it writes, the checks of the names and
// texts it takes, and reading its rows back.
#pragma once

#include <cstdint>
#include <string>
#include <chrono>
#include <thread>
#include <type_traits>

#include "station/journal.hpp"

namespace korvex::station {

// Now, in UTC, to the millisecond: "2024-05-01T12:00:00.123Z" (text sorts in time order).
std::string now_text();

// A name or text the journal stores: at most max_bytes, no control characters or broken UTF-8;
// `what` names it in the error. An empty one is refused unless allow_empty.
void check_text(const std::string& what, const std::string& text, std::size_t max_bytes, bool allow_empty = false);
// A number: 1 to 32 digits.
void check_number(const std::string& number);

inline constexpr std::size_t kMaxNameBytes = 64;
inline constexpr std::size_t kMaxTextBytes = 500;

std::string text_of(const SqlValue& v);
int64_t int_of(const SqlValue& v);  // NULL is 0
inline SqlValue value_of(int64_t v) { return std::to_string(v); }
inline SqlValue text_or_null(const std::string& s) { return s.empty() ? SqlValue{} : SqlValue{s}; }

// Retries a transaction that lost a race or waited too long (StationError::Kind::busy).
template <typename F>
auto retrying(F&& f) -> decltype(f()) {
    for (int attempt = 1;; ++attempt) {
        try {
            return f();
        } catch (const StationError& e) {
            if (e.kind() != StationError::Kind::busy || attempt >= 4) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
        }
    }
}

// One write transaction (retried when it lost a race) around f.
template <typename F>
auto Journal::in_write(F&& f) -> decltype(f()) {
    return retrying([&] {
        SqlTransaction t(*c_, true);
        if constexpr (std::is_void_v<decltype(f())>) {
            f();
            t.commit();
        } else {
            auto result = f();
            t.commit();
            return result;
        }
    });
}

template <typename F>
auto Journal::on_plate(int64_t id, const Actor& who, bool station_needed, F&& f) -> decltype(f(std::declval<const Plate&>(), std::string())) {
    return in_write([&] {
        const std::string now = now_text();
        touch(who, station_needed, now);
        return f(read_plate(id, true), now);
    });
}

}  // namespace korvex::station
