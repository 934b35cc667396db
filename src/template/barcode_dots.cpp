// Dot-matrix marking through the scan engine. Every vector starts at the scanner's current
// position (the engine's step position in millimetres, read anew each time), so the squares are
// stepped from where the last one ended. Nothing is cached or merged: each square is its own
// jump, laser switch pair and four marked vectors.
#include "template/barcode_dots.hpp"

#include <cmath>

#include "device/laser_signals.hpp"
#include "scan/vector_stepping.hpp"

namespace korvex {

namespace {

float Here_x(const State& s) { return to_single(real_div(s.scan.lngPosX, s.hw.sngStepsPerMm)); }
float Here_y(const State& s) { return to_single(real_div(s.scan.lngPosY, s.hw.sngStepsPerMm)); }

void Move_to(State& s, float x, float y) { Scan_vector(s, Here_x(s), Here_y(s), x, y); }

// The four marked sides of a closed rectangle from its lower-left corner (x, y), the laser on for
// the four and off after; each side keeps the other coordinate at the current position.
void Rectangle_to(State& s, float left, float bottom, float right, float top) {
    Move_to(s, left, bottom);
    Laser_switch(s, kTrue);
    Move_to(s, right, Here_y(s));
    Move_to(s, Here_x(s), top);
    Move_to(s, left, Here_y(s));
    Move_to(s, Here_x(s), bottom);
    Laser_switch(s, kFalse);
}

}  // namespace

bool Module_dark(const State& s, int32_t entry, int row, int col) {
    const uint8_t byte = s.tmpl.tagBitmap.at(entry, 2 * row + col / 8);
    return (byte >> (7 - col % 8)) & 1;
}

int32_t Module_last_square(float module_width_mm, float spacing_mm) {
    // Both divisions are Single ones, as on the stations that mark the same templates: the quotient
    // is rounded to a Single before it is halved, so 0.5 / 0.05 gives 10 (5 squares past the first),
    // not the 9.9999... a Double quotient would give. A Double rounds a quotient of two Singles to
    // the same Single as a Single division would.
    const float per_spacing = to_single(real_div(module_width_mm, spacing_mm));
    const float half = to_single(static_cast<double>(per_spacing) / 2.0);
    return to_i32(std::floor(static_cast<double>(half)));
}

void Bitmap_dots(State& s, int32_t g) {
    const auto& values = s.tmpl.catValues.at(kCategoryBarcode);
    const float X0 = values.at(g, kValueX);
    const float Y0 = values.at(g, kValueY);
    const float W = values.at(g, kValueWidth);
    const float H = values.at(g, kValueHeight);
    const float d = s.tmpl.curCell.FillSpace;

    // Border: inner rectangle first, then d and 2d outside the code area.
    for (int k = 0; k <= 2; ++k) {
        const float e = to_single(static_cast<double>(k) * d);
        Rectangle_to(s, to_single(X0 - e), to_single(Y0 - e), to_single(X0 + W + e), to_single(Y0 + H + e));
    }

    const float pw = to_single(W / 16.0);
    const float ph = to_single(H / 16.0);
    for (int r = 0; r < kCodeModules; ++r) {
        for (int c = 0; c < kCodeModules; ++c) {
            if (!Module_dark(s, g - 1, r, c)) continue;
            const int32_t n = Module_last_square(pw, d);
            for (int32_t m = 0; m <= n; ++m) {
                const double e = static_cast<double>(m) * d;
                Move_to(s, to_single(X0 + c * static_cast<double>(pw) + e), to_single(Y0 + (15 - r) * static_cast<double>(ph) + e));
                Laser_switch(s, kTrue);
                Move_to(s, to_single(Here_x(s) + (pw - 2 * e)), Here_y(s));
                Move_to(s, Here_x(s), to_single(Here_y(s) + (ph - 2 * e)));
                Move_to(s, to_single(Here_x(s) - (pw - 2 * e)), Here_y(s));
                Move_to(s, Here_x(s), to_single(Here_y(s) - (ph - 2 * e)));
                Laser_switch(s, kFalse);
            }
        }
    }
}

}  // namespace korvex
