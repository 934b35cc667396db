// The template check of the ear-tag batch: the files read as the library reads them, then every
// cell the pass marks tried with the library's own rules (pens, scales, fonts, plot reader, fill
// spacing) on a private state, so the tool and the library cannot disagree about a cell.
#include "korvex/template_view.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <optional>

#include "core/code_page.hpp"
#include "core/leading_number.hpp"
#include "core/regular_file.hpp"
#include "core/shown_input.hpp"
#include "core/value_reader.hpp"
#include "font/font_catalogue.hpp"
#include "font/hatch_fill.hpp"
#include "views/loaded_template.hpp"
#include "template/barcode_dots.hpp"
#include "template/cell_list.hpp"
#include "template/cells.hpp"
#include "template/plot_file.hpp"
#include "template/print_setup.hpp"

namespace korvex {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kNumberLineNotes = 5;  // number lines quoted; more are only counted
constexpr int kLinesPerCell = 1 + kCellValues;
const char* const kValueNames[kCellValues] = {"X", "Y", "width", "height", "angle"};

std::string shown_path(const std::string& path) { return Shown_input(path, kShownPathChars); }

std::string num(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

bool starts_with_bom(const std::string& path) {
    try {
        RegularFile file(path, "template file");
        char start[3] = {};
        return file.read(start, sizeof start) == sizeof start && std::string_view(start, sizeof start) == kByteOrderMark;
    } catch (const Fault&) {
        return false;  // said by the load step that could not read it
    }
}

// The smallest axis-parallel box around the points added.
struct Extent {
    std::optional<std::array<double, 4>> box;  // x0, y0, x1, y1
    void add(double x, double y) {
        if (!box) box = {x, y, x, y};
        auto& b = *box;
        b = {std::min(b[0], x), std::min(b[1], y), std::max(b[2], x), std::max(b[3], y)};
    }
};

// (u, v) turned by `deg` about (cx, cy).
void add_turned(Extent& e, double u, double v, double cx, double cy, double deg) {
    const double a = deg * std::numbers::pi / 180.0, c = std::cos(a), s = std::sin(a);
    e.add(cx + (u - cx) * c - (v - cy) * s, cy + (u - cx) * s + (v - cy) * c);
}

void check_machine_file(const std::string& mc1, const TemplateLoadReport& load, std::vector<std::string>& problems) {
    for (const TemplateStepFault& f : load.failed) {
        if (f.step != "machine file") continue;
        problems.push_back(shown_path(mc1) + " cannot be read: " + Shown_input(f.message, kShownFaultChars));
        return;
    }
    if (!load.magic) {
        problems.push_back(shown_path(mc1) +
                           (starts_with_bom(mc1) ? " starts with a byte-order mark (EF BB BF), so its first line is not \""
                                                 : " does not start with the line \"") +
                           std::string(kTemplateMagic) + "\": its pens and machine set-up would not be loaded");
    }
    // A machine part damaged inside is the library's to say (record and line, through the operator's
    // messages); the batch then stops before marking.
}

// The cell list line by line: a byte-order mark, too few lines for its count, number lines that
// are no numbers (the library keeps the value it had, silently).
void check_cell_list(const std::string& nam, const LoadedTemplate& t, std::vector<std::string>& problems) {
    std::string raw;
    try {
        raw = std::string(FileText(nam).view());
    } catch (const Fault& f) {
        problems.push_back(shown_path(nam) + " cannot be read: " + template_fault_text(f));
        return;
    }
    if (raw.starts_with(kByteOrderMark))
        problems.push_back(shown_path(nam) + " starts with a byte-order mark (EF BB BF): its first line is not the cell count");
    const std::string text = Gbk_to_utf8(raw);
    const std::vector<std::string_view> lines = Cell_list_lines(text);
    const int64_t cells = std::min<int64_t>(t.cells(), kMaxCells);
    const int64_t need = 1 + kLinesPerCell * std::max<int64_t>(cells, 0);
    const auto have = static_cast<int64_t>(lines.size());
    if (have < need) {
        const int64_t cut_cell = (have - 1) / kLinesPerCell + 1, cut_lines = (have - 1) % kLinesPerCell;
        problems.push_back(shown_path(nam) + " ends before its last line: " + std::to_string(cells) + " cells take " +
                           std::to_string(need) + " lines, it has " + std::to_string(have) + " (cell " +
                           std::to_string(cut_cell) + " has " + std::to_string(cut_lines) + " of its " +
                           std::to_string(kLinesPerCell) + ")");
    } else {
        for (const TemplateStepFault& f : t.load().failed)
            if (f.step == "cell list") problems.push_back(shown_path(nam) + ": " + Shown_input(f.message, kShownFaultChars));
    }
    std::size_t bad = 0;
    for (int64_t i = 1; i <= cells; ++i) {
        for (int v = 0; v < kCellValues; ++v) {
            const int64_t at = kLinesPerCell * (i - 1) + 2 + v;
            if (at >= have || Strict_single(lines[static_cast<std::size_t>(at)])) continue;
            if (++bad > kNumberLineNotes) continue;
            problems.push_back(shown_path(nam) + " line " + std::to_string(at + 1) + ": the " + kValueNames[v] + " of cell " +
                               std::to_string(i) + ", \"" + Shown_input(lines[static_cast<std::size_t>(at)]) +
                               "\", is not a number (the library keeps the value it had)");
        }
    }
    if (bad > kNumberLineNotes)
        problems.push_back(shown_path(nam) + ": " + std::to_string(bad - kNumberLineNotes) + " more number lines are not numbers");
}

// One cell the pass marks: cell i of the list, the g-th of category k.
class CellCheck {
public:
    CellCheck(State& s, const std::string& nam, int32_t i, int k, int g, EartagTemplateCheck& out)
        : s_(s), cell_(s.tmpl.curCell), k_(k), g_(g), out_(out),
          who_(shown_path(nam) + " cell " + std::to_string(i) + " (" + category_cell_name(k) + " " + std::to_string(g) + ")"),
          x_(s.tmpl.namValues.at(i, kValueX)), y_(s.tmpl.namValues.at(i, kValueY)), w_(s.tmpl.namValues.at(i, kValueWidth)),
          h_(s.tmpl.namValues.at(i, kValueHeight)), angle_(s.tmpl.namValues.at(i, kValueAngle)) {}

    void run() {
        check_pen();
        if (k_ == kCategoryBarcode) {
            if (w_ == 0.0f || h_ == 0.0f) {
                problem("the code cell is empty (" + num(w_) + " x " + num(h_) + " mm): it holds no code");
                return;
            }
            attempt("its dark modules cannot be marked", [&] { Module_last_square(to_single(w_ / 16.0), cell_.FillSpace); });
            return;
        }
        if (k_ == kCategoryPlot && cell_.Flag != CellFlagConst::PltFlag()) return;  // a bitmap file: never marked
        if (cell_.Width == 0.0f || cell_.Height == 0.0f)
            problem("its designed size is " + num(cell_.Width) + " x " + num(cell_.Height) + " mm: scaling it to its layout divides by zero");
        if (w_ == 0.0f || h_ == 0.0f) problem("it is laid out " + num(w_) + " x " + num(h_) + " mm: it would leave no marks");
        if (cell_.Mode & kCellModeFill)
            attempt("its fill spacing of " + num(cell_.FillSpace) + " mm cannot be hatched", [&] { Hatch_spacing_steps(s_); });
        if (k_ == kCategoryPlot) check_plot();
        else check_text();
    }

private:
    void problem(const std::string& what) { out_.problems.push_back(who_ + ": " + what); }

    template <class Try>
    void attempt(const std::string& what, Try&& step) {
        try {
            step();
        } catch (const Fault& f) {
            problem(what + " (" + template_fault_text(f) + ")");
        }
    }

    void check_pen() {
        if (cell_.Pen < 0 || cell_.Pen >= kPenTableSize) {
            problem("its pen " + std::to_string(cell_.Pen) + " does not exist (pens 0 to " + std::to_string(kPenTableSize - 1) + ")");
            return;
        }
        const int32_t passes = s_.tmpl.penTable.at(cell_.Pen).PenPasses;
        if (k_ != kCategoryBarcode && passes < 1)
            problem("its pen " + std::to_string(cell_.Pen) + " has Passes " + std::to_string(passes) + ": the cell would not be marked");
    }

    // Rotary cells reach their X by turning the workpiece: no box on the field to look in.
    bool rotary() const { return (cell_.Mode & (kCellModeRotary | kCellModeRotaryPlace)) != 0; }

    void add_box(const Extent& e) {
        if (!e.box || rotary()) return;
        const auto& b = *e.box;
        out_.boxes.push_back({g_, std::string(category_cell_name(k_)) + " " + std::to_string(g_), b[0], b[1], b[2], b[3]});
    }

    void check_text() {
        s_.tmpl.FontWideWork = cell_.FontWide;
        s_.tmpl.FontNarrowWork = cell_.FontNarrow;
        attempt("its fonts cannot be loaded", [&] {
            if (Font_load(s_) == kFalse)
                problem("its fonts " + Shown_input(cell_.FontWide.Name) + " / " + Shown_input(cell_.FontNarrow.Name) +
                        " name a catalogue font whose files are not in " + shown_path(s_.font.strFontPath));
        });
        Extent e;
        if (cell_.Mode & kCellModeArc) {
            // The characters stand on the circle (a diameter of 0 marks on one of 10 mm).
            const double r = (cell_.ArcDiameter == 0.0f ? 10.0 : std::fabs(cell_.ArcDiameter)) / 2 + std::fabs(h_);
            const double cx = static_cast<double>(x_) - cell_.Value7, cy = static_cast<double>(y_) - cell_.RotaryDiameter;
            e.add(cx - r, cy - r);
            e.add(cx + r, cy + r);
        } else {
            // The text block from (X, Y), turned about its centre.
            const double cx = x_ + w_ / 2.0, cy = y_ + h_ / 2.0, a = round_half_even(angle_);
            for (const auto& [u, v] : {std::pair{0.0, 0.0}, {1.0, 0.0}, {0.0, 1.0}, {1.0, 1.0}})
                add_turned(e, x_ + u * w_, y_ + v * h_, cx, cy, a);
        }
        add_box(e);
    }

    void check_plot() {
        const std::string path = Plot_cell_path(s_, cell_.Text);
        std::vector<uint8_t> bytes;
        try {
            bytes = Plot_file_read(path);
        } catch (const Fault& f) {
            problem("its plot file cannot be read (" + template_fault_text(f) + ")");
            return;
        }
        if (const std::string cut = plot_cut_text(bytes); !cut.empty())
            problem("its plot file " + shown_path(path) + " is " + cut + ": the drawing would end there");
        if (cell_.Mode & kCellModeFill) {
            if (const int64_t edges = Plot_fill_edges(bytes); edges > kEdgeListSize)
                problem("its plot file has " + std::to_string(edges) + " pen-down moves to fill, more than the fill takes (at most " +
                        std::to_string(kEdgeListSize) + ")");
        }
        if (cell_.Width == 0.0f || cell_.Height == 0.0f) return;
        // The drawing's pen-down points, scaled to the layout and turned about the origin.
        const double kx = static_cast<double>(w_) / cell_.Width, ky = static_cast<double>(h_) / cell_.Height;
        const double a = static_cast<double>(to_i32(static_cast<double>(angle_)));
        Extent e;
        bool down = false, have_previous = false;
        double px = 0, py = 0;
        Plot_parse(bytes, [&](const PlotCommand& c) {
            if (c.pen != 'A') down = c.pen == 'D';
            if (!c.has_pair) return;
            const double qx = x_ + c.x * kx, qy = y_ + c.y * ky;
            if (down) {
                if (have_previous) add_turned(e, px, py, x_, y_, a);
                add_turned(e, qx, qy, x_, y_, a);
            }
            px = qx, py = qy, have_previous = true;
        });
        if (!e.box) problem("its plot file " + shown_path(path) + " draws nothing (no pen-down move)");
        add_box(e);
    }

    State& s_;
    const CellRecord cell_;  // a copy: the font loader works on the state's cell
    const int k_, g_;
    EartagTemplateCheck& out_;
    const std::string who_;
    const float x_, y_, w_, h_, angle_;
};

void check_cells(LoadedTemplate& t, const std::string& nam, EartagTemplateCheck& out) {
    State& s = t.state();
    const int64_t turns = Leading_number(s.tmpl.catLines.at(kCategoryBarcode, 0));
    std::array<int, kCategories> seen{};
    for (int32_t i = 1; i <= std::min(t.cells(), kMaxCells); ++i) {
        int k = -1;
        try {
            Cell_parse(s, s.tmpl.namLines.at(i));
            k = Cell_category(s.tmpl.curCell);
        } catch (const Fault& f) {
            out.problems.push_back(shown_path(nam) + " cell " + std::to_string(i) + " cannot be read (" + template_fault_text(f) + ")");
            continue;
        }
        if (k < 0 || k == kCategoryText) continue;
        const int g = ++seen[static_cast<std::size_t>(k)];
        if (g > turns) continue;  // past the bar-code cells the pass never reaches it
        CellCheck(s, nam, i, k, g, out).run();
    }
}

}  // namespace

EartagTemplateCheck check_eartag_template(const std::string& base, const std::string& library_folder) {
    EartagTemplateCheck out;
    const std::string mc1 = base + ".mc1", nam = base + ".nam";
    std::error_code ignored;
    const bool have_mc1 = std::filesystem::exists(mc1, ignored), have_nam = std::filesystem::exists(nam, ignored);
    if (!have_mc1) out.problems.push_back(shown_path(mc1) + " is missing: the template's pens and machine set-up would not be loaded");
    if (!have_nam) out.problems.push_back(shown_path(nam) + " is missing: the template has no cells");
    if (!have_mc1 && !have_nam) return out;

    LoadedTemplate t(base, library_folder);
    if (have_mc1) check_machine_file(mc1, t.load(), out.problems);
    if (have_nam) check_cell_list(nam, t, out.problems);
    if (!t.setup_fault().empty()) out.problems.push_back("e_setPrintInfo fails with this template (" + t.setup_fault() + ")");
    check_cells(t, nam, out);
    return out;
}

}  // namespace korvex
