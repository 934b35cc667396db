// The command-line options the job commands share: what to write after the job and how to draw
// it, and the marking parameters (speeds, gate delays, step size) the machine is brought up with.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "mark_command.hpp"

namespace korvex::tool {

// The widest hatch spacing of --fill: wider than any field, so a larger one would fill nothing more.
inline constexpr double kMaxFillMm = 1000.0;

// Why `fill_mm` cannot be the spacing of --fill ("" when it can): a number from 0 (no fill) to
// kMaxFillMm; anything else would fail only after the outline had been marked.
std::string check_fill_option(double fill_mm);

void add_output_options(CLI::App* cmd, JobOutputs& outputs);
void add_mark_parameter_options(CLI::App* cmd, MarkParameters& params);

}  // namespace korvex::tool
