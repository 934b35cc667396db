// Reading md arrays from text and walking them the way direct marking does (count rounded half to
// even, the first record always taken, the end value tested after each record).
#include "vector_file.hpp"

#include <charconv>
#include <cmath>
#include <sstream>

#include "core/numeric.hpp"
#include "core/regular_file.hpp"
#include "core/shown_input.hpp"

namespace korvex::tool {

VectorFileError::VectorFileError(const std::string& source, int line, const std::string& what)
    : std::runtime_error(line > 0 ? source + ":" + std::to_string(line) + ": " + what : what), line_(line) {}

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

double parse_number(std::string_view token, const std::string& source, int line) {
    std::string_view digits = token;
    if (digits.size() > 1 && digits.front() == '+' && digits[1] != '-' && digits[1] != '+') digits.remove_prefix(1);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    const std::string shown = "'" + Shown_input(token) + "'";
    if (ec == std::errc::result_out_of_range) throw VectorFileError(source, line, shown + " is out of range");
    if (ec != std::errc() || end != digits.data() + digits.size())
        throw VectorFileError(source, line, shown + " is not a number");
    if (!std::isfinite(value)) throw VectorFileError(source, line, shown + " is not a finite number");
    return value;
}

}  // namespace

std::vector<double> parse_vector_text(std::string_view text, const std::string& source) {
    std::vector<double> values;
    bool comma_pending = true;  // a comma here would have no number before it
    int line = 1;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '\n') {
            ++line;
            ++pos;
        } else if (is_blank(c)) {
            ++pos;
        } else if (c == '#') {
            while (pos < text.size() && text[pos] != '\n') ++pos;
        } else if (c == ',') {
            if (comma_pending) throw VectorFileError(source, line, "a comma without a number before it");
            comma_pending = true;
            ++pos;
        } else {
            const std::size_t start = pos;
            while (pos < text.size() && !is_blank(text[pos]) && text[pos] != '\n' && text[pos] != ',' && text[pos] != '#')
                ++pos;
            values.push_back(parse_number(text.substr(start, pos - start), source, line));
            comma_pending = false;
        }
    }
    return values;
}

std::vector<double> read_vector_file(const std::string& path) {
    std::string text;
    try {
        text = Regular_file_read(path, kVectorFileMaxBytes, "vector file");
    } catch (const Fault& f) {
        throw VectorFileError(path, 0, f.what());
    }
    return parse_vector_text(text, path);
}

Drawing describe_drawing(const std::vector<double>& md) {
    Drawing d;
    const std::size_t size = md.size();
    auto point = [&](std::size_t at) { return DrawingPoint{to_single(md[at]), to_single(md[at + 1])}; };
    std::size_t i = 0;
    try {
        for (;;) {
            const std::size_t record = d.records + 1;
            if (i >= size) {
                d.problem = "the array is empty";
                return d;
            }
            const double count = round_half_even(md[i]);
            const std::size_t remaining = size - i;
            // Values of this record: count, then two per point; any count below 2 is a dot.
            const double wanted = count >= 2.0 ? 2.0 * count + 1.0 : 3.0;
            if (wanted > static_cast<double>(remaining)) {
                std::ostringstream msg;
                msg << "record " << record << " (number " << i + 1 << ", count " << md[i] << ") needs " << wanted
                    << " numbers, only " << remaining << " remain";
                d.problem = msg.str();
                return d;
            }
            const std::size_t n = static_cast<std::size_t>(wanted) / 2;  // points in the record
            if (count >= 2.0) {
                std::vector<DrawingPoint> line;
                line.reserve(n);
                for (std::size_t k = 0; k < n; ++k) line.push_back(point(i + 1 + 2 * k));
                for (std::size_t k = 1; k < n; ++k)
                    d.marked_mm += std::hypot(double(line[k].x_mm) - line[k - 1].x_mm, double(line[k].y_mm) - line[k - 1].y_mm);
                d.segments += n - 1;
                d.polylines.push_back(std::move(line));
            } else {
                d.dots.push_back(point(i + 1));
            }
            d.records = record;
            i += static_cast<std::size_t>(wanted);
            if (i >= size) {
                d.problem = "no end value 0 after record " + std::to_string(record);
                return d;
            }
            if (md[i] == 0.0) {
                d.complete = true;
                return d;
            }
        }
    } catch (const Fault& f) {
        d.problem = "record " + std::to_string(d.records + 1) + " (number " + std::to_string(i + 1) + "): " + f.what();
    }
    return d;
}

}  // namespace korvex::tool
