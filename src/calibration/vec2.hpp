// Vec2: a point or displacement in the plane (mm, D/A steps or scan pixels, as its name says),
// and the calibration parts' one error type.
#pragma once

#include <cmath>
#include <stdexcept>

namespace korvex::calibration {

struct Vec2 {
    double x = 0.0, y = 0.0;
};

inline Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
inline Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
inline Vec2 operator*(double k, Vec2 a) { return {k * a.x, k * a.y}; }
inline double norm(Vec2 a) { return std::hypot(a.x, a.y); }

// A calibration step that cannot be done: a bad input file, or a scan the solver refuses. The
// message says what is wrong and, where it can, what to do.
class CalibrationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace korvex::calibration
