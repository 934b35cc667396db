// The calibration test pattern: filled dots on a square lattice of nodes over the field, plus one
// more dot off the lattice that tells the plate's orientation, and its node table `pattern.csv`.
//
// Nodes are numbered row by row from the bottom left: node = row x nodes + column, row 0 at
// y = -field/2, column 0 at x = -field/2 (the field's own frame, y up). The orientation mark lies in
// the top right lattice cell, half a pitch right of its left nodes and a quarter pitch above its
// lower ones: turned by a quarter or half turn, or mirrored, it sits elsewhere in its cell, so it
// tells every wrong placement of the plate apart from the right one.
#pragma once

#include <string>
#include <vector>

#include "calibration/vec2.hpp"

namespace korvex::calibration {

inline constexpr int kMinPatternNodes = 21;

struct Pattern {
    double field_mm = 100.0;  // the lattice spans -field/2 .. field/2 on both axes
    int nodes = 21;           // nodes per side
    double dot_mm = 1.2;      // diameter of a node's dot
    double step_um = 0.0;     // the library's D/A step size when marked (0: not known)
    // The correction in force when the pattern was marked: "none", "grid PATH HASH" or
    // "template BASE HASH" (HASH: fingerprint of the grid file or the template's .mc1 file).
    std::string correction = "none";

    double pitch_mm() const { return field_mm / (nodes - 1); }
    int count() const { return nodes * nodes; }
    Vec2 node_mm(int node) const;
    Vec2 orientation_mm() const;
};

// A pattern for the field with nodes per side (at least 21) and the dot diameter (0: a quarter
// pitch, at most 1.5 mm). CalibrationError for sizes that make no usable pattern.
Pattern make_pattern(double field_mm, int nodes, double dot_mm, double step_um);

// The drawing that marks the pattern, as Marking_data records (mm): every dot one polyline of
// concentric rings ring_spacing_mm apart (and the centre), its outer ring half a laser line inside
// the dot's edge; nodes row by row in alternating directions, the orientation mark last.
std::vector<double> pattern_drawing(const Pattern& pattern, double line_mm = 0.1, double ring_spacing_mm = 0.08);

// pattern.csv: "# key value" lines (field_mm, nodes, dot_mm, step_um, correction), the header
// node,x_mm,y_mm, a row per node and a row "orientation,X,Y". Reading checks that the rows are the
// full lattice the file describes; CalibrationError names what is wrong.
void write_pattern_csv(const Pattern& pattern, const std::string& path);
Pattern read_pattern_csv(const std::string& path);

// "3-7, 12, 30-41" for sorted node numbers (at most `max_runs` runs, then "...").
std::string node_ranges(const std::vector<int>& sorted_nodes, std::size_t max_runs = 12);

// Fingerprint of a file's bytes (FNV-1a, 16 hex digits); CalibrationError when it cannot be read.
std::string file_fingerprint(const std::string& path);

}  // namespace korvex::calibration
