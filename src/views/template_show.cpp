// The template report, of a template loaded as e_setPrintInfo loads it into a state of its own
// (loaded_template.hpp), so the report shows what the library will hold.
#include "korvex/template_view.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "core/shown_input.hpp"
#include "device/hardware_table.hpp"
#include "views/loaded_template.hpp"
#include "state/state.hpp"
#include "template/barcode_dots.hpp"
#include "template/cells.hpp"
#include "template/pens.hpp"
#include "template/print_setup.hpp"
#include "template/template_file.hpp"

namespace korvex {

namespace {

std::string num(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

std::string padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string mode_text(int32_t mode) {
    static const std::pair<int32_t, const char*> kBits[] = {
        {kCellModeArc, "arc"},           {kCellModeArcOrient, "arc-orientation"},
        {kCellModeRotary, "rotary"},     {kCellModeRotaryPlace, "rotary-placed"},
        {kCellModeFill, "fill"},         {kCellModeOutline1, "outline-0x20"},
        {kCellModeOutline2, "outline-0x40"}, {kCellModeArcDirection, "arc-direction"},
        {kCellModeVertical, "vertical"}};
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(mode));
    std::string names;
    for (const auto& [bit, name] : kBits)
        if (mode & bit) names += (names.empty() ? "" : ", ") + std::string(name);
    return names.empty() ? hex : std::string(hex) + " (" + names + ")";
}

// What the print pass does with the n-th cell of category k.
std::string role(const CellRecord& c, int k, int n) {
    switch (k) {
        case kCategoryBarcode: return "bar-code cell " + std::to_string(n) + ", dot matrix from bitmap entry " + std::to_string(n - 1);
        case kCategoryNumber1: return "first-number cell " + std::to_string(n) + ", text of strNumber1(" + std::to_string(n - 1) + ")";
        case kCategoryNumber2: return "second-number cell " + std::to_string(n) + ", text of strNumber2(" + std::to_string(n - 1) + ")";
        case kCategoryText: return "text cell " + std::to_string(n) + ", never marked";
        case kCategoryPlot:
            return c.Flag == CellFlagConst::BmpFlag() ? "plot list slot " + std::to_string(n) + ", bitmap file not marked"
                                                      : "plot cell " + std::to_string(n) + ", marked from its plot file";
        default:
            return c.Flag == CellFlagConst::VariableTextFlag() ? "no category (tag number is neither 28 nor 29), not marked"
                                                               : "no category, not marked";
    }
}

void show_pens(const State& s, const std::set<int32_t>& pens, std::ostream& out) {
    out << "pens in use: ";
    bool first = true;
    for (int32_t p : pens) {
        out << (first ? "" : ", ") << p << (p == 1 ? " (selected when the template loads)" : "");
        first = false;
    }
    out << "\n";
    std::vector<int32_t> shown;
    for (int32_t p : pens) {
        if (p < 0 || p >= kPenTableSize) out << "  pen " << p << " does not exist: marking its cells faults\n";
        else shown.push_back(p);
    }
    out << "  " << padded("field", 18) << padded("unit", 12);
    for (int32_t p : shown) out << padded("pen " + std::to_string(p), 12);
    out << "\n";
    for (const PenField& f : kPenFields) {
        out << "  " << padded(f.name, 18) << padded(f.unit, 12);
        for (int32_t p : shown) out << padded(Pen_field_text(s.tmpl.penTable.at(p), f), 12);
        out << "\n";
    }
}

void show_hardware(const State& s, std::ostream& out) {
    HardwareRecord defaults{};
    for (const HardwareField& f : hardware_fields())
        if (f.has_default) hardware_field_store(defaults, f, f.default_value);
    out << "hardware values that differ from the defaults:\n";
    int differing = 0;
    for (const HardwareField& f : hardware_fields()) {
        const double v = hardware_field_value(s.hw, f);
        if (!f.has_default || v == hardware_field_value(defaults, f)) continue;
        out << "  " << padded(std::to_string(f.number), 4) << padded(f.name, 20) << padded(num(v), 12)
            << "default " << num(hardware_field_value(defaults, f)) << "\n";
        ++differing;
    }
    if (differing == 0) out << "  none\n";
    out << "hardware values without a default (the laser, field 38):\n";
    for (const HardwareField& f : hardware_fields())
        if (!f.has_default) out << "  " << padded(std::to_string(f.number), 4) << padded(f.name, 20) << num(hardware_field_value(s.hw, f)) << "\n";
}

void show_zones(const State& s, std::ostream& out) {
    const int32_t count = s.hw.lngZoneCount;
    out << "zone rows (lngZoneCount " << count << (count > kZoneRows ? ", only rows 0-300 are held" : "") << "), scale factors:\n";
    static const char* kColumns[kZoneCols] = {"X>0 +y", "X<=0 +y", "X<=0 -y", "X>0 -y", "Y>0 +x", "Y>0 -x", "Y<=0 -x", "Y<=0 +x"};
    out << "  row  ";
    for (const char* c : kColumns) out << padded(c, 10);
    out << "\n";
    for (int32_t row = 0; row < count && row < kZoneRows; ++row) {
        out << "  " << padded(std::to_string(row), 5);
        for (int c = 0; c < kZoneCols; ++c) out << padded(num(s.scan.zoneTable.at(row, c)), 10);
        out << "\n";
    }
}


// Concentric squares the print pass marks in each dark module, by its own rule.
std::string squares_text(float module_width_mm, float spacing_mm) {
    try {
        const int64_t last = Module_last_square(module_width_mm, spacing_mm);
        return std::to_string(last < 0 ? 0 : last + 1) + " squares per dark module";
    } catch (const Fault& f) {
        return "marking a dark module faults (" + template_fault_text(f) + ")";
    }
}

std::string font_text(const CellRecord& c) {
    return "fonts " + c.FontWide.Name + " / " + c.FontNarrow.Name + ", " + num(c.FontWide.Width) + " x " +
           num(c.FontWide.Height) + " mm, spacing " + num(c.FontWide.Space);
}

}  // namespace

int template_show(const std::string& base_arg, std::ostream& out, std::ostream& err) {
    std::string base = base_arg;
    for (const char* ext : {".mc1", ".nam"})
        if (base.size() > 4 && base.ends_with(ext)) base.resize(base.size() - 4);
    std::error_code ignored;
    const bool have_mc1 = std::filesystem::exists(base + ".mc1", ignored);
    const bool have_nam = std::filesystem::exists(base + ".nam", ignored);
    if (!have_mc1 && !have_nam) {
        err << "korvex template show: no template at " << base << " (neither " << base << ".mc1 nor " << base << ".nam)\n";
        return 1;
    }

    LoadedTemplate loaded(base);
    State& s = loaded.state();
    TemplateLoadReport load = loaded.load();
    const std::string& setup_fault = loaded.setup_fault();
    // A missing file is said as such, not as a failed step.
    if (!have_mc1)
        std::erase_if(load.failed, [](const TemplateStepFault& f) { return f.step == "machine file"; });
    const auto failed = [&](std::string_view step) {
        return std::any_of(load.failed.begin(), load.failed.end(), [&](const TemplateStepFault& f) { return f.step == step; });
    };
    const bool machine_file_failed = failed("machine file");
    const bool cell_list_failed = failed("cell list");
    const bool machine_part_failed = std::any_of(load.failed.begin(), load.failed.end(), [](const TemplateStepFault& f) {
        return f.step != "machine file" && f.step != "pen 1 selection" && f.step != "cell list";
    });

    out << "template " << base << "\n";
    out << "  " << base << ".mc1: ";
    if (!have_mc1) out << "missing: pens, hardware and zones below are the library's defaults\n";
    else if (machine_file_failed) out << "cannot be read: pens, hardware and zones below are the library's defaults\n";
    else if (!load.magic) out << "not a template file (wrong first line): pens, hardware and zones are left as they were\n";
    else if (machine_part_failed) out << "machine part read in part (see the failed steps below)\n";
    if (load.machine_file_damaged())
        err << "korvex template show: " << Shown_input(base, kShownFaultChars) << ".mc1 is damaged: " << load.damaged_records
            << (load.damaged_records == 1 ? " record was" : " records were") << " not taken over (see the failed steps)\n";
    else out << "machine part read\n";
    const int32_t cells = loaded.cells();
    out << "  " << base << ".nam: "
        << (!have_nam ? "missing: no cells" : std::to_string(cells) + " cells" + (cell_list_failed ? ", read in part" : "")) << "\n";
    for (const TemplateStepFault& f : load.failed)
        out << "  step \"" << f.step << "\" failed (" << fault_kind_name(f.kind) << ": " << Shown_input(f.message, kShownFaultChars)
            << (f.line > 0 ? "): it keeps its previous values\n" : "): what it did not reach is left as it was\n");
    out << "\n";

    // Pens: pen 1 and every pen a cell names.
    std::set<int32_t> pens = {1};
    std::vector<std::string> cell_report;
    std::map<int, int> seen;
    for (int32_t i = 1; i <= cells && i <= kMaxCells; ++i) {
        const std::string& line = s.tmpl.namLines.at(i);
        int k = -1;
        try {
            Cell_parse(s, line);
            k = Cell_category(s.tmpl.curCell);
        } catch (const Fault& f) {
            cell_report.push_back("  " + padded(std::to_string(i), 4) + "cannot be read: " + template_fault_text(f) + "\n");
            continue;
        }
        const CellRecord& c = s.tmpl.curCell;
        pens.insert(c.Pen);
        const int n = k >= 0 ? ++seen[k] : 0;
        std::string r = "  " + padded(std::to_string(i), 4) + padded(c.Flag, 17) + padded("tag " + c.Tag, 12) + "-> " + role(c, k, n) + "\n";
        r += "      text \"" + c.Text + "\", at (" + num(s.tmpl.namValues.at(i, kValueX)) + ", " + num(s.tmpl.namValues.at(i, kValueY)) +
             ") mm, size " + num(s.tmpl.namValues.at(i, kValueWidth)) + " x " + num(s.tmpl.namValues.at(i, kValueHeight)) +
             " mm, angle " + num(s.tmpl.namValues.at(i, kValueAngle)) + ", pen " + std::to_string(c.Pen) + ", mode " + mode_text(c.Mode) + "\n";
        if (k == kCategoryBarcode) {
            const double module_mm = s.tmpl.namValues.at(i, kValueWidth) / 16.0;
            r += "      modules " + num(module_mm) + " x " + num(s.tmpl.namValues.at(i, kValueHeight) / 16.0) + " mm, fill space " + num(c.FillSpace) + " mm: ";
            r += squares_text(to_single(s.tmpl.namValues.at(i, kValueWidth) / 16.0), c.FillSpace) + "\n";
        } else if (k == kCategoryNumber1 || k == kCategoryNumber2 || k == kCategoryText) {
            r += "      " + font_text(c) + ", designed " + num(c.Width) + " x " + num(c.Height) + " mm\n";
        }
        cell_report.push_back(r);
    }

    show_pens(s, pens, out);
    out << "\n";
    show_hardware(s, out);
    out << "\n";
    show_zones(s, out);
    out << "\ndefault fonts: wide " << s.tmpl.FontWideWork.Name << " " << num(s.tmpl.FontWideWork.Width) << " x "
        << num(s.tmpl.FontWideWork.Height) << " mm spacing " << num(s.tmpl.FontWideWork.Space) << "; narrow "
        << s.tmpl.FontNarrowWork.Name << "\n\n";
    out << "cells:\n";
    for (const std::string& r : cell_report) out << r;
    out << "\nprint set-up: ";
    if (!setup_fault.empty()) {
        out << "e_setPrintInfo fails with this template (" << setup_fault << "); no category is marked\n";
    } else {
        for (int k = 0; k < kCategories; ++k)
            out << (k ? ", " : "") << s.tmpl.catLines.at(k, 0) << " " << category_cell_name(k);
        out << "\n";
    }
    return load.machine_file_damaged() ? 1 : 0;
}

}  // namespace korvex
