// Print set-up: the template is loaded, then every cell of its list is parsed once and, when it has
// a category, appended to that category's list with its layout values; slot 0 of each list gets the
// count as text at the end.
#include "template/print_setup.hpp"

#include <cstdio>

#include "core/leading_number.hpp"
#include "core/code_page.hpp"
#include "template/cells.hpp"
#include "template/template_file.hpp"

namespace korvex {

std::string Strip_extension(const std::string& v) {
    const std::size_t dot = v.rfind('.');
    return dot == std::string::npos ? v : v.substr(0, dot);
}

bool Tag_number_is(std::string_view tag, int number) {
    const double value = Leading_number(Utf8_from_char(tag, 3));
    // Written back as decimal text with the 15 significant digits a Double prints with.
    char text[40];
    std::snprintf(text, sizeof text, "%.15G", value);
    return std::string_view(text) == std::to_string(number);
}

int Cell_category(const CellRecord& cell) {
    if (cell.Flag == CellFlagConst::VariableTextFlag()) {
        if (Tag_number_is(cell.Tag, 28)) return kCategoryNumber1;
        if (Tag_number_is(cell.Tag, 29)) return kCategoryNumber2;
        return -1;
    }
    if (cell.Flag == CellFlagConst::BarFlag()) return kCategoryBarcode;
    if (cell.Flag == CellFlagConst::PltFlag()) return kCategoryPlot;
    if (cell.Flag == CellFlagConst::BmpFlag()) return kCategoryPlot;
    if (cell.Flag == CellFlagConst::WordFlag()) return kCategoryText;
    return -1;
}

void Print_info_set(State& s, const std::string& strTempletFileName, std::string& template_base,
                    std::array<int32_t, kCategories>& counters, TemplateLoadReport* load_report) {
    template_base = Strip_extension(strTempletFileName);
    Template_load(s, template_base, load_report);
    counters.fill(1);
    TemplateGroup& t = s.tmpl;
    try {
        const int32_t count = to_i32(Leading_number(t.namLines.at(0)));
        for (int32_t i = 1; i <= count; ++i) {
            const std::string& line = t.namLines.at(i);  // cell 3001: index fault
            Cell_parse(s, line);
            const int k = Cell_category(t.curCell);
            if (k < 0) continue;
            int32_t& slot = counters[static_cast<std::size_t>(k)];
            t.catLines.at(k, slot) = line;  // cell 101 of a category: index fault
            for (int v = 0; v < kCellValues; ++v) t.catValues.at(k).at(slot, v) = t.namValues.at(i, v);
            ++slot;
        }
    } catch (const Fault&) {
        for (int k = 0; k < kCategories; ++k) t.catLines.at(k, 0) = "0";
        throw;
    }
    for (int k = 0; k < kCategories; ++k) t.catLines.at(k, 0) = std::to_string(counters[static_cast<std::size_t>(k)] - 1);
    t.strCategoryFolder = t.strCellListFolder;  // where the plot cells' relative file names start
}

}  // namespace korvex
