// Vector files for `korvex mark`: a host's md array written as text (numbers separated by blanks,
// commas or line ends, `#` starting a comment), and the drawing such an array describes when it is
// marked directly, so the tool can check a file before marking it and measure its progress.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::tool {

// A file that is not a list of numbers; the message starts with "SOURCE:LINE: " (line 0, the file
// as a whole: the message names the file itself).
class VectorFileError : public std::runtime_error {
public:
    VectorFileError(const std::string& source, int line, const std::string& what);
    int line() const { return line_; }

private:
    int line_;
};

// The numbers of the text in order. A token that is not a finite decimal number, and a comma
// with no number before it (",," or a leading comma), is an error naming its line.
std::vector<double> parse_vector_text(std::string_view text, const std::string& source);
// Largest vector file read: a million-point polyline is about 25 MB of text.
inline constexpr std::size_t kVectorFileMaxBytes = std::size_t{1} << 30;
// Reads a whole file; a file that cannot be read, or is not a regular file, is an error of line 0.
std::vector<double> read_vector_file(const std::string& path);

struct DrawingPoint {
    float x_mm = 0.0f, y_mm = 0.0f;
};

// What direct marking does with an md array: every record starts with a jump to its first point;
// a polyline (rounded count n >= 2) marks n - 1 segments, any smaller count marks a dot at (x, y).
// Coordinates are the Singles the library uses.
struct Drawing {
    std::vector<std::vector<DrawingPoint>> polylines;
    std::vector<DrawingPoint> dots;
    std::size_t records = 0;
    std::size_t segments = 0;
    double marked_mm = 0.0;  // length of all segments
    bool complete = false;   // the walk reached the end value 0 inside the array
    std::string problem;     // why not, when it is not complete ("record 3 at value 17 ...")
};

Drawing describe_drawing(const std::vector<double>& md);

}  // namespace korvex::tool
