// korvex eartag: not built yet.
#include "tool_command.hpp"

#include <iostream>

namespace korvex::tool {

ToolCommand add_eartag_command(CLI::App& app) {
    ToolCommand c;
    c.sub = app.add_subcommand("eartag", "(not built yet)");
    c.run = [] {
        std::cerr << "korvex eartag: not built yet\n";
        return 2;
    };
    return c;
}

}  // namespace korvex::tool
