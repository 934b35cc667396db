// Read-only looks at a template and a plot file as the library reads them, for hosts and tools
// that want to know what a template will do before marking with it. Every template is loaded into
// a machine state of its own on a quiet simulated card, so nothing of the calling thread's machine
// is touched.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "korvex/export.h"

namespace korvex {

// The template report (`korvex template show BASE`): the pens its cells use, the hardware values
// it changes, its zone rows and every cell with its kind, tag, text, place, size, pen and option
// bits, and how the print set-up sorts the cells. A trailing ".mc1" or ".nam" of `base` is dropped.
// Returns 0, or 1 (message on `err`) when neither file of the pair exists or the machine file is
// damaged (records not taken over).
KORVEX_API int template_show(const std::string& base, std::ostream& out, std::ostream& err);

// The base e_setPrintInfo takes from a template name: the text before the last "." of the whole
// name (a dot in a folder name counts), or the whole name when it has no ".".
KORVEX_API std::string template_base_name(const std::string& name);

// How many tags one plate of template `base` (BASE.mc1 / BASE.nam, no extension) holds: its
// bar-code cells, as e_setPrintInfo sorts them. A template that cannot be read is a korvex::Fault;
// one without bar-code cells gives 0.
KORVEX_API int template_tags_per_plate(const std::string& base);

// Where a number or plot cell of tag `tag` (1-based, the pass's turn) leaves its marks, in
// millimetres of the field: the cell's layout box (text), or the drawing's own extent (plot).
struct CellBox {
    int tag = 0;
    std::string name;  // "first-number cell 1"
    double x0_mm = 0, y0_mm = 0, x1_mm = 0, y1_mm = 0;
};

// The ear-tag batch's look at its template before anything is marked. The library loads any
// template without a word (a missing or foreign file, a cut cell list, number lines it cannot read
// all leave what was there before), and its pass marks what it can; this lists every reason the
// pass would mark less than a whole tag, and where each number and plot cell must leave marks.
struct EartagTemplateCheck {
    std::vector<std::string> problems;  // each names the file, line or cell; empty: the template is whole
    std::vector<CellBox> boxes;         // the number and plot cells the pass marks
};

// Checks the template at `base` (no extension) with the fonts of `library_folder`: both files there
// and readable (no byte-order mark, the magic line; every line and number line of the cell list),
// the print set-up, and every cell the pass marks: its pen exists and marks at least once, its
// designed and laid-out sizes are not 0, its fonts are found, its plot file reads to the end, its
// fill can be hatched.
KORVEX_API EartagTemplateCheck check_eartag_template(const std::string& base, const std::string& library_folder);

// Where a plot file stops being read: the reader ends the import at a command letter followed by
// something that is neither ';', a digit nor '-', and marks only what came before. "" when it takes
// the whole file; otherwise where and why, as
// "cut at byte 41 of 120 (line 3, column 7): after \"PD\" comes \"\x01\"".
KORVEX_API std::string plot_cut_text(std::span<const uint8_t> bytes);

// plot_cut_text of the plot file at `path`, read as the library reads it (a file it cannot read is
// a korvex::Fault).
KORVEX_API std::string plot_file_cut_text(const std::string& path);

}  // namespace korvex
