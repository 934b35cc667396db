// Marking on a throwaway simulated machine and reading the dots back through its head.
#include "calibration_probe.hpp"

#include "calibrate_command.hpp"
#include "calibration/placement.hpp"
#include "korvex/platform.hpp"

namespace korvex::tool {

std::unique_ptr<SimulatedMachine> mark_on_station(std::vector<double> drawing, const SimulatedStation& station,
                                                  std::ostream& err) {
    SimulatedMachine::Options o;
    o.trace = false;
    auto machine = std::make_unique<SimulatedMachine>(o);
    machine->model().set_head(station.head);
    machine->set_library_folder(station.library_folder.empty() ? "/dev/null" : station.library_folder);
    MarkReport report;
    {
        PlatformReset reset;
        set_platform(machine->platform());
        report = mark_pattern(*machine, nullptr, drawing, station.params, "", err);
    }
    if (!report.completed) return nullptr;
    return machine;
}

std::vector<calibration::Vec2> landing_errors(const std::vector<calibration::Vec2>& points, const SimulatedStation& station,
                                              std::ostream& err) {
    std::vector<double> md;
    for (const calibration::Vec2& p : points) md.insert(md.end(), {1.0, p.x, p.y});
    md.push_back(0.0);
    const auto machine = mark_on_station(md, station, err);
    if (!machine) return {};
    const double k = 1000.0 / station.params.step_um;
    std::vector<calibration::Vec2> landed;
    machine->model().recorder().for_each([&](const Mark& m) {
        if (m.kind != Mark::Kind::dot) return;
        calibration::Vec2 l;
        land_da(station.head, k, m.x0, m.y0, l.x, l.y);
        landed.push_back((1.0 / k) * l);
    });
    if (landed.size() != points.size()) {
        err << "landing errors: " << landed.size() << " dots for " << points.size() << " points\n";
        return {};
    }
    const calibration::Placement place = calibration::fit_placement(points, landed);
    std::vector<calibration::Vec2> errors;
    for (std::size_t i = 0; i < points.size(); ++i) errors.push_back(place.unplace(landed[i]) - points[i]);
    return errors;
}

std::vector<calibration::Vec2> nodes_and_between(const calibration::Pattern& p) {
    std::vector<calibration::Vec2> out;
    const int n = 2 * (p.nodes - 1) + 1;
    for (int row = 0; row < n; ++row)
        for (int col = 0; col < n; ++col)
            out.push_back({-p.field_mm / 2 + col * p.pitch_mm() / 2, -p.field_mm / 2 + row * p.pitch_mm() / 2});
    return out;
}

}  // namespace korvex::tool
