// Job download: Marking_end files the packed job for a scan head, downloads a point table, or
// downloads the filed jobs as one numbered file of a job set (with the system data step after the
// last file); File_send carries one file to the controllers: write-file command, information page,
// head parameter page per head, and the data pages, in 528-byte flash pages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/system_texts.hpp"
#include "state/state.hpp"

namespace korvex {

inline constexpr const char* kJobFileName = "rs_1.mak";

// The member's operation; File_no_begin is the calling object's property (read, and set to 1 after a
// point table). Returns 1 only when the last file of a set was downloaded, the system data step
// went through and every controller started the set; 0 otherwise.
int16_t Marking_end(State& s, int32_t& File_no_begin, int32_t fileno, int32_t fileAll, int32_t MarkM, int32_t m_sel,
                    int32_t m_head, std::vector<double>& md);

// Sends file n of the filed jobs (lengths: the heads' job lengths, all set to their maximum) to the
// controllers of the mask. True when every controller confirmed every page; False after a message.
bool File_send(State& s, const std::string& name, int32_t n, Table<int32_t, 4>& lengths, int32_t mask);

// The pages File_send sends (exposed for the tests and the emulator's checks).
void Info_page_build(State& s, const std::string& name, int32_t length);
void Head_page_build(State& s, int head);
void Data_page_build(State& s, int head, int32_t page);

}  // namespace korvex
