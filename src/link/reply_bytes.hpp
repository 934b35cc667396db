// The bytes a stand-alone controller answers with: the page/command acknowledgement, the first byte
// of a status reply, and the status values the host acts on. Shared by the link and the emulated
// controller, the two ends of the same line.
#pragma once

#include <cstdint>

namespace korvex {

inline constexpr uint8_t kPageAccepted = 0xCC;
inline constexpr uint8_t kDone = 0xAA;
inline constexpr uint8_t kConnected = 0x55;

// Byte 1 of the run reply when a stored job of the set would not run (a file that is not a whole
// job, or one that never arrived complete): the controller marked nothing of it.
inline constexpr uint8_t kJobErrorStatus = 0xEE;

}  // namespace korvex
