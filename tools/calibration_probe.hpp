// Measuring the simulated machine's field without a scan: a drawing marked through the library on a
// fresh simulated machine with a given head and grid folder, and the landing errors of single points
// marked that way (where each dot landed, against where it was asked for, relative to the best
// placement of all of them, as a scan would see them). The calibration's tests and benchmarks
// check a solved grid with it, at the nodes and between them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "calibration/pattern.hpp"
#include "mark_command.hpp"

namespace korvex::tool {

struct SimulatedStation {
    HeadDistortion head;
    MarkParameters params;
    std::string library_folder;  // holding grid_data.dat; empty: no grid
};

// The machine after marking `drawing` (the thread's platform is the default again afterwards);
// null with the failure on err when a call failed.
std::unique_ptr<SimulatedMachine> mark_on_station(std::vector<double> drawing, const SimulatedStation& station,
                                                  std::ostream& err);

// Landing errors (mm) of the points (mm), each marked as a single dot.
std::vector<calibration::Vec2> landing_errors(const std::vector<calibration::Vec2>& points_mm,
                                              const SimulatedStation& station, std::ostream& err);

// The pattern's nodes and the points halfway between them (a lattice of half the pitch).
std::vector<calibration::Vec2> nodes_and_between(const calibration::Pattern& pattern);

}  // namespace korvex::tool
