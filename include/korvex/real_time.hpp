// Real-time settings for direct marking: the marking thread under SCHED_FIFO, its memory locked and
// the thread pinned to one core, so the busy waits that pace the scanner are not preempted, paged
// or moved. Each setting is applied only where the system permits; a refused one is reported and
// the others still apply, and marking goes on either way.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "korvex/export.h"

namespace korvex {

struct RealTimeSettings {
    int fifo_priority = 80;   // SCHED_FIFO priority 1-99; 0 leaves the scheduler alone
    bool lock_memory = true;  // mlockall(MCL_CURRENT | MCL_FUTURE) and a pre-touched stack
    int cpu = -1;             // core to pin the thread to; -1 the last online core, -2 no pinning
};

struct RealTimeOutcome {
    bool fifo = false;
    bool memory_locked = false;
    int pinned_cpu = -1;               // the core the thread runs on, -1 when not pinned
    std::vector<std::string> refusals;  // one line per refused setting, with the system's reason
    // What the system will still do to a real-time marking thread (the kernel's real-time throttling).
    std::vector<std::string> warnings;
};

// Applies the settings to the calling thread.
KORVEX_API RealTimeOutcome apply_real_time(const RealTimeSettings& settings);

// Applies the settings for its lifetime, then puts the thread's previous scheduling, affinity and
// memory locking back.
class KORVEX_API RealTimeScope {
public:
    explicit RealTimeScope(const RealTimeSettings& settings);
    ~RealTimeScope();
    RealTimeScope(const RealTimeScope&) = delete;
    RealTimeScope& operator=(const RealTimeScope&) = delete;
    const RealTimeOutcome& outcome() const { return outcome_; }

private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
    RealTimeOutcome outcome_;
};

}  // namespace korvex
