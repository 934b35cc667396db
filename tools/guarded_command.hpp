// The last line of defence of the korvex program: whatever a subcommand lets escape (a library
// Fault, an allocation failure, any other exception) is printed with its kind and message and
// ends the command with a failure status, never with an abort.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace korvex::tool {

// Exit status of a command that ended in an exception it did not handle.
inline constexpr int kEscapedFaultStatus = 1;

// Runs `command` and returns its exit status; an exception out of it is reported on err as
// "<name>: <kind> fault: <message>" (or "<name>: error: <message>") and gives kEscapedFaultStatus.
int run_guarded(const std::string& name, std::ostream& err, const std::function<int()>& command);

}  // namespace korvex::tool
