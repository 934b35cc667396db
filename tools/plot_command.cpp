// korvex plot: not built yet.
#include "tool_command.hpp"

#include <iostream>

namespace korvex::tool {

ToolCommand add_plot_command(CLI::App& app) {
    ToolCommand c;
    c.sub = app.add_subcommand("plot", "(not built yet)");
    c.run = [] {
        std::cerr << "korvex plot: not built yet\n";
        return 2;
    };
    return c;
}

}  // namespace korvex::tool
