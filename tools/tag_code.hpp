// Ear-tag codes on the host side: a tag number encoded as a 14 x 14 Data Matrix (libdmtx) and laid
// into the 16 x 16-module, 32-byte bitmap the library's bar-code cells mark (a one-module quiet
// zone around the symbol, row 0 at the top, most significant bit first), and the way back: the
// simulated machine's marks over a code area drawn at the laser's spot width and read by libdmtx.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/sim.hpp"

namespace korvex::tool {

inline constexpr int kTagCodeBytes = 32;
using TagCodeBitmap = std::array<uint8_t, kTagCodeBytes>;

// A number that a 14 x 14 symbol cannot hold (more than 16 digits, or too much other text).
class TagCodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The 32-byte bitmap of `text` as a 14 x 14 Data Matrix in a 16 x 16 module square.
TagCodeBitmap tag_code_bitmap(const std::string& text);

// A grey picture of marks (255 white, 0 black) over a rectangle of the machine's field in D/A
// units; row 0 holds the lowest y (the machine's y points up).
class MarkRaster {
public:
    MarkRaster(double x_min, double y_min, double x_max, double y_max, double units_per_px);
    // A laser line `width_units` wide from (ax, ay) to (bx, by) with round ends.
    void stroke(double ax, double ay, double bx, double by, double width_units);
    // Every line and dot of `marks` at the given spot width (D/A units).
    void draw(const std::vector<Mark>& marks, double spot_units);
    int width() const { return width_; }
    int height() const { return height_; }
    const std::vector<unsigned char>& pixels() const { return px_; }

private:
    int width_, height_;
    double x0_, y0_, units_per_px_;
    std::vector<unsigned char> px_;
};

// The text of the first Data Matrix libdmtx finds in the picture, "" when none reads (also for a
// picture too small to hold a code, which libdmtx is never given).
std::string read_tag_code(const MarkRaster& picture);

// Reads the code marked in the code area with lower-left corner (x0, y0) and size w x h (D/A
// units): the marks are drawn over the area and a quarter of its size around it, about eight
// pixels a module, at the spot width. An empty area (a side of 0) reads "".
std::string read_marked_code(const std::vector<Mark>& marks, double x0, double y0, double w, double h, double spot_units);

}  // namespace korvex::tool
