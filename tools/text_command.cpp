// korvex text: not built yet.
#include "tool_command.hpp"

#include <iostream>

namespace korvex::tool {

ToolCommand add_text_command(CLI::App& app) {
    ToolCommand c;
    c.sub = app.add_subcommand("text", "(not built yet)");
    c.run = [] {
        std::cerr << "korvex text: not built yet\n";
        return 2;
    };
    return c;
}

}  // namespace korvex::tool
