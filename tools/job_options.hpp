// Command-line options the job commands share: what to write after the job and how to draw it,
// and the marking parameters of a job on the simulated machine.
#pragma once

#include <CLI/CLI.hpp>

#include "mark_command.hpp"

namespace korvex::tool {

// --marks, --marks-time, --png, --svg, --pdf, --spot-mm, --field-mm, --px-per-mm, --no-jumps.
void add_output_options(CLI::App* cmd, JobOutputs& outputs);

// --mark-speed, --jump-speed, --on-delay, --on-hold, --off-delay, --off-hold, --step-um, --settle-us.
void add_mark_parameter_options(CLI::App* cmd, MarkParameters& params);

}  // namespace korvex::tool
