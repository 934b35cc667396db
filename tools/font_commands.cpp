// korvex fonts and fontc: not built yet.
#include "tool_command.hpp"

#include <iostream>

namespace korvex::tool {

ToolCommand add_fonts_command(CLI::App& app) {
    ToolCommand c;
    c.sub = app.add_subcommand("fonts", "(not built yet)");
    c.run = [] {
        std::cerr << "korvex fonts: not built yet\n";
        return 2;
    };
    return c;
}

ToolCommand add_fontc_command(CLI::App& app) {
    ToolCommand c;
    c.sub = app.add_subcommand("fontc", "(not built yet)");
    c.run = [] {
        std::cerr << "korvex fontc: not built yet\n";
        return 2;
    };
    return c;
}

}  // namespace korvex::tool
