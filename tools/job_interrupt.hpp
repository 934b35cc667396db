// Ctrl-C for the korvex tool's jobs: a SIGINT that arrives while a library call runs holds the
// simulated operator's Shift key for the rest of that call, so the library stops the job through
// its own abort path (jumps and lines stop, the gate closes, the call returns). A SIGINT outside a
// call ends the program as SIGINT normally does. The library itself never touches signals.
#pragma once

#include <atomic>
#include <csignal>

namespace korvex::tool {

class JobInterrupt {
public:
    // Installs the SIGINT handler, unless SIGINT is ignored (then it stays ignored); only one
    // JobInterrupt may exist at a time (std::logic_error).
    JobInterrupt();
    // Puts the previous SIGINT disposition back.
    ~JobInterrupt();
    JobInterrupt(const JobInterrupt&) = delete;
    JobInterrupt& operator=(const JobInterrupt&) = delete;

    // Held while a SIGINT came during the current call; give it to ScriptedUi::set_shift_source.
    const std::atomic<bool>* shift_flag() const;
    // A stop asked for from another thread (the station service's Stop): holds Shift in the call
    // running now and in every call after it until clear_stop(), as Ctrl-C does for one call.
    static void request_stop();
    static void clear_stop();
    static bool stop_requested();
    // Some call was interrupted since this object was made.
    bool interrupted() const { return interrupted_calls_ > 0; }
    int interrupted_calls() const { return interrupted_calls_; }

    // Marks one library call: SIGINT inside it holds Shift; the flag is dropped when it ends.
    // A null interrupt makes a scope that does nothing.
    class Call {
    public:
        explicit Call(JobInterrupt* interrupt);
        ~Call();
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;

    private:
        JobInterrupt* interrupt_;
    };

private:
    struct sigaction previous_ {};
    int interrupted_calls_ = 0;
};

}  // namespace korvex::tool
