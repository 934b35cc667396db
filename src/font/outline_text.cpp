// Outline-font text. The renderer draws a character at 2000 points (an em of about 2667 device
// units, y down from the cell's top); a device unit becomes s = H x steps/mm x 0.745 / 2000 steps,
// so the em comes out at about 0.99 H, x is stretched by W / H, and y is turned upward from the
// cell's top at G = H x steps/mm. Filled characters are hatched before their outline is marked.
#include "font/outline_text.hpp"

#include <algorithm>

#include "device/laser_signals.hpp"
#include "font/hatch_fill.hpp"
#include "scan/vector_stepping.hpp"

namespace korvex {

namespace {

constexpr uint8_t kPathMoveTo = 6;
constexpr uint8_t kPathLineTo = 2;
constexpr uint8_t kPathClose = 3;

// From device units to glyph steps: x' = l s px, y' = G - s py.
struct OutlineScale {
    double s = 0.0;  // steps per device unit (a Single)
    double l = 0.0;  // width over height (a Single)
    double G = 0.0;  // the cell's top, whole steps
    double x(double px) const { return l * s * px; }
    double y(double py) const { return G - s * py; }
};

OutlineScale Scale_of(const State& s, float W, float H) {
    const double S = s.hw.sngStepsPerMm;
    OutlineScale k;
    k.s = to_single(static_cast<double>(H) * S * 0.745 / 2000.0);
    k.l = to_single(real_div(W, H));
    k.G = static_cast<double>(to_i32(static_cast<double>(H) * S));
    return k;
}

// Renders the character into ptPath and its advance into szText; the number of points. A path
// longer than the 4097 points the arrays hold is refused rather than marked in part.
int32_t Fetch_path(State& s, const std::string& ch, const std::string& face, bool bold, bool italic) {
    TextPath* text = s.device.picText;
    if (!text) raise_fault(FaultKind::device, "no outline font renderer is available for face \"" + face + "\"");
    int32_t advance = 0;
    const int32_t n = text->character_path(face, bold, italic, ch, s.font.ptPath.items.data(), kPathPoints, advance);
    if (n < 0) raise_fault(FaultKind::device, "the outline font renderer failed on \"" + ch + "\"");
    if (n > kPathPoints)
        raise_fault(FaultKind::overflow, "the outline of \"" + ch + "\" in face \"" + face + "\" has " + std::to_string(n) +
                                             " points, more than the " + std::to_string(kPathPoints) + " a character may have");
    s.font.szTextCx = advance;
    s.font.szTextCy = 0;
    return n;
}

bool Drawn(uint8_t type) { return type == kPathMoveTo || type == kPathLineTo || type == kPathClose; }

// Glyph steps (a, b) placed: rotated by the matrix about the origin (Xo, Yo), then offset.
struct Placement {
    double Xo, Yo, m11, m21, m12, m22, ox, oy;
    double P(double a, double b) const { return Xo + a * m11 + b * m12 + ox; }
    double Q(double a, double b) const { return Yo + a * m21 + b * m22 + oy; }
};

struct StepPoint {
    double x = 0.0, y = 0.0;
};

StepPoint Rounded(double x, double y) { return {round_half_even(x), round_half_even(y)}; }

void Vector_steps(State& s, StepPoint from, StepPoint to) {
    const double S = s.hw.sngStepsPerMm;
    Scan_vector(s, to_single(real_div(from.x, S)), to_single(real_div(from.y, S)), to_single(real_div(to.x, S)),
                to_single(real_div(to.y, S)));
}

StepPoint Here(const State& s) { return {static_cast<double>(s.scan.lngPosX), static_cast<double>(s.scan.lngPosY)}; }

}  // namespace

void Glyph_measure_outline(State& s, const std::string& ch, float W, float H, const std::string& face) {
    CellRecord& cell = s.tmpl.curCell;
    cell.TextMinX = 0.0f;
    cell.TextMinY = 0.0f;
    double top = 0.0;
    double width = 0.0;
    if (H != 0.0f) {  // a character of no height has nothing to measure
        const OutlineScale k = Scale_of(s, W, H);
        const int32_t n = Fetch_path(s, ch, face, false, s.font.picTextItalic != kFalse);
        for (int32_t i = 0; i < n; ++i) {
            const TextPathPoint& p = s.font.ptPath.at(i);
            if (!Drawn(p.type)) continue;
            const float x = to_single(k.x(p.x));
            const float y = to_single(k.y(p.y));
            top = std::max(top, round_half_even(y));
            cell.TextMinX = std::min(cell.TextMinX, x);
            cell.TextMinY = std::min(cell.TextMinY, y);
        }
        width = k.l * s.font.szTextCx * k.s;  // the advance, not the inked width
    }
    s.font.dblTextWidth = width == 0.0 ? 1.0 : width;
    s.font.dblTextHeight = top == 0.0 ? 1.0 : top;
}

void Glyph_mark_outline(State& s, const std::string& ch, const std::string& face, float X, float Y, float W, float H,
                        float m11, float m21, float m12, float m22, float ox, float oy) {
    const int32_t mode = s.tmpl.curCell.Mode;
    const bool italic = (mode & kCellModeOutline1) != 0;
    const bool bold = (mode & kCellModeOutline2) != 0;
    s.font.picTextItalic = to_vbool(italic);
    if (H == 0.0f) return;  // every point would collapse onto the origin: nothing to mark

    const OutlineScale k = Scale_of(s, W, H);
    const int32_t n = Fetch_path(s, ch, face, bold, italic);
    const double S = s.hw.sngStepsPerMm;
    const Placement at{static_cast<double>(to_i32(static_cast<double>(X) * S)),
                       static_cast<double>(to_i32(static_cast<double>(Y) * S)),
                       m11, m21, m12, m22, ox * S, oy * S};

    // Hatch lines first: the hatcher's segments are in device units x s, y still down.
    if (Outline_fill(s, n - 1, static_cast<float>(k.s)) != kFalse) {
        for (int32_t h = 0; h < s.fill.lngHatchCount; ++h) {
            const SegRec& e = s.fill.recHatch.at(h);
            const double a0 = k.l * e.x0, b0 = k.G - e.y0, a1 = k.l * e.x1, b1 = k.G - e.y1;
            const StepPoint start = Rounded(at.P(a0, b0), at.Q(a0, b0));
            Vector_steps(s, Here(s), start);
            Laser_switch(s, kTrue);
            Vector_steps(s, start, {at.P(a1, b1), at.Q(a1, b1)});
            Laser_switch(s, kFalse);
        }
    }
    if ((mode & kCellModeFillOnly) && (mode & kCellModeFill)) {
        Laser_switch(s, kFalse);
        return;
    }

    // The outline, figure by figure: a jump to each figure's start, marked lines to its points,
    // and a closing line back to the start.
    bool on = false;
    StepPoint previous = Here(s), figure_start = previous;
    for (int32_t i = 0; i < n; ++i) {
        const TextPathPoint& p = s.font.ptPath.at(i);
        if (!Drawn(p.type)) continue;
        const double a = k.x(p.x), b = k.y(p.y);
        if (p.type == kPathMoveTo) {
            Laser_switch(s, kFalse);
            on = false;
            figure_start = previous = Rounded(at.P(a, b), at.Q(a, b));
            Vector_steps(s, Here(s), figure_start);
            continue;
        }
        if (!on) {
            Laser_switch(s, kTrue);
            on = true;
        }
        Vector_steps(s, previous, {at.P(a, b), at.Q(a, b)});
        previous = Rounded(at.P(a, b), at.Q(a, b));
        if (p.type == kPathClose) Vector_steps(s, previous, figure_start);
    }
    Laser_switch(s, kFalse);
}

vbool Outline_fill(State& s, int32_t last, float s_scale) {
    if (!(s.tmpl.curCell.Mode & kCellModeFill)) return kFalse;
    FillGroup& f = s.fill;
    int32_t a = 0, c = 0;
    int32_t minX = 0, maxX = 0, minY = 0, maxY = 0;  // the box always holds the origin
    int32_t cx = 0, cy = 0, sx = 0, sy = 0;          // current point, figure start
    const auto widen = [&](int32_t x, int32_t y) {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    };
    const auto same_end = [&](int32_t e) { return f.recEdge.at(e).x1 == f.recEdge.at(e - 1).x1 && f.recEdge.at(e).y1 == f.recEdge.at(e - 1).y1; };
    for (int32_t i = 0; i <= last; ++i) {
        const TextPathPoint& p = s.font.ptPath.at(i);
        if (!Drawn(p.type)) continue;
        const int32_t X = to_i32(static_cast<double>(s_scale) * p.x);
        const int32_t Y = to_i32(static_cast<double>(s_scale) * p.y);
        if (p.type == kPathMoveTo) {
            cx = sx = X;
            cy = sy = Y;
            continue;
        }
        // A line to (X, Y); an edge ending where the one before it ended is dropped.
        f.recEdge.at(a) = SegRec{cx, cy, X, Y};
        widen(cx, cy);
        widen(X, Y);
        cx = X;
        cy = Y;
        if (a == 0 || !same_end(a)) ++a;
        if (p.type != kPathClose) continue;
        // The closing edge back to the figure's start ends the contour.
        f.recEdge.at(a) = SegRec{cx, cy, sx, sy};
        widen(cx, cy);
        widen(sx, sy);
        if (a == 0) {
            f.lngContourEnd.at(c) = 0;
            a = 1;
        } else if (same_end(a)) {
            f.lngContourEnd.at(c) = a - 1;
        } else {
            f.lngContourEnd.at(c) = a;
            ++a;
        }
        ++c;
    }
    return a >= 3 ? Hatch_fill(s, c, maxX, maxY, minX, minY) : kFalse;
}

}  // namespace korvex
