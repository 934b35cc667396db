// A smooth field sampled at the pattern's nodes (the measured displacement of every node): between
// the nodes a bicubic (Catmull-Rom) interpolation through every sample, beyond the lattice a linear
// continuation for one pitch, and the value one pitch out held constant farther away.
#pragma once

#include <vector>

#include "calibration/vec2.hpp"

namespace korvex::calibration {

class LatticeField {
public:
    // values by node number (row x nodes + column) of a nodes x nodes lattice spanning
    // -field/2 .. field/2 on both axes.
    LatticeField(int nodes, double field_mm, const std::vector<Vec2>& values);

    Vec2 at(Vec2 p_mm) const;

private:
    // Value and its derivatives along the lattice's columns (du) and rows (dv) at lattice
    // coordinates inside 0 .. nodes - 1.
    void inside(double u, double v, Vec2& value, Vec2& du, Vec2& dv) const;
    Vec2 ext(int col, int row) const { return ext_[static_cast<std::size_t>((row + 1) * (n_ + 2) + col + 1)]; }

    int n_;
    double half_mm_, pitch_mm_;
    std::vector<Vec2> ext_;  // the samples with a linearly continued border of one node
};

}  // namespace korvex::calibration
