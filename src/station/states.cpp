// State names, both ways.
#include "station/states.hpp"

#include <string>

#include "core/shown_input.hpp"
#include "station/station_error.hpp"

namespace korvex::station {

namespace {

constexpr const char* kNumberNames[] = {"free", "reserved", "marking", "marked", "verified", "unreadable", "voided", "interrupted"};
constexpr const char* kPlateNames[] = {"queued", "marking", "marked", "verified", "unreadable", "interrupted", "voided"};

template <typename State, std::size_t N>
State state_from(std::string_view name, const char* const (&names)[N], const char* what) {
    for (std::size_t i = 0; i < N; ++i)
        if (name == names[i]) return static_cast<State>(i);
    throw StationError(StationError::Kind::database, std::string("the journal holds an unknown ") + what + " state \"" + Shown_input(name) + "\"");
}

}  // namespace

const char* state_name(NumberState s) { return kNumberNames[static_cast<std::size_t>(s)]; }
const char* state_name(PlateState s) { return kPlateNames[static_cast<std::size_t>(s)]; }
NumberState number_state_from(std::string_view name) { return state_from<NumberState>(name, kNumberNames, "number"); }
PlateState plate_state_from(std::string_view name) { return state_from<PlateState>(name, kPlateNames, "plate"); }

int64_t StateCounts::total() const {
    int64_t t = 0;
    for (int64_t n : by_state) t += n;
    return t;
}

}  // namespace korvex::station
