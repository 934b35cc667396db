// SCHED_FIFO, mlockall and CPU affinity for the calling thread, each tried on its own: without the
// privilege (root, CAP_SYS_NICE, CAP_IPC_LOCK or a large enough RLIMIT_MEMLOCK) one is refused and
// named, and the rest still apply.
#include "korvex/real_time.hpp"

#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace korvex {

namespace {

// Touches a stack area once so the pages a deep wait or fault path needs are mapped (and, under
// mlockall, locked) before marking starts instead of faulting in during a step.
void pretouch_stack() {
    constexpr std::size_t kBytes = 256 * 1024;
    unsigned char area[kBytes];
    volatile unsigned char* page = area;
    for (std::size_t i = 0; i < kBytes; i += 4096) page[i] = 0;
}

// The kernel lets SCHED_FIFO threads run sched_rt_runtime_us of every sched_rt_period_us (by
// default 0.95 s of each second): a longer job under --rt is stopped for the rest of each period.
std::string throttling_warning() {
    long runtime = -1, period = 0;
    std::FILE* f = std::fopen("/proc/sys/kernel/sched_rt_runtime_us", "r");
    if (f) {
        if (std::fscanf(f, "%ld", &runtime) != 1) runtime = -1;
        std::fclose(f);
    }
    if ((f = std::fopen("/proc/sys/kernel/sched_rt_period_us", "r"))) {
        if (std::fscanf(f, "%ld", &period) != 1) period = 0;
        std::fclose(f);
    }
    if (runtime < 0 || period <= 0 || runtime >= period) return {};
    return "the kernel throttles SCHED_FIFO to " + std::to_string(runtime) + " us of every " + std::to_string(period) +
           " us (kernel.sched_rt_runtime_us): a longer job stops for " + std::to_string(period - runtime) +
           " us each period; set it to -1 on a marking station";
}

std::string refused(const std::string& what, int error) { return what + " refused: " + std::strerror(error); }

}  // namespace

RealTimeOutcome apply_real_time(const RealTimeSettings& settings) {
    RealTimeOutcome out;
    if (settings.lock_memory) {
        if (mlockall(MCL_CURRENT | MCL_FUTURE) == 0) out.memory_locked = true;
        else out.refusals.push_back(refused("locking memory (mlockall)", errno));
        pretouch_stack();
    }
    if (settings.cpu != -2) {
        const long online = sysconf(_SC_NPROCESSORS_ONLN);
        const int cpu = settings.cpu >= 0 ? settings.cpu : static_cast<int>(online > 0 ? online - 1 : 0);
        cpu_set_t set;
        CPU_ZERO(&set);
        if (cpu >= CPU_SETSIZE) {
            out.refusals.push_back("pinning to core " + std::to_string(cpu) + " refused: no such core");
        } else {
            CPU_SET(cpu, &set);
            const int rc = pthread_setaffinity_np(pthread_self(), sizeof set, &set);
            if (rc == 0) out.pinned_cpu = cpu;
            else out.refusals.push_back(refused("pinning to core " + std::to_string(cpu), rc));
        }
    }
    if (settings.fifo_priority > 0) {
        sched_param p{};
        p.sched_priority = settings.fifo_priority;
        const int rc = pthread_setschedparam(pthread_self(), SCHED_FIFO, &p);
        if (rc == 0) {
            out.fifo = true;
            if (std::string w = throttling_warning(); !w.empty()) out.warnings.push_back(std::move(w));
        } else out.refusals.push_back(refused("SCHED_FIFO priority " + std::to_string(settings.fifo_priority), rc));
    }
    return out;
}

struct RealTimeScope::Saved {
    int policy = SCHED_OTHER;
    sched_param param{};
    cpu_set_t affinity{};
    bool have_affinity = false;
};

RealTimeScope::RealTimeScope(const RealTimeSettings& settings) : saved_(std::make_unique<Saved>()) {
    pthread_getschedparam(pthread_self(), &saved_->policy, &saved_->param);
    saved_->have_affinity = pthread_getaffinity_np(pthread_self(), sizeof saved_->affinity, &saved_->affinity) == 0;
    outcome_ = apply_real_time(settings);
}

RealTimeScope::~RealTimeScope() {
    if (outcome_.fifo) pthread_setschedparam(pthread_self(), saved_->policy, &saved_->param);
    if (outcome_.pinned_cpu >= 0 && saved_->have_affinity)
        pthread_setaffinity_np(pthread_self(), sizeof saved_->affinity, &saved_->affinity);
    if (outcome_.memory_locked) munlockall();
}

}  // namespace korvex
