// Serial link to the stand-alone controllers: bringing the link up in stand-alone mode (which serial
// controls talk to a controller, each opened on its port), selecting the control the next exchange
// uses, the per-port order every multi-controller step follows, and the link's messages and string
// table entries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/system_texts.hpp"
#include "state/state.hpp"

namespace korvex {

inline constexpr int16_t kStandAloneCardMode = 1;
inline constexpr const char* kLinkLineSettings = "115200,n,8,1";

inline constexpr int32_t kReconnectEntry = 8007;   // "can't connect laser head." and the Yes/No question
inline constexpr int32_t kCommandFailedEntry = 8008;  // "error send command", followed by the code

// The string table: entry base + 8007 / 8008 (base 0 Chinese, 10000 English). Another entry is a
// fault (there is nothing to show).
std::string Res_string(int32_t id);

// A message box of the link, titled "marking system".
Answer Link_message(State& s, const std::string& text, Buttons buttons, Icon icon);

// Marking_init_pci in stand-alone mode, after the mode and laser type were recorded: grid counted as
// loaded, port mask rebuilt from rs_n (bit 7 of element i: control i is used, bits 0-6: its port),
// each used control opened. rs_n with fewer than four elements is an index fault at the first
// missing one (controls opened before stay open). Returns 0.
int16_t Link_init(State& s, const std::vector<uint8_t>& rs_n);

// Opens control `index` (0-3; any other index keeps the current selection) on `port` with the
// given line settings and the link's buffer sizes and thresholds. A failure shows the port error
// message with the control's error number and leaves the port as the failure left it.
void Comm_open(State& s, int32_t index, int32_t port, const std::string& settings);

// objComm = serial control `index` (0-3).
void Port_select(State& s, int index);
// The control selected by the last Comm_open or per-port step; a fault when none was ever selected.
SerialPort& Selected_port(State& s);

// Runs step(i) for each control i of the mask in the order 0, 1, 2, 3, selecting it first. Stops
// at the first step that returns false and returns false then.
template <class Step>
bool For_each_port(State& s, int32_t mask, Step&& step) {
    for (int i = 0; i < 4; ++i) {
        if (!(mask & (1 << i))) continue;
        Port_select(s, i);
        if (!step(i)) return false;
    }
    return true;
}

}  // namespace korvex
