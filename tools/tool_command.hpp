// ToolCommand: a subcommand of the korvex program as its own file adds it. The file registers the
// subcommand with its options and hands back how to run it once it has been chosen.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

namespace korvex::tool {

struct ToolCommand {
    CLI::App* sub = nullptr;
    std::function<int()> run;  // exit status of the command
};

ToolCommand add_fonts_command(CLI::App& app);    // korvex fonts: the catalogue and its files
ToolCommand add_fontc_command(CLI::App& app);    // korvex fontc: compile stroke font files
ToolCommand add_text_command(CLI::App& app);     // korvex text: mark a text on the simulated machine
ToolCommand add_plot_command(CLI::App& app);     // korvex plot: mark a plot file on the simulated machine
ToolCommand add_eartag_command(CLI::App& app);   // korvex eartag: mark a batch of ear tags
ToolCommand add_probe_command(CLI::App& app);    // korvex probe: the real cards found and how they open
ToolCommand add_latency_command(CLI::App& app);  // korvex latency: can this PC pace the stepping cycle
ToolCommand add_station_command(CLI::App& app);  // korvex station: the production journal from scripts
ToolCommand add_calibrate_command(CLI::App& app);  // korvex calibrate: test pattern, grid from its scan

}  // namespace korvex::tool
