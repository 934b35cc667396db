// Print set-up: choosing the template of the ear tags (e_setPrintInfo) and sorting its cells into
// the five category lists the print pass works from: bar-code cells, first-number and
// second-number cells, fixed texts, plot (and bitmap-file) cells.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "state/state.hpp"
#include "template/template_file.hpp"

namespace korvex {

// The text before the last "." of the whole string (a dot in a folder name counts), or the whole
// string when it has no ".".
std::string Strip_extension(const std::string& v);

// True when the tag's characters from the fourth on (characters, not bytes) start with a number
// that, written back as decimal text, reads exactly `number` ("028" matches 28, "28.5" does not).
// A tag of three characters or fewer gives 0.
bool Tag_number_is(std::string_view tag, int number);

// The category (kCategory*) of a parsed cell, or -1 when it belongs to none.
int Cell_category(const CellRecord& cell);

// e_setPrintInfo: stores the name without its extension as `template_base`, loads that template
// and sorts its cells into the category lists (`counters` are the object's per-category counters).
// More than 100 cells in a category, or more than 3000 cells, fail the call (index fault); a call
// that fails while sorting leaves every category count at "0", so no later pass marks from lists
// that are half old and half new.
// With `load_report`, what the template load did is noted there.
void Print_info_set(State& s, const std::string& strTempletFileName, std::string& template_base,
                    std::array<int32_t, kCategories>& counters, TemplateLoadReport* load_report = nullptr);

}  // namespace korvex
