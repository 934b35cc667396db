// `korvex controller`: one emulated stand-alone controller behind a pseudo-terminal, so a host (or
// `korvex run` with `@controller PORT DEVICE`) talks to it over the real serial path.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace korvex::tool {

struct ControllerCommand {
    std::vector<std::string> options;  // emulator option words (silent, late=US, ...)
    bool throttle = true;              // answer at the line's baud rate
    std::string marks_path;            // written when the controller stops: what its jobs marked
};

// Prints the device path on `out` (one line), serves until SIGINT or SIGTERM (or until the controller
// hangs up), then reports what it stored and ran on `err`. 0 on a normal stop, 2 for bad options or
// no pseudo-terminal, 1 when the marks could not be written.
int run_controller_command(const ControllerCommand& command, std::ostream& out, std::ostream& err);

}  // namespace korvex::tool
