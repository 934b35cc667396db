// Where a plot file stops being read: the machine's reader ends the import at a command letter
// followed by something that is neither ';', a digit nor '-', and marks only what came before.
// The library keeps that rule and says nothing; the tools say where the file was cut.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace korvex::tool {

// "" when the reader takes the whole file; otherwise where and why it stops, as
// "cut at byte 41 of 120 (line 3, column 7): after \"PD\" comes \"\x01\"".
std::string plot_cut_text(std::span<const uint8_t> bytes);

}  // namespace korvex::tool
