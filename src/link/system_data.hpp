// System data download: after the last file of a job set, every controller of the mask gets the
// page that tells it how many files the set has, where each starts in flash and the host's marking
// mode values, and is then started with the run command.
#pragma once

#include <cstdint>

#include "core/system_texts.hpp"
#include "state/state.hpp"

namespace korvex {

// Fills bytSysPage. The last file number, MarkM, m_sel and the laser type must each be 0..255
// (else an overflow fault); at most 84 files are announced and 85 table entries written.
void Sysdata_page_build(State& s, int32_t last_file, int32_t MarkM, int32_t count, int32_t m_sel);

// Sends the system data command and page to every controller of the mask, then the run command to
// each. Shows its own messages; changes no state of its own. True only when every controller took
// the page and confirmed the run without a job error: a step that failed is never reported as done.
bool Sysdata_send(State& s, int32_t mask, int32_t last_file, int32_t MarkM, int32_t count, int32_t m_sel);

}  // namespace korvex
