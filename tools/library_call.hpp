// One library call of a tool's job: made under the SIGINT guard (Ctrl-C holds the operator's
// Shift while it runs), its fault caught and described, and the message boxes the library showed
// during it passed on to the error stream, and the characters of its texts that the fonts could not
// mark as given named there (they make the job fail). Ctrl-C is said at once ("stop requested") and, after
// the call, as what really happened: the library reads the operator keys only when the laser
// switches, so a long line is finished before the machine stops.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "job_interrupt.hpp"
#include "sim/sim.hpp"

namespace korvex::tool {

// Said the moment Ctrl-C is seen during a call.
inline constexpr const char* kStopRequested =
    "stop requested (Ctrl-C); the library reads the operator keys only when the laser switches, so the machine "
    "stops at the end of the line it is marking, not at once";
// The same for a stop another thread asked for (JobInterrupt::request_stop, the station's Stop).
inline constexpr const char* kOperatorStopRequested =
    "stop requested by the operator; the library reads the operator keys only when the laser switches, so the machine "
    "stops at the end of the line it is marking, not at once";

class LibraryCaller {
public:
    // `prefix` starts every line written to err ("korvex mark"); the last fault's description (or,
    // for a call that did not fault, what it could not mark) goes to `failure`, `interrupted` is set
    // once a call was interrupted, and `stop` then says how the stop went (stop_text). interrupt may
    // be null (no Ctrl-C handling).
    LibraryCaller(SimulatedMachine& machine, JobInterrupt* interrupt, std::ostream& err, std::string prefix,
                  std::string& failure, bool& interrupted, std::string& stop);
    ~LibraryCaller();
    LibraryCaller(const LibraryCaller&) = delete;
    LibraryCaller& operator=(const LibraryCaller&) = delete;

    // Calls the member; false when the job must not go on (it faulted, or it was interrupted).
    bool operator()(const char* name, const std::function<void()>& member);
    // The library took the operator's stop in the interrupted call (it read the held key), rather
    // than the call ending before it looked.
    bool stop_taken() const { return stop_taken_; }

private:
    class StopNotice;

    SimulatedMachine& machine_;
    JobInterrupt* interrupt_;
    std::ostream& err_;
    std::string prefix_;
    std::string& failure_;
    bool& interrupted_;
    std::string& stop_;
    std::size_t shown_;
    bool stop_taken_ = false;
    std::unique_ptr<StopNotice> notice_;
};

}  // namespace korvex::tool
