// The ear-tag batch's look at its template before anything is marked. The library loads any
// template without a word (a missing or foreign file, a cut cell list, number lines it cannot read
// all leave what was there before), and its pass marks what it can: a batch on such a template
// would mark the codes and report success without the numbers or logos. So the tool loads the
// template privately, the library's way, and lists every reason the pass would mark less than a
// whole tag; and it notes where each number and plot cell must leave marks, for the read-back.
#pragma once

#include <string>
#include <vector>

namespace korvex::tool {

// Where a number or plot cell of tag `tag` (1-based, the pass's turn) leaves its marks, in
// millimetres of the field: the cell's layout box (text), or the drawing's own extent (plot).
struct CellBox {
    int tag = 0;
    std::string name;  // "first-number cell 1"
    double x0_mm = 0, y0_mm = 0, x1_mm = 0, y1_mm = 0;
};

struct EartagTemplateCheck {
    std::vector<std::string> problems;  // each names the file, line or cell; empty: the template is whole
    std::vector<CellBox> boxes;         // the number and plot cells the pass marks
};

// Checks the template at `base` (no extension) with the fonts of `library_folder`: both files there
// and readable (no byte-order mark, the magic line; every line and number line of the cell list),
// the print set-up, and every cell the pass marks: its pen exists and marks at least once, its designed and laid-out
// sizes are not 0, its fonts are found, its plot file reads to the end, its fill can be hatched.
EartagTemplateCheck check_eartag_template(const std::string& base, const std::string& library_folder);

}  // namespace korvex::tool
