// Marking a drawing or a text on the calling thread's machine the way a template's plot or text
// cell is marked, for hosts and tools that mark one outside a template. Each runs inside the fault
// boundary like a member: a fault (a korvex::Fault) leaves the card on its resting page and the
// laser gate closed.
#pragma once

#include <string>

#include "korvex/export.h"

namespace korvex {

// A plot file placed at (x_mm, y_mm), one plot unit = scale_mm, turned by angle_deg; fill_mm > 0
// hatches its closed shapes with lines this far apart (a spacing the fill cannot take faults
// before the outline is marked).
struct PlotPlacement {
    float x_mm = 0.0f;
    float y_mm = 0.0f;
    double scale_mm = 0.025;
    double angle_deg = 0.0;
    float fill_mm = 0.0f;
};
KORVEX_API void mark_plot_file(const std::string& path, const PlotPlacement& placement);

// A text cell: its fonts (a catalogue key, a file of the font folder or a system outline face;
// empty: special_Romans / special_DFS when their files are there, else DejaVu Sans / AR PL UMing CN),
// size, spacing, layout and outline-font options, and its place.
struct TextCell {
    std::string text;  // UTF-8
    std::string narrow_font, wide_font;
    float width_mm = 5.0f, height_mm = 5.0f, spacing_mm = 0.5f, angle_deg = 0.0f;
    bool vertical = false;
    float arc_diameter_mm = 0.0f;  // > 0: text on an arc of this diameter
    float arc_start_deg = 90.0f;
    bool arc_direction = false, arc_orientation = false;
    float x_mm = 0.0f, y_mm = 0.0f;
    float fill_mm = 0.0f;  // > 0: fill outline characters with hatch lines this far apart
    bool bold = false, italic = false, outline_off = false;
};
struct TextCellMarked {
    bool fonts_found = true;   // false: a font's file is missing and nothing was marked
    std::string fonts_used;    // "narrow NAME, wide NAME"
    std::string font_folder;   // where the catalogue's font files were looked for
};
// `marked` is filled as far as the marking got, also when it ends in a fault.
KORVEX_API void mark_text_cell(const TextCell& cell, TextCellMarked& marked);

}  // namespace korvex
