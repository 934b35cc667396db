// Reading measured node coordinates.
#include "calibration/measured_csv.hpp"

#include <cmath>

#include "calibration/csv_text.hpp"
#include "core/shown_input.hpp"

namespace korvex::calibration {

std::vector<Vec2> read_measured_csv(const std::string& path, const Pattern& pattern) {
    const CsvText csv = read_csv_text(path, "measured coordinates");
    std::vector<Vec2> out(pattern.count());
    std::vector<bool> seen(pattern.count(), false);
    for (const CsvRow& row : csv.rows) {
        if (row.fields.size() < 3) csv.fail(row, "expected node,x_mm,y_mm");
        if (row.fields[0] == "node" || row.fields[0] == "orientation") continue;
        const double id = csv.number(row, 0, "node");
        if (id != std::floor(id) || id < 0 || id >= pattern.count())
            csv.fail(row, "node " + Shown_input(row.fields[0]) + " is not one of the pattern's 0-" + std::to_string(pattern.count() - 1));
        const int node = static_cast<int>(id);
        if (seen[node]) csv.fail(row, "node " + std::to_string(node) + " is measured twice");
        seen[node] = true;
        out[node] = {csv.number(row, 1, "x_mm"), csv.number(row, 2, "y_mm")};
    }
    std::vector<int> missing;
    for (int n = 0; n < pattern.count(); ++n)
        if (!seen[n]) missing.push_back(n);
    if (!missing.empty())
        throw CalibrationError(path + ": " + std::to_string(missing.size()) + " of " + std::to_string(pattern.count()) +
                               " nodes not measured: " + node_ranges(missing));
    return out;
}

}  // namespace korvex::calibration
