// Plot files on the machine: the file is read whole (it is small), parsed byte by byte, and each
// command with a coordinate pair becomes one vector from the previous point, the laser switched
// only when the pen changes. With the cell's fill bit, the pen-down moves are kept as one contour
// and hatched after the drawing.
#include "template/plot_file.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string_view>

#include "core/leading_number.hpp"
#include "core/regular_file.hpp"
#include "device/calibration_file.hpp"
#include "device/laser_signals.hpp"
#include "device/rotary_axis.hpp"
#include "device/timer.hpp"
#include "font/hatch_fill.hpp"
#include "scan/vector_stepping.hpp"
#include "template/cells.hpp"
#include "template/pens.hpp"

namespace korvex {

namespace {

constexpr double kPi = 3.14159265358979;

bool In_run(uint8_t ch) { return (ch >= '0' && ch <= '9') || ch == '-'; }

// A point of the drawing in millimetres, before rotation and placement.
struct PlotPoint {
    float u = 0.0f;
    float v = 0.0f;
};

// The placement of the drawing: rotation, then the origin and the extra offset.
struct Placement {
    float m11, m12, m21, m22, ox, oy;
    PlotPoint at(PlotPoint p) const {
        return {to_single(static_cast<double>(p.u) * m11 + static_cast<double>(p.v) * m21 + ox),
                to_single(static_cast<double>(p.u) * m12 + static_cast<double>(p.v) * m22 + oy)};
    }
};

PlotPoint Here(const State& s) {
    return {to_single(real_div(s.scan.lngPosX, s.hw.sngStepsPerMm)), to_single(real_div(s.scan.lngPosY, s.hw.sngStepsPerMm))};
}
void Move_to(State& s, PlotPoint to) {
    const PlotPoint here = Here(s);
    Scan_vector(s, here.u, here.v, to.u, to.v);
}
int32_t To_steps(float mm, float steps_per_mm) { return to_i32(static_cast<double>(mm * steps_per_mm)); }

// The pen-down moves of the drawing as edges in scanner steps, and the box around their ends.
struct FillCollector {
    std::span<const uint8_t> file;  // to count the drawing's edges when they do not fit
    int32_t edges = 0;
    int32_t maxX = 0, maxY = 0, minX = 0, minY = 0;
    void add(State& s, const SegRec& e) {
        if (edges >= kEdgeListSize) Edge_list_overflow(Plot_fill_edges(file));  // what was marked stays
        s.fill.recEdge.at(edges) = e;
        if (edges == 0) {
            maxX = minX = e.x0;
            maxY = minY = e.y0;
        }
        maxX = std::max({maxX, e.x0, e.x1});
        maxY = std::max({maxY, e.y0, e.y1});
        minX = std::min({minX, e.x0, e.x1});
        minY = std::min({minY, e.y0, e.y1});
        ++edges;
    }
};

}  // namespace

PlotEnd Plot_parse(std::span<const uint8_t> b, const std::function<void(const PlotCommand&)>& on_command,
                   std::size_t* stop_byte) {
    const std::size_t n = b.size();
    if (stop_byte) *stop_byte = n;
    const auto run_text = [&](std::size_t from, std::size_t to) {
        return std::string_view(reinterpret_cast<const char*>(b.data()) + from, to - from);
    };
    std::size_t i = 0;
    while (i < n) {
        if (b[i++] != 'P' || i >= n) continue;
        const uint8_t letter = b[i++];  // consumed also when it makes the "P" a plain character
        if (letter != 'U' && letter != 'D' && letter != 'A') continue;
        if (i >= n) break;
        const uint8_t first = b[i++];
        if (first == ';') {
            on_command({static_cast<char>(letter), false, 0.0, 0.0});
            continue;
        }
        if (!In_run(first)) {
            if (stop_byte) *stop_byte = i - 1;
            return PlotEnd::bad_character;
        }
        const std::size_t x_from = i - 1;
        while (i < n && In_run(b[i])) ++i;
        const std::size_t x_to = i;
        if (i >= n) break;  // the file ends inside X
        ++i;                // the separator
        const std::size_t y_from = i;
        while (i < n && In_run(b[i])) ++i;
        const std::size_t y_to = i;
        if (y_to == y_from && i >= n) break;  // the file ends before Y
        if (i < n) ++i;                       // the character after Y
        on_command({static_cast<char>(letter), true, Leading_number(run_text(x_from, x_to)), Leading_number(run_text(y_from, y_to))});
    }
    return PlotEnd::file_end;
}

int64_t Plot_fill_edges(std::span<const uint8_t> bytes) {
    int64_t edges = 0;
    bool pen_down = false;
    Plot_parse(bytes, [&](const PlotCommand& c) {
        if (c.pen != 'A') pen_down = c.pen == 'D';
        if (pen_down && c.has_pair) ++edges;
    });
    return edges;
}

std::vector<uint8_t> Plot_file_read(const std::string& path) {
    RegularFile file(path, "plot file");
    if (file.size_bytes() > kPlotFileMaxBytes) file.fail("is larger than 1 MiB");
    // Read up to one byte beyond the limit, so a file that grew since it was opened is refused too.
    std::vector<uint8_t> bytes(kPlotFileMaxBytes + 1);
    const std::size_t have = file.read(bytes.data(), bytes.size());
    if (have > kPlotFileMaxBytes) file.fail("is larger than 1 MiB");
    bytes.resize(have);
    return bytes;
}

void Plot_mark(State& s, float X, float Y, const std::string& path, float sx, float sy, float m11, float m12, float m21,
               float m22, float dx, float dy) {
    const std::vector<uint8_t> bytes = Plot_file_read(path);
    Plot_mark_bytes(s, X, Y, bytes, sx, sy, m11, m12, m21, m22, dx, dy);
}

void Plot_mark_bytes(State& s, float X, float Y, std::span<const uint8_t> bytes, float sx, float sy, float m11, float m12,
                     float m21, float m22, float dx, float dy) {
    const float k = s.hw.sngStepsPerMm;
    const bool fill = (s.tmpl.curCell.Mode & kCellModeFill) != 0;
    // Every move before the drawing is a jump, whatever an earlier operation left the laser at.
    if (s.sig.blnLaserOn != 0) Laser_switch(s, kFalse);

    // The drawing's X origin: X, or 0 when the rotary axis turns the workpiece to X instead.
    float Xo = X;
    if ((s.tmpl.curCell.Mode & kCellModeRotaryPlace) != 0) {
        Move_to(s, {0.0f, Y});
        const double turn = real_div(static_cast<double>(X) * s.hw.dblAxisStepsPerRev,
                                     static_cast<double>(s.tmpl.curCell.RotaryDiameter) * kPi);
        Axis_step(s, to_i32(turn - s.sig.lngAxisPos), kTrue);
        Delay_us(s, Wait_span_checked(static_cast<double>(s.para.lngAxisSettle) * 1000.0, "PenAxisSettle"));
        Xo = 0.0f;
    }
    Move_to(s, {Xo, Y});
    const Placement place{m11, m12, m21, m22, to_single(static_cast<double>(dx) + Xo), to_single(static_cast<double>(dy) + Y)};
    const PlotPoint here = Here(s);
    PlotPoint p{to_single(static_cast<double>(here.u) - Xo), to_single(static_cast<double>(here.v) - Y)};

    bool pen_down = false;
    FillCollector edges{bytes};
    const PlotEnd end = Plot_parse(bytes, [&](const PlotCommand& c) {
        if (c.pen == 'U') pen_down = false;
        if (c.pen == 'D') pen_down = true;
        if (!c.has_pair) return;
        const PlotPoint q{to_single(real_div(c.x * sx, k)), to_single(real_div(c.y * sy, k))};
        if (pen_down && s.sig.blnLaserOn == 0) Laser_switch(s, kTrue);
        if (!pen_down && s.sig.blnLaserOn != 0) Laser_switch(s, kFalse);
        const PlotPoint from = place.at(p), to = place.at(q);
        Scan_vector(s, from.u, from.v, to.u, to.v);
        if (fill && pen_down) edges.add(s, SegRec{To_steps(p.u, k), To_steps(p.v, k), To_steps(q.u, k), To_steps(q.v, k)});
        p = q;
    });
    Laser_switch(s, kFalse);
    if (end == PlotEnd::bad_character || !fill) return;

    s.fill.lngContourEnd.at(0) = edges.edges - 1;
    if (Hatch_fill(s, 1, edges.maxX, edges.maxY, edges.minX, edges.minY) == kFalse) return;
    for (int32_t i = 0; i < s.fill.lngHatchCount; ++i) {
        const SegRec h = s.fill.recHatch.at(i);
        const PlotPoint a = place.at({to_single(real_div(h.x0, k)), to_single(real_div(h.y0, k))});
        const PlotPoint b = place.at({to_single(real_div(h.x1, k)), to_single(real_div(h.y1, k))});
        Move_to(s, a);
        Laser_switch(s, kTrue);
        Scan_vector(s, a.u, a.v, b.u, b.v);
        Laser_switch(s, kFalse);
    }
}

std::string Plot_cell_path(const State& s, const std::string& name) {
    const std::filesystem::path given(name);
    if (name.empty() || given.is_absolute() || s.tmpl.strCategoryFolder.empty()) return name;
    const std::string beside = (std::filesystem::path(s.tmpl.strCategoryFolder) / given).string();
    return File_exists(beside) ? beside : name;
}

void Plot_step(State& s, int32_t g) {
    if (Leading_number(s.tmpl.catLines.at(kCategoryPlot, 0)) < g) return;
    Cell_parse(s, s.tmpl.catLines.at(kCategoryPlot, g));
    Pen_select(s, s.tmpl.curCell.Pen);
    const auto& values = s.tmpl.catValues.at(kCategoryPlot);
    const float X = values.at(g, kValueX), Y = values.at(g, kValueY);
    const float width = values.at(g, kValueWidth), height = values.at(g, kValueHeight);
    const int32_t angle_deg = to_i32(static_cast<double>(values.at(g, kValueAngle)));
    const double a = angle_deg * kPi / 180.0;
    const float cos_a = to_single(std::cos(a)), sin_a = to_single(std::sin(a));
    const double k = s.hw.sngStepsPerMm;
    const float sx = to_single(real_div(width * k, s.tmpl.curCell.Width));
    const float sy = to_single(real_div(height * k, s.tmpl.curCell.Height));
    for (int32_t pass = 1; pass <= s.para.lngPasses; ++pass) {
        if (s.tmpl.curCell.Flag != CellFlagConst::PltFlag()) continue;
        Plot_mark(s, X, Y, Plot_cell_path(s, s.tmpl.curCell.Text), sx, sy, cos_a, sin_a, -sin_a, cos_a, 0.0f, 0.0f);
    }
}

}  // namespace korvex
