// Marking a plot file or a text as a template's cell is marked, inside the fault boundary: the
// current cell filled from the request, then the library's own plot marker or font loader and text
// layout.
#include "korvex/cell_marking.hpp"

#include <cmath>

#include "core/shown_input.hpp"
#include "device/calibration_file.hpp"
#include "font/font_catalogue.hpp"
#include "font/hatch_fill.hpp"
#include "font/outline_text.hpp"
#include "font/text_layout.hpp"
#include "interface/fault_boundary.hpp"
#include "template/plot_file.hpp"

namespace korvex {

namespace {

// The cell's Mode bits for the request's options.
int32_t text_cell_mode(const TextCell& c) {
    int32_t mode = 0;
    if (c.arc_diameter_mm > 0.0f) mode |= kCellModeArc;
    if (c.arc_orientation) mode |= kCellModeArcOrient;
    if (c.arc_direction) mode |= kCellModeArcDirection;
    if (c.vertical) mode |= kCellModeVertical;
    if (c.fill_mm > 0.0f) mode |= kCellModeFill;
    if (c.italic) mode |= kCellModeOutline1;
    if (c.bold) mode |= kCellModeOutline2;
    if (c.outline_off) mode |= kCellModeFillOnly;
    return mode;
}

// A catalogue key when its file is in the font folder, else the system face.
std::string font_or_face(const State& s, const char* key, const char* face) {
    for (const FontCatalogueEntry& e : kFontCatalogue)
        if (std::string(e.key) == key && File_exists(s.font.strFontPath + e.file)) return key;
    return face;
}

FontRecord font_record(const std::string& name, const TextCell& c) {
    FontRecord f;
    f.Name = name;
    f.Height = c.height_mm;
    f.Width = c.width_mm;
    f.Space = c.spacing_mm;
    return f;
}

// Marks the text as the print pass marks a text cell; false when a font is missing.
bool mark_text(State& s, const TextCell& c, std::string& fonts_used, std::string& font_folder) {
    Font_catalogue_init(s);
    font_folder = s.font.strFontPath;
    const std::string narrow = !c.narrow_font.empty() ? c.narrow_font : font_or_face(s, "special_Romans", "DejaVu Sans");
    const std::string wide = !c.wide_font.empty() ? c.wide_font : font_or_face(s, "special_DFS", "AR PL UMing CN");
    fonts_used = "narrow " + Shown_input(narrow) + ", wide " + Shown_input(wide);

    CellRecord& cell = s.tmpl.curCell;
    cell = CellRecord{};
    cell.Text = c.text;
    cell.Mode = text_cell_mode(c);
    cell.ArcDiameter = c.arc_diameter_mm;
    cell.ArcAngle = c.arc_start_deg;
    cell.Angle = c.angle_deg;
    cell.FillSpace = c.fill_mm;
    cell.FontWide = s.tmpl.FontWideWork = font_record(wide, c);
    cell.FontNarrow = s.tmpl.FontNarrowWork = font_record(narrow, c);
    if (Font_load(s) == kFalse) return false;
    if (cell.Mode & kCellModeFill) Hatch_spacing_steps(s);  // a spacing the fill cannot take faults before anything is marked
    Text_mark(s, c.x_mm, c.y_mm, 1.0f, 1.0f);
    return true;
}

}  // namespace

void mark_plot_file(const std::string& path, const PlotPlacement& o) {
    run_member([&](State& s) {
        s.tmpl.curCell.Mode = o.fill_mm > 0.0f ? kCellModeFill : 0;
        s.tmpl.curCell.FillSpace = o.fill_mm;
        if (o.fill_mm > 0.0f) Hatch_spacing_steps(s);  // a spacing the fill cannot take faults before the outline is marked
        const float steps_per_unit = to_single(o.scale_mm * s.hw.sngStepsPerMm);
        const double a = o.angle_deg * M_PI / 180.0;
        const float c = to_single(std::cos(a)), sn = to_single(std::sin(a));
        Plot_mark(s, o.x_mm, o.y_mm, path, steps_per_unit, steps_per_unit, c, sn, -sn, c, 0.0f, 0.0f);
        return 0;
    });
}

void mark_text_cell(const TextCell& cell, TextCellMarked& marked) {
    marked.fonts_found = run_member([&](State& s) { return mark_text(s, cell, marked.fonts_used, marked.font_folder); });
}

}  // namespace korvex
