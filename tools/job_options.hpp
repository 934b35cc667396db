// The command-line options the job commands share: what to write after the job and how to draw
// it, and the marking parameters (speeds, gate delays, step size) the machine is brought up with.
#pragma once

#include <CLI/CLI.hpp>

#include "mark_command.hpp"

namespace korvex::tool {

void add_output_options(CLI::App* cmd, JobOutputs& outputs);
void add_mark_parameter_options(CLI::App* cmd, MarkParameters& params);

}  // namespace korvex::tool
