// Plot files: a "plt file" cell of a template names a plotter drawing (a logo). Plot_mark reads it
// byte by byte (pen up, pen down, absolute move), marks it scaled, rotated and placed, optionally
// reaches its X position by turning the rotary axis, and hatches the drawing when the cell asks for
// a fill. Plot_step is the plot turn of the ear-tag pass.
#pragma once

#include <cstdint>
#include <string>

#include "state/state.hpp"

namespace korvex {

// Marks plot file `path` with its origin at (X, Y) mm, sx/sy scanner steps per plot unit, rotation
// (m11, m12, m21, m22) and extra offset (dx, dy) mm. A file that cannot be opened is a file fault.
void Plot_mark(State& s, float X, float Y, const std::string& path, float sx, float sy, float m11, float m12,
               float m21, float m22, float dx, float dy);

// The plot step of turn g of the ear-tag pass: marks plot cell g of category 4, if there is one.
void Plot_step(State& s, int32_t g);

}  // namespace korvex
