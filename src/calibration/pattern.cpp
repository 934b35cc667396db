// The test pattern's geometry, its drawing and its node table.
#include "calibration/pattern.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>

#include "calibration/csv_text.hpp"
#include "core/regular_file.hpp"
#include "core/shown_input.hpp"
#include "korvex/fault.hpp"

namespace korvex::calibration {

namespace {

// Ring polygons stay within this distance of the true circle (mm).
constexpr double kRingSagittaMm = 0.001;
// Node rows of pattern.csv must lie on the lattice within this distance (mm).
constexpr double kLatticeSlackMm = 0.001;

std::string number_text(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.6g", v == 0.0 ? 0.0 : v);
    return buf;
}

// One dot: concentric closed rings from the outer one inward, joined where each starts (angle 0),
// ending in the centre.
void add_dot(std::vector<double>& md, Vec2 c, double outer_radius_mm, double spacing_mm) {
    std::vector<Vec2> points;
    for (double r = outer_radius_mm; r > spacing_mm / 2.0; r -= spacing_mm) {
        const double step = std::acos(1.0 - kRingSagittaMm / r);
        const int n = std::max(8, static_cast<int>(std::ceil(std::numbers::pi / step)));
        for (int i = 0; i <= n; ++i) {
            const double a = 2.0 * std::numbers::pi * i / n;
            points.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
        }
    }
    points.push_back(c);  // and into the centre, which the innermost ring's line leaves open
    md.push_back(static_cast<double>(points.size()));
    for (const Vec2& p : points) {
        md.push_back(p.x);
        md.push_back(p.y);
    }
}

}  // namespace

Vec2 Pattern::node_mm(int node) const {
    const int row = node / nodes, col = node % nodes;
    return {-field_mm / 2.0 + col * pitch_mm(), -field_mm / 2.0 + row * pitch_mm()};
}

Vec2 Pattern::orientation_mm() const {
    const Vec2 lower_left = node_mm((nodes - 2) * nodes + nodes - 2);
    return {lower_left.x + 0.5 * pitch_mm(), lower_left.y + 0.25 * pitch_mm()};
}

Pattern make_pattern(double field_mm, int nodes, double dot_mm, double step_um) {
    if (!(std::isfinite(field_mm) && field_mm >= 10.0 && field_mm <= 1000.0))
        throw CalibrationError("the field must be 10 to 1000 mm across");
    if (nodes < kMinPatternNodes || nodes > 201)
        throw CalibrationError("a pattern has " + std::to_string(kMinPatternNodes) + " to 201 nodes per side");
    Pattern p;
    p.field_mm = field_mm;
    p.nodes = nodes;
    p.step_um = step_um;
    p.dot_mm = dot_mm > 0.0 ? dot_mm : std::min(1.5, std::round(p.pitch_mm() * 0.25 / 0.05) * 0.05);
    if (!(std::isfinite(p.dot_mm) && p.dot_mm >= 0.2 && p.dot_mm <= 0.4 * p.pitch_mm()))
        throw CalibrationError("the dots must be 0.2 mm to 0.4 pitch across (the pitch is " + number_text(p.pitch_mm()) +
                               " mm)");
    return p;
}

std::vector<double> pattern_drawing(const Pattern& p, double line_mm, double ring_spacing_mm) {
    std::vector<double> md;
    const double outer = std::max(ring_spacing_mm, p.dot_mm / 2.0 - line_mm / 2.0);
    for (int row = 0; row < p.nodes; ++row) {
        for (int i = 0; i < p.nodes; ++i) {
            const int col = row % 2 == 0 ? i : p.nodes - 1 - i;
            add_dot(md, p.node_mm(row * p.nodes + col), outer, ring_spacing_mm);
        }
    }
    add_dot(md, p.orientation_mm(), outer, ring_spacing_mm);
    md.push_back(0.0);
    return md;
}

void write_pattern_csv(const Pattern& p, const std::string& path) {
    std::string text = "# korvex calibration pattern\n";
    text += "# field_mm " + number_text(p.field_mm) + "\n";
    text += "# nodes " + std::to_string(p.nodes) + "\n";
    text += "# dot_mm " + number_text(p.dot_mm) + "\n";
    if (p.step_um > 0.0) {  // to the digit: the solve's scale is 1000 / step_um
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", p.step_um);
        text += std::string("# step_um ") + buf + "\n";
    }
    text += "# correction " + p.correction + "\n";
    text += "node,x_mm,y_mm\n";
    for (int n = 0; n < p.count(); ++n) {
        const Vec2 v = p.node_mm(n);
        text += std::to_string(n) + "," + number_text(v.x) + "," + number_text(v.y) + "\n";
    }
    const Vec2 o = p.orientation_mm();
    text += "orientation," + number_text(o.x) + "," + number_text(o.y) + "\n";
    write_text_file(path, text);
}

Pattern read_pattern_csv(const std::string& path) {
    const CsvText csv = read_csv_text(path, "pattern file");
    Pattern p;
    p.dot_mm = 0.0;
    for (const std::string& c : csv.comments) {
        const std::size_t blank = c.find(' ');
        if (blank == std::string::npos) continue;
        const std::string key = c.substr(0, blank), value = c.substr(blank + 1);
        char* end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        const bool numeric = end == value.c_str() + value.size() && std::isfinite(v);
        if (key == "dot_mm" && numeric) p.dot_mm = v;
        else if (key == "step_um" && numeric && v > 0.0) p.step_um = v;
        else if (key == "correction") p.correction = value;
    }
    // The lattice from its rows: the node count is a square, the extent gives the field.
    std::vector<Vec2> nodes;
    std::vector<int> ids;
    bool orientation = false;
    Vec2 mark;
    for (const CsvRow& row : csv.rows) {
        if (row.fields.size() != 3) csv.fail(row, "expected node,x_mm,y_mm");
        if (row.fields[0] == "node") continue;  // the header
        const Vec2 v{csv.number(row, 1, "x_mm"), csv.number(row, 2, "y_mm")};
        if (row.fields[0] == "orientation") {
            orientation = true;
            mark = v;
            continue;
        }
        const double id = csv.number(row, 0, "node");
        if (id != std::floor(id) || id < 0 || id > 1e6) csv.fail(row, "a node is a number from 0");
        ids.push_back(static_cast<int>(id));
        nodes.push_back(v);
    }
    const int side = static_cast<int>(std::lround(std::sqrt(static_cast<double>(nodes.size()))));
    if (side < kMinPatternNodes || static_cast<std::size_t>(side) * side != nodes.size())
        throw CalibrationError(path + ": " + std::to_string(nodes.size()) + " nodes are not a square lattice of at least " +
                               std::to_string(kMinPatternNodes) + " x " + std::to_string(kMinPatternNodes));
    double lo = nodes[0].x, hi = nodes[0].x;
    for (const Vec2& v : nodes) {
        lo = std::min(lo, v.x);
        hi = std::max(hi, v.x);
    }
    try {  // a usable lattice: field, node count and dot size checked as for a new pattern
        const Pattern described = p;
        p = make_pattern(hi - lo, side, described.dot_mm, described.step_um);
        p.correction = described.correction;
    } catch (const CalibrationError& e) {
        throw CalibrationError(path + ": " + e.what());
    }
    std::vector<bool> seen(nodes.size(), false);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const int id = ids[i];
        if (id >= p.count() || seen[id])
            throw CalibrationError(path + ": node " + std::to_string(id) + " is " + (id >= p.count() ? "beyond" : "twice in") +
                                   " the lattice");
        seen[id] = true;
        if (norm(nodes[i] - p.node_mm(id)) > kLatticeSlackMm)
            throw CalibrationError(path + ": node " + std::to_string(id) + " is not on the " + std::to_string(side) + " x " +
                                   std::to_string(side) + " lattice over " + number_text(p.field_mm) +
                                   " mm centred on the field");
    }
    if (!orientation || norm(mark - p.orientation_mm()) > kLatticeSlackMm)
        throw CalibrationError(path + ": the orientation mark's row is missing or not where this pattern puts it");
    return p;
}

std::string node_ranges(const std::vector<int>& nodes, std::size_t max_runs) {
    std::string out;
    std::size_t runs = 0;
    for (std::size_t i = 0; i < nodes.size();) {
        std::size_t j = i;
        while (j + 1 < nodes.size() && nodes[j + 1] == nodes[j] + 1) ++j;
        if (runs == max_runs) return out + ", ...";
        out += (out.empty() ? "" : ", ") + std::to_string(nodes[i]) + (j > i ? "-" + std::to_string(nodes[j]) : "");
        ++runs;
        i = j + 1;
    }
    return out;
}

std::string file_fingerprint(const std::string& path) {
    std::string bytes;
    try {
        bytes = Regular_file_read(path, std::size_t{256} << 20, "file");
    } catch (const Fault& f) {
        throw CalibrationError(f.what());
    }
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char buf[24];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

}  // namespace korvex::calibration
