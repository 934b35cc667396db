// Template files: loading a template pair (base path + ".mc1" machine part, base path + ".nam" cell
// list) into the pen table, the hardware record, the zone table, the default font work records
// and the cell list. Loading is forgiving by design: a damaged or missing file never fails the
// load; each part that cannot be read is skipped and leaves its targets as they were.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "state/state.hpp"

namespace korvex {

inline constexpr std::string_view kTemplateMagic = "Tarvel Mark File Ver1.0";
inline constexpr std::string_view kDefaultWideFont = "special_DFS";
inline constexpr std::string_view kDefaultNarrowFont = "special_Romans";
inline constexpr int32_t kPreviewScale = 100;

// Hardware record fields by file position: section 3 (68 values) and section 8 (5 values).
inline constexpr std::array<int16_t, 68> kHardwareSection3 = {
    1,  2,  3,  4,  7,  5,  6,  13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
    29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51,
    52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73};
inline constexpr std::array<int16_t, 5> kHardwareSection8 = {9, 11, 10, 12, 8};
// The hardware field that is raised to 1 when below 1, before and after section 3 is read.
inline constexpr int16_t kHardwareAtLeastOne = 38;
// Zone table columns in the order a row's eight values are stored.
inline constexpr std::array<int, 8> kZoneColumnOrder = {0, 4, 1, 5, 2, 6, 3, 7};

// Loads the template pair at `base` (no extension). Never faults for file problems (a missing file,
// a wrong magic line, bad or missing values): the machine file is read record by record (the magic
// line, each pen, the hardware values, the zone row count, each zone row, the default fonts, the
// preview scale, the last hardware values), each ending at a line end. A record with a value that
// does not convert or lies outside its bounds keeps its previous values and the next is read in
// step; a record that does not end at a line end (values missing or extra), or that the file ends
// in, keeps its previous values and nothing after it is read. A damaged machine file is shown to
// the operator once (which records, which lines, what was wrong), and a template that moves the gate
// to another bit or level closes it under the new ones and says so. Ends with pen 1 selected afresh
// and the cell list read when its file exists.
// Zone row counts above 301: rows 0-300 are stored, the surplus rows are read and dropped so the
// sections after them are read in step; lngZoneCount keeps the file's count.
// What happened is kept in s.tmpl.load_report, and copied to `report` when one is given.
void Template_load(State& s, const std::string& base, TemplateLoadReport* report = nullptr);

}  // namespace korvex
