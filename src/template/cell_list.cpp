// Cell list reading: the whole file is decoded once, then handed out line by line. A line ends at
// LF; a CR before it belongs to the line end (the files have CR LF; LF alone reads the same).
#include "template/cell_list.hpp"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "core/leading_number.hpp"
#include "core/value_reader.hpp"
#include "core/code_page.hpp"
#include "device/calibration_file.hpp"

namespace korvex {

namespace {

class LineReader {
public:
    explicit LineReader(std::string_view text) : rest_(text) {}
    // The next line without its line end; past the last line an eof fault.
    std::string_view next() {
        if (done_) raise_fault(FaultKind::eof, "cell list ends before its last line");
        const std::size_t lf = rest_.find('\n');
        std::string_view line = rest_.substr(0, lf);
        if (lf == std::string_view::npos) {
            rest_ = {};
            done_ = true;
        } else {
            rest_.remove_prefix(lf + 1);
            done_ = rest_.empty();  // a final line end closes the last line
        }
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    }
    bool done() const { return done_; }

private:
    std::string_view rest_;
    bool done_ = false;
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<float> Strict_single(std::string_view line) {
    while (!line.empty() && is_blank(line.front())) line.remove_prefix(1);
    while (!line.empty() && is_blank(line.back())) line.remove_suffix(1);
    // sign, digits with at most one point (at least one digit), optional exponent with digits
    std::size_t i = 0;
    const std::size_t n = line.size();
    if (i < n && (line[i] == '+' || line[i] == '-')) ++i;
    const std::size_t mantissa = i;
    bool digit = false;
    while (i < n && is_digit(line[i])) ++i, digit = true;
    if (i < n && line[i] == '.') {
        ++i;
        while (i < n && is_digit(line[i])) ++i, digit = true;
    }
    if (!digit) return std::nullopt;
    if (i < n && (line[i] == 'e' || line[i] == 'E')) {
        ++i;
        if (i < n && (line[i] == '+' || line[i] == '-')) ++i;
        if (i == n || !is_digit(line[i])) return std::nullopt;
        while (i < n && is_digit(line[i])) ++i;
    }
    if (i != n) return std::nullopt;
    double v = 0.0;
    const char* first = line.data() + mantissa;
    auto [ptr, ec] = std::from_chars(first, line.data() + n, v, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Below a Double's range it is 0; above it the line holds no Single.
        if (std::isinf(std::strtod(std::string(first, line.data() + n).c_str(), nullptr))) return std::nullopt;
        v = 0.0;
    } else if (ec != std::errc()) {
        return std::nullopt;
    }
    if (line[0] == '-') v = -v;
    if (std::fabs(v) > static_cast<double>(FLT_MAX)) return std::nullopt;
    return static_cast<float>(v);
}

std::vector<std::string_view> Cell_list_lines(std::string_view text) {
    std::vector<std::string_view> out;
    for (LineReader lines(text); !lines.done();) out.push_back(lines.next());
    return out;
}

void Cell_list_load(State& s, const std::string& path) {
    if (!File_exists(path)) return;
    const std::string text = Gbk_to_utf8(FileText(path).view());
    LineReader lines(text);
    TemplateGroup& t = s.tmpl;
    t.strCellListFolder = std::filesystem::path(path).parent_path().string();
    t.namLines.at(0) = std::string(lines.next());
    const int32_t count = to_i32(Leading_number(t.namLines.at(0)));
    for (int32_t i = 1; i <= count; ++i) {
        std::string_view line = lines.next();
        t.namLines.at(i) = std::string(line);  // cell 3001 does not fit: an index fault ends the list
        for (int v = 0; v < kCellValues; ++v) {
            if (std::optional<float> x = Strict_single(lines.next())) t.namValues.at(i, v) = *x;
        }
    }
}

}  // namespace korvex
