// korvex plot: the options of a plot job and the command that runs it on the simulated machine.
#pragma once

#include <iosfwd>
#include <string>

#include "mark_command.hpp"

namespace korvex::tool {

struct PlotOptions {
    std::string input;
    float x_mm = 0.0f, y_mm = 0.0f;  // where the drawing's origin goes
    double scale_mm = 0.025;         // mm per plot unit (40 units per mm)
    double angle_deg = 0.0;          // counter-clockwise
    float fill_mm = 0.0f;            // hatch spacing, mm; 0: no fill
    MarkParameters params;
    std::string grid_folder;
    bool real_time = false;
    double head_steps_per_mm = 0.0;
    JobOutputs outputs;  // no output named: a PNG beside the input
    CardChoice card;
};

// 0 when the drawing was marked and the outputs written, 1 when a call faulted (the plot file
// included) or an output could not be written, 2 for an unreadable input or bad options, 130 when
// interrupted.
int run_plot_command(PlotOptions options, std::ostream& out, std::ostream& err);

}  // namespace korvex::tool
