// The fault boundary every public member runs inside: when a fault leaves a member, the card is put
// back on its resting page and an open laser gate is closed, whoever opened it, before the host sees
// the fault. The cleanup never throws; the original fault is what propagates.
#pragma once

#include <string>

#include "state/state.hpp"

namespace korvex {

void cleanup_after_fault(State& s) noexcept;

// Runs one member's body with the thread's state, fetched once.
template <class Body>
auto run_member(Body&& body) -> decltype(body(thread_state())) {
    State& s = thread_state();
    try {
        return body(s);
    } catch (...) {
        cleanup_after_fault(s);
        throw;
    }
}

// The fault of a member whose machine code this build does not carry yet.
[[noreturn]] void member_not_available(const char* member);

}  // namespace korvex
