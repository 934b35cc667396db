// The states of a number and of a plate, and their names as the journal's tables hold them.
//
//   number: free -> reserved -> marking -> marked -> verified | unreadable
//                                      \-> interrupted -> marked (an operator confirms) | voided
//           any state but marking (and voided) -> voided, with a reason and who voided it
//   plate:  queued -> marking -> marked -> verified | unreadable; marking -> interrupted -> marked |
//           voided; marked, verified, unreadable -> voided
// The allowed changes are rows of the schema's `transitions` table, which the database enforces.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace korvex::station {

enum class NumberState { free, reserved, marking, marked, verified, unreadable, voided, interrupted };
inline constexpr std::array<NumberState, 8> kNumberStates = {NumberState::free,     NumberState::reserved,   NumberState::marking,
                                                             NumberState::marked,   NumberState::verified,   NumberState::unreadable,
                                                             NumberState::voided,   NumberState::interrupted};

enum class PlateState { queued, marking, marked, verified, unreadable, interrupted, voided };
inline constexpr std::array<PlateState, 7> kPlateStates = {PlateState::queued,     PlateState::marking,     PlateState::marked,
                                                           PlateState::verified,   PlateState::unreadable,  PlateState::interrupted,
                                                           PlateState::voided};

const char* state_name(NumberState s);
const char* state_name(PlateState s);
// The state a stored name stands for; a name the journal does not know is a database error.
NumberState number_state_from(std::string_view name);
PlateState plate_state_from(std::string_view name);

// A count for every number state (a pool's summary).
struct StateCounts {
    std::array<int64_t, kNumberStates.size()> by_state{};
    int64_t& operator[](NumberState s) { return by_state[static_cast<std::size_t>(s)]; }
    int64_t operator[](NumberState s) const { return by_state[static_cast<std::size_t>(s)]; }
    int64_t total() const;
};

}  // namespace korvex::station
