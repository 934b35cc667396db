// One library call of a tool's job: made under the SIGINT guard (Ctrl-C holds the operator's
// Shift while it runs), its fault caught and described, and the message boxes the library showed
// during it passed on to the error stream.
#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>

#include "job_interrupt.hpp"
#include "platform/scripted_ui.hpp"

namespace korvex::tool {

class LibraryCaller {
public:
    // `prefix` starts every line written to err ("korvex mark"); the last fault's description goes
    // to `failure`, and `interrupted` is set once a call was interrupted. interrupt may be null.
    LibraryCaller(ScriptedUi& ui, JobInterrupt* interrupt, std::ostream& err, std::string prefix, std::string& failure,
                  bool& interrupted)
        : ui_(ui), interrupt_(interrupt), err_(err), prefix_(std::move(prefix)), failure_(failure),
          interrupted_(interrupted), shown_(ui.shown().size()) {}

    // Calls the member; false when the job must not go on (it faulted, or it was interrupted).
    bool operator()(const char* name, const std::function<void()>& member);

private:
    ScriptedUi& ui_;
    JobInterrupt* interrupt_;
    std::ostream& err_;
    std::string prefix_;
    std::string& failure_;
    bool& interrupted_;
    std::size_t shown_;
};

}  // namespace korvex::tool
