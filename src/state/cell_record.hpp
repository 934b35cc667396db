// The template cell being marked. The scan engine reads only its option bits (rotary marking) and
// the workpiece diameter; the template reader fills the whole record.
#pragma once

#include <cstdint>

namespace korvex {

// curCell.Mode bit: x is turned into rotary axis steps instead of scanner steps.
inline constexpr int32_t kCellModeRotary = 4;

struct CellRecord {
    int32_t Mode = 0;            // option bits
    float RotaryDiameter = 0.0f; // workpiece diameter, mm, for rotary marking
};

struct TemplateGroup {
    CellRecord curCell;
};

}  // namespace korvex
