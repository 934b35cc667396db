// Command exchange with one controller: the 5-byte command frame, awaiting a reply of an exact
// length with 10 ms polls, and the dispatcher that sends a command and judges the controller's
// answer by command code, keeping the library's view of the controllers up to date.
#pragma once

#include <cstdint>

#include "link/reply_bytes.hpp"
#include "state/state.hpp"

namespace korvex {

inline constexpr double kReplyTimeoutUs = 1'000'000.0;
inline constexpr double kFlashCheckTimeoutUs = 20'000'000.0;
inline constexpr float kReplyPollUs = 10'000.0f;


// Puts the five bytes into the command frame.
void Command_set(State& s, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4);
// Writes the whole command frame to the selected control.
void Command_send(State& s);

// Waits for exactly n reply bytes: polls every 10 ms on the port's clock; True when the count
// reached n within the time-out and was exactly n (the bytes are then in intReply). A late,
// missing or over-long reply is discarded and gives False; intReply keeps its old contents then.
bool Comm_command(State& s, int32_t n, double timeout_us);

// Sends the command in bytCmd to the selected control and judges the reply by its code; shows the
// link's messages. True when the controller confirmed the command; a run it confirmed with its
// job-error status is shown as such and gives False.
bool Comm_execute(State& s);

// Awaits from each control of the mask, in port order, an n-byte reply whose first byte is
// `expect`. On the first that fails, shows `failure` (OK) and returns False; later ports are not asked.
bool Await_each(State& s, int32_t mask, int32_t n, uint8_t expect, const char* failure);

}  // namespace korvex
