// Path flattening for the outline-font renderer: a glyph outline given as figures of lines and
// quadratic or cubic curves becomes whole device-unit points typed move-to (6), line-to (2) and
// line-to-and-close (3), written into a bounded buffer while the full count is kept.
#pragma once

#include <cstdint>

#include "korvex/text_path.hpp"

namespace korvex {

class FlatPath {
public:
    // Points go to `points` while fewer than `capacity` are written; curves are cut into equal
    // parameter steps so that no chord strays more than `tolerance_units` from its curve.
    FlatPath(TextPathPoint* points, int32_t capacity, double tolerance_units);

    void move_to(double x, double y);
    void line_to(double x, double y);
    void conic_to(double cx, double cy, double x, double y);
    void cubic_to(double c1x, double c1y, double c2x, double c2y, double x, double y);
    // Ends the open figure and returns the number of points of the whole path (may exceed capacity).
    int32_t finish();

private:
    // Consecutive equal points are dropped; the last point of a figure that returns to the figure's
    // start is dropped too and the point before it closes the figure (type 3).
    void end_figure();
    void add(int32_t x, int32_t y, uint8_t type);

    TextPathPoint* points_;
    int32_t capacity_;
    double tolerance_;
    int32_t count_ = 0;
    bool open_ = false;        // a figure has been started
    int32_t figure_points_ = 0;
    double cur_x_ = 0.0, cur_y_ = 0.0;  // the pen, unrounded
    int32_t start_x_ = 0, start_y_ = 0;
    bool pending_ = false;     // a line-to point held back until it is known whether it closes
    int32_t pending_x_ = 0, pending_y_ = 0;
    int32_t last_x_ = 0, last_y_ = 0;  // the last point placed (written or pending)
};

}  // namespace korvex
