// The SIGINT handler and the per-call scope. The handler only touches lock-free atomics and, outside
// a call, restores the default action and raises the signal again (both async-signal-safe).
#include "job_interrupt.hpp"

#include <stdexcept>

namespace korvex::tool {

namespace {

std::atomic<bool> g_installed{false};
std::atomic<bool> g_in_call{false};
std::atomic<bool> g_shift{false};
std::atomic<bool> g_stop{false};  // request_stop(): outlives the JobInterrupt, cleared only by clear_stop()

extern "C" void on_sigint(int) {
    if (g_in_call.load()) {
        g_shift.store(true);
        return;
    }
    // Not inside a call: end the program as an unhandled SIGINT would. The signal is blocked
    // while this handler runs, so it is delivered (with the default action) when it returns.
    std::signal(SIGINT, SIG_DFL);
    std::raise(SIGINT);
}

}  // namespace

JobInterrupt::JobInterrupt() {
    if (g_installed.exchange(true)) throw std::logic_error("a JobInterrupt is already installed");
    g_in_call.store(false);
    g_shift.store(false);
    sigaction(SIGINT, nullptr, &previous_);
    // A program started with SIGINT ignored (in the background of a shell) keeps ignoring it.
    if (previous_.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = on_sigint;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

JobInterrupt::~JobInterrupt() {
    sigaction(SIGINT, &previous_, nullptr);
    g_in_call.store(false);
    g_shift.store(false);
    g_installed.store(false);
}

const std::atomic<bool>* JobInterrupt::shift_flag() const { return &g_shift; }

void JobInterrupt::request_stop() {
    g_stop.store(true);
    if (g_in_call.load()) g_shift.store(true);
}

void JobInterrupt::clear_stop() { g_stop.store(false); }

bool JobInterrupt::stop_requested() { return g_stop.load(); }

JobInterrupt::Call::Call(JobInterrupt* interrupt) : interrupt_(interrupt) {
    if (!interrupt_) return;
    g_shift.store(false);
    g_in_call.store(true);
    // After the call is marked: a request_stop() that did not see it set g_stop before this read.
    if (g_stop.load()) g_shift.store(true);
}

JobInterrupt::Call::~Call() {
    if (!interrupt_) return;
    g_in_call.store(false);
    if (g_shift.exchange(false)) ++interrupt_->interrupted_calls_;
}

}  // namespace korvex::tool
