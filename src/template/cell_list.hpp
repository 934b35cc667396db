// The cell list of a template (base path + ".nam"): a count line, then six lines per cell, the
// descriptor line and its X, Y, width, height and angle. Written by the host's layout editor in
// code page 936 with CR LF line ends; decoded to UTF-8 on reading.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/state.hpp"

namespace korvex {

// A line holding exactly one decimal number (blanks around it allowed) as a Single; nothing for
// any other line, also for an empty one or one beyond a Single's range.
std::optional<float> Strict_single(std::string_view line);

// The lines of a cell list's (decoded) text as the reader takes them: a line ends at LF, one CR
// before it belongs to the line end, and a final line end closes the last line.
std::vector<std::string_view> Cell_list_lines(std::string_view text);

// Reads the cell list at `path` into namLines and namValues when the file exists (otherwise both
// keep the previous cells). The count line goes to namLines(0); its leading number, rounded, is
// the cell count. A number line that is not a number keeps the previous value. Running out of
// lines (eof fault) or of room after 3000 cells (index fault) faults after storing what was read.
// Notes the file's folder in strCellListFolder.
void Cell_list_load(State& s, const std::string& path);

}  // namespace korvex
