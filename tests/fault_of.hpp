// Test helper: the kind of the Fault a call raises (a test failure when it raises none).
#pragma once

#include <gtest/gtest.h>

#include "korvex/fault.hpp"

template <class F>
korvex::FaultKind fault_of(F&& f) {
    try {
        f();
    } catch (const korvex::Fault& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no fault";
    return korvex::FaultKind::unavailable;
}
